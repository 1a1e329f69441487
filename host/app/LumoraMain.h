#pragma once
// lumora from its arguments to its exit code: parse, settle the home, then either hand the command
// to the player that runs on the home, become that player, or work on the library directly.

#include "host/app/Console.h"

#include <QStringList>

namespace Lumora::App {

// arguments without the program name. Needs a QCoreApplication.
int runLumora(const QStringList &arguments, Console &console);

// Puts everything lumora keeps below home: LUMORA_HOME, and the registry hives in home/registry.
// Must run before anything reads a path. False when the folder cannot be made.
bool applyHome(const QString &home, QString *error);

} // namespace Lumora::App
