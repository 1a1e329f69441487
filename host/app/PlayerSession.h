#pragma once
// A lumora that is the player of its home: it loads the plugins, hands addresses to the download
// manager, shows what happens, serves the commands other lumoras hand over, and shuts the download
// manager down in order at the end (idle, a signal, or the played video done).
//
// Threads: everything here runs on the main thread except what goes through the operation queue
// (every download manager call). The plugins' threads reach the session only by posting to the main
// thread: hub messages, the listener's reports and the player's callbacks.

#include "host/app/CommandLine.h"
#include "host/app/Commands.h"
#include "host/app/Console.h"
#include "host/app/InstanceChannel.h"
#include "host/app/MainThread.h"
#include "host/app/OperationQueue.h"
#include "host/app/PluginStack.h"
#include "host/app/ProgressView.h"
#include "host/app/SignalWatcher.h"
#include "host/lmrlibrary/PubSubHub.h"
#include "plugin/DownloadListener.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <memory>
#include <set>
#include <vector>

namespace Lumora::App {

class PlayerSession : public QObject, private DownloadListener {
public:
    // socketName: where other lumoras reach this player; empty to serve none.
    PlayerSession(const Invocation &invocation, Console &console, const QString &socketName);
    ~PlayerSession() override;

    // Runs until the session's goal is reached or a signal ends it; returns the exit code.
    int exec();

private:
    enum class Goal { Get, Run, RunUntilIdle, Play };

    // DownloadListener (scheduler thread)
    bool diskSpaceLow(const QString &itemName, const QString &drive, const QString &targetPath,
                      uint64_t requiredBytes, uint64_t freeBytes) override;
    void downloadFailed(const QUrl &fileUrl) override;

    // Main thread.
    void onHubMessage(const QString &topic, const QVariant &payload);
    void startGoal();
    void intakeDone(const IntakeResult &result);
    void checkIdle();
    void idleState(bool pending, bool paused);
    void onHandedOver(const QStringList &args, const QString &cwd, std::shared_ptr<RemoteOutput> output);
    void onPlayed(const QUrl &url, bool started, const QString &error);
    void beginShutdown(int signalNumber);
    void finishShutdown();
    int finalExitCode();
    ProgressView::ItemPtr lookup(uint64_t id) const;

    MainThread::Liveness m_alive = MainThread::makeLiveness();
    Invocation m_invocation;
    Goal m_goal;
    Console &m_console;
    QString m_socketName;

    PluginStack m_stack;
    std::unique_ptr<OperationQueue> m_ops;
    std::unique_ptr<ProgressView> m_progress;
    std::unique_ptr<InstanceServer> m_server;
    SignalWatcher m_signals;
    QEventLoop m_loop;
    QTimer m_idleTimer;
    PubSubHub::SubscriptionId m_subscription = 0;

    std::vector<uint64_t> m_mine;           // the downloads this command asked for
    int m_rejected = 0;
    bool m_intakeDone = false;
    bool m_checking = false;
    bool m_pausedNoticeShown = false;
    bool m_shuttingDown = false;
    bool m_finished = false;
    int m_signal = 0;
    bool m_playStarted = false;
    bool m_playFailed = false;
    int m_exitCode = ExitOk;
    std::atomic<bool> m_managerDown{false};  // operation thread: the manager has been shut down
    std::vector<std::shared_ptr<RemoteOutput>> m_idleWaiters;  // handed-over "run --until-idle"
};

} // namespace Lumora::App
