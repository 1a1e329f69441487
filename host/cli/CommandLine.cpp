#include "host/cli/CommandLine.h"

#include "host/cli/CommandSpec.h"

#include <QCoreApplication>

namespace Lumora::Cli {

namespace {

// The synopsis column of `lumora --help`: the summary starts after it.
constexpr int kSynopsisWidth = 21;

ParseResult failure(const QString &error)
{
    ParseResult result;
    result.error = error;
    return result;
}

// Fills the command-specific part of invocation from words (the command word first) and the
// command options found among the arguments.
ParseResult parseCommandWords(Invocation invocation, const QStringList &words, const QStringList &flags)
{
    if (words.isEmpty())
        return failure(QStringLiteral("no command given"));

    const QString word = words.first();
    invocation.command = findCommand(word);
    if (!invocation.command)
        return failure(QStringLiteral("unknown command \"%1\"").arg(word));

    QString error;
    if (!invocation.command->parse(words.mid(1), invocation, &error))
        return failure(error);
    for (const QString &flag : flags) {
        if (!invocation.command->takesOption(flag))
            return failure(QStringLiteral("\"%1\" does not take %2").arg(word, flag));
    }
    invocation.flags = flags;
    invocation.commandArguments = words + flags;
    ParseResult result;
    result.invocation = std::move(invocation);
    return result;
}

ParseResult asCommand(Invocation invocation, const char *name)
{
    invocation.command = findCommand(QLatin1String(name));
    ParseResult result;
    result.invocation = std::move(invocation);
    return result;
}

QString usageLine(const QString &synopsis, const QString &summary)
{
    const QStringList lines = summary.split('\n');
    QString text = QStringLiteral("  ") + synopsis.leftJustified(kSynopsisWidth) + ' ' + lines.first() + '\n';
    for (qsizetype i = 1; i < lines.size(); ++i)
        text += QString(kSynopsisWidth + 3, ' ') + lines[i] + '\n';
    return text;
}

} // namespace

const std::vector<UsageLine> &globalOptions()
{
    static const std::vector<UsageLine> options = {
        {QStringLiteral("--home DIR"),
         QStringLiteral("keep the library, settings, media folder and temporary files below DIR\n(also LUMORA_HOME)")},
        {QStringLiteral("--verbose"), QStringLiteral("print every message the plugins publish")},
    };
    return options;
}

ParseResult parseCommandLine(const QStringList &arguments)
{
    Invocation invocation;
    QStringList words;
    QStringList flags;
    bool optionsEnded = false;
    bool help = false;
    bool version = false;

    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (optionsEnded || !arg.startsWith('-') || arg == QLatin1String("-")) {
            words << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
        } else if (arg == QLatin1String("--home")) {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty())
                return failure(QStringLiteral("--home needs a folder"));
            invocation.home = arguments[++i];
        } else if (arg.startsWith(QLatin1String("--home="))) {
            invocation.home = arg.mid(7);
            if (invocation.home.isEmpty())
                return failure(QStringLiteral("--home needs a folder"));
        } else if (arg == QLatin1String("--verbose") || arg == QLatin1String("-v")) {
            invocation.verbose = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            help = true;
        } else if (arg == QLatin1String("--version")) {
            version = true;
        } else if (isCommandOption(arg)) {
            flags << arg;
        } else {
            return failure(QStringLiteral("unknown option \"%1\"").arg(arg));
        }
    }

    if (help)
        return asCommand(std::move(invocation), "help");
    if (version)
        return asCommand(std::move(invocation), "version");
    return parseCommandWords(std::move(invocation), words, flags);
}

ParseResult parseHandedOver(const QStringList &commandArguments)
{
    QStringList words;
    QStringList flags;
    for (const QString &arg : commandArguments) {
        if (isCommandOption(arg))
            flags << arg;
        else
            words << arg;
    }
    return parseCommandWords(Invocation(), words, flags);
}

QString usageText()
{
    QString text = QStringLiteral(
        "usage: lumora [--home DIR] [--verbose] COMMAND [ARGS]\n"
        "\n"
        "Downloads videos into the media folder through the player's download manager.\n"
        "\n"
        "commands:\n");
    for (const CommandSpec *command : commandTable()) {
        if (!command->listed)
            continue;
        if (command->usage.empty())
            text += usageLine(command->synopsis, command->summary);
        for (const UsageLine &line : command->usage)
            text += usageLine(line.synopsis, line.summary);
    }
    text += QStringLiteral("\noptions:\n");
    for (const UsageLine &option : globalOptions())
        text += usageLine(option.synopsis, option.summary);
    text += QStringLiteral(
        "\n"
        "One player runs per home: a second lumora hands its command to the running one.\n"
        "LUMORA_PLAYER_COMMAND names the program that plays a video (default: xdg-open).\n"
        "exit status: 0 done, 1 a download or operation failed, 2 usage error or refused address\n");
    return text;
}

QString versionText()
{
    return QStringLiteral("lumora %1\n").arg(QLatin1String(LUMORA_VERSION));
}

} // namespace Lumora::Cli
