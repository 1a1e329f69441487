#pragma once
// The player core that every face of the player stands on (the command line, a window): it loads
// the plugins, installs the download listener, turns every hub message into an event on the main
// thread, makes every download manager call on its operation thread, serves the commands other
// lumoras hand over, and shuts the download manager down in order at the end (a signal, or the face
// asking).
//
// Threads: made, started, closed and destroyed on the main thread, which runs the event loop. The
// plugins' threads reach the face only through PlayerEvents, posted to the main thread. A face never
// calls the download manager itself: submit() runs the call on the operation thread, so the main
// thread never waits on the plugin's locks.

#include "host/player/InstanceChannel.h"
#include "host/player/MainThread.h"
#include "host/player/OperationQueue.h"
#include "host/player/PlayerEvents.h"
#include "host/player/PluginStack.h"
#include "host/player/SignalWatcher.h"
#include "host/lmrlibrary/PubSubHub.h"
#include "host/lmrlibrary/UIThread.h"
#include "lmtl/RefCountedPtr.h"
#include "plugin/DownloadListener.h"

#include <QObject>
#include <QVariant>

#include <atomic>
#include <functional>
#include <memory>

namespace Lumora::Host {

// The plugins an operation works with, valid while the player runs.
struct LivePlugins {
    DownloadManagerInterface *manager = nullptr;
    URIReceiver *receiver = nullptr;
    MediaManagerInterface::MediaManager *library = nullptr;
};

class Player : public QObject, private DownloadListener {
public:
    using Operation = std::function<void(const LivePlugins &plugins)>;
    using ItemPtr = lmtl::RefCountedPtr<MediaManagerInterface::QueuedFileInterface>;
    // Every hub message on the thread that sent it, before it becomes an event: for tracing in the
    // order of sending. Must be thread-safe and must not call into the plugins.
    using MessageTap = std::function<void(const QString &topic, const QVariant &payload)>;

    struct Options {
        QString socketName;                  // where other lumoras reach this player; empty: nowhere
        InstanceServer::Handler handOver;    // each handed-over command, on the main thread
        MessageTap tap;
    };

    Player(PlayerEvents &events, Options options);
    ~Player() override;
    Player(const Player &) = delete;
    Player &operator=(const Player &) = delete;

    // Loads the plugins with the download manager (its scheduler starts), points them at the media
    // folder, starts the operation thread, listens for other lumoras and watches SIGINT and SIGTERM.
    // False with the reason when the plugins cannot be loaded; close() then cleans up.
    bool start(QString *error);
    // Why other lumoras cannot reach this player; empty when they can (or none were to be served).
    QString channelError() const { return m_channelError; }

    // Runs operation on the operation thread, after everything submitted before it. Once the download
    // manager is shut down, whenDown runs there instead (when given).
    void submit(Operation operation, std::function<void()> whenDown = {});

    // Begins the orderly shutdown: the running download ends Queued and goes on at the next run.
    // PlayerEvents::stopping now, stopped once the download manager is down. Later calls do nothing.
    void shutDown(int signalNumber = 0);
    bool isStopping() const { return m_stopping; }

    // Points the plugins at the media folder the settings name now (after it was changed).
    void applyMediaFolder();

    // A queue item by id, read from the library on the calling thread; null when unknown.
    ItemPtr item(uint64_t id) const;

    // Stops serving and watching, finishes the operation thread and gives the plugins back. Items
    // taken from the library must be let go before. Also done by the destructor.
    void close();

private:
    bool diskSpaceLow(const QString &itemName, const QString &drive, const QString &targetPath,
                      uint64_t requiredBytes, uint64_t freeBytes) override;
    void downloadFailed(const QUrl &fileUrl) override;

    void onHubMessage(const QString &topic, const QVariant &payload);
    void toMainThread(std::function<void()> work) const { MainThread::postIfAlive(m_alive, std::move(work)); }

    MainThread::Liveness m_alive = MainThread::makeLiveness();
    PlayerEvents &m_events;
    Options m_options;
    PluginStack m_stack;
    std::unique_ptr<OperationQueue> m_ops;
    std::unique_ptr<InstanceServer> m_server;
    SignalWatcher m_signals;
    PubSubHub::SubscriptionId m_subscription = 0;
    UIThread::MessageSink m_previousSink;
    bool m_sinkSet = false;
    QString m_channelError;
    bool m_stopping = false;
    bool m_stopped = false;
    std::atomic<bool> m_managerDown{false};  // set on the operation thread
};

} // namespace Lumora::Host
