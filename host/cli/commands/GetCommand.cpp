#include "host/cli/CliSession.h"
#include "host/cli/CommandDefinition.h"
#include "host/cli/DownloadOutcome.h"
#include "host/cli/QueueAccess.h"
#include "host/cli/commands/Commands.h"
#include "host/player/AddressIntake.h"
#include "host/player/Format.h"
#include "host/player/PlayerSettings.h"

#include <QCoreApplication>

namespace Lumora::Cli::Commands {

namespace {

using Host::IntakeOutcome;

bool parseGet(const QStringList &args, Invocation &invocation, QString *error)
{
    if (args.isEmpty() && !invocation.flags.contains(QLatin1String(InputFileOption))) {
        *error = QStringLiteral("\"get\" needs at least one address (or -i FILE)");
        return false;
    }
    uint64_t rate = 0;
    if (invocation.flags.contains(QLatin1String(LimitRateOption))
        && !Host::PlayerSettings::parseRate(invocation.value(LimitRateOption), &rate)) {
        *error = limitRateError(invocation.value(LimitRateOption));
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

Host::IntakeResult takeIn(const std::vector<QUrl> &urls, const Host::LivePlugins &plugins, Output &output)
{
    return Host::intakeAddresses(
        urls, plugins.receiver, plugins.manager, [&output](const IntakeOutcome &outcome) { reportIntake(outcome, output); },
        [&plugins](uint64_t id) { Host::retryDownload(plugins, id); },
        plugins.libraryHost);
}

// Done when every download the addresses stand for has ended; fails unless all of them completed.
class GetGoal : public Goal {
public:
    void start(CliSession &session) override
    {
        const std::vector<QUrl> urls = checkedAddresses(session.invocation().addresses);
        session.player().submit([this, &session, urls](const Host::LivePlugins &plugins) {
            const Host::IntakeResult result = takeIn(urls, plugins, session.console());
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
        int code = reportOutcome(m_mine, [&session](uint64_t id) { return session.item(id); }, session.console(),
                                 session.stopSignal() != 0);
        if (m_rejected || session.invocation().refusedAddresses)
            code = combineExit(code, ExitUsage);
        return code;
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

    std::vector<uint64_t> m_mine;  // the downloads this command asked for, each once
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
            reply->error(QStringLiteral("lumora: %1: %2").arg(Host::maskedAddress(QUrl(text)), reason));
            usage = true;
        }
    }
    if (usage) {
        reply->finish(ExitUsage);
        return;
    }
    if (invocation.flags.contains(QLatin1String(LimitRateOption)))
        reply->message(runningPlayerKeepsItsRate());
    const bool detach = invocation.hasFlag(DetachOption);
    const std::vector<QUrl> urls = checkedAddresses(invocation.addresses);
    const QString asker = reply->askerPid() ? QStringLiteral("lumora (pid %1)").arg(reply->askerPid()) : QStringLiteral("another lumora");
    player.submit(
        [&player, urls, reply, detach, asker](const Host::LivePlugins &plugins) {
            const Host::IntakeResult result = takeIn(urls, plugins, *reply);
            player.tell(QStringLiteral("%1 handed over %2 address(es): %3 download(s) to follow%4")
                            .arg(asker)
                            .arg(urls.size())
                            .arg(result.accepted.size())
                            .arg(detach ? QStringLiteral(", detached") : QString()));
            const int code = result.rejected ? ExitUsage : ExitOk;
            if (detach || result.accepted.empty()) {
                if (!result.accepted.empty())
                    reply->message(QStringLiteral("handed over to the running lumora (pid %1); \"lumora list\" follows them")
                                       .arg(QCoreApplication::applicationPid()));
                reply->finish(code);
                return;
            }
            reply->message(QStringLiteral("handed over to the running lumora (pid %1); following the download(s) here")
                               .arg(QCoreApplication::applicationPid()));
            player.follow(result.accepted, result.finishedBefore, reply, result.rejected);
        },
        [reply] { reply->retryLater(); });
}

} // namespace

const CommandDefinition &get()
{
    static const CommandDefinition definition{
        .name = QStringLiteral("get"),
        .synopsis = QStringLiteral("get [--detach] [--limit-rate RATE] [--input-file FILE] URL..."),
        .summary = QStringLiteral("queue the addresses and download them"),
        .help = QStringLiteral(
            "Queues each address (http or https, ending in a video extension the download manager takes) and "
            "downloads until every one of them has ended. An address that is queued already keeps its download; "
            "one whose download failed is tried again; a finished one is not fetched again; an address that "
            "cannot be used is refused (and said why) while the others go on. A raw space in an address is sent "
            "as %20. When a player runs on the home, the addresses are handed to it and this terminal follows "
            "their progress until they end, exactly like a get that runs the player itself; with --detach it "
            "returns at once. Exits 0 when every download completed, 2 when an address was refused, otherwise "
            "with the status of the failure (see the exit statuses)."),
        .options = {{QString::fromLatin1(InputFileOption),
                     QStringLiteral("read addresses from FILE, one a line (\"-\": standard input); lines\nstarting "
                                    "with # are comments"),
                     QStringLiteral("FILE"), QStringLiteral("-i")},
                    {QString::fromLatin1(DetachOption),
                     QStringLiteral("hand the addresses to the running player and return at once")},
                    {QString::fromLatin1(LimitRateOption),
                     QStringLiteral("at most RATE bytes per second (K, M, G: binary multiples) for the\nplayer this "
                                    "command starts"),
                     QStringLiteral("RATE")}},
        .usage = {{QStringLiteral("get URL..."), QStringLiteral("queue the addresses and download them")},
                  {QStringLiteral("get -i FILE"), QStringLiteral("the same, with addresses read from FILE (- for stdin)")}},
        .scope = CommandDefinition::Scope::Home,
        .parse = parseGet,
        .goal = makeGetGoal,
        .handedOver = handOverGet,
    };
    return definition;
}

} // namespace Lumora::Cli::Commands
