#include "vdm/RetryPolicy.h"

#include "vdm/VexoDownloadManager.h"

#include <algorithm>

namespace Vdm {

bool isTransient(int32_t reason, int httpStatus)
{
    switch (reason) {
    case VDM_E_NETWORK:
    case VDM_E_TIMED_OUT:
    case VDM_E_STALLED:
    case VDM_E_TRUNCATED:
    case VDM_E_CONNECTION_LOST:
        return true;
    case VDM_E_HTTP_STATUS:
        switch (httpStatus) {
        case 408:
        case 429:
        case 500:
        case 502:
        case 503:
        case 504:
            return true;
        default:
            return false;
        }
    default:
        return false;
    }
}

std::optional<std::chrono::milliseconds> RetryStreak::failed(bool progressed,
                                                             std::optional<std::chrono::milliseconds> retryAfter,
                                                             const RetryBounds &bounds, Clock::time_point now)
{
    if (bounds.tries <= 1)
        return std::nullopt;  // retrying is off
    if (progressed) {
        m_try = 1;
        m_firstFailure.reset();
        return std::chrono::milliseconds(0);
    }
    if (!m_firstFailure)
        m_firstFailure = now;
    if (m_try >= bounds.tries)
        return std::nullopt;
    const unsigned doublings = std::min<uint32_t>(m_try - 1, 16);
    auto wait = std::min(kMaxBackOff, kFirstBackOff * (int64_t(1) << doublings));
    if (retryAfter)
        wait = std::max(wait, std::min(*retryAfter, kMaxRetryAfter));
    if (now + wait - *m_firstFailure > bounds.time)
        return std::nullopt;
    ++m_try;
    return wait;
}

} // namespace Vdm
