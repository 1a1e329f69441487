#include "host/cli/CliSession.h"
#include "host/cli/CommandArguments.h"
#include "host/cli/CommandDefinition.h"
#include "host/cli/commands/Commands.h"
#include "host/player/ExitCode.h"
#include "host/player/InstanceChannel.h"
#include "host/player/PlayerSettings.h"

#include <QCoreApplication>

namespace Lumora::Cli::Commands {

namespace {

// Serves the queue until a signal ends it, or with untilIdle until nothing more happens by itself.
class QueueGoal : public Goal {
public:
    QueueGoal(bool untilIdle, bool resumeFirst) : m_untilIdle(untilIdle), m_resumeFirst(resumeFirst) {}

    void start(CliSession &session) override
    {
        Console &console = session.console();
        const QString home = Host::homeIdentity();
        if (m_resumeFirst) {
            console.message(QStringLiteral("no lumora was downloading for this home: resuming its queue here until it "
                                           "is idle; Ctrl-C stops, and the running download goes on from there at "
                                           "the next run"));
            session.player().submit([&session](const Host::LivePlugins &plugins) {
                if (plugins.manager->isPaused())
                    plugins.manager->resumeAll();
                session.toMainThread([&session] { session.watchIdle(); });
            });
            return;
        }
        console.message(m_untilIdle ? QStringLiteral("downloading the queue of %1 until it is idle").arg(home)
                                    : QStringLiteral("downloading the queue of %1; Ctrl-C stops, and the running "
                                                     "download goes on from there at the next run")
                                          .arg(home));
        if (!Host::PlayerSettings::resumeDownloadsOnStartup())
            console.message(QStringLiteral("%1 is off: the queue stays paused until \"lumora resume\", which downloads "
                                           "it%2")
                                .arg(QLatin1String(SettingKeys::ResumeDownloadsOnStartup),
                                     m_untilIdle ? QStringLiteral(" from one terminal; nothing to do here meanwhile")
                                                 : QStringLiteral(" in this player")));
        // A run that serves the queue until it is stopped has no use for the queue's being idle.
        if (m_untilIdle)
            session.watchIdle();
    }

    void idle(CliSession &session, bool pending, bool paused) override
    {
        // Paused, nothing more happens by itself: that is idle too.
        if (m_untilIdle && (!pending || paused))
            session.stop();
    }

    void ended(CliSession &session, uint64_t id, int32_t status) override
    {
        if (status != Failed)
            return;
        m_failures = combineExit(m_failures, Host::exitCodeForFailure(session.player().failureReason(id)));
    }

    // A run that serves the queue for as long as the user wants ends well when the user ends it;
    // one that was to empty the queue tells what failed on the way.
    int finish(CliSession &) override { return m_untilIdle ? m_failures : ExitOk; }

private:
    const bool m_untilIdle;
    const bool m_resumeFirst;
    int m_failures = ExitOk;
};

bool parseRun(const QStringList &args, Invocation &invocation, QString *error)
{
    uint64_t rate = 0;
    if (invocation.flags.contains(QLatin1String(LimitRateOption))
        && !Host::PlayerSettings::parseRate(invocation.value(LimitRateOption), &rate)) {
        *error = limitRateError(invocation.value(LimitRateOption));
        return false;
    }
    return Arguments::none(args, invocation, error);
}

std::unique_ptr<Goal> makeRunGoal(const Invocation &invocation)
{
    return makeQueueGoal(invocation.hasFlag(UntilIdleOption), false);
}

void handOverRun(RunningPlayer &player, const Invocation &invocation, const QString &,
                 std::shared_ptr<Host::CommandReply> reply)
{
    if (invocation.flags.contains(QLatin1String(LimitRateOption)))
        reply->message(runningPlayerKeepsItsRate());
    if (invocation.hasFlag(UntilIdleOption)) {
        reply->message(QStringLiteral("a lumora is already downloading for this home; waiting until its queue is idle"));
        player.waitForIdle(std::move(reply));
        return;
    }
    reply->message(QStringLiteral("a lumora is already downloading for this home (pid %1)").arg(QCoreApplication::applicationPid()));
    reply->finish(ExitOk);
}

} // namespace

QString limitRateError(const QString &given)
{
    return QStringLiteral("--limit-rate takes bytes per second such as 500K, 2M or 1.5G, not \"%1\"").arg(given);
}

QString runningPlayerKeepsItsRate()
{
    return QStringLiteral("--limit-rate applies to a player this command starts; the running player keeps its rate "
                          "(\"lumora config set MaxDownloadRate RATE\" changes the home's)");
}

std::unique_ptr<Goal> makeQueueGoal(bool untilIdle, bool resumeFirst)
{
    return std::make_unique<QueueGoal>(untilIdle, resumeFirst);
}

const CommandDefinition &run()
{
    static const CommandDefinition definition{
        .name = QStringLiteral("run"),
        .synopsis = QStringLiteral("run [--until-idle] [--limit-rate RATE]"),
        .summary = QStringLiteral("download the saved queue (until interrupted, or until idle)"),
        .help = QStringLiteral(
            "Becomes the player of the home and downloads the saved queue, head first, taking the commands other "
            "lumoras hand over, until SIGINT, SIGTERM or SIGHUP stops it; the running download then ends queued "
            "and goes on from there at the next run. With --until-idle it stops once nothing is pending or the "
            "queue is paused, and exits 0 when nothing failed meanwhile, else with the status of the failures. "
            "When %1 is off the queue stays paused: \"lumora resume\" then downloads it. When a player runs on "
            "the home already, run says so and returns, or with --until-idle waits for that player's queue to be "
            "idle.")
                    .arg(QLatin1String(SettingKeys::ResumeDownloadsOnStartup)),
        .options = {{QString::fromLatin1(UntilIdleOption), QStringLiteral("stop once nothing is pending or the queue is paused")},
                    {QString::fromLatin1(LimitRateOption),
                     QStringLiteral("at most RATE bytes per second (K, M, G: binary multiples)"), QStringLiteral("RATE")}},
        .usage = {{QStringLiteral("run [--until-idle]"), QStringLiteral("download the saved queue (until interrupted, or until idle)")}},
        .scope = CommandDefinition::Scope::Home,
        .parse = parseRun,
        .goal = makeRunGoal,
        .handedOver = handOverRun,
    };
    return definition;
}

} // namespace Lumora::Cli::Commands
