#include "host/app/CommandLine.h"

#include "plugin/SettingKeys.h"

#include <QCoreApplication>
#include <QUrl>

namespace Lumora::App {

namespace {

struct CommandName {
    const char *name;
    Command command;
};

constexpr CommandName kCommands[] = {
    {"help", Command::Help},      {"get", Command::Get},       {"run", Command::Run},
    {"list", Command::List},      {"pause", Command::Pause},   {"resume", Command::Resume},
    {"stop", Command::Stop},      {"retry", Command::Retry},   {"remove", Command::Remove},
    {"move", Command::Move},      {"clear", Command::Clear},   {"play", Command::Play},
    {"config", Command::ConfigGet}, {"demo", Command::Demo},   {"version", Command::Version},
};

ParseResult failure(const QString &error)
{
    ParseResult result;
    result.error = error;
    return result;
}

bool parseId(const QString &text, uint64_t *id)
{
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok, 10);
    if (!ok || value == 0 || text.startsWith('+'))
        return false;
    *id = value;
    return true;
}

// Fills the command-specific part of invocation from words (the command word first). The words
// hold no global option any more.
ParseResult parseCommandWords(Invocation invocation, const QStringList &words, const QStringList &flags)
{
    if (words.isEmpty())
        return failure(QStringLiteral("no command given"));

    const QString word = words.first();
    bool known = false;
    for (const CommandName &c : kCommands) {
        if (word == QLatin1String(c.name)) {
            invocation.command = c.command;
            known = true;
            break;
        }
    }
    if (!known)
        return failure(QStringLiteral("unknown command \"%1\"").arg(word));

    const QStringList args = words.mid(1);
    QStringList allowedFlags;
    auto wantArgs = [&](qsizetype min, qsizetype max) { return args.size() >= min && args.size() <= max; };
    const QString name = word;

    switch (invocation.command) {
    case Command::Help:
    case Command::Version:
    case Command::Pause:
    case Command::Resume:
    case Command::Stop:
    case Command::Clear:
        if (!args.isEmpty())
            return failure(QStringLiteral("\"%1\" takes no arguments").arg(name));
        break;
    case Command::Get:
        if (args.isEmpty())
            return failure(QStringLiteral("\"get\" needs at least one address"));
        invocation.addresses = args;
        break;
    case Command::Run:
        allowedFlags << QStringLiteral("--until-idle");
        if (!args.isEmpty())
            return failure(QStringLiteral("\"run\" takes no arguments"));
        invocation.untilIdle = flags.contains(QStringLiteral("--until-idle"));
        break;
    case Command::List:
        allowedFlags << QStringLiteral("--json");
        if (!args.isEmpty())
            return failure(QStringLiteral("\"list\" takes no arguments"));
        invocation.json = flags.contains(QStringLiteral("--json"));
        break;
    case Command::Demo:
        allowedFlags << QStringLiteral("--keep");
        if (!args.isEmpty())
            return failure(QStringLiteral("\"demo\" takes no arguments"));
        invocation.keep = flags.contains(QStringLiteral("--keep"));
        break;
    case Command::Retry:
    case Command::Remove:
    case Command::Play:
        if (!wantArgs(1, 1))
            return failure(QStringLiteral("\"%1\" needs one download id").arg(name));
        if (!parseId(args[0], &invocation.id))
            return failure(QStringLiteral("\"%1\" is not a download id (see \"lumora list\")").arg(args[0]));
        break;
    case Command::Move: {
        if (!wantArgs(2, 2))
            return failure(QStringLiteral("\"move\" needs a download id and a position"));
        if (!parseId(args[0], &invocation.id))
            return failure(QStringLiteral("\"%1\" is not a download id (see \"lumora list\")").arg(args[0]));
        const QString position = args[1];
        if (position == QLatin1String("end") || position == QLatin1String("last")) {
            invocation.position = -1;
        } else {
            bool ok = false;
            const qlonglong value = position.toLongLong(&ok, 10);
            if (!ok || value < 0)
                return failure(QStringLiteral("\"%1\" is not a position: give 0 for the head, 1, 2, ... or \"end\"")
                                   .arg(position));
            invocation.position = value;
        }
        break;
    }
    case Command::ConfigGet:
    case Command::ConfigSet: {
        if (args.isEmpty())
            return failure(QStringLiteral("\"config\" needs \"get [NAME]\" or \"set NAME VALUE\""));
        const QString action = args[0];
        if (action == QLatin1String("get")) {
            invocation.command = Command::ConfigGet;
            if (args.size() > 2)
                return failure(QStringLiteral("\"config get\" takes at most one setting name"));
        } else if (action == QLatin1String("set")) {
            invocation.command = Command::ConfigSet;
            if (args.size() != 3)
                return failure(QStringLiteral("\"config set\" needs a setting name and a value"));
            invocation.settingValue = args[2];
        } else {
            return failure(QStringLiteral("\"config\" needs \"get [NAME]\" or \"set NAME VALUE\""));
        }
        if (args.size() >= 2) {
            invocation.settingName = canonicalSettingName(args[1]);
            if (invocation.settingName.isEmpty())
                return failure(QStringLiteral("unknown setting \"%1\" (known: MediaFolder, ResumeDownloadsOnStartup)")
                                   .arg(args[1]));
        }
        break;
    }
    }

    for (const QString &flag : flags) {
        if (!allowedFlags.contains(flag))
            return failure(QStringLiteral("\"%1\" does not take %2").arg(name, flag));
    }

    invocation.commandArguments = words + flags;
    ParseResult result;
    result.invocation = std::move(invocation);
    return result;
}

bool isCommandFlag(const QString &arg)
{
    return arg == QLatin1String("--json") || arg == QLatin1String("--until-idle") || arg == QLatin1String("--keep");
}

} // namespace

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
        } else if (isCommandFlag(arg)) {
            flags << arg;
        } else {
            return failure(QStringLiteral("unknown option \"%1\"").arg(arg));
        }
    }

    if (help || version) {
        invocation.command = help ? Command::Help : Command::Version;
        ParseResult result;
        result.invocation = std::move(invocation);
        return result;
    }
    return parseCommandWords(std::move(invocation), words, flags);
}

ParseResult parseHandedOver(const QStringList &commandArguments)
{
    QStringList words;
    QStringList flags;
    for (const QString &arg : commandArguments) {
        if (isCommandFlag(arg))
            flags << arg;
        else
            words << arg;
    }
    return parseCommandWords(Invocation(), words, flags);
}

bool startsPlayer(Command command)
{
    return command == Command::Get || command == Command::Run || command == Command::Play;
}

QString canonicalSettingName(const QString &name)
{
    static const char *const known[] = {SettingKeys::MediaFolder, SettingKeys::ResumeDownloadsOnStartup};
    for (const char *k : known) {
        if (name.compare(QLatin1String(k), Qt::CaseInsensitive) == 0)
            return QLatin1String(k);
    }
    return QString();
}

QString usageText()
{
    return QStringLiteral(
        "usage: lumora [--home DIR] [--verbose] COMMAND [ARGS]\n"
        "\n"
        "Downloads videos into the media folder through the player's download manager.\n"
        "\n"
        "commands:\n"
        "  get URL...            queue the addresses and download until the queue is idle\n"
        "  run [--until-idle]    download the saved queue (until interrupted, or until idle)\n"
        "  list [--json]         the download queue: id, status, progress, size, title, source, file\n"
        "  pause | resume        pause or resume all downloads of the running player\n"
        "  stop                  stop the running download (it is queued again)\n"
        "  retry ID              queue a failed download again, at the head\n"
        "  remove ID             remove a download from the queue\n"
        "  move ID POS           move a download to position POS (0 is the head, \"end\" the end)\n"
        "  clear                 remove the completed downloads from the queue\n"
        "  play ID               play a download (from its file, or from its source while it arrives)\n"
        "  config get [NAME]     show a setting (MediaFolder, ResumeDownloadsOnStartup)\n"
        "  config set NAME VALUE change a setting\n"
        "  demo [--keep]         download the bundled clips from a loopback server into a temporary home\n"
        "\n"
        "options:\n"
        "  --home DIR            keep the library, settings, media folder and temporary files below DIR\n"
        "                        (also LUMORA_HOME)\n"
        "  --verbose             print every message the plugins publish\n"
        "\n"
        "One player runs per home: a second lumora hands its command to the running one.\n"
        "LUMORA_PLAYER_COMMAND names the program that plays a video (default: xdg-open).\n"
        "exit status: 0 done, 1 a download or operation failed, 2 usage error or refused address\n");
}

QString versionText()
{
    return QStringLiteral("lumora %1\n").arg(QLatin1String(LUMORA_VERSION));
}

} // namespace Lumora::App
