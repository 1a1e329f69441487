#include "host/cli/CliSession.h"
#include "host/cli/CommandSpec.h"
#include "host/cli/QueueAccess.h"
#include "host/cli/commands/Commands.h"
#include "host/player/AddressIntake.h"
#include "host/player/Format.h"

#include <QCoreApplication>

namespace Lumora::Cli::Commands {

namespace {

using Host::IntakeOutcome;

bool parseGet(const QStringList &args, Invocation &invocation, QString *error)
{
    if (args.isEmpty()) {
        *error = QStringLiteral("\"get\" needs at least one address");
        return false;
    }
    invocation.addresses = args;
    return true;
}

// The addresses that pass the check; lumora refused the others before it got this far.
std::vector<QUrl> checkedAddresses(const QStringList &texts)
{
    std::vector<QUrl> urls;
    for (const QString &text : texts) {
        QUrl url;
        QString reason;
        if (Host::checkAddress(text, &url, &reason))
            urls.push_back(url);
    }
    return urls;
}

void reportIntake(const IntakeOutcome &outcome, Output &output)
{
    const QString label = itemLabel(outcome.id, outcome.title);
    switch (outcome.kind) {
    case IntakeOutcome::Kind::Refused:
        output.error(QStringLiteral("lumora: refused %1: %2").arg(Host::maskedAddress(outcome.address), outcome.refusal));
        break;
    case IntakeOutcome::Kind::Queued:
        output.message(QStringLiteral("queued      %1").arg(label));
        break;
    case IntakeOutcome::Kind::Retrying:
        output.message(QStringLiteral("retrying    %1").arg(label));
        break;
    case IntakeOutcome::Kind::AlreadyDownloaded:
        output.message(QStringLiteral("already downloaded %1 -> %2%3")
                           .arg(label, Host::displayFile(outcome.file),
                                outcome.fileGone
                                    ? QStringLiteral(" (the file is gone: \"lumora remove %1\" and get it again)").arg(outcome.id)
                                    : QString()));
        break;
    case IntakeOutcome::Kind::AlreadyQueued:
        output.message(QStringLiteral("already queued %1").arg(label));
        break;
    }
}

// Done when every download the addresses stand for has ended; fails unless all of them completed.
class GetGoal : public Goal {
public:
    void start(CliSession &session) override
    {
        const std::vector<QUrl> urls = checkedAddresses(session.invocation().addresses);
        session.player().submit([this, &session, urls](const Host::LivePlugins &plugins) {
            const Host::IntakeResult result = Host::intakeAddresses(
                urls, plugins.receiver, plugins.manager,
                [&session](const IntakeOutcome &outcome) { reportIntake(outcome, session.console()); });
            session.toMainThread([this, &session, result] { intakeDone(session, result); });
        });
    }

    void idle(CliSession &session, bool pending, bool paused) override
    {
        // A queue paused by another command is not idle: the user may resume it. Say so once.
        if (!pending) {
            session.stop();
        } else if (paused && !m_pausedNoticeShown) {
            m_pausedNoticeShown = true;
            session.console().message(
                QStringLiteral("the downloads are paused: \"lumora resume\" goes on, Ctrl-C leaves them queued"));
        }
    }

    int finish(CliSession &session) override
    {
        int completed = 0;
        for (uint64_t id : m_mine) {
            const ProgressView::ItemPtr item = session.item(id);
            if (item && item->status() == Completed)
                ++completed;
        }
        const int total = static_cast<int>(m_mine.size());
        if (total > 0) {
            if (completed == total)
                session.console().message(total == 1 ? QStringLiteral("done: the download completed")
                                                     : QStringLiteral("done: all %1 downloads completed").arg(total));
            else
                session.console().error(
                    QStringLiteral("lumora: %1 of %2 download(s) did not complete%3")
                        .arg(total - completed)
                        .arg(total)
                        .arg(session.stopSignal() ? QStringLiteral("; they stay queued for the next run") : QString()));
        }
        if (m_rejected)
            return ExitUsage;
        return completed == total ? ExitOk : ExitFailed;
    }

private:
    void intakeDone(CliSession &session, const Host::IntakeResult &result)
    {
        m_mine = result.accepted;
        m_rejected = result.rejected;
        session.watchIdle();
        if (m_mine.empty())
            session.stop();  // nothing of ours to wait for
    }

    std::vector<uint64_t> m_mine;  // the downloads this command asked for
    int m_rejected = 0;
    bool m_pausedNoticeShown = false;
};

std::unique_ptr<Goal> makeGetGoal(const Invocation &)
{
    return std::make_unique<GetGoal>();
}

void handOverGet(RunningPlayer &player, const Invocation &invocation, const QString &,
                 std::shared_ptr<Host::CommandReply> reply)
{
    bool usage = false;
    for (const QString &text : invocation.addresses) {
        QUrl url;
        QString reason;
        if (!Host::checkAddress(text, &url, &reason)) {
            reply->error(QStringLiteral("lumora: %1: %2").arg(text, reason));
            usage = true;
        }
    }
    if (usage) {
        reply->finish(ExitUsage);
        return;
    }
    const std::vector<QUrl> urls = checkedAddresses(invocation.addresses);
    player.submit(
        [urls, reply](const Host::LivePlugins &plugins) {
            const Host::IntakeResult result = Host::intakeAddresses(
                urls, plugins.receiver, plugins.manager,
                [&reply](const IntakeOutcome &outcome) { reportIntake(outcome, *reply); });
            if (!result.accepted.empty())
                reply->message(QStringLiteral("handed over to the running lumora (pid %1)").arg(QCoreApplication::applicationPid()));
            reply->finish(result.rejected ? ExitUsage : ExitOk);
        },
        [reply] { reply->retryLater(); });
}

} // namespace

const CommandSpec &get()
{
    static const CommandSpec spec{
        .name = QStringLiteral("get"),
        .synopsis = QStringLiteral("get URL..."),
        .summary = QStringLiteral("queue the addresses and download until the queue is idle"),
        .help = QStringLiteral("Queues each address (http, https or file, ending in a video extension the download "
                               "manager takes) and downloads until none of them is pending any more. An address "
                               "that is queued already keeps its download; one whose download failed is tried "
                               "again; a finished one is not fetched again. When a player runs on the home, the "
                               "addresses are handed to it and get returns at once. Exits 1 when a download did "
                               "not complete, 2 when an address was refused."),
        .scope = CommandSpec::Scope::Home,
        .parse = parseGet,
        .goal = makeGetGoal,
        .handedOver = handOverGet,
    };
    return spec;
}

} // namespace Lumora::Cli::Commands
