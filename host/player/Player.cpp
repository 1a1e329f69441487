#include "host/player/Player.h"

#include "host/player/Format.h"
#include "host/player/PlayerSettings.h"
#include "plugin/Topics.h"

#include <QFile>

namespace Lumora::Host {

namespace {

// How often the running downloads' transfer states are read: a few times per second is what a
// person follows, and the worker refreshes them every 100 ms.
constexpr int kSampleMs = 250;
// A completed download's finishing (placing the file, the library's entry) ends without a message
// of its own: it is looked for this often while one is under way, so that a command waiting for it
// ends at once.
constexpr int kFinishingCheckMs = 10;

} // namespace

Player::Player(PlayerEvents &events, Options options)
    : m_events(events),
      m_options(std::move(options)),
      m_stack(PlayerPlugin::Callbacks{
          [this](const QUrl &url, bool started, const QString &error) {
              toMainThread([this, url, started, error] { m_events.played(url, started, error); });
          },
          {}})
{
    m_sampleTimer.setInterval(kSampleMs);
    connect(&m_sampleTimer, &QTimer::timeout, this, [this] { sampleTransfers(); });
    m_finishingTimer.setInterval(kFinishingCheckMs);
    connect(&m_finishingTimer, &QTimer::timeout, this, [this] { checkFinishing(); });
}

Player::~Player()
{
    *m_alive = false;
    close();
}

bool Player::start(QString *error)
{
    m_previousSink = UIThread::setMessageSink([this](int icon, const QString &text, const QString &detail) {
        toMainThread([this, icon, text, detail] { m_events.messageShown(icon, text, detail); });
    });
    m_sinkSet = true;
    m_subscription = PubSubHub::subscribe(QString(), [this](const QString &topic, const QVariant &payload) {
        if (m_options.tap)
            m_options.tap(topic, payload);
        toMainThread([this, topic, payload] { onHubMessage(topic, payload); });
    });

    if (!m_stack.load(true, error))
        return false;
    m_stack.applyMediaFolder(PlayerSettings::mediaFolder());
    const QString unread = PlayerSettings::takeReadWarning();
    if (!unread.isEmpty())
        m_events.messageShown(UIThread::Warning, unread, QString());
    m_stack.manager()->setDownloadListener(this);
    m_ops = std::make_unique<OperationQueue>();

    if (!m_options.socketPath.isEmpty() && m_options.handOver) {
        m_server = std::make_unique<InstanceServer>(m_options.handOver);
        // Other lumoras of this home would wait for a player they cannot reach, and then give up:
        // a player nobody can reach does not start.
        if (!m_server->listen(m_options.socketPath, error))
            return false;
        SignalWatcher::setLeftoverFile(QFile::encodeName(m_server->socketPath()));
    }
    if (m_signals.install())
        connect(&m_signals, &SignalWatcher::shutdownRequested, this, [this](int signalNumber) { shutDown(signalNumber); });
    m_sampleTimer.start();
    return true;
}

void Player::submit(Operation operation, std::function<void()> whenDown)
{
    if (!m_ops)
        return;
    const LivePlugins plugins{m_stack.manager(), m_stack.receiver(), m_stack.library(), this, m_stack.libraryHost()};
    m_ops->post([this, plugins, operation = std::move(operation), whenDown = std::move(whenDown)] {
        if (!m_managerDown.load())
            operation(plugins);
        else if (whenDown)
            whenDown();
    });
}

void Player::shutDown(int signalNumber)
{
    if (m_stopping || !m_ops)
        return;
    m_stopping = true;
    m_events.stopping(signalNumber);
    m_ops->post([this] {
        m_stack.shutdownManager();
        m_managerDown = true;
        // Every message the plugins sent before their shutdown returned was posted before this.
        toMainThread([this] {
            m_stopped = true;
            m_sampleTimer.stop();
            m_finishingTimer.stop();
            m_events.stopped();
        });
    });
}

void Player::applyMediaFolder()
{
    m_stack.applyMediaFolder(PlayerSettings::mediaFolder());
}

Player::ItemPtr Player::item(uint64_t id) const
{
    ItemPtr item;
    if (MediaManagerInterface::MediaManager *library = m_stack.library())
        library->getItem(id, item.receive());
    return item;
}

FailureReason Player::failureReason(uint64_t id) const
{
    const ItemPtr found = item(id);
    return found ? found->failureReason() : FailureReason();
}

void Player::retryQuietly(DownloadManagerInterface *manager, uint64_t id)
{
    // The pause and its lifting are announced on this thread, between these two posts.
    toMainThread([this] { ++m_quietPauses; });
    manager->retryDownload(id);
    toMainThread([this] { --m_quietPauses; });
}

Player::PlayAnswer Player::play(const LivePlugins &plugins, uint64_t id)
{
    ItemPtr item;
    if (!plugins.library || !plugins.library->getItem(id, item.receive()) || !item)
        return PlayAnswer::NoSuchDownload;
    if (plugins.manager->playDownload(id))
        return PlayAnswer::Playing;
    const DownloadStatusValue status = item->status();
    if (isFinishedStatus(status) || status == Invalid || item->progress() >= PlayThresholdPercent)
        return PlayAnswer::CannotPlay;
    // A waiting item carries the download manager's own mark and its worker plays it; a running one
    // does not, and the player keeps the promise.
    if (!item->playWhenReady())
        toMainThread([this, id] {
            m_playPromises.insert(id);
            keepPlayPromise(id);
        });
    return PlayAnswer::OnceEnoughArrived;
}

void Player::close()
{
    SignalWatcher::setLeftoverFile({});
    m_sampleTimer.stop();
    m_finishingTimer.stop();
    m_server.reset();
    if (m_ops)
        m_ops->finish();
    if (m_subscription) {
        PubSubHub::unsubscribe(m_subscription);
        m_subscription = 0;
    }
    m_meters.clear();
    m_stack.unload();
    if (m_sinkSet) {
        UIThread::setMessageSink(m_previousSink);
        m_sinkSet = false;
    }
}

void Player::onHubMessage(const QString &topic, const QVariant &payload)
{
    if (m_stopped || !m_stack.library())
        return;
    const uint64_t id = payload.toULongLong();
    if (HubTopics::is(topic, HubTopics::DownloadStatusChanged)) {
        followStatus(id);
        m_events.statusChanged(id);
        checkEnding(id);
        keepPlayPromise(id);
    } else if (HubTopics::is(topic, HubTopics::MediaItemChanged)) {
        m_events.itemChanged(id);
        keepPlayPromise(id);
    } else if (HubTopics::is(topic, HubTopics::MediaItemRemoved)) {
        m_running.erase(id);
        m_meters.forget(id);
        m_playPromises.erase(id);
        m_events.itemRemoved(id);
    } else if (HubTopics::is(topic, HubTopics::MediaListChanged)) {
        m_events.listChanged();
    } else if (HubTopics::is(topic, HubTopics::DownloadStatusPaused) && !m_stopping && m_quietPauses == 0) {
        m_events.pausedChanged(payload.toBool());
    }
}

void Player::followStatus(uint64_t id)
{
    const ItemPtr found = item(id);
    const DownloadStatusValue status = found ? found->status() : Invalid;
    if (status == Downloading) {
        m_running.insert(id);
        m_meters.sample(id, found->transferState());
    } else {
        m_running.erase(id);
        m_meters.forget(id);
    }
    if (!isFinishedStatus(status)) {
        // Queued again (a retry, a new run): its next ending is news again.
        m_ended.erase(id);
        m_finishing.erase(id);
    }
}

void Player::sampleTransfers()
{
    for (uint64_t id : m_running) {
        if (const ItemPtr found = item(id))
            m_meters.sample(id, found->transferState());
    }
}

void Player::checkFinishing()
{
    const std::set<uint64_t> finishing = m_finishing;
    for (uint64_t id : finishing)
        checkEnding(id);
    if (m_finishing.empty())
        m_finishingTimer.stop();
}

void Player::checkEnding(uint64_t id)
{
    const ItemPtr found = item(id);
    const DownloadStatusValue status = found ? found->status() : Invalid;
    if (!isFinishedStatus(status)) {
        m_finishing.erase(id);
        return;
    }
    const auto ended = m_ended.find(id);
    if (ended != m_ended.end() && ended->second == status)
        return;
    // Completed is recorded before the file is placed and entered in the library: the notice waits
    // for that, and a placement that fails turns it into Failed instead.
    if (status == Completed && !found->pendingFinish().isEmpty()) {
        m_finishing.insert(id);
        if (!m_finishingTimer.isActive() && !m_stopped)
            m_finishingTimer.start();
        return;
    }
    m_finishing.erase(id);
    m_ended[id] = status;

    DownloadEnding ending;
    ending.id = id;
    ending.status = status;
    ending.title = found->title();
    const QUrl file = found->fileUrl();
    ending.file = file.isLocalFile() ? file.toLocalFile() : QString();
    ending.source = maskedAddress(found->sourceUrl());
    if (status == Failed)
        ending.reason = found->failureReason();
    const QString problem = m_notice.announce(ending);
    if (!problem.isEmpty())
        m_events.messageShown(UIThread::Warning, problem, QString());
    m_events.downloadEnded(id, status);
}

void Player::keepPlayPromise(uint64_t id)
{
    if (!m_playPromises.count(id))
        return;
    const ItemPtr found = item(id);
    const DownloadStatusValue status = found ? found->status() : Invalid;
    if (!found || status == Failed || status == Invalid) {
        m_playPromises.erase(id);
        return;
    }
    const bool enough = status == Completed || (status == Downloading && found->progress() >= PlayThresholdPercent);
    if (!enough)
        return;
    m_playPromises.erase(id);
    submit([id](const LivePlugins &plugins) { plugins.manager->playDownload(id); });
}

bool Player::diskSpaceLow(const QString &itemName, const QString &, const QString &targetPath,
                          uint64_t requiredBytes, uint64_t freeBytes)
{
    toMainThread([this, itemName, targetPath, requiredBytes, freeBytes] {
        m_events.diskSpaceLow(itemName, targetPath, requiredBytes, freeBytes);
    });
    return true;
}

void Player::downloadFailed(const QUrl &fileUrl)
{
    toMainThread([this, fileUrl] { m_events.downloadFailed(fileUrl); });
}

void retryDownload(const LivePlugins &plugins, uint64_t id)
{
    if (plugins.player)
        plugins.player->retryQuietly(plugins.manager, id);
    else
        plugins.manager->retryDownload(id);
}

Player::PlayAnswer playDownload(const LivePlugins &plugins, uint64_t id)
{
    if (plugins.player)
        return plugins.player->play(plugins, id);
    return plugins.manager->playDownload(id) ? Player::PlayAnswer::Playing : Player::PlayAnswer::CannotPlay;
}

} // namespace Lumora::Host
