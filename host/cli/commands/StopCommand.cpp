#include "host/cli/CommandArguments.h"
#include "host/cli/CommandDefinition.h"
#include "host/cli/commands/Commands.h"

namespace Lumora::Cli::Commands {

namespace {

int stopLive(const Invocation &, const Host::LivePlugins &plugins, Output &output)
{
    plugins.manager->stopCurrentDownload();
    output.message(QStringLiteral("stopped the running download; it is queued again"));
    return ExitOk;
}

std::optional<int> stopDirect(const Invocation &, Output &output)
{
    output.message(QStringLiteral("no lumora is downloading for this home: nothing to stop"));
    return ExitOk;
}

} // namespace

const CommandDefinition &stop()
{
    static const CommandDefinition definition{
        .name = QStringLiteral("stop"),
        .synopsis = QStringLiteral("stop"),
        .summary = QStringLiteral("stop the running download (it is queued again)"),
        .help = QStringLiteral("Stops the download the running player is fetching; it stays in the queue, Queued, "
                               "and the player moves on to the next one. Without a running player there is "
                               "nothing to stop."),
        .scope = CommandDefinition::Scope::Home,
        .parse = Arguments::none,
        .direct = stopDirect,
        .live = stopLive,
    };
    return definition;
}

} // namespace Lumora::Cli::Commands
