#pragma once
// One run of a transfer over the network: its connections on one multi handle, from the first
// request until the file is whole, the run is stopped, or a fault ends it for good.
//
// The first connection asks for the file (or, resuming, for what is missing). Once a response has
// shown that the server serves ranges of a resource it can name again (a strong ETag, or a size and
// Last-Modified) and the file is large enough, more connections take work from the segment plan,
// up to the configured number; each writes through its own stream of the block writer into its own
// place in the part file. The records beside the part file then carry the segment map: saved
// before the second connection writes anything, then at most once a second (off this thread, see
// RecordWriter.h) and when the run ends, so that a later run (or a restart after a crash)
// continues every segment.
//
// A connection that fails with a passing fault waits and tries again (RetryPolicy.h) while the
// others go on; the work it had goes back to the plan. The run fails when a fault does not pass,
// or when no connection is left. A server that will not serve an extra connection (a range
// answered with all of the resource, 429 or 503) is simply done without.
//
// Everything happens on the transfer thread. The run polls its multi handle in short slices, so a
// stop request wakes it at once (curl_multi_wakeup) and its time-outs are its own.

#include "vdm/BlockWriter.h"
#include "vdm/Connection.h"
#include "vdm/EngineSettings.h"
#include "vdm/PartialFile.h"
#include "vdm/RecordWriter.h"
#include "vdm/SegmentPlan.h"
#include "vdm/Transfer.h"

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

namespace Vdm {

class Download {
public:
    using Clock = std::chrono::steady_clock;

    enum class End { Completed, Paused, Failed, Restart };
    struct Result {
        End end = End::Failed;
        int32_t reason = VDM_E_INTERNAL;
        int32_t transportError = 0;
    };

    static constexpr size_t kMaxConnections = VDM_MAX_CONNECTIONS_MAX;
    // A connection takes half of another's range only when that half is at least this large: less
    // is not worth a new request.
    static constexpr uint64_t kMinimumSteal = 1024 * 1024;

    // fd: the part file. resume: its records when the run continues it (its segment map, or its
    // size as offset); none for a start from byte 0.
    Download(Transfer &transfer, int fd, std::optional<PartialMeta> resume, uint64_t offset);
    ~Download();
    Download(const Download &) = delete;
    Download &operator=(const Download &) = delete;

    Result run();

    // For connections.
    const TransferSetup &setup() const { return m_transfer.m_setup; }
    size_t onBody(Connection &connection, const char *data, size_t size);

private:
    // Response handling (DownloadResponse.cpp).
    bool decide(Connection &connection);
    bool decideWhole(Connection &connection, int64_t length);
    bool decidePart(Connection &connection);
    bool sameResource(const Connection &connection) const;
    void restartWith(Connection &connection, int64_t length);
    void writeRecords(bool durable);
    void keepToTheRate(size_t bytes);

    // Scheduling (Download.cpp).
    void perform();  // one turn of the multi handle, and what ended in it
    bool begin(Connection &connection);
    void schedule(Clock::time_point now);
    void finished(Connection &connection, CURLcode code);
    void fail(Connection &connection, int32_t reason, int32_t transportError = 0);
    void drop(Connection &connection);
    void abandon(Connection &connection);  // stalled, or never connected
    void checkStalls(Clock::time_point now);
    void show(Clock::time_point now);
    std::chrono::milliseconds pollTimeout(Clock::time_point now) const;
    size_t connectionsAtWork() const;
    size_t targetConnections() const;
    bool segmentable() const;
    void publishProgress();
    void end(End how, int32_t reason = VDM_OK, int32_t transportError = 0);
    Result teardown();

    Transfer &m_transfer;
    CURLM *m_multi = nullptr;
    std::string m_origin;
    EngineSettingsValues m_settings;
    SegmentPlan m_plan;
    BlockWriter m_writer;
    RecordWriter m_records;
    std::vector<std::unique_ptr<Connection>> m_connections;

    // What the file is: from the records when resuming, else from the first response.
    std::optional<PartialMeta> m_identity;
    bool m_confirmed = false;     // a response of this run agreed with m_identity
    bool m_rangesServed = false;  // the server answers ranges
    bool m_segmented = false;     // the records hold a segment map
    size_t m_connectionLimit = kMaxConnections;  // lowered when the server refuses connections
    std::string m_finalUrl;       // where the first response came from, after redirects
    Clock::time_point m_mapSavedAt;
    std::optional<Result> m_end;
    int32_t m_lastReason = VDM_E_INTERNAL;
    int32_t m_lastTransportError = 0;
};

} // namespace Vdm
