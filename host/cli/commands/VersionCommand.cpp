#include "host/cli/CommandArguments.h"
#include "host/cli/CommandSpec.h"
#include "host/cli/Console.h"
#include "host/cli/commands/Commands.h"

namespace Lumora::Cli::Commands {

namespace {

int showVersion(const Invocation &, Console &console)
{
    console.data(versionText());
    return ExitOk;
}

} // namespace

const CommandSpec &version()
{
    static const CommandSpec spec{
        .name = QStringLiteral("version"),
        .synopsis = QStringLiteral("version"),
        .summary = QStringLiteral("show lumora's version"),
        .help = QStringLiteral("Prints the version of lumora. --version anywhere on the command line does the same."),
        .listed = false,
        .scope = CommandSpec::Scope::Process,
        .parse = Arguments::none,
        .run = showVersion,
    };
    return spec;
}

} // namespace Lumora::Cli::Commands
