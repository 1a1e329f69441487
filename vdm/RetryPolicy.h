#pragma once
// When a failed try is tried again, and after how long.
//
// Passing faults (a connection reset or cut short, a time-out, a server that is busy or briefly
// broken: 408, 429, 500, 502, 503, 504) are tried again; faults that another try would only
// repeat (a name that does not resolve, a refused connection, other statuses, TLS, the disk, a body
// longer than promised, redirect loops) end the transfer at once.
//
// Tries are counted per connection since it last made progress: a try that received bytes of the
// file shows the fault passing, so the next one starts at once and the count starts again at 1.
// Without progress the waits double from 1 s up to 60 s, or follow the server's Retry-After (up to
// 5 minutes), until the limit of tries or the limit of time since the first failure without
// progress is reached. A limit of one try turns retrying off altogether.

#include <chrono>
#include <cstdint>
#include <optional>

namespace Vdm {

inline constexpr std::chrono::milliseconds kFirstBackOff{1000};
inline constexpr std::chrono::milliseconds kMaxBackOff{60000};
inline constexpr std::chrono::milliseconds kMaxRetryAfter{300000};

struct RetryBounds {
    uint32_t tries = 10;               // tries in a row without progress, the first included
    std::chrono::seconds time{600};    // from the first failure without progress to the last try
};

// Whether a failure with this VDM_E_* reason (and HTTP status, for VDM_E_HTTP_STATUS) may pass.
bool isTransient(int32_t reason, int httpStatus);

class RetryStreak {
public:
    using Clock = std::chrono::steady_clock;

    // The number of the try under way or next, 1 for the first.
    uint32_t tryNumber() const { return m_try; }
    // A try failed with a passing fault: the wait before the next one, or nothing when the bounds
    // forbid another. retryAfter is the server's Retry-After.
    std::optional<std::chrono::milliseconds> failed(bool progressed, std::optional<std::chrono::milliseconds> retryAfter,
                                                    const RetryBounds &bounds, Clock::time_point now);

private:
    uint32_t m_try = 1;
    std::optional<Clock::time_point> m_firstFailure;
};

} // namespace Vdm
