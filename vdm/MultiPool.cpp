#include "vdm/MultiPool.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace Vdm {

namespace {

std::array<std::mutex, CURL_LOCK_DATA_LAST> &shareLocks()
{
    static std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;
    return locks;
}

void lockShare(CURL *, curl_lock_data data, curl_lock_access, void *)
{
    shareLocks()[size_t(data)].lock();
}

void unlockShare(CURL *, curl_lock_data data, void *)
{
    shareLocks()[size_t(data)].unlock();
}

} // namespace

MultiPool &MultiPool::instance()
{
    // Never destroyed: transfers may still hand handles back while the process exits.
    static MultiPool *const pool = new MultiPool();
    return *pool;
}

std::vector<CURLM *> MultiPool::takeStale(Clock::time_point now)
{
    std::vector<CURLM *> stale;
    while (!m_idle.empty() && (m_idle.size() > kMaxIdle || now - m_idle.front().since > kMaxIdleAge)) {
        stale.push_back(m_idle.front().multi);
        m_idle.pop_front();
    }
    return stale;
}

void MultiPool::cleanup(const std::vector<CURLM *> &multis)
{
    for (CURLM *multi : multis)
        curl_multi_cleanup(multi);
}

CURLM *MultiPool::take(const std::string &origin)
{
    CURLM *found = nullptr;
    std::vector<CURLM *> stale;
    {
        std::lock_guard lock(m_mutex);
        stale = takeStale(Clock::now());
        for (auto it = m_idle.rbegin(); it != m_idle.rend(); ++it) {
            if (it->origin == origin) {
                found = it->multi;
                m_idle.erase(std::next(it).base());
                break;
            }
        }
    }
    cleanup(stale);
    if (found)
        return found;
    CURLM *made = curl_multi_init();
    // One connection per transfer of a segment: HTTP/2 would otherwise carry them all as streams
    // of one connection, which a server that caps connections caps together.
    if (made)
        curl_multi_setopt(made, CURLMOPT_PIPELINING, long(CURLPIPE_NOTHING));
    return made;
}

void MultiPool::give(CURLM *multi, const std::string &origin)
{
    if (!multi)
        return;
    std::vector<CURLM *> stale;
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) {
            stale.push_back(multi);
        } else {
            m_idle.push_back(Idle {origin, multi, Clock::now()});
            stale = takeStale(Clock::now());
        }
    }
    cleanup(stale);
}

void MultiPool::close()
{
    std::deque<Idle> idle;
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        idle.swap(m_idle);
    }
    for (const Idle &each : idle)
        curl_multi_cleanup(each.multi);
}

CURLSH *MultiPool::share()
{
    std::call_once(m_shareMade, [this] {
        CURLSH *share = curl_share_init();
        if (!share)
            return;
        curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &lockShare);
        curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &unlockShare);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
        m_share = share;  // never cleaned up: handles may use it until the process is gone
    });
    return m_share;
}

std::string originOf(const std::string &url)
{
    std::string origin;
    CURLU *parsed = curl_url();
    if (!parsed)
        return origin;
    char *scheme = nullptr;
    char *host = nullptr;
    char *port = nullptr;
    if (curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK
        && curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK
        && curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK
        && curl_url_get(parsed, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
        origin = std::string(scheme) + "://" + host + ":" + port;
        std::transform(origin.begin(), origin.end(), origin.begin(), [](unsigned char c) { return std::tolower(c); });
    }
    curl_free(scheme);
    curl_free(host);
    curl_free(port);
    curl_url_cleanup(parsed);
    return origin;
}

} // namespace Vdm
