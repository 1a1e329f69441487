#include "host/cli/CommandArguments.h"
#include "host/cli/CommandDefinition.h"
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

const CommandDefinition &version()
{
    static const CommandDefinition definition{
        .name = QStringLiteral("version"),
        .synopsis = QStringLiteral("version"),
        .summary = QStringLiteral("show lumora's version"),
        .help = QStringLiteral("Prints the version of lumora. --version anywhere on the command line does the same."),
        .listed = false,
        .scope = CommandDefinition::Scope::Process,
        .parse = Arguments::none,
        .run = showVersion,
    };
    return definition;
}

} // namespace Lumora::Cli::Commands
