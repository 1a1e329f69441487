// The manual page and the completions, as the build writes them: the page renders with man and says
// everything the table knows; bash and zsh complete commands, options and settings.

#include "host/cli/CommandDefinition.h"
#include "host/player/ExitCode.h"
#include "host/player/FailureAdvice.h"
#include "host/player/PlayerSettings.h"
#include "plugin/SettingKeys.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace Lumora::Cli;

namespace {

const QString kShare = QStringLiteral(LUMORA_SHARE_DIR);

struct Ran {
    int code = -1;
    QString out;
    QString err;
};

Ran runProgram(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment = {})
{
    QProcess process;
    if (!environment.isEmpty())
        process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Ran ran;
    if (!process.waitForFinished(20000))
        return ran;
    ran.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    ran.out = QString::fromUtf8(process.readAllStandardOutput());
    ran.err = QString::fromUtf8(process.readAllStandardError());
    return ran;
}

// What bash offers for a command line that ends where the cursor is (the last word may be empty).
QStringList bashOffers(const QStringList &words)
{
    QString array;
    for (const QString &word : words)
        array += '\'' + word + "' ";
    const QString script = QStringLiteral("source '%1/bash-completion/completions/lumora'; COMP_WORDS=(%2); "
                                          "COMP_CWORD=%3; _lumora; printf '%s\\n' \"${COMPREPLY[@]}\"")
                               .arg(kShare, array)
                               .arg(words.size() - 1);
    const Ran ran = runProgram("bash", {"-c", script});
    EXPECT_EQ(ran.code, 0) << ran.err.toStdString();
    QStringList offers = ran.out.split('\n', Qt::SkipEmptyParts);
    offers.sort();
    return offers;
}

} // namespace

TEST(Docs, theManualPageRendersAndSaysWhatTheTableKnows)
{
    if (QStandardPaths::findExecutable("man").isEmpty())
        GTEST_SKIP() << "needs man (Debian package man-db) to render the page";
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("MANWIDTH", "100");
    const Ran page = runProgram("man", {"-l", kShare + "/man/man1/lumora.1"}, environment);
    ASSERT_EQ(page.code, 0) << page.err.toStdString();
    // groff's own complaints about the page would come here.
    EXPECT_TRUE(page.err.isEmpty()) << page.err.toStdString();
    for (const char *section : {"NAME", "SYNOPSIS", "COMMANDS", "OPTIONS", "SETTINGS", "ENVIRONMENT", "EXIT STATUS",
                                "WHEN A DOWNLOAD FAILS", "FILES"})
        EXPECT_TRUE(page.out.contains(QStringLiteral("\n%1\n").arg(section))) << section;
    for (const CommandDefinition *command : commandTable()) {
        EXPECT_TRUE(page.out.contains("       " + command->synopsis)) << command->name.toStdString();
        for (const OptionDefinition &option : command->options)
            EXPECT_TRUE(page.out.contains(option.name)) << option.name.toStdString();
    }
    for (const QString &setting : Lumora::Host::PlayerSettings::names())
        EXPECT_TRUE(page.out.contains("       " + setting + "\n")) << setting.toStdString();
    for (const Lumora::Host::FailureAdvice &entry : Lumora::Host::failureAdvice())
        EXPECT_TRUE(page.out.contains(Lumora::FailureReason::of(entry.kind).kindName() + " (exit "))
            << Lumora::FailureReason::of(entry.kind).kindName().toStdString();
    EXPECT_TRUE(page.out.contains("LUMORA_PLAY_PASSWORD"));
}

TEST(Docs, bashCompletesCommandsOptionsAndSettings)
{
    EXPECT_EQ(bashOffers({"lumora", "co"}), QStringList{"config"});
    EXPECT_EQ(bashOffers({"lumora", "--home", "/tmp", "pa"}), QStringList{"pause"});
    EXPECT_EQ(bashOffers({"lumora", "get", "--l"}), QStringList{"--limit-rate"});
    EXPECT_EQ(bashOffers({"lumora", "run", "--u"}), QStringList{"--until-idle"});
    EXPECT_EQ(bashOffers({"lumora", "config", ""}), (QStringList{"get", "set"}));
    EXPECT_EQ(bashOffers({"lumora", "config", "set", "Med"}), QStringList{Lumora::SettingKeys::MediaFolder});
    EXPECT_EQ(bashOffers({"lumora", "-v", "help", "re"}), (QStringList{"remove", "resume", "retry"}));
    // After an option that takes a value, nothing is offered but what fits the value.
    EXPECT_TRUE(bashOffers({"lumora", "get", "--limit-rate", ""}).isEmpty());
}

TEST(Docs, zshCompletesCommandsOptionsAndSettings)
{
    if (QStandardPaths::findExecutable("zsh").isEmpty())
        GTEST_SKIP() << "needs zsh (Debian package zsh) to load the completion function";
    const QString function = kShare + "/zsh/site-functions/_lumora";
    ASSERT_EQ(runProgram("zsh", {"-n", function}).code, 0);
    // The completion system's own functions stand in here and print what they were given, so that
    // what the function would offer can be read without a terminal.
    const QString script = QStringLiteral(
        "_arguments() { local definition; for definition in \"$@\"; do print -r -- \"definition $definition\"; done; state=$TEST_STATE; }\n"
        "_describe() { local name=$4; print -rl -- \"offer \"${^${(P)name}}; }\n"
        "_files() { :; }\n_urls() { :; }\n"
        "words=(%1); source '%2'\n");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TEST_STATE", "command");
    const Ran commands = runProgram("zsh", {"-f", "-c", script.arg("lumora", function)}, environment);
    ASSERT_EQ(commands.code, 0) << commands.err.toStdString();
    for (const CommandDefinition *command : commandTable())
        EXPECT_TRUE(commands.out.contains("offer " + command->name + ":")) << command->name.toStdString();
    EXPECT_TRUE(commands.out.contains("definition (-q --quiet)--quiet[print errors only")) << commands.out.toStdString();
    EXPECT_TRUE(commands.out.contains("definition --home[")) << commands.out.toStdString();

    environment.insert("TEST_STATE", "arguments");
    const Ran get = runProgram("zsh", {"-f", "-c", script.arg("get", function)}, environment);
    EXPECT_TRUE(get.out.contains("--limit-rate[")) << get.out.toStdString();
    EXPECT_TRUE(get.out.contains("*:address:_urls")) << get.out.toStdString();
    const Ran config = runProgram("zsh", {"-f", "-c", script.arg("config", function)}, environment);
    EXPECT_TRUE(config.out.contains("2:setting:(" + Lumora::Host::PlayerSettings::names().join(' ') + ")"))
        << config.out.toStdString();
}

TEST(Docs, theReadmeListsEveryExitStatusAndEveryFailureKind)
{
    QFile readme(QStringLiteral(LUMORA_SOURCE_DIR "/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    for (const Lumora::Host::ExitStatusLine &line : Lumora::Host::exitStatusLines())
        EXPECT_TRUE(text.contains(QStringLiteral("| %1 | %2 |").arg(line.code).arg(line.meaning))) << line.code;
    for (const Lumora::Host::FailureAdvice &entry : Lumora::Host::failureAdvice()) {
        const QString kind = Lumora::FailureReason::of(entry.kind).kindName();
        EXPECT_TRUE(text.contains(QStringLiteral("| `%1` | %2 |").arg(kind).arg(Lumora::Host::exitCodeFor(entry.kind))))
            << kind.toStdString();
    }
}
