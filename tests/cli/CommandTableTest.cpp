// The command table: every command is reachable by its name, reads its own arguments, refuses wrong
// ones with the words people have always seen, runs somewhere, and is listed by --help.

#include "host/cli/CommandDefinition.h"

#include "host/player/PlayerSettings.h"

#include <gtest/gtest.h>

#include <set>

using namespace Lumora::Cli;

namespace {

const QStringList kCommands = {"get",   "run",  "list",   "pause", "resume", "stop", "retry", "remove",
                               "move",  "clear", "play",  "window", "config", "salvage", "demo", "help", "version"};

Invocation parsed(const QStringList &args)
{
    const ParseResult result = parseCommandLine(args);
    EXPECT_TRUE(result.invocation.has_value()) << args.join(' ').toStdString() << ": " << result.error.toStdString();
    return result.invocation.value_or(Invocation());
}

QString errorOf(const QStringList &args)
{
    const ParseResult result = parseCommandLine(args);
    EXPECT_FALSE(result.invocation.has_value()) << "accepted: " << args.join(' ').toStdString();
    return result.error;
}

} // namespace

TEST(CommandTable, everyCommandIsReachableByItsName)
{
    std::set<QString> names;
    for (const CommandDefinition *command : commandTable()) {
        EXPECT_TRUE(names.insert(command->name).second) << "twice: " << command->name.toStdString();
        EXPECT_EQ(findCommand(command->name), command);
    }
    EXPECT_EQ(names, std::set<QString>(kCommands.begin(), kCommands.end()));
    EXPECT_EQ(findCommand("fetch"), nullptr);
    EXPECT_EQ(findCommand("GET"), nullptr);  // names are matched exactly
}

TEST(CommandTable, eachCommandReadsItsOwnArguments)
{
    EXPECT_EQ(parsed({"get", "http://x/a.mp4", "http://x/b.mkv"}).addresses, (QStringList{"http://x/a.mp4", "http://x/b.mkv"}));
    EXPECT_TRUE(parsed({"run", "--until-idle"}).hasFlag("--until-idle"));
    EXPECT_FALSE(parsed({"run"}).hasFlag("--until-idle"));
    EXPECT_TRUE(parsed({"--json", "list"}).hasFlag("--json"));
    EXPECT_TRUE(parsed({"demo", "--keep"}).hasFlag("--keep"));
    for (const char *name : {"pause", "resume", "stop", "clear", "help", "version"})
        EXPECT_EQ(parsed({name}).command->name, name);
    for (const char *name : {"retry", "remove", "play"}) {
        EXPECT_EQ(parsed({name, "18446744073709551615"}).id, UINT64_MAX) << name;
        EXPECT_EQ(parsed({name, "3"}).command->name, name);
    }
    const Invocation moved = parsed({"move", "7", "last"});
    EXPECT_EQ(moved.id, 7u);
    EXPECT_EQ(moved.position, -1);
    const Invocation get = parsed({"config", "get", Lumora::Host::PlayerSettings::names().first().toUpper()});
    EXPECT_EQ(get.action, "get");
    EXPECT_EQ(get.settingName, Lumora::Host::PlayerSettings::names().first());
    const Invocation set = parsed({"config", "set", Lumora::Host::PlayerSettings::names().last(), "on"});
    EXPECT_EQ(set.action, "set");
    EXPECT_EQ(set.settingValue, "on");
}

TEST(CommandTable, usageErrorsSayExactlyWhatIsWrong)
{
    const QString known = Lumora::Host::PlayerSettings::names().join(", ");
    const std::pair<QStringList, QString> cases[] = {
        {{}, "no command given"},
        {{"fetch"}, "unknown command \"fetch\""},
        {{"--frob"}, "unknown option \"--frob\""},
        {{"get"}, "\"get\" needs at least one address (or -i FILE)"},
        {{"get", "--limit-rate", "fast", "http://x/a.mp4"},
         "--limit-rate takes bytes per second such as 500K, 2M or 1.5G, not \"fast\""},
        {{"get", "--limit-rate"}, "--limit-rate needs a RATE"},
        {{"get", "--detach=yes", "http://x/a.mp4"}, "--detach takes no value"},
        {{"gte", "http://x/a.mp4"}, "unknown command \"gte\" (did you mean \"get\"?)"},
        {{"lsit"}, "unknown command \"lsit\" (did you mean \"list\"?)"},
        {{"-q", "-v", "list"}, "--quiet and --verbose ask for opposite things; give one of them"},
        {{"run", "now"}, "\"run\" takes no arguments"},
        {{"list", "all"}, "\"list\" takes no arguments"},
        {{"pause", "1"}, "\"pause\" takes no arguments"},
        {{"resume", "1"}, "\"resume\" takes no arguments"},
        {{"stop", "1"}, "\"stop\" takes no arguments"},
        {{"clear", "1"}, "\"clear\" takes no arguments"},
        {{"demo", "x"}, "\"demo\" takes no arguments"},
        {{"help", "get", "list"}, "\"help\" takes at most one command name"},
        {{"help", "paws"}, "unknown command \"paws\" (did you mean \"pause\"?)"},
        {{"version", "2"}, "\"version\" takes no arguments"},
        {{"retry"}, "\"retry\" needs one download id"},
        {{"remove", "1", "2"}, "\"remove\" needs one download id"},
        {{"play", "+4"}, "\"+4\" is not a download id (see \"lumora list\")"},
        {{"move", "4"}, "\"move\" needs a download id and a position"},
        {{"move", "x", "1"}, "\"x\" is not a download id (see \"lumora list\")"},
        // A negative number is an argument, refused by the command that reads it, never an option.
        {{"move", "4", "-1"}, "\"-1\" is not a position: give 0 for the head, 1, 2, ... or \"end\""},
        {{"remove", "-3"}, "\"-3\" is not a download id (see \"lumora list\")"},
        {{"move", "4", "--", "-1"}, "\"-1\" is not a position: give 0 for the head, 1, 2, ... or \"end\""},
        {{"config"}, "\"config\" needs \"get [NAME]\" or \"set NAME VALUE\""},
        {{"config", "show"}, "\"config\" needs \"get [NAME]\" or \"set NAME VALUE\""},
        {{"config", "get", "a", "b"}, "\"config get\" takes at most one setting name"},
        {{"config", "set", "a"}, "\"config set\" needs a setting name and a value"},
        {{"config", "get", "Colour"}, "unknown setting \"Colour\" (known: " + known + ")"},
        {{"get", "--json", "http://x/a.mp4"}, "\"get\" does not take --json"},
        {{"list", "--until-idle"}, "\"list\" does not take --until-idle"},
        {{"run", "--keep"}, "\"run\" does not take --keep"},
    };
    for (const auto &[args, error] : cases)
        EXPECT_EQ(errorOf(args).toStdString(), error.toStdString()) << args.join(' ').toStdString();
}

TEST(CommandTable, everyCommandRunsSomewhereAndIsDescribed)
{
    for (const CommandDefinition *command : commandTable()) {
        const std::string name = command->name.toStdString();
        EXPECT_TRUE(command->parse) << name;
        EXPECT_TRUE(command->synopsis.startsWith(command->name)) << name;
        EXPECT_FALSE(command->summary.isEmpty()) << name;
        EXPECT_GT(command->help.size(), command->summary.size()) << name;
        for (const OptionDefinition &option : command->options) {
            EXPECT_TRUE(option.name.startsWith("--")) << name;
            EXPECT_FALSE(option.help.isEmpty()) << name;
            EXPECT_TRUE(command->synopsis.contains(option.name)) << name;
        }
        if (command->scope != CommandDefinition::Scope::Home) {
            EXPECT_TRUE(command->run) << name;
            continue;
        }
        // With no player on the home it works here or becomes the player; with one, it is handed over.
        EXPECT_TRUE(command->direct || command->goal) << name;
        EXPECT_TRUE(command->handedOver || command->live) << name;
    }
}

TEST(CommandTable, usageTextListsEveryCommand)
{
    const QString usage = usageText();
    QStringList synopses;
    for (const QString &line : usage.split('\n')) {
        if (line.startsWith("  ") && !line.startsWith("   "))
            synopses << line.mid(2, 21).trimmed();
    }
    for (const CommandDefinition *command : commandTable()) {
        const std::string name = command->name.toStdString();
        if (command->name == "help" || command->name == "version") {
            // Reached as --help and --version.
            EXPECT_FALSE(command->listed);
            EXPECT_EQ(parsed({"--" + command->name}).command, command);
            continue;
        }
        bool listed = false;
        for (const QString &synopsis : synopses) {
            const QStringList words = synopsis.split(' ');
            listed |= words.first() == command->name || (words.contains("|") && words.contains(command->name));
        }
        EXPECT_TRUE(listed) << name << " is missing from\n" << usage.toStdString();
        // Its options are in its own help, which "help COMMAND" and "COMMAND --help" both show.
        const QString own = commandHelpText(*command);
        EXPECT_TRUE(own.contains(command->synopsis)) << name;
        for (const OptionDefinition &option : command->options)
            EXPECT_TRUE(own.contains("  " + (option.shortName.isEmpty() ? option.name : option.shortName + ", " + option.name)))
                << name << "\n" << own.toStdString();
        EXPECT_EQ(parsed({command->name, "--help"}).helpTopic, command->name);
        EXPECT_EQ(parsed({"help", command->name}).helpTopic, command->name);
    }
    EXPECT_TRUE(usage.contains("  --home DIR            keep the library"));
    EXPECT_TRUE(usage.contains("\nexit status:\n  0  done"));
    EXPECT_TRUE(usage.endsWith("  8  server error: the server answered 404, 500, ...\n"));
}
