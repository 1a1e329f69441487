#include "host/cli/CommandArguments.h"
#include "host/cli/CommandSpec.h"
#include "host/cli/Console.h"
#include "host/cli/commands/Commands.h"

namespace Lumora::Cli::Commands {

namespace {

int showUsage(const Invocation &, Console &console)
{
    console.data(usageText());
    return ExitOk;
}

} // namespace

const CommandSpec &help()
{
    static const CommandSpec spec{
        .name = QStringLiteral("help"),
        .synopsis = QStringLiteral("help"),
        .summary = QStringLiteral("show the commands and the options"),
        .help = QStringLiteral("Shows how lumora is called: every command with its arguments, the options that "
                               "apply to all of them, and what the exit status means. --help and -h anywhere on "
                               "the command line do the same."),
        // The usage text is what it shows; people find it as --help.
        .listed = false,
        .scope = CommandSpec::Scope::Process,
        .parse = Arguments::none,
        .run = showUsage,
    };
    return spec;
}

} // namespace Lumora::Cli::Commands
