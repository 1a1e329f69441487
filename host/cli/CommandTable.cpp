#include "host/cli/CommandSpec.h"

#include "host/cli/commands/Commands.h"

namespace Lumora::Cli {

bool CommandSpec::takesOption(const QString &option) const
{
    for (const OptionSpec &own : options) {
        if (option == own.name)
            return true;
    }
    return false;
}

const std::vector<const CommandSpec *> &commandTable()
{
    static const std::vector<const CommandSpec *> table = {
        &Commands::get(),    &Commands::run(),   &Commands::list(),   &Commands::pause(),
        &Commands::resume(), &Commands::stop(),  &Commands::retry(),  &Commands::remove(),
        &Commands::move(),   &Commands::clear(), &Commands::play(),   &Commands::window(),
        &Commands::config(), &Commands::demo(),  &Commands::help(),   &Commands::version(),
    };
    return table;
}

const CommandSpec *findCommand(const QString &name)
{
    for (const CommandSpec *command : commandTable()) {
        if (name == command->name)
            return command;
    }
    return nullptr;
}

bool isCommandOption(const QString &option)
{
    for (const CommandSpec *command : commandTable()) {
        if (command->takesOption(option))
            return true;
    }
    return false;
}

} // namespace Lumora::Cli
