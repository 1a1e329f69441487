#include "host/player/TransferRate.h"

#include <cmath>

namespace Lumora::Host {

TransferRate::TransferRate(std::chrono::milliseconds window) : m_window(window) {}

void TransferRate::add(uint64_t received, int64_t atMs)
{
    if (!m_samples.empty()) {
        if (atMs <= m_samples.back().at)
            return;
        if (received < m_samples.back().received)
            m_samples.clear();
    }
    m_samples.push_back({atMs, received});
    // Keep one reading at or before the window's start, so the span always covers the window.
    while (m_samples.size() > 2 && m_samples[1].at <= atMs - m_window.count())
        m_samples.pop_front();
}

void TransferRate::reset()
{
    m_samples.clear();
}

double TransferRate::bytesPerSecond() const
{
    if (m_samples.size() < 2)
        return 0.0;
    const Sample &first = m_samples.front();
    const Sample &last = m_samples.back();
    const int64_t span = last.at - first.at;
    if (span <= 0)
        return 0.0;
    return static_cast<double>(last.received - first.received) * 1000.0 / static_cast<double>(span);
}

uint64_t TransferRate::remainingMs(uint64_t total) const
{
    const double speed = bytesPerSecond();
    const uint64_t have = received();
    if (!(speed > 0.0) || total == 0 || have >= total)
        return 0;
    return static_cast<uint64_t>(std::ceil(static_cast<double>(total - have) * 1000.0 / speed));
}

} // namespace Lumora::Host
