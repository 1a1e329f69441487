#include "host/cli/CliSession.h"

#include "host/cli/DownloadOutcome.h"
#include "host/lmrlibrary/UIThread.h"
#include "host/lmrlibrary/VerboseLog.h"
#include "host/player/ExitCode.h"
#include "host/player/Format.h"
#include "host/player/PlayerCommand.h"

#include <QFileInfo>

namespace Lumora::Cli {

namespace {

constexpr int kIdleCheckMs = 150;
// -v shows the status changes and the engine's lines; -vv also every hub message.
constexpr int kHubVerbosity = 2;

QString payloadText(const QVariant &payload)
{
    if (!payload.isValid())
        return QStringLiteral("(empty)");
    if (payload.typeId() == QMetaType::Bool)
        return payload.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    return payload.toString();
}

} // namespace

CliSession::CliSession(const Invocation &invocation, std::unique_ptr<Goal> goal, Console &console, const QString &socketPath)
    : m_invocation(invocation),
      m_goal(std::move(goal)),
      m_console(console),
      m_player(*this, playerOptions(socketPath)),
      m_followers([this](uint64_t id) { return m_player.item(id); }, [this](uint64_t id) { return m_player.transfer(id); })
{
    m_progress = std::make_unique<ProgressView>(
        m_console, [this](uint64_t id) { return m_player.item(id); }, [this](uint64_t id) { return m_player.transfer(id); });
}

CliSession::~CliSession()
{
    *m_alive = false;
    m_followers.clear();
    m_progress.reset();
    m_player.close();
}

Host::Player::Options CliSession::playerOptions(const QString &socketPath)
{
    Host::Player::Options options;
    options.socketPath = socketPath;
    options.handOver = [this](const QStringList &args, const QString &cwd, std::shared_ptr<Host::CommandReply> reply) {
        handOver(*this, args, cwd, std::move(reply));
    };
    if (m_invocation.verbosity >= kHubVerbosity) {
        // Printed on the sending thread, so that the order is exactly the order of sending.
        options.tap = [this](const QString &topic, const QVariant &payload) {
            m_console.message(QStringLiteral("hub: %1 %2").arg(topic, payloadText(payload)));
        };
    }
    return options;
}

int CliSession::exec()
{
    // Each status change of a download, on the verbose channel, printed where it happens.
    struct VerboseChannel {
        VerboseLog::Sink previous;
        bool installed = false;
        ~VerboseChannel()
        {
            if (installed)
                VerboseLog::setSink(previous);
        }
    } channel;
    if (m_invocation.verbose) {
        channel.previous = VerboseLog::setSink([this](const QString &line) { m_console.message(line); });
        channel.installed = true;
    }
    QString error;
    if (!m_player.start(&error)) {
        m_console.error(QStringLiteral("lumora: ") + error);
        m_player.close();
        return ExitFailed;
    }

    m_progress->start();
    connect(&m_idleTimer, &QTimer::timeout, this, [this] {
        m_followers.settle();
        checkIdle();
    });
    m_idleTimer.start(kIdleCheckMs);
    m_goal->start(*this);

    const int code = m_loop.exec();

    m_followers.clear();
    m_progress->stop();
    m_player.close();
    return code;
}

void CliSession::submit(Host::Player::Operation operation, std::function<void()> whenDown)
{
    m_player.submit(std::move(operation), std::move(whenDown));
}

void CliSession::waitForIdle(std::shared_ptr<Host::CommandReply> reply)
{
    m_idleWaiters.add(std::move(reply));
}

void CliSession::follow(std::vector<uint64_t> ids, std::vector<uint64_t> finishedBefore,
                        std::shared_ptr<Host::CommandReply> reply, int refused)
{
    toMainThread([this, ids = std::move(ids), finishedBefore = std::move(finishedBefore), reply = std::move(reply), refused] {
        if (m_player.isStopping()) {
            // Its downloads stay queued; the asker waits for the home and goes on with them.
            reply->retryLater();
            return;
        }
        m_followers.follow(ids, finishedBefore, reply, refused);
    });
}

void CliSession::checkIdle()
{
    // Someone must want the answer: the goal, or a handed-over run that waits for an idle queue.
    if ((!m_watchingIdle && m_idleWaiters.empty()) || m_checking || m_player.isStopping())
        return;
    m_checking = true;
    m_player.submit([this](const Host::LivePlugins &plugins) {
        const bool pending = plugins.manager->hasPendingDownloads();
        const bool paused = plugins.manager->isPaused();
        toMainThread([this, pending, paused] { idleState(pending, paused); });
    });
}

void CliSession::idleState(bool pending, bool paused)
{
    m_checking = false;
    if (m_player.isStopping())
        return;
    m_idleWaiters.answer(pending, paused);
    if (m_watchingIdle)
        m_goal->idle(*this, pending, paused);
}

void CliSession::itemChanged(uint64_t id)
{
    m_progress->statusChanged(id, false);
    m_followers.itemChanged(id, false);
}

void CliSession::statusChanged(uint64_t id)
{
    m_progress->statusChanged(id, true);
    m_followers.itemChanged(id, true);
}

void CliSession::itemRemoved(uint64_t id)
{
    m_progress->itemRemoved(id);
    m_followers.itemRemoved(id);
}

void CliSession::pausedChanged(bool paused)
{
    m_progress->pausedChanged(paused);
}

void CliSession::downloadEnded(uint64_t id, int32_t status)
{
    if (status == Failed)
        m_idleWaiters.failed(m_player.failureReason(id));
    m_goal->ended(*this, id, status);
    m_followers.settle();
    // The last download's end is when a run that waits for an idle queue may be done: look now
    // rather than at the next periodic check.
    checkIdle();
}

void CliSession::played(const QUrl &url, bool started, const QString &error)
{
    if (started)
        m_console.message(QStringLiteral("playing %1 with %2").arg(Host::displayFile(url), Host::configuredPlayerCommand()));
    else
        m_console.error(QStringLiteral("lumora: could not play %1: %2").arg(Host::displayFile(url), error));
    m_goal->played(*this, started);
}

void CliSession::diskSpaceLow(const QString &itemName, const QString &targetPath, uint64_t requiredBytes,
                              uint64_t freeBytes)
{
    m_console.error(QStringLiteral("lumora: not enough disk space for \"%1\": it needs %2, and %3 has %4 free")
                        .arg(itemName, Host::formatBytes(requiredBytes), QFileInfo(targetPath).path(),
                             Host::formatBytes(freeBytes)));
}

void CliSession::downloadFailed(const QUrl &fileUrl)
{
    // The progress view reports the failure with the download's title and reason; the target
    // alone adds little, except to someone following every report.
    if (m_invocation.verbose)
        m_console.error(QStringLiteral("lumora: listener: download to %1 failed").arg(Host::displayFile(fileUrl)));
}

void CliSession::messageShown(int icon, const QString &text, const QString &detail)
{
    const QString kind = icon == UIThread::Warning ? QStringLiteral("warning") : QStringLiteral("note");
    m_console.error(QStringLiteral("lumora: %1: %2").arg(kind, text));
    if (!detail.isEmpty())
        m_console.error(QStringLiteral("  ") + detail);
}

void CliSession::stopping(int signalNumber)
{
    m_signal = signalNumber;
    m_idleTimer.stop();
    if (signalNumber)
        m_console.message(QStringLiteral("stopping: the running download is kept and goes on at the next run "
                                         "(interrupt again to quit at once)"));
    // Whoever waits for the queue to be idle, or follows its downloads, goes on with them once this
    // player has gone.
    m_idleWaiters.handBack();
    m_followers.handBack();
}

void CliSession::stopped()
{
    // Every message the plugins sent before their shutdown returned has been shown by now.
    m_progress->stop();
    m_loop.exit(m_goal->finish(*this));
}

} // namespace Lumora::Cli
