#pragma once
// What the user asked lumora to do, checked before anything is loaded or any path is read.
//
//   lumora [--home DIR] [-q | -v | -vv] COMMAND [ARGS]
//
// The global options may stand before or after the command; "--" ends option parsing, so that an
// address starting with "-" can still be given, and a negative number is an argument, never an
// option. The commands, their own options (switches and options with a value, "--limit-rate 2M"
// or "--limit-rate=2M") and how their arguments are read come from the command table
// (CommandDefinition.h). "lumora help COMMAND" and "lumora COMMAND --help" show one command's help.
// Parsing touches nothing outside its arguments.

#include "host/player/ExitCode.h"
#include "host/player/Output.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace Lumora::Cli {

using Host::combineExit;
using Host::ExitCode;
using Host::ExitFailed;
using Host::ExitOk;
using Host::ExitUsage;
using Host::Output;

struct CommandDefinition;

struct Invocation {
    const CommandDefinition *command = nullptr;
    QString home;           // --home, empty when not given
    bool verbose = false;   // -v, --verbose: print every status change and engine line
    int verbosity = 0;      // how many -v: 2 adds every message the plugins publish
    bool quiet = false;     // -q, --quiet: errors only
    QStringList flags;      // the command's own options that were given, by their long names ("--json")
    QMap<QString, QString> values;  // the values of the command's options that take one, by long name
    QString helpTopic;      // help: the command whose help is asked for; empty for all of them
    QStringList addresses;  // get
    int refusedAddresses = 0;  // get: addresses refused before the command ran
    uint64_t id = 0;        // retry, remove, move, play
    int64_t position = 0;   // move; -1 for the end
    QString action;         // config: "get" or "set"
    QString settingName;    // config; canonical spelling, empty for "all" (config get)
    QString settingValue;   // config set

    // The command and its arguments, without the global options: what a running player is handed.
    QStringList commandArguments;

    bool hasFlag(const char *flag) const { return flags.contains(QLatin1String(flag)); }
    QString value(const char *option) const { return values.value(QLatin1String(option)); }
};

struct ParseResult {
    std::optional<Invocation> invocation;  // empty on a usage error
    QString error;                         // what is wrong, for the user
    QString command;                       // on a usage error: the command it is about, when known
};

ParseResult parseCommandLine(const QStringList &arguments);  // arguments without the program name

// Parses what a second lumora handed over: the command and its arguments only.
ParseResult parseHandedOver(const QStringList &commandArguments);

// `lumora --help`: the commands as the table lists them, the global options, the exit codes.
QString usageText();
// `lumora help COMMAND`: its synopsis, its help, its options.
QString commandHelpText(const CommandDefinition &command);
QString versionText();
// The exit statuses, one a line, as --help, `lumora help` and the manual page show them.
QString exitStatusText(const QString &indent);

} // namespace Lumora::Cli
