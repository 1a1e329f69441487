#pragma once
// What every face shows of the running downloads: the bytes received, the speed over the last few
// seconds, the time left at that speed, and the engine's retries. The player feeds one meter per
// running download from the item's in-memory transfer state (plugin/TransferState.h), which the
// worker refreshes every polling period without a database write; each reading carries the moment
// the worker took it, so the speed follows the transfer's own clock, not the face's.
//
// Thread-safe: the player samples on its main thread, a handed-over "list" reads on the operation
// thread.

#include "host/player/TransferRate.h"
#include "plugin/TransferState.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>

namespace Lumora::Host {

struct TransferReading {
    uint64_t received = 0;
    uint64_t total = 0;           // 0 while unknown
    double bytesPerSecond = 0.0;  // 0 until two readings lie apart
    uint64_t remainingMs = 0;     // 0 when it cannot be told
    // The engine's retries (TransferState): the try under way, how many it may make, and while it
    // waits to try again, how long and why.
    uint32_t tries = 0;
    uint32_t maxTries = 0;
    uint32_t retryInMs = 0;
    FailureReason retrying;

    bool isWaitingToRetry() const { return retryInMs > 0; }
};

class TransferMeters {
public:
    explicit TransferMeters(std::chrono::milliseconds window = TransferRate::DefaultWindow);

    // One look at a running download's transfer state. A state the worker has not read yet is
    // ignored.
    void sample(uint64_t id, const TransferState &state);
    // The download no longer runs.
    void forget(uint64_t id);
    void clear();

    // Empty while the download is not followed.
    std::optional<TransferReading> reading(uint64_t id) const;

private:
    struct Meter {
        TransferRate rate;
        TransferState last;
    };

    const std::chrono::milliseconds m_window;
    mutable std::mutex m_mutex;
    std::map<uint64_t, Meter> m_meters;
};

} // namespace Lumora::Host
