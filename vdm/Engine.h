#pragma once
// The engine behind the C entry points: the tables of open files and waiting configurations, the
// handles that name them, and the start and end of the transfer machinery.
//
// One instance per process, created on first use and never destroyed: an entry point called while
// the process exits still finds a valid object, which then answers that it has stopped. Its
// transfers are stopped at exit, before libcurl and the TLS library clean up behind them.

#include "vdm/Transfer.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace Vdm {

class Engine {
public:
    static constexpr size_t kMaxOpenFiles = 1024;
    static constexpr size_t kMaxConfigurations = 4096;
    static constexpr size_t kMaxUriUnits = 65535;
    static constexpr size_t kMaxOptionUnits = 4095;

    static Engine &instance();

    bool running() const;
    int32_t setOption(uint32_t &config, std::u16string_view plugin, std::u16string_view option,
                      std::u16string_view value);
    // Opens a transfer; with VDM_OPEN_DISCARD removes the partial files of uri instead (file = 0).
    int32_t open(std::u16string_view uri, uint32_t *config, uint32_t flags, uint32_t &file);
    std::shared_ptr<Transfer> find(uint32_t file) const;
    int32_t close(uint32_t file);
    // Stops every transfer and refuses new ones; at process exit.
    void shutdown();

private:
    struct Configuration {
        std::string login;
        std::string password;
        std::optional<uint64_t> expectedSize;
    };

    Engine();
    uint32_t allocateHandle();  // m_mutex held; 0 when every number is taken
    int32_t discard(const OutputNames &names);

    bool m_curlReady = false;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_mutex;
    std::unordered_map<uint32_t, std::shared_ptr<Transfer>> m_files;
    // Part files of the open transfers. The part file's lock keeps other processes out; this keeps
    // out the same process while a part file does not exist yet, or no longer does.
    std::unordered_set<std::string> m_openParts;
    std::unordered_map<uint32_t, Configuration> m_configs;
    uint32_t m_nextHandle = 1;
};

} // namespace Vdm
