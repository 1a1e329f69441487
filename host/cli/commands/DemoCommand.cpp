#include "host/cli/CommandArguments.h"
#include "host/cli/CommandDefinition.h"
#include "host/cli/Demo.h"
#include "host/cli/commands/Commands.h"

namespace Lumora::Cli::Commands {

const CommandDefinition &demo()
{
    static const CommandDefinition definition{
        .name = QStringLiteral("demo"),
        .synopsis = QStringLiteral("demo [--keep]"),
        .summary = QStringLiteral("download the bundled clips from a loopback server into a temporary home"),
        .help = QStringLiteral("Runs the whole pipeline without a network: a web server on 127.0.0.1 serves the "
                               "bundled clips (LUMORA_DEMO_CLIPS names another folder), a player in a temporary "
                               "home downloads them, lists the queue and checks every file byte for byte against "
                               "its original. With --home the demo uses that home instead."),
        .options = {{QStringLiteral("--keep"), QStringLiteral("keep the temporary home to look around in afterwards")}},
        .scope = CommandDefinition::Scope::OwnHome,
        .parse = Arguments::none,
        .run = runDemo,
    };
    return definition;
}

} // namespace Lumora::Cli::Commands
