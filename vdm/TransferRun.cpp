// The transfer thread: one run of a transfer, from deciding where to start to the final rename.
//
// A run is one HTTP exchange, or two when a resume turns out to be impossible only once the server
// has answered (a different resource behind the same URI): then it starts over from byte 0.
//
// The exchange runs on a multi handle of its own, polled in short slices rather than with
// curl_easy_perform, for two reasons: a stop request wakes the poll at once (curl_multi_wakeup)
// instead of at the next progress callback, and the stall clock is ours, in milliseconds.

#include "vdm/Transfer.h"

#include "vdm/FailureReason.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <optional>
#include <charconv>
#include <sys/stat.h>
#include <unistd.h>

namespace Vdm {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// libcurl's largest receive buffer: fewer, larger hand-overs to the block writer.
constexpr long kReceiveBuffer = 512 * 1024;
constexpr long kMaxRedirects = 10;

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool parseNumber(std::string_view text, uint64_t &value)
{
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

// "bytes first-last/complete" with a known complete length.
bool parseContentRange(std::string_view value, uint64_t &first, uint64_t &last, uint64_t &complete)
{
    constexpr std::string_view unit = "bytes ";
    if (value.size() <= unit.size() || !equalsNoCase(value.substr(0, unit.size()), unit))
        return false;
    value.remove_prefix(unit.size());
    const auto dash = value.find('-');
    const auto slash = value.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || dash > slash)
        return false;
    return parseNumber(trimmed(value.substr(0, dash)), first)
        && parseNumber(trimmed(value.substr(dash + 1, slash - dash - 1)), last)
        && parseNumber(trimmed(value.substr(slash + 1)), complete) && first <= last && last < complete;
}

bool isStrongEtag(std::string_view etag)
{
    return etag.size() >= 2 && etag.front() == '"' && etag.back() == '"';
}

} // namespace

// One request and its response, written into the part file from offset.
class Transfer::Exchange {
public:
    enum class Kind { Completed, Failed, Paused, Restart };
    struct Result {
        Kind kind = Kind::Failed;
        int32_t result = VDM_E_INTERNAL;
        int32_t transportError = 0;
    };

    Exchange(Transfer &transfer, uint64_t offset, const PartialMeta *resume)
        : m_transfer(transfer), m_offset(offset), m_resume(resume), m_writer(transfer.m_fd, offset)
    {
    }

    ~Exchange()
    {
        if (m_multi && m_easy)
            curl_multi_remove_handle(m_multi, m_easy);
        if (m_easy)
            curl_easy_cleanup(m_easy);
        if (m_multi)
            curl_multi_cleanup(m_multi);
        if (m_headers)
            curl_slist_free_all(m_headers);
    }

    Result perform();

private:
    enum class Abort { None, Stop, Stall, Restart, Disk, Protocol, TooLong };

    bool configure();
    bool decide();
    size_t onBody(const char *data, size_t size);
    void onHeader(std::string_view line);
    Result failed(int32_t result, int32_t transportError = 0) const { return {Kind::Failed, result, transportError}; }
    bool allArrived() const
    {
        const uint64_t total = m_transfer.m_total.load(std::memory_order_acquire);
        return m_decided && total != VDM_SIZE_UNKNOWN && m_writer.position() == total;
    }

    static size_t writeCallback(char *data, size_t size, size_t count, void *self)
    {
        return static_cast<Exchange *>(self)->onBody(data, size * count);
    }
    static size_t headerCallback(char *data, size_t size, size_t count, void *self)
    {
        static_cast<Exchange *>(self)->onHeader(std::string_view(data, size * count));
        return size * count;
    }
    static int connectedCallback(void *self, char *, char *, int, int)
    {
        static_cast<Exchange *>(self)->m_connected = true;
        return CURL_PREREQFUNC_OK;
    }

    Transfer &m_transfer;
    uint64_t m_offset;
    const PartialMeta *m_resume;
    BlockWriter m_writer;
    CURL *m_easy = nullptr;
    CURLM *m_multi = nullptr;
    curl_slist *m_headers = nullptr;
    Clock::time_point m_lastActivity = Clock::now();
    Abort m_abort = Abort::None;
    bool m_decided = false;
    bool m_connected = false;
    // The most the body may hold: its Content-Length, else the caller's expected size.
    std::optional<uint64_t> m_limit;

    // Headers of the response being received; a new status line starts a new response.
    std::string m_etag;
    std::string m_lastModified;
    std::string m_contentRange;
};

bool Transfer::Exchange::configure()
{
    const TransferSpec &setup = m_transfer.m_spec;
    CURL *e = m_easy;
    bool ok = curl_easy_setopt(e, CURLOPT_URL, setup.url.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, (setup.flags & VDM_OPEN_FOLLOW_REDIRECTS) ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
    // Credentials go to the URI's own host, scheme and port only, redirects or not.
    curl_easy_setopt(e, CURLOPT_UNRESTRICTED_AUTH, 0L);
    if (!setup.login.empty()) {
        curl_easy_setopt(e, CURLOPT_USERNAME, setup.login.c_str());
        curl_easy_setopt(e, CURLOPT_PASSWORD, setup.password.c_str());
        // Not Basic alone: then they would go out with the first request, asked for or not.
        curl_easy_setopt(e, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC | CURLAUTH_DIGEST));
    }
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!setup.caFile.empty())
        curl_easy_setopt(e, CURLOPT_CAINFO, setup.caFile.c_str());
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, long(setup.stallTimeout.count()));
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBuffer);
    curl_easy_setopt(e, CURLOPT_USERAGENT, "VexoDownloadManager/1.0");
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Exchange::writeCallback);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Exchange::headerCallback);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &Exchange::connectedCallback);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, this);
    if (m_offset > 0 && m_resume) {
        const std::string range = std::to_string(m_offset) + "-";
        curl_easy_setopt(e, CURLOPT_RANGE, range.c_str());
        // If-Range makes a server that has a different resource now send all of it (200), which
        // the body handler takes as a fresh start.
        const std::string &validator = !m_resume->etag.empty() ? m_resume->etag : m_resume->lastModified;
        m_headers = curl_slist_append(nullptr, ("If-Range: " + validator).c_str());
        ok = ok && m_headers && curl_easy_setopt(e, CURLOPT_HTTPHEADER, m_headers) == CURLE_OK;
    }
    return ok;
}

void Transfer::Exchange::onHeader(std::string_view line)
{
    m_lastActivity = Clock::now();
    if (line.size() >= 5 && line.substr(0, 5) == "HTTP/") {
        m_etag.clear();
        m_lastModified.clear();
        m_contentRange.clear();
        return;
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos)
        return;
    const std::string_view name = trimmed(line.substr(0, colon));
    const std::string_view value = trimmed(line.substr(colon + 1));
    if (equalsNoCase(name, "ETag"))
        m_etag = value;
    else if (equalsNoCase(name, "Last-Modified"))
        m_lastModified = value;
    else if (equalsNoCase(name, "Content-Range"))
        m_contentRange = value;
}

// Called before the first byte of the final response: is it the rest we asked for, the whole
// resource, or something unusable?
bool Transfer::Exchange::decide()
{
    long status = 0;
    curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &status);
    m_transfer.m_lastHttpStatus.store(int32_t(status), std::memory_order_release);
    curl_off_t length = -1;
    curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);

    if (status == 206) {
        uint64_t first = 0, last = 0, complete = 0;
        if (m_offset == 0 || !m_resume || !parseContentRange(m_contentRange, first, last, complete)) {
            m_abort = Abort::Protocol;
            return false;
        }
        // The rest of the same resource: same start, same size, and the validators we hold.
        const bool etagAgrees = m_resume->etag.empty() || m_etag.empty() || m_etag == m_resume->etag;
        const bool dateAgrees = m_resume->lastModified.empty() || m_lastModified.empty()
            || m_lastModified == m_resume->lastModified;
        const bool confirmed = (!m_resume->etag.empty() && m_etag == m_resume->etag)
            || (!m_resume->lastModified.empty() && m_lastModified == m_resume->lastModified);
        if (first != m_offset || complete != m_resume->total || last + 1 != complete || !etagAgrees || !dateAgrees
            || !confirmed) {
            m_abort = Abort::Restart;
            return false;
        }
        m_transfer.m_total.store(complete, std::memory_order_release);
        m_transfer.m_resumedFrom.store(m_offset, std::memory_order_release);
        return true;
    }
    if (status != 200) {
        m_abort = Abort::Protocol;
        return false;
    }
    // The whole resource, whether we asked for a range or not: begin the file again.
    if (m_writer.position() != 0 && !m_writer.restartFromZero()) {
        m_abort = Abort::Disk;
        return false;
    }
    m_offset = 0;
    m_transfer.m_resumedFrom.store(0, std::memory_order_release);
    m_transfer.m_received.store(0, std::memory_order_release);
    const uint64_t total = length >= 0 ? uint64_t(length) : VDM_SIZE_UNKNOWN;
    m_transfer.m_total.store(total, std::memory_order_release);
    m_limit = length >= 0 ? std::optional<uint64_t>(uint64_t(length)) : m_transfer.m_spec.expectedSize;

    PartialMeta meta;
    meta.uri = m_transfer.m_spec.identityUrl;
    meta.total = total == VDM_SIZE_UNKNOWN ? 0 : total;
    meta.etag = isStrongEtag(m_etag) ? m_etag : std::string();
    meta.lastModified = m_lastModified;
    const std::string &metaPath = m_transfer.m_spec.names.metaPath;
    if (!meta.resumable() || !writePartialMeta(metaPath, meta))
        ::unlink(metaPath.c_str());
    return true;
}

size_t Transfer::Exchange::onBody(const char *data, size_t size)
{
    m_lastActivity = Clock::now();
    if (!m_decided) {
        if (!decide())
            return 0;  // curl ends the exchange with CURLE_WRITE_ERROR; m_abort says why
        m_decided = true;
    }
    if (m_limit && size > *m_limit - std::min(*m_limit, m_writer.position())) {
        m_abort = Abort::TooLong;
        return 0;
    }
    if (!m_writer.append(data, size)) {
        m_abort = Abort::Disk;
        return 0;
    }
    m_transfer.m_received.store(m_writer.position(), std::memory_order_release);
    return size;
}

Transfer::Exchange::Result Transfer::Exchange::perform()
{
    m_easy = curl_easy_init();
    m_multi = curl_multi_init();
    if (!m_easy || !m_multi || !configure() || curl_multi_add_handle(m_multi, m_easy) != CURLM_OK)
        return failed(VDM_E_INTERNAL);
    m_transfer.publishMulti(m_multi);

    const auto stallTimeout = m_transfer.m_spec.stallTimeout;
    CURLcode code = CURLE_OK;
    bool finished = false;
    while (true) {
        int running = 0;
        if (curl_multi_perform(m_multi, &running) != CURLM_OK) {
            code = CURLE_OUT_OF_MEMORY;
            finished = true;
            break;
        }
        int queued = 0;
        while (CURLMsg *message = curl_multi_info_read(m_multi, &queued)) {
            if (message->msg == CURLMSG_DONE) {
                code = message->data.result;
                finished = true;
            }
        }
        if (finished || running == 0) {
            finished = true;
            break;
        }
        if (m_transfer.stopRequested()) {
            m_abort = Abort::Stop;
            break;
        }
        const auto idle = Clock::now() - m_lastActivity;
        if (idle >= stallTimeout) {
            m_abort = Abort::Stall;
            break;
        }
        const auto slice = std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(stallTimeout - idle),
                                      1ms, 1000ms);
        curl_multi_poll(m_multi, nullptr, 0, int(slice.count()), nullptr);
    }
    m_transfer.publishMulti(nullptr);

    long status = 0;
    curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &status);
    if (status != 0)
        m_transfer.m_lastHttpStatus.store(int32_t(status), std::memory_order_release);
    long redirects = 0;
    curl_easy_getinfo(m_easy, CURLINFO_REDIRECT_COUNT, &redirects);
    const bool redirecting = redirects > 0 || (status >= 300 && status < 400);

    const bool flushed = m_writer.flush();
    if (m_decided)
        m_transfer.m_received.store(m_writer.position(), std::memory_order_release);
    if (m_abort == Abort::Disk || !flushed) {
        // Count only what reached the file: bytes that arrived but could not be written must not
        // make a failed transfer look whole.
        m_transfer.m_received.store(m_writer.written(), std::memory_order_release);
        return failed(reasonForWriteError(m_writer.error()), m_writer.error());
    }
    if (m_abort == Abort::TooLong)
        return failed(VDM_E_BODY_TOO_LONG);
    if (m_abort == Abort::Restart)
        return {Kind::Restart, VDM_OK, 0};
    if (m_abort == Abort::Protocol)
        return failed(VDM_E_PROTOCOL);

    if (finished && code == CURLE_OK) {
        if (!m_decided) {
            // No body at all: an empty resource, or the empty rest of one.
            if (!decide())
                return m_abort == Abort::Restart ? Result {Kind::Restart, VDM_OK, 0} : failed(VDM_E_PROTOCOL);
            m_decided = true;
        }
        const uint64_t received = m_writer.position();
        if (m_transfer.m_total.load(std::memory_order_acquire) == VDM_SIZE_UNKNOWN)
            m_transfer.m_total.store(received, std::memory_order_release);  // the body ended cleanly
        m_transfer.m_received.store(received, std::memory_order_release);
        if (received != m_transfer.m_total.load(std::memory_order_acquire))
            return failed(VDM_E_TRUNCATED);
        return {Kind::Completed, VDM_OK, 0};
    }
    // Stopped, stalled or failed: when the last byte is already here, the transfer is complete.
    if (allArrived())
        return {Kind::Completed, VDM_OK, 0};
    if (m_abort == Abort::Stop)
        return {Kind::Paused, VDM_OK, 0};
    if (m_abort == Abort::Stall)
        return failed(m_connected ? VDM_E_STALLED : VDM_E_TIMED_OUT);
    long osErrno = 0;
    curl_easy_getinfo(m_easy, CURLINFO_OS_ERRNO, &osErrno);
    return failed(reasonForCurl(code, osErrno, redirecting), int32_t(code));
}

Transfer::Outcome Transfer::runAttempts()
{
    if (const int32_t acquired = acquirePartFile(); acquired != VDM_OK)
        return {Ending::Failed, acquired, errno};
    Outcome outcome = runExchanges();
    if (outcome.ending == Ending::Failed && m_fd >= 0 && !resumePoint())
        discardPartFile();
    return outcome;
}

Transfer::Outcome Transfer::runExchanges()
{
    const TransferSpec &setup = m_spec;
    if (!m_removedStaleFinal) {
        // A finished file of an earlier transfer of this URI is outdated the moment this one runs.
        ::unlink(setup.names.finalPath.c_str());
        m_removedStaleFinal = true;
    }
    // Continue the part file when it holds the start of a resource we can recognise again: always
    // within one open (we wrote it), across opens only when asked to.
    uint64_t offset = 0;
    std::optional<PartialMeta> resume;
    if ((setup.flags & VDM_OPEN_RESUME) || m_hasRun)
        resume = resumePoint(&offset);
    m_hasRun = true;

    for (int attempt = 0;; ++attempt) {
        if (offset == 0) {
            // Only a file that has bytes is emptied: ext4 remembers a truncation to zero and writes
            // the whole file back when it is closed (which would cost the closing caller most of a
            // second per gigabyte).
            struct stat st {};
            if (::fstat(m_fd, &st) != 0 || (st.st_size > 0 && ::ftruncate(m_fd, 0) != 0))
                return {Ending::Failed, reasonForWriteError(errno), errno};
            ::unlink(setup.names.metaPath.c_str());
        }
        m_resumedFrom.store(offset, std::memory_order_release);
        m_received.store(offset, std::memory_order_release);
        m_total.store(resume ? resume->total : VDM_SIZE_UNKNOWN, std::memory_order_release);

        Exchange exchange(*this, offset, resume ? &*resume : nullptr);
        const Exchange::Result result = exchange.perform();
        switch (result.kind) {
        case Exchange::Kind::Restart:
            if (attempt == 0) {
                offset = 0;
                resume.reset();
                continue;
            }
            return {Ending::Failed, VDM_E_PROTOCOL, 0};
        case Exchange::Kind::Completed:
            return complete();
        case Exchange::Kind::Paused:
            return {Ending::Paused, VDM_OK, 0};
        case Exchange::Kind::Failed:
            if (result.result == VDM_E_BODY_TOO_LONG)
                discardPartFile();  // not the file anyone asked for, resumable or not
            return {Ending::Failed, result.result, result.transportError};
        }
    }
}

Transfer::Outcome Transfer::complete()
{
    const TransferSpec &setup = m_spec;
    // Should the rename fail, the part file still holds every byte: the transfer is reported as
    // failed, and a caller that goes by the counts finds the whole file under the part name.
    if (::rename(setup.names.partPath.c_str(), setup.names.finalPath.c_str()) != 0)
        return {Ending::Failed, VDM_E_DISK, errno};
    ::unlink(setup.names.metaPath.c_str());
    return {Ending::Completed, VDM_OK, 0};
}

} // namespace Vdm
