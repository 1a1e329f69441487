#pragma once
// How a command of the player ends: the process's exit status, and what the single-instance channel
// hands back to the command that asked.
//
// The statuses are grouped by kind the way wget groups them, so that a script written for it reads
// lumora's the same way. A download that failed ends its command with the status of its reason's
// kind (exitCodeFor); when several things went wrong, combineExit keeps the one that matters most.

#include "plugin/FailureReason.h"

#include <QString>

#include <vector>

namespace Lumora::Host {

enum ExitCode : int {
    ExitOk = 0,
    ExitFailed = 1,       // something failed that no group below names (also: interrupted)
    ExitUsage = 2,        // the command line is wrong, or an address was refused
    ExitFileIo = 3,       // the disk or the media library: no space, a write failed, not placed
    ExitNetwork = 4,      // host not found, connection refused or lost, timed out
    ExitTls = 5,          // the secure connection could not be made or verified
    ExitCredentials = 6,  // the server refused the user name and password
    ExitProtocol = 7,     // the server's answer could not be used (no size, too long, redirects)
    ExitServerError = 8,  // the server answered with an error status (404, 500, ...)
};

// The status a download's failure ends its command with.
ExitCode exitCodeFor(FailureKind kind);
// The status a failed download ends its command with: its reason's, or ExitFailed when it has none.
ExitCode exitCodeForFailure(const FailureReason &reason);

// Two outcomes as one: 0 gives way to anything, 1 to any named group, and among named groups the
// lower number wins (a usage error says more about what to fix than a failed download).
int combineExit(int a, int b);

struct ExitStatusLine {
    int code;
    QString meaning;
};
// Every status with what it means, for --help, the manual page and the README.
const std::vector<ExitStatusLine> &exitStatusLines();

} // namespace Lumora::Host
