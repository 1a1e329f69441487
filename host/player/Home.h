#pragma once
// The one switch that moves everything the player keeps (library, settings, media folder, temporary
// downloads) below one folder: --home DIR, or LUMORA_HOME.

#include <QString>

namespace Lumora::Host {

// Puts everything below home: LUMORA_HOME, and the registry hives in home/registry. Must run before
// anything reads a path. False when the folder cannot be made.
bool applyHome(const QString &home, QString *error);

} // namespace Lumora::Host
