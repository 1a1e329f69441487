#pragma once
// What the user asked lumora to do, checked before anything is loaded or any path is read.
//
//   lumora [--home DIR] [--verbose] COMMAND [ARGS]
//
// The global options may stand before or after the command; "--" ends option parsing, so that an
// address starting with "-" can still be given. The commands, their own options and how their
// arguments are read come from the command table (CommandSpec.h). Parsing touches nothing outside
// its arguments.

#include "host/player/ExitCode.h"
#include "host/player/Output.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace Lumora::Cli {

using Host::ExitCode;
using Host::ExitFailed;
using Host::ExitOk;
using Host::ExitUsage;
using Host::Output;

struct CommandSpec;

struct Invocation {
    const CommandSpec *command = nullptr;
    QString home;           // --home, empty when not given
    bool verbose = false;   // --verbose: print every message the plugins publish
    QStringList flags;      // the command's own options that were given ("--json")
    QStringList addresses;  // get
    uint64_t id = 0;        // retry, remove, move, play
    int64_t position = 0;   // move; -1 for the end
    QString action;         // config: "get" or "set"
    QString settingName;    // config; canonical spelling, empty for "all" (config get)
    QString settingValue;   // config set

    // The command and its arguments, without the global options: what a running player is handed.
    QStringList commandArguments;

    bool hasFlag(const char *flag) const { return flags.contains(QLatin1String(flag)); }
};

struct ParseResult {
    std::optional<Invocation> invocation;  // empty on a usage error
    QString error;                         // what is wrong, for the user
};

ParseResult parseCommandLine(const QStringList &arguments);  // arguments without the program name

// Parses what a second lumora handed over: the command and its arguments only.
ParseResult parseHandedOver(const QStringList &commandArguments);

// `lumora --help`: the commands as the table lists them, the global options, the exit codes.
QString usageText();
QString versionText();

} // namespace Lumora::Cli
