#include "vdm/RateLimiter.h"

#include <algorithm>
#include <thread>

namespace Vdm {

namespace {

using namespace std::chrono_literals;

// Waits are slept in slices this long, so that a stop or a new rate is seen soon.
constexpr auto kWaitSlice = 50ms;

} // namespace

void RateLimiter::refill(Clock::time_point now)
{
    if (m_rate == 0) {
        m_balance = 0;
        m_updated = now;
        return;
    }
    if (now > m_updated) {
        const double seconds = std::chrono::duration<double>(now - m_updated).count();
        const double burst = double(m_rate) * std::chrono::duration<double>(kBurst).count();
        m_balance = std::min(burst, m_balance + seconds * double(m_rate));
    }
    m_updated = std::max(m_updated, now);
}

std::chrono::microseconds RateLimiter::wait() const
{
    if (m_rate == 0 || m_balance >= 0)
        return 0us;
    return std::chrono::microseconds(int64_t(-m_balance * 1e6 / double(m_rate)) + 1);
}

void RateLimiter::setRate(uint64_t bytesPerSecond, Clock::time_point now)
{
    if (bytesPerSecond == m_rate)
        return;
    refill(now);  // what accrued so far, at the old rate
    if (m_rate == 0)
        m_balance = 0;  // from no limit: start without credit
    m_rate = bytesPerSecond;
    // Credit saved at the old rate buys no more than the new one allows at once.
    m_balance = std::min(m_balance, double(m_rate) * std::chrono::duration<double>(kBurst).count());
}

std::chrono::microseconds RateLimiter::take(uint64_t bytes, Clock::time_point now)
{
    refill(now);
    if (m_rate == 0)
        return 0us;
    m_balance -= double(bytes);
    return wait();
}

std::chrono::microseconds RateLimiter::debt(Clock::time_point now)
{
    refill(now);
    return wait();
}

ProcessRateLimit &ProcessRateLimit::instance()
{
    static ProcessRateLimit limit;
    return limit;
}

std::chrono::microseconds ProcessRateLimit::acquire(uint64_t bytes, const std::function<uint64_t()> &rate,
                                                    const std::function<bool()> &stop)
{
    const auto started = RateLimiter::Clock::now();
    std::chrono::microseconds wait;
    {
        std::lock_guard lock(m_mutex);
        m_limiter.setRate(rate(), started);
        wait = m_limiter.take(bytes, started);
    }
    while (wait > 0us && !stop()) {
        std::this_thread::sleep_for(std::min<std::chrono::microseconds>(wait, kWaitSlice));
        const uint64_t current = rate();
        std::lock_guard lock(m_mutex);
        const auto now = RateLimiter::Clock::now();
        m_limiter.setRate(current, now);
        wait = m_limiter.debt(now);
    }
    return std::chrono::duration_cast<std::chrono::microseconds>(RateLimiter::Clock::now() - started);
}

} // namespace Vdm
