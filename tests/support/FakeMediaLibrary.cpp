#include "tests/support/FakeMediaLibrary.h"

#include "plugin/InterfaceNames.h"

#include <algorithm>

namespace LumoraTest {

namespace {

QUrl withoutCredentials(QUrl url)
{
    url.setUserName(QString());
    url.setPassword(QString());
    return url;
}

int64_t clampPosition(int64_t position, int64_t count)
{
    if (position < 0 || position > count)
        return count;
    return position;
}

} // namespace

// ---- FakeQueuedFile ----

FakeQueuedFile::FakeQueuedFile(std::shared_ptr<FakeLibraryState> state, uint64_t id, const QUrl &source, const QString &title)
    : m_state(std::move(state)), m_id(id), m_source(source), m_title(title)
{
}

bool FakeQueuedFile::commit()
{
    if (refuseCommit)
        return false;
    ++commits;
    m_committedStatus = m_status.load();
    std::lock_guard l(m_mutex);
    m_committedFailure = m_failure;
    return true;
}

bool FakeQueuedFile::remove()
{
    lmtl::RefCountedPtr<FakeQueuedFile> keep(this);
    std::lock_guard lock(m_state->mutex);
    auto &list = m_state->playlist;
    list.erase(std::remove_if(list.begin(), list.end(), [&](const auto &p) { return p->id() == m_id; }), list.end());
    return m_state->items.erase(m_id) > 0;
}

QUrl FakeQueuedFile::fileUrl() const { std::lock_guard l(m_mutex); return m_file; }
bool FakeQueuedFile::setFileUrl(const QUrl &url) { std::lock_guard l(m_mutex); m_file = url; return true; }
bool FakeQueuedFile::setTitle(const QString &title) { std::lock_guard l(m_mutex); m_title = title; return true; }
bool FakeQueuedFile::setSize(uint64_t bytes) { m_size = bytes; return true; }
QString FakeQueuedFile::name() const { std::lock_guard l(m_mutex); return m_title; }
bool FakeQueuedFile::setDescription(const QString &d) { std::lock_guard l(m_mutex); m_description = d; return true; }
QUrl FakeQueuedFile::sourceUrl() const { std::lock_guard l(m_mutex); return m_source; }
bool FakeQueuedFile::setOption(int32_t option) { m_option = option; return true; }

bool FakeQueuedFile::setStatus(const Lumora::DownloadStatusValue &status)
{
    if (refuseSetStatus)
        return false;
    m_status = status;
    return true;
}

bool FakeQueuedFile::isFreshStart() const { return freshStart.load(); }
bool FakeQueuedFile::setProgress(int64_t percent) { m_progress = static_cast<int32_t>(percent); return true; }
bool FakeQueuedFile::markCompleted() { ++completedMarks; return true; }
bool FakeQueuedFile::setTimeRemaining(uint64_t ms) { m_timeRemaining = ms; return true; }
bool FakeQueuedFile::setLastProgressTime(int64_t ms) { m_lastProgressTime = ms; return true; }
bool FakeQueuedFile::setCounter(int64_t counter) { m_counter = counter; return true; }
bool FakeQueuedFile::setPlayWhenReady(const bool &play) { m_playWhenReady = play; return true; }
bool FakeQueuedFile::setFlag(int32_t flag) { m_flag = flag; return true; }
bool FakeQueuedFile::setPair(int32_t first, int32_t second) { std::lock_guard l(m_mutex); m_pair = {first, second}; return true; }
bool FakeQueuedFile::setDownloadInfo(const Lumora::DownloadInfo &info) { std::lock_guard l(m_mutex); m_info = info; return true; }
QString FakeQueuedFile::title() const { std::lock_guard l(m_mutex); return m_title; }
QString FakeQueuedFile::description() const { std::lock_guard l(m_mutex); return m_description; }
Lumora::DownloadInfo FakeQueuedFile::downloadInfo() const { std::lock_guard l(m_mutex); return m_info; }
std::pair<int32_t, int32_t> FakeQueuedFile::pair() const { std::lock_guard l(m_mutex); return m_pair; }
bool FakeQueuedFile::setFailureReason(const Lumora::FailureReason &reason) { std::lock_guard l(m_mutex); m_failure = reason; return true; }
Lumora::FailureReason FakeQueuedFile::failureReason() const { std::lock_guard l(m_mutex); return m_failure; }
Lumora::FailureReason FakeQueuedFile::committedFailureReason() const { std::lock_guard l(m_mutex); return m_committedFailure; }
void FakeQueuedFile::setTransferState(const Lumora::TransferState &state) { std::lock_guard l(m_mutex); m_transfer = state; }
Lumora::TransferState FakeQueuedFile::transferState() const { std::lock_guard l(m_mutex); return m_transfer; }
bool FakeQueuedFile::setPendingFinish(const QString &output) { std::lock_guard l(m_mutex); m_pendingFinish = output; return true; }
QString FakeQueuedFile::pendingFinish() const { std::lock_guard l(m_mutex); return m_pendingFinish; }

// ---- FakePlaylist ----

int64_t FakePlaylist::count() const
{
    std::lock_guard lock(m_state->mutex);
    return static_cast<int64_t>(m_state->playlist.size());
}

bool FakePlaylist::itemAt(int64_t index, QueuedFileInterface **out) const
{
    std::lock_guard lock(m_state->mutex);
    if (!out || index < 0 || index >= static_cast<int64_t>(m_state->playlist.size()) || index == m_state->failItemAtIndex)
        return false;
    QueuedFileInterface *item = m_state->playlist[static_cast<size_t>(index)].get();
    item->retain();
    *out = item;
    return true;
}

bool FakePlaylist::findByUrl(const QUrl &url, QueuedFileInterface **out) const
{
    std::lock_guard lock(m_state->mutex);
    const QUrl wanted = withoutCredentials(url);
    for (const auto &item : m_state->playlist) {
        if (withoutCredentials(item->sourceUrl()) == wanted) {
            if (out) {
                item->retain();
                *out = item.get();
            }
            return true;
        }
    }
    return false;
}

bool FakePlaylist::moveItem(int64_t position, uint64_t id)
{
    std::lock_guard lock(m_state->mutex);
    auto &list = m_state->playlist;
    auto it = std::find_if(list.begin(), list.end(), [&](const auto &p) { return p->id() == id; });
    if (it == list.end())
        return false;
    auto item = *it;
    list.erase(it);
    list.insert(list.begin() + clampPosition(position, static_cast<int64_t>(list.size())), item);
    return true;
}

bool FakePlaylist::insertItem(int64_t position, QueuedFileInterface *item)
{
    auto *fake = dynamic_cast<FakeQueuedFile *>(item);
    if (!fake)
        return false;
    std::lock_guard lock(m_state->mutex);
    auto &list = m_state->playlist;
    list.erase(std::remove_if(list.begin(), list.end(), [&](const auto &p) { return p->id() == fake->id(); }), list.end());
    list.insert(list.begin() + clampPosition(position, static_cast<int64_t>(list.size())), lmtl::RefCountedPtr<FakeQueuedFile>(fake));
    return true;
}

// ---- FakeMediaLibrary ----

FakeMediaLibrary::FakeMediaLibrary(VSE::PluginContext *context)
    : VSE::Plugin(context), m_state(std::make_shared<FakeLibraryState>())
{
    m_playlist = lmtl::adopt(new FakePlaylist(m_state));
}

FakeMediaLibrary::~FakeMediaLibrary()
{
    std::lock_guard lock(m_state->mutex);
    m_state->playlist.clear();
    m_state->items.clear();
}

int32_t FakeMediaLibrary::getInterface(const VSE::AllocatedString<char> &name, void **out)
{
    if (!out)
        return VSE::PluginNotAvailable;
    *out = nullptr;
    if (name == VSE::InterfaceNames::mediaManager())
        *out = static_cast<MediaManager *>(this);
    else if (name == VSE::InterfaceNames::mediaManagerV2() && provideV2)
        *out = static_cast<MediaManagerV2 *>(this);
    else
        return VSE::PluginNotAvailable;
    return VSE::PluginOk;
}

bool FakeMediaLibrary::getPlaylist(int32_t kind, int32_t, int32_t, PlaylistInterface **out)
{
    if (refusePlaylist || kind != DownloadPlaylistKind || !out)
        return false;
    m_playlist->retain();
    *out = m_playlist.get();
    return true;
}

bool FakeMediaLibrary::findMediaFile(const QUrl &url, MediaFileInterface **out)
{
    std::lock_guard lock(m_state->mutex);
    for (const auto &v : m_state->videos) {
        if (v->fileUrl() == url) {
            v->retain();
            *out = v.get();
            return true;
        }
    }
    return false;
}

bool FakeMediaLibrary::addVideoFile(QueuedFileInterface *item, uint64_t fileMeasure, uint64_t trackMeasure,
                                    VideoFileInterface **out)
{
    if (refuseAddVideo || !item || !out)
        return false;
    std::lock_guard lock(m_state->mutex);
    for (const auto &v : m_state->videos) {
        if (v->fileUrl() == item->fileUrl())
            return false;  // already known: the caller updates it instead
    }
    auto video = lmtl::adopt(new FakeVideoFile(m_state->nextId++, item->fileUrl()));
    video->fileMeasure = fileMeasure;
    video->trackMeasure = trackMeasure;
    m_state->videos.push_back(video);
    *out = video.detach();
    return true;
}

bool FakeMediaLibrary::findAcquiredFile(const QUrl &url, AcquiredFileInterface **out)
{
    std::lock_guard lock(m_state->mutex);
    for (const auto &a : m_state->acquired) {
        if (a->fileUrl() == url) {
            a->retain();
            *out = a.get();
            return true;
        }
    }
    return false;
}

bool FakeMediaLibrary::createQueuedItem(const QUrl &address, const QString &title, const QUrl &, QueuedFileInterface **out)
{
    if (refuseCreate || !out)
        return false;
    std::lock_guard lock(m_state->mutex);
    auto item = lmtl::adopt(new FakeQueuedFile(m_state, m_state->nextId++, address, title));
    m_state->items[item->id()] = item;
    *out = item.detach();
    return true;
}

bool FakeMediaLibrary::getItem(uint64_t id, QueuedFileInterface **out)
{
    std::lock_guard lock(m_state->mutex);
    auto it = m_state->items.find(id);
    if (it == m_state->items.end() || !out)
        return false;
    it->second->retain();
    *out = it->second.get();
    return true;
}

bool FakeMediaLibrary::acceptFile(QUrl)
{
    return acceptFiles;
}

lmtl::RefCountedPtr<FakeQueuedFile> FakeMediaLibrary::addItem(const QString &url, Lumora::DownloadStatusValue status, bool inPlaylist)
{
    std::lock_guard lock(m_state->mutex);
    auto item = lmtl::adopt(new FakeQueuedFile(m_state, m_state->nextId++, QUrl(url), QUrl(url).fileName().section('.', 0, 0)));
    item->setStatus(status);
    m_state->items[item->id()] = item;
    if (inPlaylist)
        m_state->playlist.push_back(item);
    return item;
}

lmtl::RefCountedPtr<FakeQueuedFile> FakeMediaLibrary::item(uint64_t id) const
{
    std::lock_guard lock(m_state->mutex);
    auto it = m_state->items.find(id);
    return it == m_state->items.end() ? lmtl::RefCountedPtr<FakeQueuedFile>() : it->second;
}

std::vector<uint64_t> FakeMediaLibrary::playlistIds() const
{
    std::lock_guard lock(m_state->mutex);
    std::vector<uint64_t> ids;
    for (const auto &item : m_state->playlist)
        ids.push_back(item->id());
    return ids;
}

std::vector<lmtl::RefCountedPtr<FakeVideoFile>> FakeMediaLibrary::videos() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->videos;
}

void FakeMediaLibrary::addAcquiredFile(const QUrl &url)
{
    std::lock_guard lock(m_state->mutex);
    m_state->acquired.push_back(lmtl::adopt(new FakeAcquiredFile(m_state->nextId++, url)));
}

void FakeMediaLibrary::setFailItemAtIndex(int64_t index)
{
    std::lock_guard lock(m_state->mutex);
    m_state->failItemAtIndex = index;
}

} // namespace LumoraTest
