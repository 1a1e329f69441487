#pragma once
// lumora from its arguments to its exit code: parse, settle the home, then, as the command table says,
// hand the command to the player that runs on the home, work on the library directly, or become that
// player.

#include "host/cli/Console.h"

#include <QStringList>

namespace Lumora::Cli {

// arguments without the program name. Needs a QCoreApplication.
int runLumora(const QStringList &arguments, Console &console);

} // namespace Lumora::Cli
