#include "host/player/PlayerCommand.h"

#include <QProcess>

namespace Lumora::Host {

QString configuredPlayerCommand()
{
    const QString configured = qEnvironmentVariable("LUMORA_PLAYER_COMMAND");
    return configured.trimmed().isEmpty() ? QStringLiteral("xdg-open") : configured;
}

PlayerLaunch playerLaunchFor(const QUrl &url, const QString &commandText)
{
    // A local file goes as a path: every player takes one, not every player takes file:// URLs.
    const QString address = url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded);
    QStringList words = QProcess::splitCommand(commandText);
    PlayerLaunch launch;
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

bool startPlayer(const QUrl &url, QString *error)
{
    const QString command = configuredPlayerCommand();
    const PlayerLaunch launch = playerLaunchFor(url, command);
    if (launch.program.isEmpty()) {
        if (error)
            *error = QStringLiteral("the player command \"%1\" names no program").arg(command);
        return false;
    }
    if (!QProcess::startDetached(launch.program, launch.arguments)) {
        if (error)
            *error = QStringLiteral("could not start the player \"%1\"").arg(launch.program);
        return false;
    }
    return true;
}

} // namespace Lumora::Host
