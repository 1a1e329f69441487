#include "vdm/Engine.h"

#include "vdm/HttpFields.h"

#include "vdm/MultiPool.h"
#include "vdm/OutputDirectory.h"
#include "vdm/TextCodec.h"

#include <curl/curl.h>

#include <algorithm>
#include <unistd.h>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace Vdm {

namespace {

constexpr std::u16string_view kUriPlugin = u"urifile1";
constexpr std::u16string_view kLoginOption = u"Login";
constexpr std::u16string_view kPasswordOption = u"Password";
constexpr std::u16string_view kExpectedSizeOption = u"ExpectedSize";

constexpr long kDefaultStallMs = 30000;
constexpr long kMinStallMs = 50;
constexpr long kMaxStallMs = 60000;

std::chrono::milliseconds stallTimeoutFromEnvironment()
{
    const char *text = std::getenv("VEXO_VDM_STALL_TIMEOUT_MS");
    long value = kDefaultStallMs;
    if (text && *text) {
        const auto r = std::from_chars(text, text + std::strlen(text), value);
        if (r.ec != std::errc() || *r.ptr != '\0')
            value = kDefaultStallMs;
    }
    return std::chrono::milliseconds(std::clamp(value, kMinStallMs, kMaxStallMs));
}

std::string caFileFromEnvironment()
{
    const char *text = std::getenv("VEXO_VDM_CA_FILE");
    return text ? std::string(text) : std::string();
}

// Spaces and bytes beyond ASCII after the host, percent-encoded: a URI typed or pasted as text
// rather than in its encoded form still names the same resource, and the request line stays ASCII.
std::string encodeUnsafeCharacters(const std::string &uri)
{
    static const char hex[] = "0123456789ABCDEF";
    const auto scheme = uri.find("://");
    if (scheme == std::string::npos)
        return uri;
    const auto pathStart = uri.find_first_of("/?#", scheme + 3);
    if (pathStart == std::string::npos)
        return uri;
    std::string out = uri.substr(0, pathStart);
    for (size_t i = pathStart; i < uri.size(); ++i) {
        const auto c = static_cast<unsigned char>(uri[i]);
        if (c == ' ' || c >= 0x80) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}

// The URI as libcurl will use it, and the same without credentials and fragment (what names the
// output and what a resume must match). Only http and https with a host pass.
bool parseUri(const std::string &text, std::string &url, std::string &identity)
{
    CURLU *parsed = curl_url();
    if (!parsed)
        return false;
    const std::string uri = encodeUnsafeCharacters(text);
    bool ok = false;
    char *scheme = nullptr;
    char *host = nullptr;
    char *full = nullptr;
    char *bare = nullptr;
    if (curl_url_set(parsed, CURLUPART_URL, uri.c_str(), 0) == CURLUE_OK
        && curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK
        && curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK && host && *host
        && (std::string_view(scheme) == "http" || std::string_view(scheme) == "https")
        && curl_url_get(parsed, CURLUPART_URL, &full, 0) == CURLUE_OK) {
        curl_url_set(parsed, CURLUPART_USER, nullptr, 0);
        curl_url_set(parsed, CURLUPART_PASSWORD, nullptr, 0);
        curl_url_set(parsed, CURLUPART_FRAGMENT, nullptr, 0);
        if (curl_url_get(parsed, CURLUPART_URL, &bare, 0) == CURLUE_OK) {
            url = full;
            identity = bare;
            ok = true;
        }
    }
    curl_free(scheme);
    curl_free(host);
    curl_free(full);
    curl_free(bare);
    curl_url_cleanup(parsed);
    return ok;
}

// Stops the transfers when the process exits. Constructed after curl_global_init, so its
// destructor runs before the exit handlers that libcurl's TLS library registered there.
struct ExitGuard {
    Engine *engine;
    ~ExitGuard() { engine->shutdown(); }
};

} // namespace

Engine &Engine::instance()
{
    static Engine *const engine = [] {
        auto *created = new Engine();
        static ExitGuard guard {created};
        return created;
    }();
    return *engine;
}

Engine::Engine()
{
    m_curlReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
}

bool Engine::running() const
{
    return m_curlReady && !m_stopping.load(std::memory_order_acquire);
}

uint32_t Engine::allocateHandle()
{
    // Counting up through all 2^32 numbers before any comes back keeps a stale handle from naming a
    // newer file for as long as anyone could reasonably hold on to one.
    for (uint64_t tries = 0; tries <= uint64_t(UINT32_MAX); ++tries) {
        const uint32_t handle = m_nextHandle++;
        if (handle != 0 && !m_files.count(handle) && !m_configs.count(handle))
            return handle;
    }
    return 0;
}

int32_t Engine::setOption(uint32_t &config, std::u16string_view plugin, std::u16string_view option,
                          std::u16string_view value)
{
    if (plugin != kUriPlugin
        || (option != kLoginOption && option != kPasswordOption && option != kExpectedSizeOption))
        return VDM_E_UNKNOWN_OPTION;
    const auto text = toUtf8(value);
    if (!text)
        return VDM_E_INVALID_ARGUMENT;
    std::optional<uint64_t> size;
    if (option == kExpectedSizeOption && !text->empty()) {
        uint64_t parsed = 0;
        if (!HttpFields::parseNumber(*text, parsed))
            return VDM_E_INVALID_ARGUMENT;
        size = parsed;
    }
    std::lock_guard lock(m_mutex);
    if (!running())
        return VDM_E_SERVICE_STOPPED;
    Configuration *target = nullptr;
    if (config == 0) {
        if (m_configs.size() >= kMaxConfigurations)
            return VDM_E_LIMIT;
        const uint32_t handle = allocateHandle();
        if (handle == 0)
            return VDM_E_LIMIT;
        target = &m_configs[handle];
        config = handle;
    } else {
        auto it = m_configs.find(config);
        if (it == m_configs.end())
            return VDM_E_INVALID_HANDLE;
        target = &it->second;
    }
    if (option == kExpectedSizeOption)
        target->expectedSize = size;
    else
        (option == kLoginOption ? target->login : target->password) = *text;
    return VDM_OK;
}

int32_t Engine::open(std::u16string_view uri, uint32_t *config, uint32_t flags, uint32_t &file)
{
    if (!running())
        return VDM_E_SERVICE_STOPPED;
    TransferSetup request;
    request.flags = flags;
    {
        // The configuration is handed over first, so that even a failed open does not leave it
        // behind: callers drop their configuration handle after opening.
        std::lock_guard lock(m_mutex);
        if (config && *config != 0) {
            auto it = m_configs.find(*config);
            if (it == m_configs.end())
                return VDM_E_INVALID_HANDLE;
            request.login = std::move(it->second.login);
            request.password = std::move(it->second.password);
            request.expectedSize = it->second.expectedSize;
            m_configs.erase(it);
            *config = 0;
        }
    }
    const auto text = toUtf8(uri);
    if (!text || !parseUri(*text, request.url, request.identityUrl))
        return VDM_E_UNSUPPORTED_URI;
    const std::string directory = resolveOutputDirectory();
    if (directory.empty())
        return (flags & VDM_OPEN_DISCARD) ? VDM_OK : VDM_E_NO_OUTPUT_DIRECTORY;
    request.names = outputNamesFor(directory, request.identityUrl);
    if (flags & VDM_OPEN_DISCARD) {
        file = 0;
        return discard(request.names);
    }
    request.stallTimeout = stallTimeoutFromEnvironment();
    request.caFile = caFileFromEnvironment();
    const std::string partPath = request.names.partPath;
    {
        std::lock_guard lock(m_mutex);
        if (m_files.size() >= kMaxOpenFiles)
            return VDM_E_LIMIT;
        if (!m_openParts.insert(partPath).second)
            return VDM_E_IN_USE;
    }
    int32_t result = VDM_OK;
    std::shared_ptr<Transfer> transfer = Transfer::open(std::move(request), result);
    std::lock_guard lock(m_mutex);
    if (transfer && !running())
        result = VDM_E_SERVICE_STOPPED;
    else if (transfer && m_files.size() >= kMaxOpenFiles)
        result = VDM_E_LIMIT;
    const uint32_t handle = transfer && result == VDM_OK ? allocateHandle() : 0;
    if (transfer && result == VDM_OK && handle == 0)
        result = VDM_E_LIMIT;
    if (result != VDM_OK) {
        m_openParts.erase(partPath);
        return result;  // a transfer made here closes itself as it goes out of scope
    }
    m_files.emplace(handle, std::move(transfer));
    file = handle;
    return VDM_OK;
}

int32_t Engine::discard(const OutputNames &names)
{
    std::lock_guard lock(m_mutex);  // no open of the same URI in between
    if (m_openParts.count(names.partPath))
        return VDM_E_IN_USE;
    int fd = -1;
    switch (lockPartFile(names.partPath, false, fd)) {
    case PartLock::InUse:
        return VDM_E_IN_USE;
    case PartLock::Locked:
    case PartLock::Missing:
    case PartLock::Failed:
        break;
    }
    removePartialFiles(names);
    if (fd >= 0)
        ::close(fd);
    return VDM_OK;
}

std::shared_ptr<Transfer> Engine::find(uint32_t file) const
{
    if (file == 0)
        return nullptr;
    std::lock_guard lock(m_mutex);
    auto it = m_files.find(file);
    return it == m_files.end() ? nullptr : it->second;
}

int32_t Engine::close(uint32_t file)
{
    std::shared_ptr<Transfer> transfer;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_files.find(file);
        if (file == 0 || it == m_files.end())
            return VDM_E_INVALID_HANDLE;
        transfer = std::move(it->second);
        m_files.erase(it);
    }
    transfer->close();
    std::lock_guard lock(m_mutex);
    m_openParts.erase(transfer->partPath());
    return VDM_OK;
}

void Engine::shutdown()
{
    std::vector<std::shared_ptr<Transfer>> transfers;
    {
        std::lock_guard lock(m_mutex);
        m_stopping.store(true, std::memory_order_release);
        for (auto &[handle, transfer] : m_files)
            transfers.push_back(std::move(transfer));
        m_files.clear();
        m_configs.clear();
        m_openParts.clear();
    }
    for (auto &transfer : transfers)
        transfer->close();
    MultiPool::instance().close();
}

} // namespace Vdm
