#pragma once
// The periods a download run works with. Tests shorten them; the player runs with the defaults.

#include <chrono>

namespace Lumora {

struct WorkerTiming {
    // Between two polls of a running transfer.
    std::chrono::milliseconds transferPoll{100};
    // During a transfer's first second its end is looked for this often, so that a small file is
    // not held for most of a poll after its last byte; a slice no shorter than transferPoll turns
    // that off.
    std::chrono::microseconds quickFinishSlice{500};
    // Between two readiness checks of a freshly opened engine file.
    std::chrono::milliseconds readinessPoll{10};
    // A transfer that the engine reports as whole but short of the probed size is given this long
    // before it counts as stalled.
    std::chrono::milliseconds stallPeriod{160000};
    // The size probe: the whole probe, and one request without any answer.
    std::chrono::milliseconds probeOverall{30000};
    std::chrono::milliseconds probeRequest{15000};
};

} // namespace Lumora
