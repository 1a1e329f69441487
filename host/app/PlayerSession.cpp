#include "host/app/PlayerSession.h"

#include "host/app/AppSettings.h"
#include "host/app/Format.h"
#include "host/app/MainThread.h"
#include "host/app/PlayerCommand.h"
#include "host/lmrlibrary/UIThread.h"
#include "plugin/Topics.h"

#include <QFile>
#include <QFileInfo>
#include <QCoreApplication>

namespace Lumora::App {

namespace {

constexpr int kIdleCheckMs = 150;

QString payloadText(const QVariant &payload)
{
    if (!payload.isValid())
        return QStringLiteral("(empty)");
    if (payload.typeId() == QMetaType::Bool)
        return payload.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    return payload.toString();
}

} // namespace

PlayerSession::PlayerSession(const Invocation &invocation, Console &console, const QString &socketName)
    : m_invocation(invocation),
      m_goal(invocation.command == Command::Get   ? Goal::Get
             : invocation.command == Command::Play ? Goal::Play
             : invocation.untilIdle               ? Goal::RunUntilIdle
                                                  : Goal::Run),
      m_console(console),
      m_socketName(socketName),
      m_stack(PlayerPlugin::Callbacks{
          [this](const QUrl &url, bool started, const QString &error) {
              MainThread::postIfAlive(m_alive, [this, url, started, error] { onPlayed(url, started, error); });
          },
          {}})
{
    m_progress = std::make_unique<ProgressView>(m_console, [this](uint64_t id) { return lookup(id); });
}

PlayerSession::~PlayerSession()
{
    *m_alive = false;
    if (m_ops)
        m_ops->finish();
    if (m_subscription)
        PubSubHub::unsubscribe(m_subscription);
    m_stack.unload();
}

int PlayerSession::exec()
{
    UIThread::MessageSink previousSink = UIThread::setMessageSink([this](int icon, const QString &text, const QString &detail) {
        const QString kind = icon == UIThread::Warning ? QStringLiteral("warning") : QStringLiteral("note");
        m_console.error(QStringLiteral("lumora: %1: %2").arg(kind, text));
        if (!detail.isEmpty())
            m_console.error(QStringLiteral("  ") + detail);
    });
    const bool verbose = m_invocation.verbose;
    m_subscription = PubSubHub::subscribe(QString(), [this, verbose](const QString &topic, const QVariant &payload) {
        // Printed on the sending thread, so that the order is exactly the order of sending.
        if (verbose)
            m_console.message(QStringLiteral("hub: %1 %2").arg(topic, payloadText(payload)));
        MainThread::postIfAlive(m_alive, [this, topic, payload] { onHubMessage(topic, payload); });
    });

    QString error;
    if (!m_stack.load(true, &error)) {
        m_console.error(QStringLiteral("lumora: ") + error);
        PubSubHub::unsubscribe(m_subscription);
        m_subscription = 0;
        m_stack.unload();
        UIThread::setMessageSink(previousSink);
        return ExitFailed;
    }
    m_stack.applyMediaFolder(AppSettings::mediaFolder());
    m_stack.manager()->setDownloadListener(this);
    m_ops = std::make_unique<OperationQueue>();

    if (!m_socketName.isEmpty()) {
        m_server = std::make_unique<InstanceServer>(
            [this](const QStringList &args, const QString &cwd, std::shared_ptr<RemoteOutput> output) {
                onHandedOver(args, cwd, std::move(output));
            });
        if (!m_server->listen(m_socketName, &error))
            m_console.error(QStringLiteral("lumora: warning: ") + error);
        else
            SignalWatcher::setLeftoverFile(QFile::encodeName(m_server->socketPath()));
    }
    if (m_signals.install())
        connect(&m_signals, &SignalWatcher::shutdownRequested, this, [this](int signalNumber) { beginShutdown(signalNumber); });

    m_progress->start();
    connect(&m_idleTimer, &QTimer::timeout, this, [this] { checkIdle(); });
    m_idleTimer.start(kIdleCheckMs);
    startGoal();

    const int code = m_loop.exec();

    SignalWatcher::setLeftoverFile({});
    m_server.reset();
    m_ops->finish();
    m_progress->stop();
    PubSubHub::unsubscribe(m_subscription);
    m_subscription = 0;
    m_stack.unload();
    UIThread::setMessageSink(previousSink);
    return code;
}

void PlayerSession::startGoal()
{
    DownloadManagerInterface *manager = m_stack.manager();
    switch (m_goal) {
    case Goal::Get: {
        std::vector<QUrl> urls;
        for (const QString &text : m_invocation.addresses) {
            QUrl url;
            QString reason;
            if (checkAddress(text, &url, &reason))
                urls.push_back(url);
        }
        URIReceiver *receiver = m_stack.receiver();
        m_ops->post([this, urls, receiver, manager] {
            const IntakeResult result = intakeAddresses(urls, receiver, manager, m_console);
            MainThread::postIfAlive(m_alive, [this, result] { intakeDone(result); });
        });
        break;
    }
    case Goal::Run:
    case Goal::RunUntilIdle:
        m_intakeDone = true;
        m_console.message(m_goal == Goal::Run
                              ? QStringLiteral("downloading the queue of %1; Ctrl-C stops, and the running download goes on "
                                               "from there at the next run")
                                    .arg(homeIdentity())
                              : QStringLiteral("downloading the queue of %1 until it is idle").arg(homeIdentity()));
        if (!AppSettings::resumeDownloadsOnStartup())
            m_console.message(QStringLiteral("ResumeDownloadsOnStartup is off: the queue stays paused until \"lumora resume\""));
        break;
    case Goal::Play: {
        m_mine = {m_invocation.id};
        MediaManagerInterface::MediaManager *library = m_stack.library();
        const uint64_t id = m_invocation.id;
        m_ops->post([this, manager, library, id] {
            ProgressView::ItemPtr item;
            const bool known = library->getItem(id, item.receive()) && item;
            const bool played = known && manager->playDownload(id);
            const bool waiting = known && !played && item->status() != Completed && item->status() != Failed
                                 && item->progress() < PlayThresholdPercent;
            MainThread::postIfAlive(m_alive, [this, id, known, played, waiting] {
                m_intakeDone = true;
                if (!known) {
                    m_console.error(QStringLiteral("lumora: there is no download %1 (see \"lumora list\")").arg(id));
                    m_playFailed = true;
                } else if (waiting) {
                    m_console.message(QStringLiteral("download %1 plays once %2% of it has arrived").arg(id).arg(PlayThresholdPercent));
                } else if (!played && !m_playStarted) {
                    m_console.error(QStringLiteral("lumora: could not play download %1").arg(id));
                    m_playFailed = true;
                }
            });
        });
        break;
    }
    }
}

void PlayerSession::intakeDone(const IntakeResult &result)
{
    m_mine = result.accepted;
    m_rejected = result.rejected;
    m_intakeDone = true;
    if (m_mine.empty())
        beginShutdown(0);  // nothing of ours to wait for
}

void PlayerSession::checkIdle()
{
    if (!m_intakeDone || m_checking || m_shuttingDown)
        return;
    m_checking = true;
    DownloadManagerInterface *manager = m_stack.manager();
    m_ops->post([this, manager] {
        const bool down = m_managerDown.load();
        const bool pending = !down && manager->hasPendingDownloads();
        const bool paused = !down && manager->isPaused();
        MainThread::postIfAlive(m_alive, [this, pending, paused] { idleState(pending, paused); });
    });
}

void PlayerSession::idleState(bool pending, bool paused)
{
    m_checking = false;
    if (m_shuttingDown)
        return;
    if (!pending || paused) {
        for (const auto &waiter : m_idleWaiters) {
            waiter->message(pending ? QStringLiteral("the queue is paused") : QStringLiteral("the queue is idle"));
            waiter->finish(ExitOk);
        }
        m_idleWaiters.clear();
    }

    switch (m_goal) {
    case Goal::Get:
        // A queue paused by another command is not idle: the user may resume it. Say so once.
        if (!pending) {
            beginShutdown(0);
        } else if (paused && !m_pausedNoticeShown) {
            m_pausedNoticeShown = true;
            m_console.message(QStringLiteral("the downloads are paused: \"lumora resume\" goes on, Ctrl-C leaves them queued"));
        }
        break;
    case Goal::RunUntilIdle:
        // Paused, nothing more happens by itself: that is idle too.
        if (!pending || paused)
            beginShutdown(0);
        break;
    case Goal::Run:
        break;
    case Goal::Play: {
        const ProgressView::ItemPtr item = lookup(m_invocation.id);
        const DownloadStatusValue status = item ? item->status() : Invalid;
        if (m_playFailed || !item || status == Failed || (m_playStarted && status == Completed))
            beginShutdown(0);
        else if (!pending && !m_playStarted)
            beginShutdown(0);  // nothing left that could start playback
        break;
    }
    }
}

void PlayerSession::onHubMessage(const QString &topic, const QVariant &payload)
{
    if (m_finished || !m_stack.library())
        return;
    const uint64_t id = payload.toULongLong();
    const bool statusChanged = HubTopics::is(topic, HubTopics::DownloadStatusChanged);
    if (statusChanged || HubTopics::is(topic, HubTopics::MediaItemChanged))
        m_progress->statusChanged(id, statusChanged);
    else if (HubTopics::is(topic, HubTopics::MediaItemRemoved))
        m_progress->itemRemoved(id);
    else if (HubTopics::is(topic, HubTopics::DownloadStatusPaused) && !m_shuttingDown)
        m_progress->pausedChanged(payload.toBool());  // the shutdown's own pause is no news
}

void PlayerSession::onHandedOver(const QStringList &args, const QString &cwd, std::shared_ptr<RemoteOutput> output)
{
    const ParseResult parsed = parseHandedOver(args);
    if (!parsed.invocation) {
        output->error(QStringLiteral("lumora: ") + parsed.error);
        output->finish(ExitUsage);
        return;
    }
    if (m_shuttingDown) {
        output->retryLater();
        return;
    }
    const Invocation invocation = *parsed.invocation;
    DownloadManagerInterface *manager = m_stack.manager();
    MediaManagerInterface::MediaManager *library = m_stack.library();

    switch (invocation.command) {
    case Command::Get: {
        std::vector<QUrl> urls;
        bool usage = false;
        for (const QString &text : invocation.addresses) {
            QUrl url;
            QString reason;
            if (checkAddress(text, &url, &reason)) {
                urls.push_back(url);
            } else {
                output->error(QStringLiteral("lumora: %1: %2").arg(text, reason));
                usage = true;
            }
        }
        if (usage) {
            output->finish(ExitUsage);
            return;
        }
        URIReceiver *receiver = m_stack.receiver();
        m_ops->post([this, urls, receiver, manager, output] {
            if (m_managerDown.load()) {
                output->retryLater();
                return;
            }
            const IntakeResult result = intakeAddresses(urls, receiver, manager, *output);
            if (!result.accepted.empty())
                output->message(QStringLiteral("handed over to the running lumora (pid %1)").arg(QCoreApplication::applicationPid()));
            output->finish(result.rejected ? ExitUsage : ExitOk);
        });
        return;
    }
    case Command::Run:
        if (invocation.untilIdle) {
            output->message(QStringLiteral("a lumora is already downloading for this home; waiting until its queue is idle"));
            m_idleWaiters.push_back(output);
        } else {
            output->message(QStringLiteral("a lumora is already downloading for this home (pid %1)").arg(QCoreApplication::applicationPid()));
            output->finish(ExitOk);
        }
        return;
    case Command::ConfigGet:
    case Command::ConfigSet: {
        bool mediaFolderChanged = false;
        const int code = runConfigCommand(invocation, cwd, *output, &mediaFolderChanged);
        if (mediaFolderChanged)
            m_stack.applyMediaFolder(AppSettings::mediaFolder());
        output->finish(code);
        return;
    }
    case Command::Help:
    case Command::Version:
    case Command::Demo:
        output->error(QStringLiteral("lumora: \"%1\" is not handed to a running player").arg(args.value(0)));
        output->finish(ExitUsage);
        return;
    default:
        m_ops->post([this, invocation, manager, library, output] {
            if (m_managerDown.load()) {
                output->retryLater();
                return;
            }
            output->finish(runLiveCommand(invocation, manager, library, *output));
        });
        return;
    }
}

void PlayerSession::onPlayed(const QUrl &url, bool started, const QString &error)
{
    if (started) {
        m_playStarted = true;
        m_console.message(QStringLiteral("playing %1 with %2").arg(displayFile(url), configuredPlayerCommand()));
    } else {
        if (m_goal == Goal::Play)
            m_playFailed = true;
        m_console.error(QStringLiteral("lumora: could not play %1: %2").arg(displayFile(url), error));
    }
}

bool PlayerSession::diskSpaceLow(const QString &itemName, const QString &, const QString &targetPath,
                                 uint64_t requiredBytes, uint64_t freeBytes)
{
    m_console.error(QStringLiteral("lumora: not enough disk space for \"%1\": it needs %2, and %3 has %4 free")
                        .arg(itemName, formatBytes(requiredBytes), QFileInfo(targetPath).path(), formatBytes(freeBytes)));
    return true;
}

void PlayerSession::downloadFailed(const QUrl &fileUrl)
{
    // The progress view reports the failure with the download's title and address; the target
    // alone adds little, except to someone following every report.
    if (m_invocation.verbose)
        m_console.error(QStringLiteral("lumora: listener: download to %1 failed").arg(displayFile(fileUrl)));
}

void PlayerSession::beginShutdown(int signalNumber)
{
    if (m_shuttingDown)
        return;
    m_shuttingDown = true;
    m_signal = signalNumber;
    m_idleTimer.stop();
    if (signalNumber)
        m_console.message(QStringLiteral("stopping: the running download is kept and goes on at the next run "
                                         "(interrupt again to quit at once)"));
    // Whoever waits for the queue to be idle goes on with it once this player has gone.
    for (const auto &waiter : m_idleWaiters)
        waiter->retryLater();
    m_idleWaiters.clear();
    m_ops->post([this] {
        m_stack.shutdownManager();
        m_managerDown = true;
        MainThread::postIfAlive(m_alive, [this] { finishShutdown(); });
    });
}

void PlayerSession::finishShutdown()
{
    // Every message the plugins sent before their shutdown returned has been shown by now: they
    // were posted before this call.
    m_finished = true;
    m_progress->stop();
    const int code = finalExitCode();
    m_loop.exit(code);
}

int PlayerSession::finalExitCode()
{
    switch (m_goal) {
    case Goal::Get: {
        int completed = 0;
        for (uint64_t id : m_mine) {
            const ProgressView::ItemPtr item = lookup(id);
            if (item && item->status() == Completed)
                ++completed;
        }
        const int total = static_cast<int>(m_mine.size());
        if (total > 0) {
            if (completed == total)
                m_console.message(total == 1 ? QStringLiteral("done: the download completed")
                                             : QStringLiteral("done: all %1 downloads completed").arg(total));
            else
                m_console.error(QStringLiteral("lumora: %1 of %2 download(s) did not complete%3")
                                    .arg(total - completed)
                                    .arg(total)
                                    .arg(m_signal ? QStringLiteral("; they stay queued for the next run") : QString()));
        }
        if (m_rejected)
            return ExitUsage;
        return completed == total ? ExitOk : ExitFailed;
    }
    case Goal::Play:
        return m_playStarted && !m_playFailed ? ExitOk : ExitFailed;
    case Goal::Run:
    case Goal::RunUntilIdle:
        return m_exitCode;
    }
    return m_exitCode;
}

ProgressView::ItemPtr PlayerSession::lookup(uint64_t id) const
{
    ProgressView::ItemPtr item;
    if (MediaManagerInterface::MediaManager *library = m_stack.library())
        library->getItem(id, item.receive());
    return item;
}

} // namespace Lumora::App
