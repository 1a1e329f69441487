#pragma once
// How a command of the player ends: the process's exit status, and what the single-instance channel
// hands back to the command that asked.

namespace Lumora::Host {

enum ExitCode : int {
    ExitOk = 0,
    ExitFailed = 1,  // a download, an operation or the environment failed
    ExitUsage = 2,   // the command line is wrong, or an address was refused
};

} // namespace Lumora::Host
