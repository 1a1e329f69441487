#pragma once
// The engine's own settings: the registry values named in VexoDownloadManager.h, per user with the
// machine-wide key as fallback, each clamped to its documented bounds.
//
// Read when a run starts (fresh) and otherwise at most once a second, so a running transfer that
// asks on every turn of its loop costs nothing and still sees a change within a second. The
// registry layer itself only parses a hive file again when the file has changed. Safe from any
// thread.

#include <chrono>
#include <cstdint>
#include <mutex>

namespace Vdm {

struct EngineSettingsValues {
    uint64_t maxDownloadRate = 0;  // bytes per second over the whole process; 0 for no limit
    uint32_t maxConnections = 1;
    uint64_t segmentMinimumSize = 0;
    uint32_t retryLimit = 0;
    std::chrono::seconds retryTimeLimit{0};
};

class EngineSettings {
public:
    using Clock = std::chrono::steady_clock;

    static EngineSettings &instance();

    // The values, read again when fresh or when the last reading is a second old.
    EngineSettingsValues current(bool fresh = false);

    // One reading of the registry and the environment, no caching.
    static EngineSettingsValues read();

private:
    std::mutex m_mutex;
    EngineSettingsValues m_values;
    Clock::time_point m_readAt;
    bool m_haveRead = false;
};

} // namespace Vdm
