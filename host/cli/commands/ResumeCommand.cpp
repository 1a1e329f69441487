#include "host/cli/CommandArguments.h"
#include "host/cli/CommandDefinition.h"
#include "host/cli/Goal.h"
#include "host/cli/commands/Commands.h"

namespace Lumora::Cli::Commands {

namespace {

int resumeLive(const Invocation &, const Host::LivePlugins &plugins, Output &output)
{
    if (!plugins.manager->isPaused()) {
        output.message(QStringLiteral("not paused"));
    } else {
        plugins.manager->resumeAll();
        output.message(QStringLiteral("resumed"));
    }
    return ExitOk;
}

// With no player on the home, resume becomes one: a queue that does not run on start-up can be
// downloaded from a single terminal.
std::unique_ptr<Goal> makeResumeGoal(const Invocation &)
{
    return makeQueueGoal(true, true);
}

} // namespace

const CommandDefinition &resume()
{
    static const CommandDefinition definition{
        .name = QStringLiteral("resume"),
        .synopsis = QStringLiteral("resume"),
        .summary = QStringLiteral("resume all downloads of the running player"),
        .help = QStringLiteral("Lets the paused queue of the player that runs on the home go on; a download that "
                               "was paused continues from where it stopped. Without a running player, resume "
                               "becomes the player and downloads the queue until it is idle (as \"run "
                               "--until-idle\" does, even when the queue does not run on start-up)."),
        // Listed on pause's line.
        .listed = false,
        .scope = CommandDefinition::Scope::Home,
        .parse = Arguments::none,
        .goal = makeResumeGoal,
        .live = resumeLive,
    };
    return definition;
}

} // namespace Lumora::Cli::Commands
