#pragma once
// The remaining-time estimate shown beside a download's progress. One smoothed time-per-percent
// value for the whole process: only one download runs at a time.

#include <cstdint>
#include <optional>

namespace Lumora {

class ProgressEstimator {
public:
    struct Update {
        uint64_t timeRemaining;   // milliseconds
        int64_t progressTime;     // milliseconds since the epoch, to store as the item's last report
    };

    // A report of percent for an item whose stored progress is oldPercent and whose last report was
    // at lastProgressTime (0: never). Returns what to store on the item, or nothing when the report
    // changes no estimate. percent is clamped to 0..100 first.
    static std::optional<Update> report(int32_t percent, int32_t oldPercent, int64_t lastProgressTime, int64_t now);

    static void reset();
    static int64_t nowMilliseconds();
};

} // namespace Lumora
