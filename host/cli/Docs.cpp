#include "host/cli/Docs.h"

#include "host/cli/CommandLine.h"
#include "host/cli/CommandDefinition.h"
#include "host/player/ExitCode.h"
#include "host/player/FailureAdvice.h"
#include "host/player/PlayerCommand.h"
#include "host/player/PlayerSettings.h"

#include <QRegularExpression>

namespace Lumora::Cli::Docs {

namespace {

// One option as a shell sees it: its names and whether a value follows.
struct ShellOption {
    QStringList names;  // "-q", "--quiet"
    QString value;      // "DIR"; empty for a switch
    QString help;
};

ShellOption fromSynopsis(const QString &synopsis, const QString &help)
{
    ShellOption option;
    option.help = help;
    for (QString word : synopsis.split(' ', Qt::SkipEmptyParts)) {
        if (word.endsWith(','))
            word.chop(1);
        if (word.startsWith('-'))
            option.names << word;
        else
            option.value = word;
    }
    return option;
}

std::vector<ShellOption> globalShellOptions()
{
    std::vector<ShellOption> options;
    for (const UsageLine &line : globalOptions())
        options.push_back(fromSynopsis(line.synopsis, line.summary));
    return options;
}

std::vector<ShellOption> commandShellOptions(const CommandDefinition &command)
{
    std::vector<ShellOption> options;
    for (const OptionDefinition &definition : command.options) {
        ShellOption option;
        if (!definition.shortName.isEmpty())
            option.names << definition.shortName;
        option.names << definition.name;
        option.value = definition.value;
        option.help = definition.help;
        options.push_back(option);
    }
    return options;
}

bool takesDownloadId(const CommandDefinition &command)
{
    return command.synopsis.split(' ').contains(QStringLiteral("ID"));
}

// --- roff ---------------------------------------------------------------------------------------

QString roff(const QString &text)
{
    QString escaped = text;
    escaped.replace('\\', QLatin1String("\\e"));
    escaped.replace('\n', ' ');
    if (escaped.startsWith('.') || escaped.startsWith('\''))
        escaped.prepend(QLatin1String("\\&"));
    return escaped;
}

// Options and synopses: every hyphen is a real minus sign, so that they can be copied.
QString roffLiteral(const QString &text)
{
    QString escaped = roff(text);
    escaped.replace('-', QLatin1String("\\-"));
    return escaped;
}

QString tagged(const QString &tag, const QString &body)
{
    return QStringLiteral(".TP\n.B %1\n%2\n").arg(roffLiteral(tag), roff(body));
}

QString environmentSection()
{
    const std::pair<QString, QString> variables[] = {
        {QStringLiteral("LUMORA_HOME"),
         QStringLiteral("keeps the library, the settings, the media folder and the temporary files below one folder, "
                        "as \\-\\-home does")},
        {QStringLiteral("LUMORA_PLAYER_COMMAND"),
         QStringLiteral("the program that plays a video, with its arguments (default: xdg\\-open); the address goes "
                        "last, or where the command says %u")},
        {QString::fromLatin1(Host::PlayUserVariable),
         QStringLiteral("set for the player command when the address has a user name; the address itself is given "
                        "without it, so that no other local user can read it in the process list")},
        {QString::fromLatin1(Host::PlayPasswordVariable),
         QStringLiteral("set for the player command when the address has a password, likewise")},
        {QStringLiteral("LUMORA_PLAIN"),
         QStringLiteral("when 1, progress is printed as plain lines even on a terminal")},
        {QStringLiteral("XDG_RUNTIME_DIR"),
         QStringLiteral("where the running player's socket lives (in lumora/, private to the user); without it, in "
                        "the home's data folder")},
        {QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
         QStringLiteral("the session bus that desktop notifications go to; without a bus there are none")},
    };
    QString text = QStringLiteral(".SH ENVIRONMENT\n");
    for (const auto &[name, meaning] : variables)
        text += QStringLiteral(".TP\n.B %1\n%2\n").arg(roffLiteral(name), meaning);
    return text;
}

// --- bash ---------------------------------------------------------------------------------------

QString words(const std::vector<ShellOption> &options)
{
    QStringList all;
    for (const ShellOption &option : options)
        all << option.names;
    return all.join(' ');
}

QStringList valueOptionNames(const std::vector<ShellOption> &options, const QString &value)
{
    QStringList names;
    for (const ShellOption &option : options) {
        if (option.value == value)
            names << option.names;
    }
    return names;
}

// --- zsh ----------------------------------------------------------------------------------------

// A description zsh shows in brackets or after a colon: one line, without the characters its
// argument lines give a meaning to.
QString zshText(const QString &text)
{
    QString line = text.section('\n', 0, 0);
    static const QRegularExpression special(QStringLiteral("[\\[\\]:'\"`$\\\\]"));
    line.replace(special, QString());
    return line.trimmed();
}

QString zshAction(const QString &value)
{
    if (value == QLatin1String("DIR"))
        return QStringLiteral(":folder:_files -/");
    if (value == QLatin1String("FILE"))
        return QStringLiteral(":file:_files");
    if (!value.isEmpty())
        return QStringLiteral(":%1:").arg(value.toLower());
    return QString();
}

QString zshArgumentLines(const std::vector<ShellOption> &options, const QString &indent)
{
    QString text;
    for (const ShellOption &option : options) {
        const QString help = zshText(option.help);
        const QString action = zshAction(option.value);
        if (option.names.size() == 1) {
            text += QStringLiteral("%1'%2[%3]%4' \\\n").arg(indent, option.names.first(), help, action);
        } else {
            const QString group = option.names.join(' ');
            text += QStringLiteral("%1'(%2)'{%3}'[%4]%5' \\\n").arg(indent, group, option.names.join(','), help, action);
        }
    }
    return text;
}

} // namespace

QString manPage()
{
    QString text;
    text += QStringLiteral(".\\\" Written by lumora-docs from lumora's own command table; do not edit.\n");
    text += QStringLiteral(".TH LUMORA 1 \"\" \"lumora %1\" \"User Commands\"\n").arg(QLatin1String(LUMORA_VERSION));
    text += QStringLiteral(".SH NAME\nlumora \\- download videos into the media folder through the player's download manager\n");
    text += QStringLiteral(".SH SYNOPSIS\n.B lumora\n[\\fB\\-\\-home\\fR \\fIDIR\\fR] [\\fB\\-q\\fR | \\fB\\-v\\fR] "
                           "\\fICOMMAND\\fR [\\fIARGS\\fR]\n");
    text += QStringLiteral(
        ".SH DESCRIPTION\n"
        "lumora is the player in command\\-line form: it queues web addresses of video files, downloads them one at "
        "a time through the player's download manager into the media folder, and hands each finished video to the "
        "media library.\n"
        ".PP\n"
        "One player runs per home. The first lumora that needs one becomes it; a second lumora hands its command to "
        "the running player over a local socket that only its user can reach, and prints what comes back. A "
        "handed\\-over \\fBget\\fR follows its downloads to their end and exits with their status.\n");
    text += QStringLiteral(".SH COMMANDS\n");
    for (const CommandDefinition *command : commandTable()) {
        text += tagged(command->synopsis, command->help);
        if (command->options.empty())
            continue;
        text += QStringLiteral(".RS\n");
        for (const OptionDefinition &option : command->options) {
            const QString names = option.shortName.isEmpty() ? option.name : option.shortName + QStringLiteral(", ") + option.name;
            text += tagged(option.value.isEmpty() ? names : names + ' ' + option.value, option.help);
        }
        text += QStringLiteral(".RE\n");
    }
    text += QStringLiteral(".SH OPTIONS\nThese apply to every command and may stand before or after it; \\fB\\-\\-\\fR "
                           "ends the options, and a negative number is always an argument.\n");
    for (const UsageLine &option : globalOptions())
        text += tagged(option.synopsis, option.summary);
    text += QStringLiteral(".SH SETTINGS\nRead and changed with \\fBlumora config\\fR; kept per home.\n");
    for (const Host::PlayerSettings::Setting &setting : Host::PlayerSettings::table()) {
        const QString fallback = setting.type == Host::PlayerSettings::Type::Folder
                                     ? QStringLiteral("the desktop's videos folder, Vexo Movies")
                                     : setting.defaultText.isEmpty() ? QStringLiteral("none") : setting.defaultText;
        text += tagged(QLatin1String(setting.name), setting.help + QStringLiteral(" (default: %1)").arg(fallback));
    }
    text += environmentSection();
    text += QStringLiteral(".SH EXIT STATUS\nGrouped by kind as wget groups them; when several things went wrong, "
                           "the lowest status from 2 up wins over 1.\n");
    for (const Host::ExitStatusLine &line : Host::exitStatusLines())
        text += tagged(QString::number(line.code), line.meaning);
    text += QStringLiteral(".SH WHEN A DOWNLOAD FAILS\n\\fBlumora list\\fR shows a failed download's reason in "
                           "short, \\fBlumora list \\-\\-json\\fR as \\fIerror.kind\\fR, \\fIerror.message\\fR and "
                           "\\fIerror.httpStatus\\fR. The kinds, with the exit status each ends a command with:\n");
    for (const Host::FailureAdvice &entry : Host::failureAdvice()) {
        text += tagged(QStringLiteral("%1 (exit %2)").arg(FailureReason::of(entry.kind).kindName()).arg(Host::exitCodeFor(entry.kind)),
                       entry.advice);
    }
    text += QStringLiteral(
        ".SH FILES\n"
        ".TP\n.I $XDG_DATA_HOME/lumora/library.db\nthe media library and the download queue\n"
        ".TP\n.I $XDG_CONFIG_HOME/vexo/user.reg\nthe settings\n"
        ".TP\n.I $XDG_RUNTIME_DIR/lumora/\nthe running player's socket\n"
        ".SH EXAMPLES\n"
        ".nf\n"
        "lumora get https://example.org/talk.mp4\n"
        "lumora get \\-i addresses.txt \\-\\-limit\\-rate 2M\n"
        "lumora list \\-\\-json\n"
        "lumora config set OnDownloadComplete \"$HOME/bin/on\\-video\"\n"
        ".fi\n");
    return text;
}

QString bashCompletion()
{
    const std::vector<ShellOption> global = globalShellOptions();
    QStringList commandNames;
    for (const CommandDefinition *command : commandTable())
        commandNames << command->name;
    QStringList valueOptions;
    for (const ShellOption &option : global) {
        if (!option.value.isEmpty())
            valueOptions << option.names;
    }
    for (const CommandDefinition *command : commandTable()) {
        for (const ShellOption &option : commandShellOptions(*command)) {
            if (!option.value.isEmpty())
                valueOptions << option.names;
        }
    }
    valueOptions.removeDuplicates();
    QStringList folderOptions = valueOptionNames(global, QStringLiteral("DIR"));
    QStringList fileOptions;
    for (const CommandDefinition *command : commandTable())
        fileOptions << valueOptionNames(commandShellOptions(*command), QStringLiteral("FILE"));
    fileOptions.removeDuplicates();

    QString perCommand;
    QStringList idCommands;
    for (const CommandDefinition *command : commandTable()) {
        const QString own = words(commandShellOptions(*command));
        if (!own.isEmpty())
            perCommand += QStringLiteral("        %1) options=\"%2\" ;;\n").arg(command->name, own);
        if (takesDownloadId(*command))
            idCommands << command->name;
    }

    QString text;
    text += QStringLiteral("# bash completion for lumora. Written by lumora-docs from lumora's own command table; "
                           "do not edit.\n\n");
    text += QStringLiteral("_lumora_ids()\n{\n"
                           "    # The download ids of the home named on the command line, from the queue as listed.\n"
                           "    \"${COMP_WORDS[0]}\" \"${_lumora_home[@]}\" list 2>/dev/null | "
                           "awk 'NR > 1 && $1 ~ /^[0-9]+$/ { print $1 }'\n}\n\n");
    text += QStringLiteral("_lumora()\n{\n");
    text += QStringLiteral("    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n");
    text += QStringLiteral("    local commands=\"%1\"\n").arg(commandNames.join(' '));
    text += QStringLiteral("    local global=\"%1\"\n").arg(words(global));
    text += QStringLiteral("    local settings=\"%1\"\n").arg(Host::PlayerSettings::names().join(' '));
    text += QStringLiteral("    COMPREPLY=()\n    _lumora_home=()\n");
    text += QStringLiteral("    case $prev in\n");
    if (!folderOptions.isEmpty())
        text += QStringLiteral("        %1) COMPREPLY=($(compgen -d -- \"$cur\")); return ;;\n").arg(folderOptions.join('|'));
    if (!fileOptions.isEmpty())
        text += QStringLiteral("        %1) COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n").arg(fileOptions.join('|'));
    text += QStringLiteral("        %1) return ;;\n").arg(valueOptions.join('|'));
    text += QStringLiteral("    esac\n");
    text += QStringLiteral(
        "    # The command word, and how many arguments follow it before the one being completed.\n"
        "    local i cmd= position=0\n"
        "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
        "        case ${COMP_WORDS[i]} in\n");
    if (!folderOptions.isEmpty())
        text += QStringLiteral("            %1) _lumora_home=(--home \"${COMP_WORDS[i+1]}\"); ((i++)) ;;\n")
                    .arg(folderOptions.join('|'));
    text += QStringLiteral("            %1) ((i++)) ;;\n").arg(valueOptions.join('|'));
    text += QStringLiteral(
        "            -*) ;;\n"
        "            *) if [[ -z $cmd ]]; then cmd=${COMP_WORDS[i]}; else ((position++)); fi ;;\n"
        "        esac\n"
        "    done\n"
        "    if [[ -z $cmd ]]; then\n"
        "        COMPREPLY=($(compgen -W \"$commands $global\" -- \"$cur\"))\n"
        "        return\n"
        "    fi\n"
        "    local options=\n"
        "    case $cmd in\n");
    text += perCommand;
    text += QStringLiteral("    esac\n");
    text += QStringLiteral(
        "    if [[ $cur == -* ]]; then\n"
        "        COMPREPLY=($(compgen -W \"$options $global\" -- \"$cur\"))\n"
        "        return\n"
        "    fi\n"
        "    case $cmd in\n"
        "        config)\n"
        "            case $position in\n"
        "                0) COMPREPLY=($(compgen -W \"get set\" -- \"$cur\")) ;;\n"
        "                1) COMPREPLY=($(compgen -W \"$settings\" -- \"$cur\")) ;;\n"
        "            esac ;;\n"
        "        help)\n"
        "            [[ $position == 0 ]] && COMPREPLY=($(compgen -W \"$commands\" -- \"$cur\")) ;;\n");
    if (!idCommands.isEmpty())
        text += QStringLiteral("        %1)\n"
                               "            [[ $position == 0 ]] && COMPREPLY=($(compgen -W \"$(_lumora_ids)\" -- \"$cur\")) ;;\n")
                    .arg(idCommands.join('|'));
    text += QStringLiteral("    esac\n}\n\ncomplete -F _lumora lumora\n");
    return text;
}

QString zshCompletion()
{
    QString text = QStringLiteral("#compdef lumora\n# zsh completion for lumora. Written by lumora-docs from "
                                  "lumora's own command table; do not edit.\n\n");
    text += QStringLiteral("_lumora() {\n  local curcontext=\"$curcontext\" state line\n  typeset -A opt_args\n");
    text += QStringLiteral("  local -a commands\n  commands=(\n");
    for (const CommandDefinition *command : commandTable())
        text += QStringLiteral("    '%1:%2'\n").arg(command->name, zshText(command->summary));
    text += QStringLiteral("  )\n");
    text += QStringLiteral("  _arguments -C \\\n");
    text += zshArgumentLines(globalShellOptions(), QStringLiteral("    "));
    text += QStringLiteral("    '1:command:->command' \\\n    '*::argument:->arguments'\n");
    text += QStringLiteral("  case $state in\n    command)\n      _describe -t commands 'lumora command' commands ;;\n");
    text += QStringLiteral("    arguments)\n      case $words[1] in\n");
    for (const CommandDefinition *command : commandTable()) {
        QString lines = zshArgumentLines(commandShellOptions(*command), QStringLiteral("            "));
        QString rest;
        if (command->name == QLatin1String("get"))
            rest = QStringLiteral("            '*:address:_urls'");
        else if (command->name == QLatin1String("config"))
            rest = QStringLiteral("            '1:action:(get set)' \\\n            '2:setting:(%1)' \\\n            '3:value:'")
                       .arg(Host::PlayerSettings::names().join(' '));
        else if (command->name == QLatin1String("help"))
            rest = QStringLiteral("            '1:command:(%1)'").arg([] {
                QStringList names;
                for (const CommandDefinition *c : commandTable())
                    names << c->name;
                return names.join(' ');
            }());
        else if (takesDownloadId(*command))
            rest = QStringLiteral("            '1:download id:'");
        if (lines.isEmpty() && rest.isEmpty())
            continue;
        if (rest.isEmpty())
            lines.chop(3);  // the last " \\\n"
        text += QStringLiteral("        %1)\n          _arguments \\\n%2%3 ;;\n").arg(command->name, lines, rest);
    }
    text += QStringLiteral("      esac ;;\n  esac\n}\n\n_lumora \"$@\"\n");
    return text;
}

} // namespace Lumora::Cli::Docs
