#include "host/cli/CommandLine.h"

#include "host/cli/CommandDefinition.h"
#include "plugin/SettingKeys.h"

#include <gtest/gtest.h>

using namespace Lumora::Cli;
using Lumora::SettingKeys::MediaFolder;
using Lumora::SettingKeys::ResumeDownloadsOnStartup;

namespace {

Invocation parsed(const QStringList &args)
{
    const ParseResult result = parseCommandLine(args);
    EXPECT_TRUE(result.invocation.has_value()) << result.error.toStdString();
    return result.invocation.value_or(Invocation());
}

QString nameOf(const Invocation &invocation)
{
    return invocation.command ? invocation.command->name : QString();
}

QString errorOf(const QStringList &args)
{
    const ParseResult result = parseCommandLine(args);
    EXPECT_FALSE(result.invocation.has_value()) << "accepted: " << args.join(' ').toStdString();
    return result.error;
}

} // namespace

TEST(CommandLine, globalOptionsStandBeforeOrAfterTheCommand)
{
    Invocation a = parsed({"--home", "/h", "--verbose", "get", "http://x/a.mp4"});
    EXPECT_EQ(nameOf(a), "get");
    EXPECT_EQ(a.home, "/h");
    EXPECT_TRUE(a.verbose);
    EXPECT_EQ(a.addresses, QStringList{"http://x/a.mp4"});

    Invocation b = parsed({"list", "--home=/h2", "--json"});
    EXPECT_EQ(nameOf(b), "list");
    EXPECT_EQ(b.home, "/h2");
    EXPECT_TRUE(b.hasFlag("--json"));
    // What a running player is handed: the command, its arguments and flags, never the home.
    EXPECT_EQ(b.commandArguments, (QStringList{"list", "--json"}));

    Invocation c = parsed({"run", "--until-idle"});
    EXPECT_TRUE(c.hasFlag("--until-idle"));
    EXPECT_EQ(nameOf(parsed({"--help"})), "help");
    EXPECT_EQ(nameOf(parsed({"list", "--version"})), "version");
}

TEST(CommandLine, doubleDashLetsAnAddressStartWithADash)
{
    Invocation a = parsed({"get", "--", "-odd-but-given", "--json"});
    EXPECT_EQ(a.addresses, (QStringList{"-odd-but-given", "--json"}));
    EXPECT_FALSE(a.hasFlag("--json"));
}

TEST(CommandLine, usageErrorsNameWhatIsWrong)
{
    EXPECT_TRUE(errorOf({}).contains("no command"));
    EXPECT_TRUE(errorOf({"fetch"}).contains("fetch"));
    EXPECT_TRUE(errorOf({"get"}).contains("address"));
    EXPECT_TRUE(errorOf({"--home"}).contains("--home"));
    EXPECT_TRUE(errorOf({"--frobnicate", "list"}).contains("--frobnicate"));
    EXPECT_TRUE(errorOf({"get", "--json", "http://x/a.mp4"}).contains("--json"));
    EXPECT_TRUE(errorOf({"pause", "now"}).contains("no arguments"));
    EXPECT_TRUE(errorOf({"retry"}).contains("id"));
    EXPECT_TRUE(errorOf({"retry", "abc"}).contains("abc"));
    EXPECT_TRUE(errorOf({"remove", "0"}).contains("0"));   // identifiers start at 1
    EXPECT_TRUE(errorOf({"remove", "-3"}).contains("-3"));
    EXPECT_TRUE(errorOf({"move", "4"}).contains("position"));
    EXPECT_TRUE(errorOf({"move", "4", "-1"}).contains("-1"));
    EXPECT_TRUE(errorOf({"config"}).contains("config"));
    EXPECT_TRUE(errorOf({"config", "set", MediaFolder}).contains("value"));
    EXPECT_TRUE(errorOf({"config", "get", "Colour"}).contains("Colour"));
}

TEST(CommandLine, moveTakesAPositionOrTheEnd)
{
    Invocation head = parsed({"move", "7", "0"});
    EXPECT_EQ(head.id, 7u);
    EXPECT_EQ(head.position, 0);
    EXPECT_EQ(parsed({"move", "7", "end"}).position, -1);
    EXPECT_EQ(parsed({"move", "7", "12"}).position, 12);
}

TEST(CommandLine, settingNamesAreMatchedWithoutCase)
{
    Invocation set = parsed({"config", "set", QString(ResumeDownloadsOnStartup).toLower(), "false"});
    EXPECT_EQ(nameOf(set), "config");
    EXPECT_EQ(set.action, "set");
    EXPECT_EQ(set.settingName, ResumeDownloadsOnStartup);
    EXPECT_EQ(set.settingValue, "false");
    Invocation all = parsed({"config", "get"});
    EXPECT_EQ(all.action, "get");
    EXPECT_TRUE(all.settingName.isEmpty());
}

TEST(CommandLine, handedOverArgumentsParseToTheSameCommand)
{
    const Invocation original = parsed({"--home", "/h", "move", "9", "end"});
    const ParseResult again = parseHandedOver(original.commandArguments);
    ASSERT_TRUE(again.invocation.has_value());
    EXPECT_EQ(nameOf(*again.invocation), "move");
    EXPECT_EQ(again.invocation->id, 9u);
    EXPECT_EQ(again.invocation->position, -1);
    EXPECT_TRUE(again.invocation->home.isEmpty());
    EXPECT_TRUE(parseHandedOver({"list", "--json"}).invocation->hasFlag("--json"));
}

TEST(CommandLine, optionsWithValuesQuietAndVerbosity)
{
    Invocation get = parsed({"get", "--limit-rate", "2M", "-i", "-", "--detach"});
    EXPECT_EQ(get.value("--limit-rate"), "2M");
    EXPECT_EQ(get.value("--input-file"), "-");  // known by its long name whichever was typed
    EXPECT_TRUE(get.hasFlag("--detach"));
    EXPECT_TRUE(get.addresses.isEmpty());
    EXPECT_EQ(parsed({"run", "--limit-rate=500K"}).value("--limit-rate"), "500K");
    // What a running player is handed keeps each value after its option.
    const ParseResult again = parseHandedOver(parsed({"get", "--limit-rate", "2M", "http://x/a.mp4"}).commandArguments);
    ASSERT_TRUE(again.invocation.has_value());
    EXPECT_EQ(again.invocation->value("--limit-rate"), "2M");
    EXPECT_EQ(again.invocation->addresses, QStringList{"http://x/a.mp4"});

    EXPECT_TRUE(parsed({"-q", "list"}).quiet);
    EXPECT_EQ(parsed({"-v", "list"}).verbosity, 1);
    EXPECT_EQ(parsed({"list", "-vv"}).verbosity, 2);
    EXPECT_EQ(parsed({"-v", "--verbose", "list"}).verbosity, 2);
    EXPECT_TRUE(parsed({"--verbose", "list"}).verbose);
}

TEST(CommandLine, helpNamesACommandEitherWay)
{
    EXPECT_EQ(parsed({"help", "move"}).helpTopic, "move");
    EXPECT_EQ(parsed({"move", "--help"}).helpTopic, "move");
    EXPECT_EQ(parsed({"-h", "config", "get"}).helpTopic, "config");
    EXPECT_TRUE(parsed({"--help"}).helpTopic.isEmpty());
    const ParseResult wrong = parseCommandLine({"moev", "--help"});
    EXPECT_EQ(wrong.error, "unknown command \"moev\" (did you mean \"move\"?)");
    // A usage error names its command, so that its help can be pointed at.
    EXPECT_EQ(parseCommandLine({"move", "4"}).command, "move");
}
