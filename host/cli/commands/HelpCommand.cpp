#include "host/cli/CommandArguments.h"
#include "host/cli/CommandDefinition.h"
#include "host/cli/Console.h"
#include "host/cli/commands/Commands.h"

namespace Lumora::Cli::Commands {

namespace {

bool parseHelp(const QStringList &args, Invocation &invocation, QString *error)
{
    if (args.size() > 1) {
        *error = QStringLiteral("\"help\" takes at most one command name");
        return false;
    }
    if (args.isEmpty())
        return true;
    if (!findCommand(args[0])) {
        *error = unknownCommand(args[0]);
        return false;
    }
    invocation.helpTopic = args[0];
    return true;
}

int showUsage(const Invocation &invocation, Console &console)
{
    const CommandDefinition *topic = invocation.helpTopic.isEmpty() ? nullptr : findCommand(invocation.helpTopic);
    console.data(topic ? commandHelpText(*topic) : usageText());
    return ExitOk;
}

} // namespace

const CommandDefinition &help()
{
    static const CommandDefinition definition{
        .name = QStringLiteral("help"),
        .synopsis = QStringLiteral("help [COMMAND]"),
        .summary = QStringLiteral("show the commands and the options, or one command's help"),
        .help = QStringLiteral("Shows how lumora is called: every command with its arguments, the options that "
                               "apply to all of them, and what the exit status means; with a command's name, that "
                               "command's own help. --help and -h anywhere on the command line do the same "
                               "(\"lumora get --help\" is \"lumora help get\")."),
        // The usage text is what it shows; people find it as --help.
        .listed = false,
        .scope = CommandDefinition::Scope::Process,
        .parse = parseHelp,
        .run = showUsage,
    };
    return definition;
}

} // namespace Lumora::Cli::Commands
