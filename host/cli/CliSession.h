#pragma once
// A lumora that is the player of its home, on a terminal: the Player core underneath, the progress
// drawn on the console, the commands other lumoras hand over served (a handed-over "get" followed
// on its asker's terminal until its downloads end), and the goal of the command that started it
// (Goal.h) deciding when it is done and with which exit code.
//
// Main thread only; the core hands everything from the plugins' threads over as events.

#include "host/cli/CommandLine.h"
#include "host/cli/Console.h"
#include "host/cli/Goal.h"
#include "host/cli/HandOver.h"
#include "host/cli/HandOverFollowers.h"
#include "host/cli/ProgressView.h"
#include "host/player/IdleWaiters.h"
#include "host/player/MainThread.h"
#include "host/player/Player.h"
#include "host/player/PlayerEvents.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

namespace Lumora::Cli {

class CliSession : public QObject, private Host::PlayerEvents, private RunningPlayer {
public:
    // socketPath: where other lumoras reach this player; empty to serve none.
    CliSession(const Invocation &invocation, std::unique_ptr<Goal> goal, Console &console, const QString &socketPath);
    ~CliSession() override;

    // Runs until the goal is reached or a signal ends it; returns the exit code.
    int exec();

    // For the goal.
    const Invocation &invocation() const { return m_invocation; }
    Console &console() { return m_console; }
    Host::Player &player() { return m_player; }
    // From now on, idle checks reach the goal.
    void watchIdle() { m_watchingIdle = true; }
    // Shuts the player down in order; the goal's finish() follows.
    void stop() { m_player.shutDown(0); }
    // The signal that stopped the player; 0 when none did.
    int stopSignal() const { return m_signal; }
    ProgressView::ItemPtr item(uint64_t id) const { return m_player.item(id); }
    // Work for the main thread, dropped once the session has gone.
    void toMainThread(std::function<void()> work) const { Host::MainThread::postIfAlive(m_alive, std::move(work)); }

private:
    // Host::PlayerEvents
    void itemChanged(uint64_t id) override;
    void statusChanged(uint64_t id) override;
    void itemRemoved(uint64_t id) override;
    void pausedChanged(bool paused) override;
    void downloadEnded(uint64_t id, int32_t status) override;
    void played(const QUrl &url, bool started, const QString &error) override;
    void diskSpaceLow(const QString &itemName, const QString &targetPath, uint64_t requiredBytes,
                      uint64_t freeBytes) override;
    void downloadFailed(const QUrl &fileUrl) override;
    void messageShown(int icon, const QString &text, const QString &detail) override;
    void stopping(int signalNumber) override;
    void stopped() override;

    // RunningPlayer
    bool stopping() const override { return m_player.isStopping(); }
    void submit(Host::Player::Operation operation, std::function<void()> whenDown) override;
    void applyMediaFolder() override { m_player.applyMediaFolder(); }
    void waitForIdle(std::shared_ptr<Host::CommandReply> reply) override;
    void follow(std::vector<uint64_t> ids, std::vector<uint64_t> finishedBefore,
                std::shared_ptr<Host::CommandReply> reply, int refused) override;
    void tell(const QString &line) override { m_console.message(line); }

    Host::Player::Options playerOptions(const QString &socketPath);
    void checkIdle();
    void idleState(bool pending, bool paused);

    Host::MainThread::Liveness m_alive = Host::MainThread::makeLiveness();
    Invocation m_invocation;
    std::unique_ptr<Goal> m_goal;
    Console &m_console;
    Host::Player m_player;
    // After the player: it holds the library's items, which must go before the plugins do.
    std::unique_ptr<ProgressView> m_progress;
    HandOverFollowers m_followers;
    QEventLoop m_loop;
    QTimer m_idleTimer;

    bool m_watchingIdle = false;
    bool m_checking = false;
    int m_signal = 0;
    Host::IdleWaiters m_idleWaiters;  // handed-over "run --until-idle"
};

} // namespace Lumora::Cli
