#pragma once
// The program that plays a video for lumora: LUMORA_PLAYER_COMMAND, else xdg-open (the desktop's
// choice). The address is appended as the last argument, or put where the command says "%u".
//
// Credentials never go on the player's command line, where every local user can read them (ps):
// the address is given without its user name and password, and those travel in the player's
// environment, which only its own user can read, as LUMORA_PLAY_USER and LUMORA_PLAY_PASSWORD.

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace Lumora::Host {

// The environment variables a player command finds the address's credentials in.
inline constexpr char PlayUserVariable[] = "LUMORA_PLAY_USER";
inline constexpr char PlayPasswordVariable[] = "LUMORA_PLAY_PASSWORD";

struct PlayerLaunch {
    QString program;
    QStringList arguments;
    // The address's credentials, decoded; empty when it has none.
    QString user;
    QString password;
};

// What would be started for url; empty program when the command text holds no program.
PlayerLaunch playerLaunchFor(const QUrl &url, const QString &commandText);
// The configured command text.
QString configuredPlayerCommand();
// The environment a launch runs in: base, with the credentials set (or removed when there are none,
// so that none are inherited by mistake).
QProcessEnvironment playerEnvironment(const PlayerLaunch &launch, const QProcessEnvironment &base);

// Starts the player detached (it outlives lumora). False when it could not be started; error says
// why and, for a program that is not there, how to name another.
bool startPlayer(const QUrl &url, QString *error);

} // namespace Lumora::Host
