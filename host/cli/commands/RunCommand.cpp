#include "host/cli/CliSession.h"
#include "host/cli/CommandArguments.h"
#include "host/cli/CommandSpec.h"
#include "host/cli/commands/Commands.h"
#include "host/player/InstanceChannel.h"
#include "host/player/PlayerSettings.h"

#include <QCoreApplication>

namespace Lumora::Cli::Commands {

namespace {

constexpr char kUntilIdle[] = "--until-idle";

// Serves the queue until a signal ends it, or with --until-idle until nothing more happens by itself.
class RunGoal : public Goal {
public:
    explicit RunGoal(bool untilIdle) : m_untilIdle(untilIdle) {}

    void start(CliSession &session) override
    {
        session.watchIdle();
        session.console().message(
            m_untilIdle ? QStringLiteral("downloading the queue of %1 until it is idle").arg(Host::homeIdentity())
                        : QStringLiteral("downloading the queue of %1; Ctrl-C stops, and the running download goes "
                                         "on from there at the next run")
                              .arg(Host::homeIdentity()));
        if (!Host::PlayerSettings::resumeDownloadsOnStartup())
            session.console().message(QStringLiteral("%1 is off: the queue stays paused until \"lumora resume\"")
                                          .arg(QLatin1String(SettingKeys::ResumeDownloadsOnStartup)));
    }

    void idle(CliSession &session, bool pending, bool paused) override
    {
        // Paused, nothing more happens by itself: that is idle too.
        if (m_untilIdle && (!pending || paused))
            session.stop();
    }

    int finish(CliSession &) override { return ExitOk; }

private:
    const bool m_untilIdle;
};

std::unique_ptr<Goal> makeRunGoal(const Invocation &invocation)
{
    return std::make_unique<RunGoal>(invocation.hasFlag(kUntilIdle));
}

void handOverRun(RunningPlayer &player, const Invocation &invocation, const QString &,
                 std::shared_ptr<Host::CommandReply> reply)
{
    if (invocation.hasFlag(kUntilIdle)) {
        reply->message(QStringLiteral("a lumora is already downloading for this home; waiting until its queue is idle"));
        player.waitForIdle(std::move(reply));
        return;
    }
    reply->message(QStringLiteral("a lumora is already downloading for this home (pid %1)").arg(QCoreApplication::applicationPid()));
    reply->finish(ExitOk);
}

} // namespace

const CommandSpec &run()
{
    static const CommandSpec spec{
        .name = QStringLiteral("run"),
        .synopsis = QStringLiteral("run [--until-idle]"),
        .summary = QStringLiteral("download the saved queue (until interrupted, or until idle)"),
        .help = QStringLiteral("Becomes the player of the home and downloads the saved queue, head first, taking "
                               "the commands other lumoras hand over, until SIGINT or SIGTERM stops it; the running "
                               "download then ends queued and goes on from there at the next run. When a player "
                               "runs on the home already, run says so and returns, or with --until-idle waits for "
                               "that player's queue to be idle."),
        .options = {{QString::fromLatin1(kUntilIdle), QStringLiteral("stop once nothing is pending or the queue is paused")}},
        .scope = CommandSpec::Scope::Home,
        .parse = Arguments::none,
        .goal = makeRunGoal,
        .handedOver = handOverRun,
    };
    return spec;
}

} // namespace Lumora::Cli::Commands
