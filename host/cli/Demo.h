#pragma once
// `lumora demo`: the whole pipeline with no network at all. A loopback server serves the bundled
// clips, a player in a temporary home downloads them through the download manager, the engine, the
// media library and the file inspector, and the result is shown and checked byte for byte.

#include "host/cli/CommandLine.h"
#include "host/cli/Console.h"

namespace Lumora::Cli {

// The folder of the bundled clips: LUMORA_DEMO_CLIPS, else an installation's share/lumora/clips, else
// the source tree's tests/data.
QString demoClipFolder();

int runDemo(const Invocation &invocation, Console &console);

} // namespace Lumora::Cli
