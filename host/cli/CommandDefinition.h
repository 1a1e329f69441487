#pragma once
// The command table: every lumora command is defined once, in a file of its own under commands/,
// with everything the command line needs of it — its name, synopsis, help, options, how its
// arguments are read — and the handlers for each place it can run.
//
// Where a command runs follows from its scope:
//
//   Process  needs nothing of the home (help, version): run() at once.
//   OwnHome  settles the home, then run() does the rest on its own (demo).
//   Home     one player per home. When a player runs on the home, the command is handed over to it
//            and runs there: handedOver() on the player's main thread, or else live() on its
//            operation thread. When none runs, this lumora holds the home: direct() works on the
//            library or the settings; where it has no answer (or the command has none), goal()
//            makes this lumora the player, which runs until the goal is reached.

#include "host/cli/CommandLine.h"
#include "host/player/InstanceChannel.h"
#include "host/player/Player.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace Lumora::Cli {

class Console;
class Goal;
class RunningPlayer;

struct OptionDefinition {
    QString name;       // "--json"
    QString help;       // one line
    QString value{};    // the value's name ("FILE") for an option that takes one; empty for a switch
    QString shortName{};  // "-i", where the option has one
};

// A line of `lumora --help`: the synopsis column and the summary beside it.
struct UsageLine {
    QString synopsis;
    QString summary;
};

struct CommandDefinition {
    enum class Scope { Process, OwnHome, Home };

    // Reads the words after the command's name (its options already taken out) into invocation;
    // false with the reason on a usage error.
    using Parse = bool (*)(const QStringList &args, Invocation &invocation, QString *error);
    using Run = int (*)(const Invocation &invocation, Console &console);
    // An exit code, or nothing when a player has to run for the command.
    using Direct = std::optional<int> (*)(const Invocation &invocation, Output &output);
    using MakeGoal = std::unique_ptr<Goal> (*)(const Invocation &invocation);
    // Ends reply with finish() or retryLater(), now or later.
    using HandedOver = void (*)(RunningPlayer &player, const Invocation &invocation, const QString &cwd,
                                std::shared_ptr<Host::CommandReply> reply);
    using Live = int (*)(const Invocation &invocation, const Host::LivePlugins &plugins, Output &output);

    QString name;
    QString synopsis;                  // "move ID POS"
    QString summary;                   // one line
    QString help;                      // one paragraph
    std::vector<OptionDefinition> options{}; // the command's own options
    // Whether `lumora --help` lists the command; false when it is reached otherwise (--help) or
    // shares another command's line.
    bool listed = true;
    // Its lines in `lumora --help` where they are more than synopsis and summary; empty otherwise.
    std::vector<UsageLine> usage{};
    Scope scope = Scope::Home;
    Parse parse = nullptr;
    Run run = nullptr;
    Direct direct = nullptr;
    MakeGoal goal = nullptr;
    HandedOver handedOver = nullptr;
    Live live = nullptr;

    bool takesOption(const QString &option) const;
    // The option this command knows by that name or short name; null when none.
    const OptionDefinition *option(const QString &nameOrShort) const;
};

// The options that apply to every command, as `lumora --help` lists them (a summary may run over
// several lines).
const std::vector<UsageLine> &globalOptions();

// Every command, in the order `lumora --help` lists them.
const std::vector<const CommandDefinition *> &commandTable();
// The command of that name; null when there is none.
const CommandDefinition *findCommand(const QString &name);
// The first option of that name or short name any command takes (so that it may stand anywhere on
// the command line); null when none does.
const OptionDefinition *findCommandOption(const QString &option);
bool isCommandOption(const QString &option);
// The command whose name is closest to a mistyped one ("gte" -> get); empty when none is close.
QString closestCommand(const QString &name);
// What a word that names no command is told, with the closest command when there is one.
QString unknownCommand(const QString &word);

} // namespace Lumora::Cli
