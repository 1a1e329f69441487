#include "worker/HttpDownloadThread.h"

#include "host/lmrlibrary/DownloadInfo.h"
#include "host/lmrlibrary/OSUtilities.h"
#include "host/lmrlibrary/UIThread.h"
#include "host/lmrlibrary/VerboseLog.h"
#include "plugin/DownloadListener.h"
#include "plugin/InterfaceNames.h"
#include "plugin/PlayerInterfaces.h"
#include "plugin/FaultPoint.h"
#include "plugin/StatusTransition.h"
#include "worker/EngineFailure.h"
#include "worker/HttpHelper.h"
#include "worker/MediaHandOff.h"
#include "worker/TargetNaming.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace Lumora {

namespace {

bool onMainThread()
{
    QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

std::u16string utf16(const QString &text)
{
    return std::u16string(reinterpret_cast<const char16_t *>(text.utf16()), static_cast<size_t>(text.size()));
}

// The address as the engine names its files: without credentials, percent-encoded.
std::u16string engineUri(QUrl url)
{
    url.setUserInfo(QString());
    return utf16(QString::fromLatin1(url.toEncoded()));
}

int32_t percentOf(uint64_t received, uint64_t total)
{
    if (total == 0)
        return 100;  // an empty file is whole from the start
    const double percent = static_cast<double>(received) / static_cast<double>(total) * 100.0;
    return percent >= 100.0 ? 100 : static_cast<int32_t>(percent);
}

} // namespace

HttpDownloadThread::HttpDownloadThread(VSE::PluginContext *context) : HttpDownloadThread(context, Options()) {}

HttpDownloadThread::HttpDownloadThread(VSE::PluginContext *context, Options options)
    : m_context(context),
      m_options(std::move(options)),
      m_defaultMediaFolder(OSUtilities::getVexoMoviesPathDefault()),
      m_helper(std::make_unique<HttpHelper>(m_options.timing))
{
    // The file inspector is acquired by the first transfer, while its request is on the wire: loading
    // the stream engine's media libraries then costs a queue's first download nothing.
}

HttpDownloadThread::~HttpDownloadThread()
{
    stopAndWait();
    m_helper.reset();
    {
        std::lock_guard lock(m_inspectorMutex);
        m_inspectorHandle.reset();
    }
    std::lock_guard lock(m_currentMutex);
    m_currentItem = nullptr;
}

bool HttpDownloadThread::getCurrentItem(QueuedFileInterface **out)
{
    if (out) {
        std::lock_guard lock(m_currentMutex);
        *out = m_currentItem.get();
        if (*out)
            (*out)->retain();
    }
    return true;
}

void HttpDownloadThread::setManager(DownloadManagerInterface *manager, DownloadListener *listener)
{
    m_manager = manager;
    m_listener = listener;
}

void HttpDownloadThread::requestStop(QueuedFileInterface *)
{
    m_stopRequested = true;
    m_helper->interrupt();
}

void HttpDownloadThread::stopAndWait()
{
    requestStop(nullptr);
    // Asked from inside the run (a hub subscriber reacting to one of its reports): the run ends at
    // its next step; waiting here would wait for ourselves.
    if (m_runThread.load() == std::this_thread::get_id())
        return;
    if (onMainThread()) {
        while (!m_handshake.try_lock()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    } else {
        m_handshake.lock();
    }
    m_handshake.unlock();
}

QString HttpDownloadThread::outputPath() const
{
    std::lock_guard lock(m_outputMutex);
    return m_outputPath;
}

DownloadStatusValue HttpDownloadThread::download(QueuedFileInterface *item)
{
    if (!item)
        return Invalid;
    {
        std::lock_guard lock(m_currentMutex);
        m_currentItem.reset(item);
    }
    m_runThread = std::this_thread::get_id();
    std::unique_lock handshake(m_handshake);
    const DownloadStatusValue status = run(item, handshake);
    if (handshake.owns_lock())
        handshake.unlock();
    // The request, if there was one, has been honoured (or came too late to matter).
    m_stopRequested = false;
    {
        std::lock_guard lock(m_nextMutex);
        m_nextSource = QUrl();
    }
    m_runThread = std::thread::id();
    return status;
}

void HttpDownloadThread::expectNext(const QUrl &source)
{
    std::lock_guard lock(m_nextMutex);
    // Told while a transfer runs (the queue behind it changed): the size is asked now.
    if (!m_transferSource.isEmpty()) {
        if (source.isValid() && source != m_transferSource)
            m_helper->lookAhead(source);
        return;
    }
    m_nextSource = source;
}

DownloadStatusValue HttpDownloadThread::run(QueuedFileInterface *item, std::unique_lock<std::mutex> &handshake)
{
    if (stopRequested())
        return Queued;
    DownloadInfo info;
    QUrl url = item->sourceUrl();
    // The probe asks with the credentials the address carries; the engine gets them as options.
    const HttpHelper::Result probed = m_helper->examine(url, &m_stopRequested);
    const uint64_t size = probed.size;
    if (stopRequested())
        return Queued;
    const QString user = url.userName(QUrl::FullyDecoded);
    const QString password = url.password(QUrl::FullyDecoded);
    if (!user.isEmpty() && !password.isEmpty()) {
        info.setTempUsername(user);
        info.setTempPassword(password);
        url.setUserName(QString());
        url.setPassword(QString());
    }

    DownloadManagerInterface *mgr = manager();
    if (mgr)
        mgr->setDownloadSize(item, size);
    if (size == 0) {
        item->setFailureReason(probed.failure);
        if (mgr)
            mgr->setDownloadStatus(item, Failed);
        return Failed;
    }
    if (!changeStatus(item, Downloading, StatusRoutes::Stored)) {
        // Nothing of this run could be recorded (a full disk under the library, a read-only
        // library): a transfer now would fill the disk again at every start. The item stays
        // queued, and the scheduler tries again once an idle pass has gone by.
        warnUnrecordable(item);
        return Queued;
    }
    m_unrecordableWarned = false;

    const bool fresh = item->isFreshStart() || item->progress() == 0;
    const QString mediaFolder = TargetNaming::mediaFolder(m_defaultMediaFolder);
    const QString target = TargetNaming::decideTarget(item, mediaFolder, fresh, m_context);
    if (target.isEmpty())
        return failWith(item, FailureReason::of(FailureKind::TargetUnplaceable, mediaFolder));
    if (item->fileUrl().toLocalFile() != target) {
        item->setTitle(QFileInfo(target).fileName());
        if (mgr)
            mgr->setDownloadFile(item, QUrl::fromLocalFile(target));
    }
    const bool tempParentSet = OSUtilities::setTempDownloadDirectoryParent(mediaFolder);
    if (fresh) {
        DiskSpace::Check check;
        check.itemName = item->name();
        check.targetPath = target;
        check.size = size;
        check.tempParentSet = tempParentSet;
        check.listener = m_listener.load();
        check.freeSpace = m_options.freeSpace;
        FailureReason shortage;
        if (!DiskSpace::enoughSpace(check, &shortage))
            return failWith(item, shortage);
    }
    return transfer(item, url, info, size, handshake);
}

DownloadStatusValue HttpDownloadThread::transfer(QueuedFileInterface *item, const QUrl &url, const DownloadInfo &info,
                                                 uint64_t size, std::unique_lock<std::mutex> &handshake)
{
    const EngineApi &engine = m_options.engine;
    if (stopRequested())
        return Queued;

    // Credentials of any length go whole: the engine takes far longer ones than a fixed buffer would.
    uint32_t config = 0;
    const std::u16string user = utf16(info.getTempUsername());
    const std::u16string password = utf16(info.getTempPassword());
    if (!user.empty())
        engine.setFileConfigPluginOption(&config, EnginePluginName, EngineLoginOption, user.c_str());
    if (!password.empty())
        engine.setFileConfigPluginOption(&config, EnginePluginName, EnginePasswordOption, password.c_str());
    // A response without a length of its own may not deliver more than the probe was told.
    const std::u16string expected = utf16(QString::number(size));
    engine.setFileConfigPluginOption(&config, EnginePluginName, EngineExpectedSizeOption, expected.c_str());

    uint32_t file = 0;
    const std::u16string uri = utf16(QString::fromLatin1(url.toEncoded()));
    if (const int32_t opened = engine.fileOpenURIEx(uri.c_str(), 0, 0, &config, &file, EngineOpenFlags); opened != 0)
        return failWith(item, EngineFailure::ofOpen(opened, url.host()));

    engine.filePause(file, 0);
    m_failure = FailureReason();
    m_lastRetryLogged = 0;
    DownloadStatusValue status = waitUntilReady(file);
    if (status == Downloading) {
        if (DownloadManagerInterface *mgr = manager())
            mgr->setDownloadStatus(item, Downloading);
        // The next download's size is asked while this one transfers: a queue of small files then
        // pays one round trip per file, not two.
        {
            std::lock_guard lock(m_nextMutex);
            m_transferSource = item->sourceUrl();
            if (const QUrl next = std::exchange(m_nextSource, QUrl()); next.isValid() && next != m_transferSource)
                m_helper->lookAhead(next);
        }
        // The inspector's libraries load while the request is on the wire.
        acquireInspector();
        status = pollTransfer(item, file, size, url.host());
        std::lock_guard lock(m_nextMutex);
        m_transferSource = QUrl();
    }
    item->setTransferState(TransferState());

    engine.filePause(file, 1);
    const QString output = readOutputPath(file);
    {
        std::lock_guard lock(m_outputMutex);
        m_outputPath = output;
    }
    engine.fileClose(file);
    handshake.unlock();
    return finish(item, status);
}

// The engine answers its readiness check at once in the normal case; the wait ends early when the
// run is stopped or the engine's service goes away, so a stop is never held up here.
DownloadStatusValue HttpDownloadThread::waitUntilReady(uint32_t file)
{
    const EngineApi &engine = m_options.engine;
    while (engine.fileCheck(file) != 0) {
        if (stopRequested())
            return Queued;
        if (engine.serviceIsRunning() == 0) {
            m_failure = FailureReason::of(FailureKind::EngineUnavailable);
            return Failed;
        }
        std::this_thread::sleep_for(m_options.timing.readinessPoll);
    }
    return Downloading;
}

DownloadStatusValue HttpDownloadThread::pollTransfer(QueuedFileInterface *item, uint32_t file, uint64_t size,
                                                     const QString &host)
{
    const EngineApi &engine = m_options.engine;
    std::chrono::milliseconds elapsed{0};
    for (;;) {
        if (stopRequested())
            return Queued;
        // An engine that ends without filling the record (a binding without its engine, say) must
        // not read as a whole file: the unknown size never equals what was received.
        VDMFileInfo record{};
        record.total = VDM_SIZE_UNKNOWN;
        if (engine.fileGetInfo(file, &record) != 0) {
            if (record.received == record.total) {
                m_delivered = record.received;
                return Completed;
            }
            m_failure = EngineFailure::ofTransfer(record, host, size);
            return Failed;
        }
        publishTransferState(item, record, host, size);
        if (engine.serviceIsRunning() == 0) {
            m_failure = FailureReason::of(FailureKind::EngineUnavailable);
            return Failed;
        }
        // A transfer the engine calls whole, yet short of what the server announced, has stopped
        // for good once it has had the stall period.
        if (elapsed >= m_options.timing.stallPeriod && record.received == record.total && record.received < size) {
            m_failure = FailureReason::of(FailureKind::ConnectionLost, host);
            return Failed;
        }
        const bool whole = record.received >= record.total;
        reportProgress(item, percentOf(record.received, record.total));
        if (whole) {
            m_delivered = record.received;
            return Completed;
        }
        elapsed += waitForNextPoll(file, elapsed);
    }
}

// One polling period. Early in a transfer the engine is asked every quick-finish slice whether it has
// ended, so that a small file is not held for most of a period after its last byte: a queue of
// small files runs at the network's pace, not the poll's. Progress is still reported once a period.
std::chrono::milliseconds HttpDownloadThread::waitForNextPoll(uint32_t file, std::chrono::milliseconds elapsed)
{
    const auto poll = m_options.timing.transferPoll;
    const auto slice = m_options.timing.quickFinishSlice;
    if (elapsed >= QuickFinishWindow || slice >= poll) {
        std::this_thread::sleep_for(poll);
        return poll;
    }
    std::chrono::microseconds waited{0};
    while (waited < poll && !stopRequested()) {
        std::this_thread::sleep_for(slice);
        waited += slice;
        VDMFileInfo record{};
        if (m_options.engine.fileGetInfo(file, &record) != 0 || record.received >= record.total)
            break;
    }
    return std::chrono::ceil<std::chrono::milliseconds>(waited);
}

void HttpDownloadThread::reportProgress(QueuedFileInterface *item, int32_t percent)
{
    DownloadManagerInterface *mgr = manager();
    if (!mgr)
        return;
    mgr->setDownloadProgress(item, percent);
    if (percent <= PlayThresholdPercent)
        return;
    std::lock_guard lock(m_itemLock);
    mgr->setDownloadFlag(item, PlayableFlag);
    if (item->playWhenReady() && mgr->playDownload(item->id()))
        item->setPlayWhenReady(false);
}

// The engine's text is kept exactly as it gives it (UTF-16), so any file name survives.
QString HttpDownloadThread::readOutputPath(uint32_t file)
{
    const EngineApi &engine = m_options.engine;
    // The size query's answer is not looked at: a size it stored is what counts.
    uint32_t bytes = 0;
    engine.fileGetOutputPath(file, nullptr, &bytes);
    if (bytes == 0)
        return QString();
    std::vector<char16_t> buffer(bytes / 2 + 1, u'\0');
    uint32_t size = bytes;
    if (engine.fileGetOutputPath(file, buffer.data(), &size) != 0)
        return QString();
    buffer.back() = u'\0';
    return QString::fromUtf16(buffer.data());
}

DownloadStatusValue HttpDownloadThread::finish(QueuedFileInterface *item, DownloadStatusValue status)
{
    DownloadManagerInterface *mgr = manager();
    if (status == Completed) {
        item->setSize(m_delivered);  // what arrived, which the server's first answer may have misstated
        // Stored with the Completed status: a crash from here until the file is in the library
        // leaves the item to be finished at the next start.
        item->setPendingFinish(outputPath());
    } else if (status != Queued) {
        item->setFailureReason(m_failure);
    }
    if (mgr)
        mgr->setDownloadStatus(item, status);
    if (status == Queued)
        return Queued;
    if (status != Completed) {
        failureReport(item, m_failure);
        return Failed;
    }

    LUMORA_FAULT_POINT("finish.recorded");
    if (mgr)
        mgr->setDownloadProgress(item, 100);
    FailureReason refused;
    const MediaHandOff::Result handed = handOff(item, outputPath(), false, &refused);
    // Finished either way; the scheduler's record of the run stores it.
    item->setPendingFinish(QString());
    if (handed == MediaHandOff::Result::Failed) {
        failureReport(item, refused);
        return Failed;
    }

    if (item->playWhenReady() && mgr && mgr->playDownload(item->id())) {
        item->setPlayWhenReady(false);
    } else {
        VSE::PluginInterfaceHandle player(VSE::InterfaceNames::player());
        if (player.acquire(m_context) == VSE::PluginOk) {
            player.as<PlayerInterface>()->onDownloadCompleted();
            item->markCompleted();
        }
    }
    return Completed;
}

MediaHandOff::Result HttpDownloadThread::handOff(QueuedFileInterface *item, const QString &output, bool alreadyPlaced,
                                                FailureReason *why)
{
    std::lock_guard lock(m_itemLock);
    MediaHandOff::Inputs in;
    in.item = item;
    in.outputPath = output;
    in.alreadyPlaced = alreadyPlaced;
    // Not acquired yet, or the stream engine joined the host after the last try.
    in.inspector = acquireInspector();
    in.manager = manager();
    in.context = m_context;
    in.placement = m_options.placement;
    return MediaHandOff::handOff(in, why);
}

VSE::FileInspectorInterface *HttpDownloadThread::acquireInspector()
{
    std::lock_guard lock(m_inspectorMutex);
    if (!m_inspectorHandle) {
        auto inspector = std::make_unique<VSE::PluginInterfaceHandle>(VSE::InterfaceNames::fileInspector());
        if (inspector->acquire(m_context) == VSE::PluginOk)
            m_inspectorHandle = std::move(inspector);
    }
    return m_inspectorHandle ? m_inspectorHandle->as<VSE::FileInspectorInterface>() : nullptr;
}

void HttpDownloadThread::finishInterrupted(QueuedFileInterface *item)
{
    const QString output = item->pendingFinish();
    if (output.isEmpty())
        return;
    const QString target = item->fileUrl().toLocalFile();
    const bool placed = !target.isEmpty() && QFileInfo::exists(target);
    item->setPendingFinish(QString());
    if (!placed && !QFileInfo::exists(output)) {
        // Nothing left to finish with: the download starts over, under a fresh name.
        item->setProgress(0);
        changeStatus(item, Queued, StatusRoutes::Stored);
        return;
    }
    FailureReason refused;
    if (handOff(item, output, placed, &refused) == MediaHandOff::Result::Failed) {
        changeStatus(item, Failed, StatusRoutes::Stored, nullptr, &refused);
        return;
    }
    item->setProgress(100);
    item->commit();
}

void HttpDownloadThread::discardPartial(const QUrl &source)
{
    uint32_t none = 0;
    m_options.engine.fileOpenURIEx(engineUri(source).c_str(), 0, 0, nullptr, &none, VDM_OPEN_DISCARD);
}

void HttpDownloadThread::cleanStrayParts(const std::vector<QUrl> &queueSources)
{
    // Where earlier runs may have written: below the media folder, and the fallback folder.
    std::set<QString> folders{OSUtilities::getTempDownloadDirectoryPath()};
    if (OSUtilities::setTempDownloadDirectoryParent(TargetNaming::mediaFolder(m_defaultMediaFolder)))
        folders.insert(OSUtilities::getTempDownloadDirectoryPath());
    const QDateTime before = QDateTime::currentDateTime().addSecs(-std::chrono::duration_cast<std::chrono::seconds>(StrayPartAge).count());
    QFileInfoList old;
    for (const QString &folder : folders) {
        for (const QFileInfo &part : QDir(folder).entryInfoList({QStringLiteral("*.part")}, QDir::Files | QDir::Hidden)) {
            if (part.lastModified() <= before)
                old.append(part);
        }
    }
    if (old.isEmpty())
        return;  // the usual start: the engine need not be asked about every queued download

    const EngineApi &engine = m_options.engine;
    // The part file each queued download would resume from: opened, asked and closed without a
    // start, which the engine promises touches nothing on disk.
    std::set<QString> kept;
    for (const QUrl &source : queueSources) {
        uint32_t file = 0;
        if (engine.fileOpenURIEx(engineUri(source).c_str(), 0, 0, nullptr, &file, EngineOpenFlags) != 0)
            continue;
        kept.insert(QFileInfo(readOutputPath(file)).fileName());
        engine.fileClose(file);
    }
    for (const QFileInfo &part : old) {
        if (kept.count(part.fileName()))
            continue;
        QFile::remove(part.filePath());
        QFile::remove(part.filePath() + QStringLiteral(".meta"));
    }
}

void HttpDownloadThread::failureReport(QueuedFileInterface *item, const FailureReason &reason)
{
    std::lock_guard lock(m_itemLock);
    if (DownloadListener *listener = m_listener.load())
        listener->downloadFailed(item->fileUrl());
    changeStatus(item, Failed, StatusRoutes::Reported, nullptr, &reason);
}

void HttpDownloadThread::warnUnrecordable(QueuedFileInterface *item)
{
    if (m_unrecordableWarned.exchange(true))
        return;
    UIThread::displayMessage(
        UIThread::Warning, QCoreApplication::translate("Download Thread", "The downloads cannot be recorded."),
        QCoreApplication::translate("Download Thread",
                                    "The media library did not store the state of \"%1\", so it was not downloaded: "
                                    "the disk that holds the library may be full, or the library may be read-only. "
                                    "Free some space (or make the library writable); the queue then goes on by itself.")
            .arg(item->name()),
        true);
}

// A run that ends before the engine has a file of it: the reason goes on the item, and the
// scheduler records the status with it.
DownloadStatusValue HttpDownloadThread::failWith(QueuedFileInterface *item, const FailureReason &reason)
{
    item->setFailureReason(reason);
    return Failed;
}

void HttpDownloadThread::publishTransferState(QueuedFileInterface *item, const VDMFileInfo &record, const QString &host,
                                              uint64_t size)
{
    TransferState state;
    state.received = record.received;
    state.total = record.total == VDM_SIZE_UNKNOWN ? 0 : record.total;
    state.readAt = transferClockMs();
    state.tries = record.attempt;
    state.maxTries = record.maxAttempts;
    if (record.state == VDM_STATE_RETRYING) {
        state.retryInMs = std::max<uint32_t>(record.retryDelayMs, 1);
        state.retrying = EngineFailure::ofCode(record.retryReason, record.httpStatus, record.transportError, host, size);
        // One line per retry on the verbose channel, when the wait for it begins.
        if (record.attempt != m_lastRetryLogged) {
            m_lastRetryLogged = record.attempt;
            VerboseLog::write(QStringLiteral("%1: retrying in %2 s: %3 (try %4 of %5)")
                                  .arg(item->id())
                                  .arg((state.retryInMs + 999) / 1000)
                                  .arg(state.retrying.message())
                                  .arg(record.attempt)
                                  .arg(record.maxAttempts));
        }
    }
    item->setTransferState(state);
}

} // namespace Lumora
