#pragma once
// One open file of the engine: what to fetch, where to put it, and the thread that fetches it.
//
// The caller's threads start, stop and observe a transfer; its own thread runs the download
// (TransferRun.cpp, Download.h). Between them: the counters are atomics the transfer thread writes
// as bytes arrive, and the state changes under m_mutex with m_ended signalled, so an observer
// waiting for the end wakes the moment it happens. Starting, stopping and closing are serialised
// by m_control, which is also what makes joining the thread safe from any caller.
//
// A run ends in one of three states: completed (the part file renamed to the final name), failed
// (the part file and its record kept when a later run can resume them, else removed) or paused
// (kept, at the caller's request; a close removes what cannot be resumed).

#include "vdm/BlockWriter.h"
#include "vdm/PartialFile.h"
#include "vdm/VexoDownloadManager.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

typedef void CURLM;

namespace Vdm {

struct TransferSetup {
    std::string url;          // UTF-8, as the caller gave it
    std::string identityUrl;  // without credentials or fragment: names the files, checks resumes
    std::string login;
    std::string password;
    uint32_t flags = 0;
    // The size the caller expects: the cap of a body that announces no length of its own.
    std::optional<uint64_t> expectedSize;
    OutputNames names;
    std::chrono::milliseconds stallTimeout{30000};
    std::string caFile;
};

class Transfer {
public:
    // Opens and locks the part file; VDM_OK, VDM_E_IN_USE or VDM_E_NO_OUTPUT_DIRECTORY in result.
    static std::shared_ptr<Transfer> open(TransferSetup setup, int32_t &result);
    ~Transfer();
    Transfer(const Transfer &) = delete;
    Transfer &operator=(const Transfer &) = delete;

    void start();
    // Stops a running transfer and waits for its thread.
    void stop();
    // stop(), then releases the part file; the object only answers questions afterwards.
    void close();

    bool started() const;
    // Fills info; true when the transfer has ended. May wait briefly for an imminent end.
    bool info(VDMFileInfo &info);
    std::string outputPath() const;
    const std::string &partPath() const { return m_setup.names.partPath; }

private:
    explicit Transfer(TransferSetup setup, int fd);

    enum class Ending { Completed, Failed, Paused };
    struct Outcome {
        Ending ending = Ending::Failed;
        int32_t result = VDM_E_INTERNAL;
        int32_t transportError = 0;
    };
    friend class Download;

    void stopLocked();  // m_control held
    // The part file, created and locked when this open has none yet; VDM_OK or a VDM_E_* reason.
    int32_t acquirePartFile();
    // The records of a part file that a run may continue, and where; nothing when it cannot be
    // continued (no part file, no usable records, nothing in it, or all of it).
    std::optional<PartialMeta> resumePoint(uint64_t *offset = nullptr) const;
    void discardPartFile();
    void threadMain();
    Outcome runAttempts();
    Outcome runDownloads();
    Outcome complete();
    void finish(const Outcome &outcome);
    std::chrono::milliseconds endWait(std::chrono::steady_clock::time_point now) const;

    // Called by the transfer thread.
    void publishMulti(CURLM *multi);
    // Running or waiting to retry, and the retry fields of the record.
    void showActivity(VDMFileState state, uint32_t attempt, uint32_t maxAttempts,
                      std::chrono::steady_clock::time_point retryAt, int32_t retryReason);
    bool stopRequested() const { return m_stopRequested.load(std::memory_order_acquire); }

    const TransferSetup m_setup;
    // The part file, locked from the first run (or the open, when it existed then) until close; -1
    // while there is none. The transfer thread sets it during a run, close() after the last one.
    int m_fd;

    std::mutex m_control;
    std::thread m_thread;
    bool m_closed = false;          // guarded by m_control
    // Transfer thread only; runs are ordered by the join in start().
    bool m_removedStaleFinal = false;
    bool m_hasRun = false;

    mutable std::mutex m_mutex;     // guards the fields below and m_multi
    std::condition_variable m_ended;
    VDMFileState m_state = VDM_STATE_IDLE;
    int32_t m_result = VDM_OK;
    int32_t m_transportError = 0;
    std::chrono::steady_clock::time_point m_runStart;
    std::chrono::steady_clock::time_point m_runEnd;
    CURLM *m_multi = nullptr;
    uint32_t m_attempt = 0;
    uint32_t m_maxAttempts = 0;
    std::chrono::steady_clock::time_point m_retryAt;
    int32_t m_retryReason = VDM_OK;

    std::atomic<bool> m_stopRequested{false};
    std::atomic<uint64_t> m_total{VDM_SIZE_UNKNOWN};
    std::atomic<uint64_t> m_received{0};
    std::atomic<uint64_t> m_resumedFrom{0};
    std::atomic<int32_t> m_lastHttpStatus{0};
};

} // namespace Vdm
