#pragma once
// What the user asked lumora to do, checked before anything is loaded or any path is read.
//
//   lumora [--home DIR] [--verbose] COMMAND [ARGS]
//
// The global options may stand before or after the command; "--" ends option parsing, so that an
// address starting with "-" can still be given. Parsing touches nothing outside its arguments.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace Lumora::App {

enum ExitCode : int {
    ExitOk = 0,
    ExitFailed = 1,  // a download, an operation or the environment failed
    ExitUsage = 2,   // the command line is wrong, or an address was refused
};

enum class Command {
    Help,
    Version,
    Get,
    Run,
    List,
    Pause,
    Resume,
    Stop,
    Retry,
    Remove,
    Move,
    Clear,
    Play,
    ConfigGet,
    ConfigSet,
    Demo,
};

struct Invocation {
    Command command = Command::Help;
    QString home;           // --home, empty when not given
    bool verbose = false;   // --verbose: print every message the plugins publish
    bool json = false;      // list --json
    bool untilIdle = false; // run --until-idle
    bool keep = false;      // demo --keep
    QStringList addresses;  // get
    uint64_t id = 0;        // retry, remove, move, play
    int64_t position = 0;   // move; -1 for the end
    QString settingName;    // config; canonical spelling, empty for "all" (config get)
    QString settingValue;   // config set

    // The command and its arguments, without the global options: what a running player is handed.
    QStringList commandArguments;
};

struct ParseResult {
    std::optional<Invocation> invocation;  // empty on a usage error
    QString error;                         // what is wrong, for the user
};

ParseResult parseCommandLine(const QStringList &arguments);  // arguments without the program name

// Parses what a second lumora handed over: the command and its arguments only.
ParseResult parseHandedOver(const QStringList &commandArguments);

// Commands that start a player (load the download manager and download) when none runs.
bool startsPlayer(Command command);

// The canonical name of a setting lumora can read and write ("MediaFolder",
// "ResumeDownloadsOnStartup"), matched without case; empty when unknown.
QString canonicalSettingName(const QString &name);

QString usageText();
QString versionText();

} // namespace Lumora::App
