#pragma once
// The player core that every face of the player stands on (the command line, a window): it loads
// the plugins, installs the download listener, turns every hub message into an event on the main
// thread, makes every download manager call on its operation thread, serves the commands other
// lumoras hand over, and shuts the download manager down in order at the end (a signal, or the face
// asking).
//
// Beside that it keeps what every face would otherwise keep on its own: a meter per running download
// (bytes, speed and time left, from the item's in-memory transfer state), the notice when a download
// ends (desktop notification, the user's command), and the promise to play a running download once
// enough of it has arrived.
//
// Threads: made, started, closed and destroyed on the main thread, which runs the event loop. The
// plugins' threads reach the face only through PlayerEvents, posted to the main thread. A face never
// calls the download manager itself: submit() runs the call on the operation thread, so the main
// thread never waits on the plugin's locks.

#include "host/player/CompletionNotice.h"
#include "host/player/InstanceChannel.h"
#include "host/player/MainThread.h"
#include "host/player/OperationQueue.h"
#include "host/player/PlayerEvents.h"
#include "host/player/PluginStack.h"
#include "host/player/SignalWatcher.h"
#include "host/player/TransferMeters.h"
#include "host/lmrlibrary/PubSubHub.h"
#include "host/lmrlibrary/UIThread.h"
#include "lmtl/RefCountedPtr.h"
#include "plugin/DownloadListener.h"
#include "plugin/FailureReason.h"

#include <QObject>
#include <QTimer>
#include <QVariant>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace Lumora::Host {

class Player;

// The plugins an operation works with, valid while the player runs, and the player they belong to
// (null where an operation runs without one, as in unit tests).
struct LivePlugins {
    DownloadManagerInterface *manager = nullptr;
    URIReceiver *receiver = nullptr;
    MediaManagerInterface::MediaManager *library = nullptr;
    Player *player = nullptr;
    MediaLibraryHostInterface *libraryHost = nullptr;
};

class Player : public QObject, private DownloadListener {
public:
    using Operation = std::function<void(const LivePlugins &plugins)>;
    using ItemPtr = lmtl::RefCountedPtr<MediaManagerInterface::QueuedFileInterface>;
    // Every hub message on the thread that sent it, before it becomes an event: for tracing in the
    // order of sending. Must be thread-safe and must not call into the plugins.
    using MessageTap = std::function<void(const QString &topic, const QVariant &payload)>;

    struct Options {
        QString socketPath;                  // where other lumoras reach this player; empty: nowhere
        InstanceServer::Handler handOver;    // each handed-over command, on the main thread
        MessageTap tap;
    };

    enum class PlayAnswer {
        Playing,            // handed to the player program
        OnceEnoughArrived,  // plays once PlayThresholdPercent of it has arrived
        NoSuchDownload,
        CannotPlay,
    };

    Player(PlayerEvents &events, Options options);
    ~Player() override;
    Player(const Player &) = delete;
    Player &operator=(const Player &) = delete;

    // Loads the plugins with the download manager (its scheduler starts), points them at the media
    // folder, starts the operation thread, listens for other lumoras and watches SIGINT, SIGTERM and
    // SIGHUP. False with the reason when the plugins cannot be loaded or other lumoras could not be
    // listened for; close() then cleans up.
    bool start(QString *error);

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
    // Why the item failed, as its library entry says; no reason when the item is unknown.
    FailureReason failureReason(uint64_t id) const;
    // The running download's bytes, speed, time left and retries; empty when it does not run. Any
    // thread.
    std::optional<TransferReading> transfer(uint64_t id) const { return m_meters.reading(id); }

    // Operation thread. Queues a failed download again; the pause and resume the download manager
    // goes through for it are not reported as the user's (PlayerEvents::pausedChanged).
    void retryQuietly(DownloadManagerInterface *manager, uint64_t id);
    // Operation thread. Plays the download (its file, or its source while it arrives); one that is
    // running with too little arrived plays as soon as enough has, which the player sees to.
    PlayAnswer play(const LivePlugins &plugins, uint64_t id);

    // Stops serving and watching, finishes the operation thread and gives the plugins back. Items
    // taken from the library must be let go before. Also done by the destructor.
    void close();

private:
    bool diskSpaceLow(const QString &itemName, const QString &drive, const QString &targetPath,
                      uint64_t requiredBytes, uint64_t freeBytes) override;
    void downloadFailed(const QUrl &fileUrl) override;

    void onHubMessage(const QString &topic, const QVariant &payload);
    void followStatus(uint64_t id);
    void sampleTransfers();
    void checkFinishing();
    void checkEnding(uint64_t id);
    void keepPlayPromise(uint64_t id);
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
    bool m_stopping = false;
    bool m_stopped = false;
    std::atomic<bool> m_managerDown{false};  // set on the operation thread

    // Main thread only, below.
    TransferMeters m_meters;  // itself thread-safe: read by handed-over commands
    QTimer m_sampleTimer;
    QTimer m_finishingTimer;  // runs while a completed download's finishing is under way
    std::set<uint64_t> m_running;                    // Downloading, metered
    std::map<uint64_t, DownloadStatusValue> m_ended; // the ending last announced per download
    std::set<uint64_t> m_finishing;                  // Completed, its finishing still under way
    std::set<uint64_t> m_playPromises;
    int m_quietPauses = 0;
    CompletionNotice m_notice;
};

// What a face asks of the plugins on the operation thread: through the player when there is one,
// so that a retry's pause stays quiet and a play that must wait is kept as a promise; of the
// download manager alone otherwise (unit tests without a player).
void retryDownload(const LivePlugins &plugins, uint64_t id);
Player::PlayAnswer playDownload(const LivePlugins &plugins, uint64_t id);

} // namespace Lumora::Host
