#include "host/player/PlayerCommand.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace Lumora::Host {

namespace {

constexpr char kCommandVariable[] = "LUMORA_PLAYER_COMMAND";
constexpr char kDefaultCommand[] = "xdg-open";

bool programExists(const QString &program)
{
    if (program.contains('/')) {
        const QFileInfo file(program);
        return file.isFile() && file.isExecutable();
    }
    return !QStandardPaths::findExecutable(program).isEmpty();
}

} // namespace

QString configuredPlayerCommand()
{
    const QString configured = qEnvironmentVariable(kCommandVariable);
    return configured.trimmed().isEmpty() ? QString::fromLatin1(kDefaultCommand) : configured;
}

PlayerLaunch playerLaunchFor(const QUrl &url, const QString &commandText)
{
    PlayerLaunch launch;
    QUrl bare = url;
    if (!url.isLocalFile()) {
        launch.user = url.userName();
        launch.password = url.password();
        bare.setUserInfo(QString());
    }
    // A local file goes as a path: every player takes one, not every player takes file:// URLs.
    const QString address = bare.isLocalFile() ? bare.toLocalFile() : bare.toString(QUrl::FullyEncoded);
    QStringList words = QProcess::splitCommand(commandText);
    if (words.isEmpty())
        return launch;
    launch.program = words.takeFirst();
    bool placed = false;
    for (QString &word : words) {
        if (word.contains(QLatin1String("%u"))) {
            word.replace(QLatin1String("%u"), address);
            placed = true;
        }
    }
    if (!placed)
        words << address;
    launch.arguments = words;
    return launch;
}

QProcessEnvironment playerEnvironment(const PlayerLaunch &launch, const QProcessEnvironment &base)
{
    QProcessEnvironment environment = base;
    environment.remove(QLatin1String(PlayUserVariable));
    environment.remove(QLatin1String(PlayPasswordVariable));
    if (!launch.user.isEmpty())
        environment.insert(QLatin1String(PlayUserVariable), launch.user);
    if (!launch.password.isEmpty())
        environment.insert(QLatin1String(PlayPasswordVariable), launch.password);
    return environment;
}

bool startPlayer(const QUrl &url, QString *error)
{
    const QString command = configuredPlayerCommand();
    const PlayerLaunch launch = playerLaunchFor(url, command);
    if (launch.program.isEmpty()) {
        if (error)
            *error = QStringLiteral("the player command \"%1\" names no program").arg(command);
        return false;
    }
    if (!programExists(launch.program)) {
        if (error)
            *error = QStringLiteral("the player program \"%1\" is not installed; name the program that plays videos in "
                                    "%2, for example: export %2=\"mpv --force-window\" (the address goes last, or "
                                    "where the command says %u)")
                         .arg(launch.program, QLatin1String(kCommandVariable));
        return false;
    }
    QProcess process;
    process.setProgram(launch.program);
    process.setArguments(launch.arguments);
    process.setProcessEnvironment(playerEnvironment(launch, QProcessEnvironment::systemEnvironment()));
    if (!process.startDetached()) {
        if (error)
            *error = QStringLiteral("could not start the player \"%1\" (%2)").arg(launch.program, process.errorString());
        return false;
    }
    return true;
}

} // namespace Lumora::Host
