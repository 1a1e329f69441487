#include "vdm/Transfer.h"

#include "vdm/OutputDirectory.h"

#include <curl/curl.h>

#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Vdm {

namespace {

using namespace std::chrono_literals;

// An observer that polls every 100 ms pays up to a whole period for an end that comes just after a
// poll; waiting inside the poll for an end that is about to come is cheaper. "About to": the first
// moments of a run (a small file is done in a few milliseconds), or a remainder that the current
// rate delivers within the horizon.
constexpr auto kEarlyPhase = 250ms;
constexpr auto kEarlyWait = 50ms;
constexpr auto kNearEndHorizon = 120ms;
constexpr auto kMaxEndWait = 150ms;

} // namespace

std::shared_ptr<Transfer> Transfer::open(TransferSetup setup, int32_t &result)
{
    // An open changes nothing on disk: an existing part file is locked (one writer per part file,
    // across handles and processes alike), a missing one is created by the first run.
    int fd = -1;
    switch (lockPartFile(setup.names.partPath, false, fd)) {
    case PartLock::Locked:
    case PartLock::Missing:
        break;
    case PartLock::InUse:
        result = VDM_E_IN_USE;
        return nullptr;
    case PartLock::Failed:
        result = VDM_E_NO_OUTPUT_DIRECTORY;
        return nullptr;
    }
    result = VDM_OK;
    return std::shared_ptr<Transfer>(new Transfer(std::move(setup), fd));
}

Transfer::Transfer(TransferSetup setup, int fd) : m_setup(std::move(setup)), m_fd(fd) {}

Transfer::~Transfer()
{
    close();
}

void Transfer::start()
{
    std::lock_guard control(m_control);
    if (m_closed)
        return;
    {
        std::lock_guard lock(m_mutex);
        if (m_state == VDM_STATE_RUNNING || m_state == VDM_STATE_RETRYING || m_state == VDM_STATE_COMPLETED)
            return;
    }
    if (m_thread.joinable())
        m_thread.join();  // the previous run has ended; its thread is on its way out
    m_stopRequested.store(false, std::memory_order_release);
    {
        std::lock_guard lock(m_mutex);
        m_state = VDM_STATE_RUNNING;
        m_result = VDM_OK;
        m_transportError = 0;
        m_runStart = std::chrono::steady_clock::now();
        m_attempt = 1;
        m_retryReason = VDM_OK;
    }
    try {
        m_thread = std::thread(&Transfer::threadMain, this);
    } catch (const std::system_error &) {
        finish({Ending::Failed, VDM_E_INTERNAL, 0});
    }
}

void Transfer::stop()
{
    std::lock_guard control(m_control);
    stopLocked();
}

void Transfer::stopLocked()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopRequested.store(true, std::memory_order_release);
        if (m_multi)
            curl_multi_wakeup(m_multi);
    }
    if (m_thread.joinable())
        m_thread.join();
}

void Transfer::close()
{
    std::lock_guard control(m_control);
    if (m_closed)
        return;
    m_closed = true;
    stopLocked();
    // A part file this open has written and nobody can resume only takes space.
    bool completed = false;
    {
        std::lock_guard lock(m_mutex);
        completed = m_state == VDM_STATE_COMPLETED;
    }
    if (m_hasRun && !completed && m_fd >= 0 && !resumePoint())
        discardPartFile();
    if (m_fd >= 0)
        ::close(m_fd);  // also gives up the lock
    m_fd = -1;
}

int32_t Transfer::acquirePartFile()
{
    if (m_fd >= 0)
        return VDM_OK;
    if (!createOutputDirectory(m_setup.names.directory))
        return VDM_E_NO_OUTPUT_DIRECTORY;
    switch (lockPartFile(m_setup.names.partPath, true, m_fd)) {
    case PartLock::Locked:
        return VDM_OK;
    case PartLock::InUse:
        return VDM_E_IN_USE;
    case PartLock::Missing:
    case PartLock::Failed:
        break;
    }
    return errno == ENOSPC || errno == EDQUOT ? VDM_E_DISK_FULL : VDM_E_NO_OUTPUT_DIRECTORY;
}

std::optional<PartialMeta> Transfer::resumePoint(uint64_t *offset) const
{
    struct stat st {};
    auto meta = readPartialMeta(m_setup.names.metaPath);
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || !meta || meta->uri != m_setup.identityUrl || !meta->resumable())
        return std::nullopt;
    const uint64_t size = uint64_t(std::max<off_t>(st.st_size, 0));
    if (meta->segmented) {
        // The map must leave something to fetch, and something fetched; and the file must reach
        // as far as the map says bytes are in place (a file cut short since is not trusted).
        uint64_t missing = 0;
        for (const auto &[first, end] : meta->missing)
            missing += end - first;
        const uint64_t reach = !meta->missing.empty() && meta->missing.back().second == meta->total
            ? meta->missing.back().first
            : meta->total;
        if (meta->missing.empty() || missing >= meta->total || size < reach)
            return std::nullopt;
    } else if (size == 0 || size >= meta->total) {
        return std::nullopt;
    }
    if (offset)
        *offset = meta->segmented ? 0 : size;
    return meta;
}

void Transfer::discardPartFile()
{
    // Removed while still locked, so that no other writer takes the name in between; the lock
    // goes with the descriptor, and a later run creates the file anew.
    removePartialFiles(m_setup.names);
    ::close(m_fd);
    m_fd = -1;
}

void Transfer::publishMulti(CURLM *multi)
{
    std::lock_guard lock(m_mutex);
    m_multi = multi;
    if (multi && stopRequested())
        curl_multi_wakeup(multi);
}

void Transfer::showActivity(VDMFileState state, uint32_t attempt, uint32_t maxAttempts,
                            std::chrono::steady_clock::time_point retryAt, int32_t retryReason)
{
    std::lock_guard lock(m_mutex);
    m_state = state;
    m_attempt = attempt;
    m_maxAttempts = maxAttempts;
    m_retryAt = retryAt;
    m_retryReason = retryReason;
}

bool Transfer::started() const
{
    std::lock_guard lock(m_mutex);
    return m_state != VDM_STATE_IDLE && m_state != VDM_STATE_PAUSED;
}

std::chrono::milliseconds Transfer::endWait(std::chrono::steady_clock::time_point now) const
{
    const auto elapsed = now - m_runStart;
    if (elapsed < kEarlyPhase)
        return kEarlyWait;
    const uint64_t total = m_total.load(std::memory_order_acquire);
    const uint64_t received = m_received.load(std::memory_order_acquire);
    const uint64_t fetched = received - std::min(received, m_resumedFrom.load(std::memory_order_acquire));
    if (total == VDM_SIZE_UNKNOWN || total < received || fetched == 0)
        return 0ms;
    const auto elapsedUs = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
    const double remainingUs = double(total - received) * double(elapsedUs) / double(fetched);
    if (remainingUs > double(std::chrono::microseconds(kNearEndHorizon).count()))
        return 0ms;
    // Half again the estimate, for a rate that wavers.
    const auto wait = std::chrono::milliseconds(int64_t(remainingUs * 1.5 / 1000.0)) + 20ms;
    return std::min<std::chrono::milliseconds>(wait, kMaxEndWait);
}

bool Transfer::info(VDMFileInfo &info)
{
    std::unique_lock lock(m_mutex);
    if (m_state == VDM_STATE_RUNNING) {
        const auto wait = endWait(std::chrono::steady_clock::now());
        if (wait.count() > 0)
            m_ended.wait_for(lock, wait, [this] { return m_state != VDM_STATE_RUNNING; });
    }
    info = VDMFileInfo {};
    info.state = m_state;
    info.result = m_result;
    info.total = m_total.load(std::memory_order_acquire);
    info.received = m_received.load(std::memory_order_acquire);
    info.resumedFrom = m_resumedFrom.load(std::memory_order_acquire);
    info.httpStatus = m_lastHttpStatus.load(std::memory_order_acquire);
    info.transportError = m_transportError;
    info.attempt = m_attempt;
    info.maxAttempts = m_maxAttempts;
    info.retryReason = m_retryReason;
    const auto now = std::chrono::steady_clock::now();
    if (m_state == VDM_STATE_RETRYING && m_retryAt > now)
        info.retryDelayMs = uint32_t(std::chrono::ceil<std::chrono::milliseconds>(m_retryAt - now).count());
    if (m_state != VDM_STATE_IDLE) {
        const bool running = m_state == VDM_STATE_RUNNING || m_state == VDM_STATE_RETRYING;
        const auto end = running ? now : m_runEnd;
        const auto elapsedUs = std::chrono::duration_cast<std::chrono::microseconds>(end - m_runStart).count();
        const uint64_t fetched = info.received - std::min(info.received, info.resumedFrom);
        if (elapsedUs > 0)
            info.bytesPerSecond = uint64_t(double(fetched) * 1e6 / double(elapsedUs));
    }
    return m_state == VDM_STATE_COMPLETED || m_state == VDM_STATE_FAILED;
}

std::string Transfer::outputPath() const
{
    std::lock_guard lock(m_mutex);
    return m_state == VDM_STATE_COMPLETED ? m_setup.names.finalPath : m_setup.names.partPath;
}

void Transfer::finish(const Outcome &outcome)
{
    {
        std::lock_guard lock(m_mutex);
        switch (outcome.ending) {
        case Ending::Completed:
            m_state = VDM_STATE_COMPLETED;
            break;
        case Ending::Failed:
            m_state = VDM_STATE_FAILED;
            break;
        case Ending::Paused:
            m_state = VDM_STATE_PAUSED;
            break;
        }
        m_result = outcome.ending == Ending::Failed ? outcome.result : VDM_OK;
        if (outcome.ending == Ending::Completed)
            m_retryReason = VDM_OK;
        m_runEnd = std::chrono::steady_clock::now();
        m_transportError = outcome.transportError;
    }
    m_ended.notify_all();
}

void Transfer::threadMain()
{
    finish(runAttempts());
}

} // namespace Vdm
