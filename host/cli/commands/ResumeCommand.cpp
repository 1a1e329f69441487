#include "host/cli/CommandArguments.h"
#include "host/cli/CommandSpec.h"
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

std::optional<int> resumeDirect(const Invocation &, Output &output)
{
    output.message(QStringLiteral("no lumora is downloading for this home: nothing to resume"));
    return ExitOk;
}

} // namespace

const CommandSpec &resume()
{
    static const CommandSpec spec{
        .name = QStringLiteral("resume"),
        .synopsis = QStringLiteral("resume"),
        .summary = QStringLiteral("resume all downloads of the running player"),
        .help = QStringLiteral("Lets the paused queue of the player that runs on the home go on; a download that "
                               "was paused continues from where it stopped. Without a running player there is "
                               "nothing to resume."),
        // Listed on pause's line.
        .listed = false,
        .scope = CommandSpec::Scope::Home,
        .parse = Arguments::none,
        .direct = resumeDirect,
        .live = resumeLive,
    };
    return spec;
}

} // namespace Lumora::Cli::Commands
