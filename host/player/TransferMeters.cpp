#include "host/player/TransferMeters.h"

namespace Lumora::Host {

TransferMeters::TransferMeters(std::chrono::milliseconds window) : m_window(window) {}

void TransferMeters::sample(uint64_t id, const TransferState &state)
{
    if (state.readAt == 0)
        return;
    std::lock_guard lock(m_mutex);
    auto found = m_meters.find(id);
    if (found == m_meters.end())
        found = m_meters.emplace(id, Meter{TransferRate(m_window), {}}).first;
    Meter &meter = found->second;
    meter.rate.add(state.received, state.readAt);
    meter.last = state;
}

void TransferMeters::forget(uint64_t id)
{
    std::lock_guard lock(m_mutex);
    m_meters.erase(id);
}

void TransferMeters::clear()
{
    std::lock_guard lock(m_mutex);
    m_meters.clear();
}

std::optional<TransferReading> TransferMeters::reading(uint64_t id) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_meters.find(id);
    if (found == m_meters.end())
        return std::nullopt;
    const Meter &meter = found->second;
    TransferReading reading;
    reading.received = meter.last.received;
    reading.total = meter.last.total;
    // A transfer waiting to try again moves nothing: its old speed would promise a time it will
    // not keep.
    if (!meter.last.isWaitingToRetry()) {
        reading.bytesPerSecond = meter.rate.bytesPerSecond();
        reading.remainingMs = meter.rate.remainingMs(meter.last.total);
    }
    reading.tries = meter.last.tries;
    reading.maxTries = meter.last.maxTries;
    reading.retryInMs = meter.last.retryInMs;
    reading.retrying = meter.last.retrying;
    return reading;
}

} // namespace Lumora::Host
