#include "host/cli/CommandLine.h"

#include "host/cli/CommandDefinition.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace Lumora::Cli {

namespace {

// The synopsis column of `lumora --help`: the summary starts after it.
constexpr int kSynopsisWidth = 21;
// Where `lumora help COMMAND` wraps its paragraph.
constexpr int kHelpWidth = 78;

ParseResult failure(const QString &error)
{
    ParseResult result;
    result.error = error;
    return result;
}

bool isNegativeNumber(const QString &arg)
{
    static const QRegularExpression number(QStringLiteral("^-[0-9]+$"));
    return number.match(arg).hasMatch();
}

// Fills the command-specific part of invocation from words (the command word first) and the
// command options found among the arguments.
ParseResult parseCommandWords(Invocation invocation, const QStringList &words, const QStringList &flags,
                              const QMap<QString, QString> &values)
{
    if (words.isEmpty())
        return failure(QStringLiteral("no command given"));

    const QString word = words.first();
    invocation.command = findCommand(word);
    if (!invocation.command)
        return failure(unknownCommand(word));

    ParseResult wrong;
    wrong.command = invocation.command->name;
    for (const QString &flag : flags) {
        if (!invocation.command->takesOption(flag)) {
            wrong.error = QStringLiteral("\"%1\" does not take %2").arg(word, flag);
            return wrong;
        }
    }
    invocation.flags = flags;
    invocation.values = values;
    if (!invocation.command->parse(words.mid(1), invocation, &wrong.error))
        return wrong;
    invocation.commandArguments = words;
    for (const QString &flag : flags) {
        invocation.commandArguments << flag;
        if (values.contains(flag))
            invocation.commandArguments << values.value(flag);
    }
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

QString wrapped(const QString &paragraph, int width, const QString &indent)
{
    QString text;
    QString line;
    for (const QString &word : paragraph.split(' ', Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > width - indent.size()) {
            text += indent + line + '\n';
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    if (!line.isEmpty())
        text += indent + line + '\n';
    return text;
}

// The option with its value's name: "--limit-rate RATE", "-i, --input-file FILE".
QString optionSynopsis(const OptionDefinition &option)
{
    QString text = option.shortName.isEmpty() ? option.name : option.shortName + QStringLiteral(", ") + option.name;
    if (!option.value.isEmpty())
        text += ' ' + option.value;
    return text;
}

} // namespace

const std::vector<UsageLine> &globalOptions()
{
    static const std::vector<UsageLine> options = {
        {QStringLiteral("--home DIR"),
         QStringLiteral("keep the library, settings, media folder and temporary files below DIR\n(also LUMORA_HOME)")},
        {QStringLiteral("-q, --quiet"), QStringLiteral("print errors only: no progress, no messages")},
        {QStringLiteral("-v, --verbose"),
         QStringLiteral("print every status change and the engine's own lines; -vv also every\nmessage the plugins publish")},
        {QStringLiteral("-h, --help"), QStringLiteral("show this help, or with a command that command's help")},
        {QStringLiteral("--version"), QStringLiteral("show lumora's version")},
    };
    return options;
}

ParseResult parseCommandLine(const QStringList &arguments)
{
    Invocation invocation;
    QStringList words;
    QStringList flags;
    QMap<QString, QString> values;
    bool optionsEnded = false;
    bool help = false;
    bool version = false;

    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (optionsEnded || !arg.startsWith('-') || arg == QLatin1String("-") || isNegativeNumber(arg)) {
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
            ++invocation.verbosity;
        } else if (arg == QLatin1String("-vv")) {
            invocation.verbosity += 2;
        } else if (arg == QLatin1String("--quiet") || arg == QLatin1String("-q")) {
            invocation.quiet = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            help = true;
        } else if (arg == QLatin1String("--version")) {
            version = true;
        } else {
            const qsizetype equals = arg.startsWith(QLatin1String("--")) ? arg.indexOf('=') : -1;
            const QString name = equals > 0 ? arg.left(equals) : arg;
            const OptionDefinition *option = findCommandOption(name);
            if (!option)
                return failure(QStringLiteral("unknown option \"%1\"").arg(arg));
            if (option->value.isEmpty()) {
                if (equals > 0)
                    return failure(QStringLiteral("%1 takes no value").arg(option->name));
            } else if (equals > 0) {
                values.insert(option->name, arg.mid(equals + 1));
            } else {
                if (i + 1 >= arguments.size())
                    return failure(QStringLiteral("%1 needs a %2").arg(option->name, option->value));
                values.insert(option->name, arguments[++i]);
            }
            flags << option->name;
        }
    }
    invocation.verbose = invocation.verbosity > 0;
    if (invocation.quiet && invocation.verbose)
        return failure(QStringLiteral("--quiet and --verbose ask for opposite things; give one of them"));

    if (help) {
        // "lumora get --help": that command's own help.
        if (!words.isEmpty()) {
            if (!findCommand(words.first()))
                return failure(unknownCommand(words.first()));
            invocation.helpTopic = words.first();
        }
        return asCommand(std::move(invocation), "help");
    }
    if (version)
        return asCommand(std::move(invocation), "version");
    return parseCommandWords(std::move(invocation), words, flags, values);
}

ParseResult parseHandedOver(const QStringList &commandArguments)
{
    QStringList words;
    QStringList flags;
    QMap<QString, QString> values;
    for (qsizetype i = 0; i < commandArguments.size(); ++i) {
        const QString &arg = commandArguments[i];
        const OptionDefinition *option = isNegativeNumber(arg) ? nullptr : findCommandOption(arg);
        if (!option) {
            words << arg;
            continue;
        }
        flags << option->name;
        if (!option->value.isEmpty() && i + 1 < commandArguments.size())
            values.insert(option->name, commandArguments[++i]);
    }
    return parseCommandWords(Invocation(), words, flags, values);
}

QString exitStatusText(const QString &indent)
{
    QString text;
    for (const Host::ExitStatusLine &line : Host::exitStatusLines())
        text += indent + QStringLiteral("%1  %2\n").arg(line.code).arg(line.meaning);
    return text;
}

QString usageText()
{
    QString text = QStringLiteral(
        "usage: lumora [--home DIR] [-q | -v] COMMAND [ARGS]\n"
        "\n"
        "Downloads videos into the media folder through the player's download manager.\n"
        "\n"
        "commands:\n");
    for (const CommandDefinition *command : commandTable()) {
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
        "\"lumora help COMMAND\" (or \"lumora COMMAND --help\") shows a command's own help.\n"
        "One player runs per home: a second lumora hands its command to the running one.\n"
        "LUMORA_PLAYER_COMMAND names the program that plays a video (default: xdg-open).\n"
        "\n"
        "exit status:\n");
    text += exitStatusText(QStringLiteral("  "));
    return text;
}

QString commandHelpText(const CommandDefinition &command)
{
    QString text = QStringLiteral("usage: lumora [--home DIR] [-q | -v] %1\n\n").arg(command.synopsis);
    text += wrapped(command.help, kHelpWidth, QString());
    if (!command.options.empty()) {
        text += QStringLiteral("\noptions:\n");
        for (const OptionDefinition &option : command.options)
            text += usageLine(optionSynopsis(option), option.help);
    }
    text += QStringLiteral("\n\"lumora --help\" lists every command, the options they share and the exit statuses.\n");
    return text;
}

QString versionText()
{
    return QStringLiteral("lumora %1\n").arg(QLatin1String(LUMORA_VERSION));
}

} // namespace Lumora::Cli
