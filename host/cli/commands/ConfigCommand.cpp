#include "host/cli/CommandDefinition.h"
#include "host/cli/HandOver.h"
#include "host/cli/commands/Commands.h"
#include "host/player/PlayerSettings.h"

#include <QDir>

namespace Lumora::Cli::Commands {

namespace {

namespace Settings = Host::PlayerSettings;

constexpr char kGet[] = "get";
constexpr char kSet[] = "set";

QString knownNames()
{
    return Settings::names().join(QStringLiteral(", "));
}

bool parseConfig(const QStringList &args, Invocation &invocation, QString *error)
{
    const QString needs = QStringLiteral("\"config\" needs \"get [NAME]\" or \"set NAME VALUE\"");
    if (args.isEmpty()) {
        *error = needs;
        return false;
    }
    invocation.action = args[0];
    if (invocation.action == QLatin1String(kGet)) {
        if (args.size() > 2) {
            *error = QStringLiteral("\"config get\" takes at most one setting name");
            return false;
        }
    } else if (invocation.action == QLatin1String(kSet)) {
        if (args.size() != 3) {
            *error = QStringLiteral("\"config set\" needs a setting name and a value");
            return false;
        }
        invocation.settingValue = args[2];
    } else {
        *error = needs;
        return false;
    }
    if (args.size() >= 2) {
        invocation.settingName = Settings::canonicalName(args[1]);
        if (invocation.settingName.isEmpty()) {
            *error = QStringLiteral("unknown setting \"%1\" (known: %2)").arg(args[1], knownNames());
            return false;
        }
    }
    return true;
}

QString shown(const QString &name, const Settings::Value &value)
{
    return QStringLiteral("%1 = %2%3").arg(name, value.text.isEmpty() ? QStringLiteral("(none)") : value.text,
                                           value.isDefault ? QStringLiteral(" (default)") : QString());
}

// baseDirectory resolves a relative media folder: where the asking lumora runs.
int setSetting(const Invocation &invocation, const QString &baseDirectory, Output &output)
{
    QString error;
    bool usageError = false;
    if (!Settings::set(invocation.settingName, invocation.settingValue, baseDirectory, &error, &usageError)) {
        output.error(QStringLiteral("lumora: ") + error);
        return usageError ? ExitUsage : ExitFailed;
    }
    Settings::Value value;
    Settings::get(invocation.settingName, &value, nullptr);
    output.message(shown(invocation.settingName, value));
    return ExitOk;
}

int getSettings(const Invocation &invocation, Output &output)
{
    if (!invocation.settingName.isEmpty()) {
        // One setting: its value alone, for scripts.
        Settings::Value value;
        QString error;
        if (!Settings::get(invocation.settingName, &value, &error)) {
            output.error(QStringLiteral("lumora: ") + error);
            return ExitFailed;
        }
        output.data(value.text + '\n');
        return ExitOk;
    }
    QString text;
    int code = ExitOk;
    for (const QString &name : Settings::names()) {
        Settings::Value value;
        QString error;
        if (!Settings::get(name, &value, &error)) {
            output.error(QStringLiteral("lumora: ") + error);
            code = ExitFailed;
            text += QStringLiteral("%1 = %2 (could not be read; the default)\n")
                        .arg(name, value.text.isEmpty() ? QStringLiteral("(none)") : value.text);
            continue;
        }
        text += shown(name, value) + '\n';
    }
    output.data(text);
    return code;
}

// Each setting with what it takes, for the command's help.
QString settingsHelp()
{
    QString text;
    for (const Settings::Setting &setting : Settings::table())
        text += QStringLiteral(" %1: %2.").arg(QLatin1String(setting.name), setting.help);
    return text;
}

int runConfig(const Invocation &invocation, const QString &baseDirectory, Output &output)
{
    return invocation.action == QLatin1String(kSet) ? setSetting(invocation, baseDirectory, output)
                                                    : getSettings(invocation, output);
}

std::optional<int> configDirect(const Invocation &invocation, Output &output)
{
    return runConfig(invocation, QDir::currentPath(), output);
}

// In the running player, on its main thread: the settings are the home's, not the plugin's, and a
// new media folder is where the next finished download goes.
void handOverConfig(RunningPlayer &player, const Invocation &invocation, const QString &cwd,
                    std::shared_ptr<Host::CommandReply> reply)
{
    const int code = runConfig(invocation, cwd, *reply);
    if (code == ExitOk && invocation.action == QLatin1String(kSet)
        && invocation.settingName == QLatin1String(SettingKeys::MediaFolder))
        player.applyMediaFolder();
    reply->finish(code);
}

} // namespace

const CommandDefinition &config()
{
    static const CommandDefinition definition{
        .name = QStringLiteral("config"),
        .synopsis = QStringLiteral("config get [NAME] | config set NAME VALUE"),
        .summary = QStringLiteral("show or change a setting"),
        .help = QStringLiteral("Shows the settings of the home, or one setting's value alone, or changes one. "
                               "Setting names are matched without case; flags take true or false (yes/no, on/off, "
                               "1/0); an empty value returns a folder or a command to its default.")
                    + settingsHelp(),
        .usage = {{QStringLiteral("config get [NAME]"), QStringLiteral("show the settings, or one setting")},
                  {QStringLiteral("config set NAME VALUE"), QStringLiteral("change a setting")}},
        .scope = CommandDefinition::Scope::Home,
        .parse = parseConfig,
        .direct = configDirect,
        .handedOver = handOverConfig,
    };
    return definition;
}

} // namespace Lumora::Cli::Commands
