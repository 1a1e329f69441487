#pragma once
// Connections that outlive a transfer.
//
// libcurl keeps the connections it may use again in the multi handle that made them. A download
// that ends hands its multi handle back here instead of destroying it, and the next download from
// the same origin takes it again, open connections and all: a queue of small files then costs one
// round trip each instead of two (no new handshake), and no new TLS handshake either. A multi
// handle is only ever used by one download at a time, which is what libcurl requires of it.
//
// Name lookups and TLS sessions are shared by every handle through one share object, whose locks
// make that safe across the transfer threads. (libcurl's shared connection cache is not safe
// across threads; hence the hand-over of whole multi handles.)

#include <curl/curl.h>

#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace Vdm {

class MultiPool {
public:
    static MultiPool &instance();

    // A multi handle for a download from origin ("scheme://host:port"): the one that last served
    // that origin when one is idle, else a new one. Null when libcurl cannot make one.
    CURLM *take(const std::string &origin);
    // Back from a download whose handles are all removed. The oldest idle handle (and its
    // connections) goes when too many are idle.
    void give(CURLM *multi, const std::string &origin);
    // Closes every idle handle and takes no more; at exit.
    void close();

    // The share object every easy handle joins (name lookups, TLS sessions); null when libcurl
    // cannot make one.
    CURLSH *share();

private:
    using Clock = std::chrono::steady_clock;
    struct Idle {
        std::string origin;
        CURLM *multi = nullptr;
        Clock::time_point since;
    };
    static constexpr size_t kMaxIdle = 8;
    // Servers close idle connections after a while anyway; a handle idle this long keeps none
    // worth having.
    static constexpr std::chrono::seconds kMaxIdleAge{30};

    MultiPool() = default;
    // m_mutex held: takes out the handles idle too long, for the caller to clean up.
    std::vector<CURLM *> takeStale(Clock::time_point now);
    static void cleanup(const std::vector<CURLM *> &multis);

    std::mutex m_mutex;
    std::deque<Idle> m_idle;  // the most recently returned last
    bool m_closed = false;
    std::once_flag m_shareMade;
    CURLSH *m_share = nullptr;
};

// "scheme://host:port" of a URL, lower case, with the scheme's port when none is given; empty when
// the URL does not parse.
std::string originOf(const std::string &url);

} // namespace Vdm
