#pragma once
// A lumora that is the player of its home, as a window: the Player core underneath, the Downloads
// window over it, the commands other lumoras hand over served (a "lumora get" in a terminal puts its
// addresses in this window), and the orderly shutdown when the user quits or a signal asks.
//
//   events from the plugins  -> PlayerEvents here -> QueueModel (rows) and the window (notices)
//   list changes             -> QueueReader (the playlist, off the main thread) -> QueueModel
//   every 100 ms             -> QueueModel::tick (bytes and speed of the running downloads)
//   the user's actions       -> QueueOperations -> Player::submit (the operation thread)
//
// Main thread only. The rows hold the library's items: they are let go before the plugins are.

#include "host/cli/HandOver.h"
#include "host/player/IdleWaiters.h"
#include "host/player/MainThread.h"
#include "host/player/Player.h"
#include "host/player/PlayerEvents.h"

#include <QEventLoop>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

namespace Lumora::Window {

class DownloadsWindow;
class QueueModel;
class QueueOperations;
class QueueReader;

class WindowSession : public QObject, private Host::PlayerEvents, private Cli::RunningPlayer {
public:
    // How handed-over commands are carried out (Cli::handOver).
    using HandOver = std::function<void(Cli::RunningPlayer &player, const QStringList &args, const QString &cwd,
                                        std::shared_ptr<Host::CommandReply> reply)>;

    struct Options {
        QString socketPath;      // where other lumoras reach this player; empty to serve none
        HandOver handOver;
        QString ownCommand;      // the command that opens the window: handed over, it shows this one
        QStringList addresses;   // queued once the player runs (the desktop hands links this way)
        // The askers following their handed-over downloads; none: they are answered at once.
        std::function<std::unique_ptr<Cli::DownloadFollowers>(Host::Player &player)> makeFollowers;
    };

    explicit WindowSession(Options options);
    ~WindowSession() override;

    // Starts the player and shows the window; false with the reason when the plugins cannot load.
    bool start(QString *error);
    // After start(): runs until the player has stopped; returns the exit code.
    int exec();
    // Begins the orderly shutdown; the window closes once the download manager is down.
    void quit();

    bool isStopped() const { return m_stopped; }
    DownloadsWindow *window() const { return m_window.get(); }
    QueueModel &model() const { return *m_model; }
    QueueOperations &operations() const { return *m_operations; }
    Host::Player &player() { return m_player; }

private:
    // Host::PlayerEvents
    void itemChanged(uint64_t id) override;
    void statusChanged(uint64_t id) override;
    void itemRemoved(uint64_t id) override;
    void listChanged() override;
    void pausedChanged(bool paused) override;
    void played(const QUrl &url, bool started, const QString &error) override;
    void diskSpaceLow(const QString &itemName, const QString &targetPath, uint64_t requiredBytes,
                      uint64_t freeBytes) override;
    void messageShown(int icon, const QString &text, const QString &detail) override;
    void stopping(int signalNumber) override;
    void stopped() override;
    void downloadEnded(uint64_t id, int32_t status) override;

    // Cli::RunningPlayer
    bool stopping() const override { return m_player.isStopping(); }
    void submit(Host::Player::Operation operation, std::function<void()> whenDown) override;
    void applyMediaFolder() override { m_player.applyMediaFolder(); }
    void waitForIdle(std::shared_ptr<Host::CommandReply> reply) override;
    void follow(std::vector<uint64_t> ids, std::vector<uint64_t> finishedBefore,
                std::shared_ptr<Host::CommandReply> reply, int refused) override;
    // What was handed over shows in the status bar.
    void tell(const QString &line) override;

    Host::Player::Options playerOptions();
    void handOver(const QStringList &args, const QString &cwd, std::shared_ptr<Host::CommandReply> reply);
    void present(const QStringList &addresses);
    void checkIdle();
    void release();
    void toMainThread(std::function<void()> work) const { Host::MainThread::postIfAlive(m_alive, std::move(work)); }

    Host::MainThread::Liveness m_alive = Host::MainThread::makeLiveness();
    Options m_options;
    Host::Player m_player;
    // After the player: they hold the library's items, which go before the plugins do.
    std::unique_ptr<QueueModel> m_model;
    std::unique_ptr<QueueOperations> m_operations;
    std::unique_ptr<DownloadsWindow> m_window;
    std::unique_ptr<QueueReader> m_reader;
    // A "lumora get" in a terminal follows its downloads here, as with "lumora run".
    std::unique_ptr<Cli::DownloadFollowers> m_followers;
    QTimer m_progressTimer;
    QTimer m_idleTimer;
    QEventLoop m_loop;
    bool m_started = false;
    bool m_stopped = false;
    bool m_checkingIdle = false;
    Host::IdleWaiters m_idleWaiters;  // handed-over "run --until-idle"
};

} // namespace Lumora::Window
