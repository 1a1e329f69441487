#include "downloadmanager/ProgressEstimator.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

namespace Lumora {

namespace {

// Smoothing over about six reports, and a 19 % margin so that the estimate errs long.
constexpr float kMargin = 1.19f;
constexpr int kWarmUpReports = 4;

struct State {
    std::mutex mutex;
    float smoothed = 0.0f;  // milliseconds per percent
    int32_t samples = 0;
};

State &state()
{
    static State s;
    return s;
}

} // namespace

int64_t ProgressEstimator::nowMilliseconds()
{
    // Wall-clock milliseconds since the epoch: stored with the item, they stay meaningful across
    // restarts, and unlike a time of day they do not jump back at midnight.
    return QDateTime::currentMSecsSinceEpoch();
}

void ProgressEstimator::reset()
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    s.smoothed = 0.0f;
    s.samples = 0;
}

std::optional<ProgressEstimator::Update> ProgressEstimator::report(int32_t percent, int32_t oldPercent,
                                                                   int64_t lastProgressTime, int64_t now)
{
    percent = std::clamp(percent, 0, 100);
    if (percent == 100 || percent == 0) {
        reset();
        return Update{0, now};
    }
    if (percent <= oldPercent)
        return std::nullopt;

    const int64_t elapsed = lastProgressTime == 0 ? 0 : now - lastProgressTime;
    const int32_t step = percent - oldPercent;
    State &s = state();
    std::lock_guard lock(s.mutex);
    // A clock that went back (or a report in the same millisecond) gives no sample; the previous
    // estimate stands.
    if (elapsed > 0) {
        const float sample = static_cast<float>(static_cast<double>(elapsed) / step * static_cast<double>(kMargin));
        s.smoothed = s.smoothed != 0.0f ? (s.smoothed * 5 + sample) / 6 : sample;
    }
    uint64_t estimate = 0;
    if (s.samples < kWarmUpReports) {
        ++s.samples;
    } else {
        const double value = std::trunc((100 - percent) * static_cast<double>(s.smoothed) + 1);
        estimate = value <= 0 ? 0
                 : value >= static_cast<double>(std::numeric_limits<uint64_t>::max()) ? std::numeric_limits<uint64_t>::max()
                 : static_cast<uint64_t>(value);
    }
    return Update{estimate, now};
}

} // namespace Lumora
