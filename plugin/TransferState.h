#pragma once
// What the running transfer of an item looks like right now, as the worker last read it from the
// engine (every polling period). It lives in memory only: it is never stored and never announced,
// so that a host can follow the bytes, the speed and the engine's retries of a running download
// without a database write per poll. A host reads it when it draws.

#include "plugin/FailureReason.h"

#include <cstdint>

namespace Lumora {

struct TransferState {
    uint64_t received = 0;   // bytes of the file present, counted from byte 0
    uint64_t total = 0;      // the file's size; 0 while unknown
    int64_t readAt = 0;      // when the worker read these counts, milliseconds of a steady clock
    // The engine's retries of the current run: the try under way (1 for the first, 0 before the
    // transfer), how many it may make, and while it waits to try again, how long and why.
    uint32_t tries = 0;
    uint32_t maxTries = 0;
    uint32_t retryInMs = 0;
    FailureReason retrying;

    bool isWaitingToRetry() const { return retryInMs > 0; }
};

// Milliseconds of the steady clock that TransferState::readAt counts in.
int64_t transferClockMs();

} // namespace Lumora
