#pragma once
// The program that plays a video for lumora: LUMORA_PLAYER_COMMAND, else xdg-open (the desktop's
// choice). The address is appended as the last argument, or put where the command says "%u".

#include <QString>
#include <QStringList>
#include <QUrl>

namespace Lumora::Host {

struct PlayerLaunch {
    QString program;
    QStringList arguments;
};

// What would be started for url; empty program when the command text holds no program.
PlayerLaunch playerLaunchFor(const QUrl &url, const QString &commandText);
// The configured command text.
QString configuredPlayerCommand();

// Starts the player detached (it outlives lumora). False when it could not be started; error says why.
bool startPlayer(const QUrl &url, QString *error);

} // namespace Lumora::Host
