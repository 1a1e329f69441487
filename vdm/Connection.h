#pragma once
// One connection of a download: an easy handle, the request it sends for one range of the file,
// and what the response has said so far.
//
// The download (Download.h) decides what to ask for and what a response means; a connection only
// carries the request and hands over what arrives. Everything here runs on the download's thread.

#include "vdm/RetryPolicy.h"
#include "vdm/SegmentPlan.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace Vdm {

class Download;

class Connection {
public:
    using Clock = std::chrono::steady_clock;

    enum class Phase {
        Idle,     // no request; takes work when there is some
        Active,   // a request under way
        Waiting,  // failed with a passing fault; tries again at retryAt
        Gone,     // given up on (the server refused it, or its faults did not pass)
    };
    // Why the download cut a response short (the request then ends with CURLE_WRITE_ERROR).
    enum class Cut {
        None,
        RangeDone,  // the range ended before the response did (it was shortened, or stolen from)
        Superseded, // another connection found the file changed: this one's bytes are of the old
        Restart,    // the resource is not the one the file holds: start the file again
        Fallback,   // the server would not serve this connection as asked: do without it
        Status,     // an error status
        Protocol,
        TooLong,
        Disk,
    };

    struct Request {
        std::string url;
        bool credentials = false;
        uint64_t first = 0;                      // first byte asked for
        uint64_t end = SegmentPlan::kOpenEnd;    // one past the last byte asked for
        bool ranged = false;                     // false: a plain GET of the whole resource
        bool openEnded = false;                  // "bytes=first-": to the end of the resource
        std::string ifRange;
        long receiveBuffer = 0;                  // bytes libcurl hands over at most at once
    };

    Connection(Download &download, size_t index);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Sends request on multi; false when the handle cannot be set up.
    bool start(CURLM *multi, const Request &request);
    // Takes the request off multi, whatever its state.
    void detach();

    CURL *easy() const { return m_easy; }
    long responseStatus() const;

    const size_t index;
    Phase phase = Phase::Idle;
    Request request;
    std::optional<size_t> range;      // the plan's range this connection fetches
    uint64_t requestEnd = SegmentPlan::kOpenEnd;  // how far the response will go, once decided
    Cut cut = Cut::None;
    bool decided = false;             // the response's status and headers have been judged
    bool connected = false;           // the connection stands (the stall clock may run)
    bool progressed = false;          // this try delivered bytes of the file
    uint64_t bodyBytes = 0;           // of this response
    std::optional<uint64_t> limit;    // the most this response's body may hold
    uint64_t skip = 0;                // bytes of the response before this connection's range, dropped
    Clock::time_point lastActivity;
    Clock::time_point retryAt;
    int32_t retryReason = 0;          // what the waiting or current try retries
    RetryStreak streak;

    // Headers of the response being received; a new status line starts them again.
    std::string etag;
    std::string lastModified;
    std::string contentRange;
    std::string acceptRanges;
    std::string retryAfter;

private:
    static size_t bodyCallback(char *data, size_t size, size_t count, void *self);
    static size_t headerCallback(char *data, size_t size, size_t count, void *self);
    static int connectedCallback(void *self, char *, char *, int, int);
    void onHeader(std::string_view line);
    bool configure();

    Download &m_download;
    CURL *m_easy = nullptr;
    CURLM *m_multi = nullptr;  // while attached
    curl_slist *m_headers = nullptr;
    std::string m_range;
};

} // namespace Vdm
