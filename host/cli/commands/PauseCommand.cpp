#include "host/cli/CommandArguments.h"
#include "host/cli/CommandDefinition.h"
#include "host/cli/commands/Commands.h"

namespace Lumora::Cli::Commands {

namespace {

int pauseLive(const Invocation &, const Host::LivePlugins &plugins, Output &output)
{
    if (plugins.manager->isPaused()) {
        output.message(QStringLiteral("already paused"));
    } else {
        plugins.manager->pauseAll();
        output.message(QStringLiteral("paused: the running download is kept and goes on after \"lumora resume\""));
    }
    return ExitOk;
}

std::optional<int> pauseDirect(const Invocation &, Output &output)
{
    output.message(QStringLiteral("no lumora is downloading for this home: nothing to pause"));
    return ExitOk;
}

} // namespace

const CommandDefinition &pause()
{
    static const CommandDefinition definition{
        .name = QStringLiteral("pause"),
        .synopsis = QStringLiteral("pause"),
        .summary = QStringLiteral("pause all downloads of the running player"),
        .help = QStringLiteral("Pauses the queue of the player that runs on the home: the running download stops "
                               "where it is, keeps what has arrived and goes on from there after \"lumora resume\". "
                               "Without a running player there is nothing to pause."),
        .usage = {{QStringLiteral("pause | resume"), QStringLiteral("pause or resume the downloads (with no player running,\nresume downloads the queue here)")}},
        .scope = CommandDefinition::Scope::Home,
        .parse = Arguments::none,
        .direct = pauseDirect,
        .live = pauseLive,
    };
    return definition;
}

} // namespace Lumora::Cli::Commands
