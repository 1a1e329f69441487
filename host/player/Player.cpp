#include "host/player/Player.h"

#include "host/player/PlayerSettings.h"
#include "plugin/Topics.h"

#include <QFile>

namespace Lumora::Host {

Player::Player(PlayerEvents &events, Options options)
    : m_events(events),
      m_options(std::move(options)),
      m_stack(PlayerPlugin::Callbacks{
          [this](const QUrl &url, bool started, const QString &error) {
              toMainThread([this, url, started, error] { m_events.played(url, started, error); });
          },
          {}})
{
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
    m_stack.manager()->setDownloadListener(this);
    m_ops = std::make_unique<OperationQueue>();

    if (!m_options.socketName.isEmpty() && m_options.handOver) {
        m_server = std::make_unique<InstanceServer>(m_options.handOver);
        if (m_server->listen(m_options.socketName, &m_channelError))
            SignalWatcher::setLeftoverFile(QFile::encodeName(m_server->socketPath()));
    }
    if (m_signals.install())
        connect(&m_signals, &SignalWatcher::shutdownRequested, this, [this](int signalNumber) { shutDown(signalNumber); });
    return true;
}

void Player::submit(Operation operation, std::function<void()> whenDown)
{
    if (!m_ops)
        return;
    const LivePlugins plugins{m_stack.manager(), m_stack.receiver(), m_stack.library()};
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

void Player::close()
{
    SignalWatcher::setLeftoverFile({});
    m_server.reset();
    if (m_ops)
        m_ops->finish();
    if (m_subscription) {
        PubSubHub::unsubscribe(m_subscription);
        m_subscription = 0;
    }
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
    if (HubTopics::is(topic, HubTopics::DownloadStatusChanged))
        m_events.statusChanged(id);
    else if (HubTopics::is(topic, HubTopics::MediaItemChanged))
        m_events.itemChanged(id);
    else if (HubTopics::is(topic, HubTopics::MediaItemRemoved))
        m_events.itemRemoved(id);
    else if (HubTopics::is(topic, HubTopics::MediaListChanged))
        m_events.listChanged();
    else if (HubTopics::is(topic, HubTopics::DownloadStatusPaused) && !m_stopping)
        m_events.pausedChanged(payload.toBool());
    else if (HubTopics::is(topic, HubTopics::ShowDownload))
        m_events.downloadAdded();
    else if (HubTopics::is(topic, HubTopics::MediaItemAdded))
        m_events.videoAdded(id);
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

} // namespace Lumora::Host
