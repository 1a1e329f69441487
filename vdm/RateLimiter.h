#pragma once
// One download rate limit for the whole process: every connection of every transfer draws from
// the same account.
//
// The account is a token bucket kept in bytes: it fills at the rate, holds at most a quarter of a
// second's worth (what an idle limiter lets through at once), and may go into debt: a caller takes
// what it has received and waits until the debt is paid. So a receive of any size passes, and over
// a few seconds the bytes taken match the rate closely. A new rate applies to the debt at once,
// and a rate of 0 cancels it.
//
// RateLimiter is the accounting alone, on times it is given (the tests move the clock);
// ProcessRateLimit is the shared instance with the waiting.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>

namespace Vdm {

class RateLimiter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kBurst{250};

    // bytesPerSecond 0: no limit.
    void setRate(uint64_t bytesPerSecond, Clock::time_point now);
    // Takes bytes at now; how long the taker should wait before taking more.
    std::chrono::microseconds take(uint64_t bytes, Clock::time_point now);
    // How long the debt still takes to pay at now.
    std::chrono::microseconds debt(Clock::time_point now);

private:
    void refill(Clock::time_point now);
    std::chrono::microseconds wait() const;

    uint64_t m_rate = 0;
    double m_balance = 0;  // bytes that may be taken now; below zero, what is owed
    Clock::time_point m_updated;
};

class ProcessRateLimit {
public:
    static ProcessRateLimit &instance();

    // Takes bytes, and returns once the limit allows more, or at once when stop() says so (then
    // early). rate() is asked again while waiting, so a change applies within the wait. The time
    // spent waiting is returned.
    std::chrono::microseconds acquire(uint64_t bytes, const std::function<uint64_t()> &rate,
                                      const std::function<bool()> &stop);

private:
    std::mutex m_mutex;
    RateLimiter m_limiter;
};

} // namespace Vdm
