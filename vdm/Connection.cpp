#include "vdm/Connection.h"

#include "vdm/Download.h"
#include "vdm/HttpFields.h"
#include "vdm/MultiPool.h"

namespace Vdm {

namespace {

constexpr long kMaxRedirects = 10;

} // namespace

Connection::Connection(Download &download, size_t index) : index(index), m_download(download) {}

Connection::~Connection()
{
    detach();
    if (m_easy)
        curl_easy_cleanup(m_easy);
    if (m_headers)
        curl_slist_free_all(m_headers);
}

void Connection::detach()
{
    if (m_multi && m_easy)
        curl_multi_remove_handle(m_multi, m_easy);
    m_multi = nullptr;
}

long Connection::responseStatus() const
{
    long status = 0;
    if (m_easy)
        curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

bool Connection::configure()
{
    const TransferSetup &setup = m_download.setup();
    CURL *e = m_easy;
    bool ok = curl_easy_setopt(e, CURLOPT_URL, request.url.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, (setup.flags & VDM_OPEN_FOLLOW_REDIRECTS) ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
    // Credentials go to the URI's own host, scheme and port only, redirects or not.
    curl_easy_setopt(e, CURLOPT_UNRESTRICTED_AUTH, 0L);
    if (request.credentials && !setup.login.empty()) {
        curl_easy_setopt(e, CURLOPT_USERNAME, setup.login.c_str());
        curl_easy_setopt(e, CURLOPT_PASSWORD, setup.password.c_str());
        // Not Basic alone: then they would go out with the first request, asked for or not.
        curl_easy_setopt(e, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC | CURLAUTH_DIGEST));
    } else {
        curl_easy_setopt(e, CURLOPT_USERNAME, nullptr);
        curl_easy_setopt(e, CURLOPT_PASSWORD, nullptr);
    }
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!setup.caFile.empty())
        curl_easy_setopt(e, CURLOPT_CAINFO, setup.caFile.c_str());
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    // Error statuses are judged here, with their headers (Retry-After) in hand.
    curl_easy_setopt(e, CURLOPT_FAILONERROR, 0L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, long(setup.stallTimeout.count()));
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, request.receiveBuffer);
    curl_easy_setopt(e, CURLOPT_USERAGENT, "VexoDownloadManager/1.0");
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Connection::bodyCallback);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Connection::headerCallback);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &Connection::connectedCallback);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, this);
    curl_easy_setopt(e, CURLOPT_PRIVATE, this);
    curl_easy_setopt(e, CURLOPT_SHARE, MultiPool::instance().share());

    if (m_headers) {
        curl_slist_free_all(m_headers);
        m_headers = nullptr;
    }
    if (request.ranged) {
        m_range = std::to_string(request.first) + "-"
            + (request.openEnded ? std::string() : std::to_string(request.end - 1));
        curl_easy_setopt(e, CURLOPT_RANGE, m_range.c_str());
        // If-Range makes a server that has a different resource now send all of it (200), which
        // the download takes as a fresh start.
        if (!request.ifRange.empty()) {
            m_headers = curl_slist_append(nullptr, ("If-Range: " + request.ifRange).c_str());
            ok = ok && m_headers;
        }
    } else {
        curl_easy_setopt(e, CURLOPT_RANGE, nullptr);
    }
    ok = ok && curl_easy_setopt(e, CURLOPT_HTTPHEADER, m_headers) == CURLE_OK;
    return ok;
}

bool Connection::start(CURLM *multi, const Request &asked)
{
    detach();
    request = asked;
    requestEnd = asked.end;
    cut = Cut::None;
    decided = false;
    connected = false;
    progressed = false;
    bodyBytes = 0;
    limit.reset();
    skip = 0;
    etag.clear();
    lastModified.clear();
    contentRange.clear();
    acceptRanges.clear();
    retryAfter.clear();
    lastActivity = Clock::now();
    if (!m_easy)
        m_easy = curl_easy_init();
    if (!m_easy || !configure() || curl_multi_add_handle(multi, m_easy) != CURLM_OK)
        return false;
    m_multi = multi;
    phase = Phase::Active;
    return true;
}

void Connection::onHeader(std::string_view line)
{
    lastActivity = Clock::now();
    if (line.size() >= 5 && line.substr(0, 5) == "HTTP/") {
        etag.clear();
        lastModified.clear();
        contentRange.clear();
        acceptRanges.clear();
        retryAfter.clear();
        return;
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos)
        return;
    using namespace HttpFields;
    const std::string_view name = trimmed(line.substr(0, colon));
    const std::string_view value = trimmed(line.substr(colon + 1));
    if (equalsNoCase(name, "ETag"))
        etag = value;
    else if (equalsNoCase(name, "Last-Modified"))
        lastModified = value;
    else if (equalsNoCase(name, "Content-Range"))
        contentRange = value;
    else if (equalsNoCase(name, "Accept-Ranges"))
        acceptRanges = value;
    else if (equalsNoCase(name, "Retry-After"))
        retryAfter = value;
}

size_t Connection::bodyCallback(char *data, size_t size, size_t count, void *self)
{
    auto *connection = static_cast<Connection *>(self);
    return connection->m_download.onBody(*connection, data, size * count);
}

size_t Connection::headerCallback(char *data, size_t size, size_t count, void *self)
{
    static_cast<Connection *>(self)->onHeader(std::string_view(data, size * count));
    return size * count;
}

int Connection::connectedCallback(void *self, char *, char *, int, int)
{
    static_cast<Connection *>(self)->connected = true;
    return CURL_PREREQFUNC_OK;
}

} // namespace Vdm
