#include "host/medialibrary/LibraryQueuedFile.h"

#include "host/medialibrary/LibraryStore.h"
#include "host/medialibrary/LibraryUrls.h"

#include <QDateTime>

#include <algorithm>

namespace Lumora {

namespace {

// One bit per stored attribute that a setter changes.
enum Field : uint32_t {
    FileUrlField = 1u << 0,
    TitleField = 1u << 1,
    DescriptionField = 1u << 2,
    StatusField = 1u << 3,
    SizeField = 1u << 4,
    ProgressField = 1u << 5,
    TimeRemainingField = 1u << 6,
    LastProgressTimeField = 1u << 7,
    CounterField = 1u << 8,
    OptionField = 1u << 9,
    FlagField = 1u << 10,
    PairField = 1u << 11,
    PlayWhenReadyField = 1u << 12,
    CompletedField = 1u << 13,
    FailureField = 1u << 14,
    PendingFinishField = 1u << 15,
};

template <class T>
void takeUnlessPending(uint32_t pending, uint32_t field, T &mine, const T &stored)
{
    if (!(pending & field))
        mine = stored;
}

} // namespace

bool isUsableSourceUrl(const QUrl &url)
{
    if (!url.isValid() || url.scheme().isEmpty())
        return false;
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("ftp"))
        return !url.host().isEmpty();
    if (scheme == QLatin1String("file"))
        return !url.path().isEmpty();
    return true;
}

LibraryQueuedFile::LibraryQueuedFile(std::shared_ptr<LibraryStore> store, uint64_t id, const QueuedItemRecord &record)
    : m_store(std::move(store)), m_id(id), m_sourceKey(LibraryUrls::sourceKey(record.sourceUrl)), m_record(record)
{
}

LibraryQueuedFile::~LibraryQueuedFile() = default;

template <class Change>
bool LibraryQueuedFile::change(uint32_t field, Change &&apply)
{
    std::lock_guard lock(m_mutex);
    if (m_removed)
        return false;
    apply(m_record);
    m_pending |= field;
    ++m_generation;
    return true;
}

bool LibraryQueuedFile::commit()
{
    return m_store->commitItem(*this);
}

bool LibraryQueuedFile::remove()
{
    return m_store->removeItem(*this);
}

QUrl LibraryQueuedFile::fileUrl() const
{
    std::lock_guard lock(m_mutex);
    return m_record.fileUrl;
}

bool LibraryQueuedFile::setFileUrl(const QUrl &url)
{
    return change(FileUrlField, [&](QueuedItemRecord &r) { r.fileUrl = url; });
}

bool LibraryQueuedFile::setTitle(const QString &title)
{
    return change(TitleField, [&](QueuedItemRecord &r) { r.title = title; });
}

bool LibraryQueuedFile::setSize(uint64_t bytes)
{
    return change(SizeField, [&](QueuedItemRecord &r) { r.size = bytes; });
}

QString LibraryQueuedFile::name() const
{
    std::lock_guard lock(m_mutex);
    return m_record.name;
}

bool LibraryQueuedFile::setDescription(const QString &description)
{
    return change(DescriptionField, [&](QueuedItemRecord &r) { r.description = description; });
}

QUrl LibraryQueuedFile::sourceUrl() const
{
    std::lock_guard lock(m_mutex);
    return m_record.sourceUrl;
}

bool LibraryQueuedFile::setOption(int32_t option)
{
    return change(OptionField, [&](QueuedItemRecord &r) { r.option = option; });
}

DownloadStatusValue LibraryQueuedFile::status() const
{
    std::lock_guard lock(m_mutex);
    return m_record.status;
}

bool LibraryQueuedFile::setStatus(const DownloadStatusValue &status)
{
    const int64_t now = QDateTime::currentMSecsSinceEpoch();
    return change(StatusField, [&](QueuedItemRecord &r) {
        if (isFinishedStatus(status) && r.status != status)
            r.finishedAt = now;
        else if (!isFinishedStatus(status))
            r.finishedAt = 0;
        r.status = status;
    });
}

bool LibraryQueuedFile::isFreshStart() const
{
    std::lock_guard lock(m_mutex);
    return m_record.progress == 0 || m_record.completedAt != 0;
}

int32_t LibraryQueuedFile::progress() const
{
    std::lock_guard lock(m_mutex);
    return m_record.progress;
}

bool LibraryQueuedFile::setProgress(int64_t percent)
{
    // Readers treat progress as a percentage; an engine that overshoots must not store 140.
    const auto clamped = static_cast<int32_t>(std::clamp<int64_t>(percent, 0, 100));
    return change(ProgressField | CompletedField, [&](QueuedItemRecord &r) {
        r.progress = clamped;
        if (clamped < 100)
            r.completedAt = 0;  // being downloaded again
    });
}

bool LibraryQueuedFile::markCompleted()
{
    const int64_t now = QDateTime::currentMSecsSinceEpoch();
    if (!change(CompletedField, [&](QueuedItemRecord &r) { r.completedAt = now; }))
        return false;
    return commit();
}

bool LibraryQueuedFile::setTimeRemaining(uint64_t milliseconds)
{
    return change(TimeRemainingField, [&](QueuedItemRecord &r) { r.timeRemaining = milliseconds; });
}

int64_t LibraryQueuedFile::lastProgressTime() const
{
    std::lock_guard lock(m_mutex);
    return m_record.lastProgressTime;
}

bool LibraryQueuedFile::setLastProgressTime(int64_t milliseconds)
{
    return change(LastProgressTimeField, [&](QueuedItemRecord &r) { r.lastProgressTime = milliseconds; });
}

bool LibraryQueuedFile::setCounter(int64_t counter)
{
    return change(CounterField, [&](QueuedItemRecord &r) { r.counter = counter; });
}

bool LibraryQueuedFile::playWhenReady() const
{
    std::lock_guard lock(m_mutex);
    return m_record.playWhenReady;
}

bool LibraryQueuedFile::setPlayWhenReady(const bool &play)
{
    return change(PlayWhenReadyField, [&](QueuedItemRecord &r) { r.playWhenReady = play; });
}

bool LibraryQueuedFile::setFlag(int32_t flag)
{
    return change(FlagField, [&](QueuedItemRecord &r) { r.flag = flag; });
}

bool LibraryQueuedFile::isStartable() const
{
    std::lock_guard lock(m_mutex);
    return !m_removed && isEligibleStatus(m_record.status) && isUsableSourceUrl(m_record.sourceUrl);
}

bool LibraryQueuedFile::isRestartable() const
{
    std::lock_guard lock(m_mutex);
    return !m_removed && isUsableSourceUrl(m_record.sourceUrl);
}

bool LibraryQueuedFile::setPair(int32_t first, int32_t second)
{
    return change(PairField, [&](QueuedItemRecord &r) {
        r.pairFirst = first;
        r.pairSecond = second;
    });
}

bool LibraryQueuedFile::setDownloadInfo(const DownloadInfo &info)
{
    std::lock_guard lock(m_mutex);
    if (m_removed)
        return false;
    m_downloadInfo = info;
    return true;
}

QString LibraryQueuedFile::title() const
{
    std::lock_guard lock(m_mutex);
    return m_record.title;
}

QString LibraryQueuedFile::description() const
{
    std::lock_guard lock(m_mutex);
    return m_record.description;
}

uint64_t LibraryQueuedFile::size() const
{
    std::lock_guard lock(m_mutex);
    return m_record.size;
}

uint64_t LibraryQueuedFile::timeRemaining() const
{
    std::lock_guard lock(m_mutex);
    return m_record.timeRemaining;
}

int64_t LibraryQueuedFile::counter() const
{
    std::lock_guard lock(m_mutex);
    return m_record.counter;
}

int32_t LibraryQueuedFile::option() const
{
    std::lock_guard lock(m_mutex);
    return m_record.option;
}

int32_t LibraryQueuedFile::flag() const
{
    std::lock_guard lock(m_mutex);
    return m_record.flag;
}

DownloadInfo LibraryQueuedFile::downloadInfo() const
{
    std::lock_guard lock(m_mutex);
    return m_downloadInfo;
}

bool LibraryQueuedFile::setFailureReason(const FailureReason &reason)
{
    return change(FailureField, [&](QueuedItemRecord &r) { r.failure = reason; });
}

FailureReason LibraryQueuedFile::failureReason() const
{
    std::lock_guard lock(m_mutex);
    return m_record.failure;
}

void LibraryQueuedFile::setTransferState(const TransferState &state)
{
    std::lock_guard lock(m_mutex);
    m_transfer = state;
}

TransferState LibraryQueuedFile::transferState() const
{
    std::lock_guard lock(m_mutex);
    return m_transfer;
}

bool LibraryQueuedFile::setPendingFinish(const QString &engineOutput)
{
    return change(PendingFinishField, [&](QueuedItemRecord &r) { r.pendingFinish = engineOutput; });
}

QString LibraryQueuedFile::pendingFinish() const
{
    std::lock_guard lock(m_mutex);
    return m_record.pendingFinish;
}

std::pair<int32_t, int32_t> LibraryQueuedFile::pair() const
{
    std::lock_guard lock(m_mutex);
    return {m_record.pairFirst, m_record.pairSecond};
}

int64_t LibraryQueuedFile::completedAt() const
{
    std::lock_guard lock(m_mutex);
    return m_record.completedAt;
}

int64_t LibraryQueuedFile::createdAt() const
{
    std::lock_guard lock(m_mutex);
    return m_record.createdAt;
}

int64_t LibraryQueuedFile::finishedAt() const
{
    std::lock_guard lock(m_mutex);
    return m_record.finishedAt;
}

LibraryQueuedFile::Snapshot LibraryQueuedFile::snapshot() const
{
    std::lock_guard lock(m_mutex);
    return {m_record, m_generation};
}

void LibraryQueuedFile::markCommitted(uint64_t generation)
{
    std::lock_guard lock(m_mutex);
    // A change made while the commit was writing is not on disk yet: it stays pending.
    if (m_generation == generation)
        m_pending = 0;
}

void LibraryQueuedFile::mergeStored(const QueuedItemRecord &stored)
{
    std::lock_guard lock(m_mutex);
    QueuedItemRecord &r = m_record;
    const uint32_t p = m_pending;
    takeUnlessPending(p, FileUrlField, r.fileUrl, stored.fileUrl);
    takeUnlessPending(p, TitleField, r.title, stored.title);
    takeUnlessPending(p, DescriptionField, r.description, stored.description);
    takeUnlessPending(p, StatusField, r.status, stored.status);
    takeUnlessPending(p, StatusField, r.finishedAt, stored.finishedAt);
    takeUnlessPending(p, FailureField, r.failure, stored.failure);
    takeUnlessPending(p, PendingFinishField, r.pendingFinish, stored.pendingFinish);
    takeUnlessPending(p, SizeField, r.size, stored.size);
    takeUnlessPending(p, ProgressField, r.progress, stored.progress);
    takeUnlessPending(p, TimeRemainingField, r.timeRemaining, stored.timeRemaining);
    takeUnlessPending(p, LastProgressTimeField, r.lastProgressTime, stored.lastProgressTime);
    takeUnlessPending(p, CounterField, r.counter, stored.counter);
    takeUnlessPending(p, OptionField, r.option, stored.option);
    takeUnlessPending(p, FlagField, r.flag, stored.flag);
    takeUnlessPending(p, PairField, r.pairFirst, stored.pairFirst);
    takeUnlessPending(p, PairField, r.pairSecond, stored.pairSecond);
    takeUnlessPending(p, PlayWhenReadyField, r.playWhenReady, stored.playWhenReady);
    takeUnlessPending(p, CompletedField, r.completedAt, stored.completedAt);
}

void LibraryQueuedFile::markRemoved()
{
    std::lock_guard lock(m_mutex);
    m_removed = true;
}

bool LibraryQueuedFile::isRemoved() const
{
    std::lock_guard lock(m_mutex);
    return m_removed;
}

} // namespace Lumora
