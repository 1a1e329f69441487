#include "tests/support/http/HttpTestServer.h"

#include "tests/support/http/HttpTestFormat.h"
#include "tests/support/http/HttpTestServer_p.h"
#include "tests/support/http/HttpTestSockets.h"

#include <httplib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <stdexcept>

namespace LumoraTest {

namespace {

constexpr uint64_t kPatternPeriod = 65521;  // prime, so that no power-of-two block lines up with it
// cpp-httplib gives every connection a thread until the client closes it or the keep-alive
// time-out passes. Clients with many connections per file (and the ones they keep for later) must
// not find every thread taken: a connection waiting for one looks like a slow server.
constexpr size_t kServerThreads = 128;
constexpr int kListenBacklog = 128;

const std::array<uint8_t, kPatternPeriod> &patternTable()
{
    static const std::array<uint8_t, kPatternPeriod> table = [] {
        std::array<uint8_t, kPatternPeriod> t {};
        uint64_t state = 0x9E3779B97F4A7C15ull;
        for (auto &byte : t) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            byte = static_cast<uint8_t>(state >> 32);
        }
        return t;
    }();
    return table;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::string HttpRequestRecord::header(std::string_view name) const
{
    for (const auto &[key, value] : headers)
        if (equalsIgnoringCase(key, name))
            return value;
    return {};
}

bool HttpRequestRecord::hasHeader(std::string_view name) const
{
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto &h) { return equalsIgnoringCase(h.first, name); });
}

HttpTestServer::HttpTestServer() : HttpTestServer(std::make_unique<httplib::Server>()) {}

HttpTestServer::HttpTestServer(std::unique_ptr<httplib::Server> server) : m_server(std::move(server))
{
    start();
}

void HttpTestServer::start()
{
    // Stalled handlers hold a thread each too; a test that stalls several connections must not
    // starve the others.
    m_server->new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
    m_server->set_keep_alive_timeout(2);
    m_server->set_keep_alive_max_count(1000);
    m_server->set_read_timeout(10);
    m_server->set_write_timeout(10);
    auto handler = [this](const httplib::Request &request, httplib::Response &response) {
        handle(request, response);
    };
    m_server->Get(".*", handler);
    m_server->Post(".*", handler);
    m_server->Put(".*", handler);
    m_server->Delete(".*", handler);
    m_server->Options(".*", handler);
    m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0)
        throw std::runtime_error("HttpTestServer: cannot bind a loopback port");
    HttpTestSockets::widenBacklog(m_port, kListenBacklog);
    m_listener = std::thread([this] { m_server->listen_after_bind(); });
    // The server ignores a stop that comes before its accept loop runs; a test that ends at once
    // would then wait in the destructor for ever.
    while (!m_server->is_running())
        std::this_thread::sleep_for(std::chrono::microseconds(100));
}

HttpTestServer::~HttpTestServer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_server->stop();
    HttpTestSockets::shutdownAll(m_port);
    if (m_listener.joinable())
        m_listener.join();
}

std::string HttpTestServer::url(const std::string &path) const
{
    return scheme() + "://127.0.0.1:" + std::to_string(m_port) + path;
}

std::string HttpTestServer::urlOnOtherHost(const std::string &path) const
{
    return scheme() + "://localhost:" + std::to_string(m_port) + path;
}

std::string HttpTestServer::urlWithCredentials(const std::string &path, const std::string &user,
                                               const std::string &password) const
{
    return scheme() + "://" + HttpTestFormat::percentEncode(user) + ":" + HttpTestFormat::percentEncode(password)
        + "@127.0.0.1:" + std::to_string(m_port) + path;
}

void HttpTestServer::addRoute(const std::string &path, std::shared_ptr<Route> route)
{
    std::lock_guard lock(m_mutex);
    route->version = m_nextVersion++;
    m_routes[path] = std::move(route);
    m_answered.erase(path);
}

void HttpTestServer::serveBytes(const std::string &path, std::string bytes, HttpBehaviour behaviour)
{
    auto resource = std::make_shared<Resource>();
    resource->kind = Resource::Kind::Bytes;
    resource->bytes = std::move(bytes);
    auto route = std::make_shared<Route>();
    route->resource = std::move(resource);
    route->behaviour = std::move(behaviour);
    addRoute(path, std::move(route));
}

void HttpTestServer::serveFile(const std::string &path, const std::filesystem::path &file, HttpBehaviour behaviour)
{
    auto resource = std::make_shared<Resource>();
    resource->kind = Resource::Kind::File;
    resource->file = file;
    auto route = std::make_shared<Route>();
    route->resource = std::move(resource);
    route->behaviour = std::move(behaviour);
    addRoute(path, std::move(route));
}

void HttpTestServer::serveGenerated(const std::string &path, uint64_t size, HttpBehaviour behaviour)
{
    auto resource = std::make_shared<Resource>();
    resource->kind = Resource::Kind::Generated;
    resource->generatedSize = size;
    auto route = std::make_shared<Route>();
    route->resource = std::move(resource);
    route->behaviour = std::move(behaviour);
    addRoute(path, std::move(route));
}

void HttpTestServer::redirect(const std::string &path, const std::string &location, int status)
{
    auto route = std::make_shared<Route>();
    route->location = location;
    route->redirectStatus = status;
    addRoute(path, std::move(route));
}

void HttpTestServer::setBehaviour(const std::string &path, HttpBehaviour behaviour)
{
    std::lock_guard lock(m_mutex);
    auto it = m_routes.find(path);
    if (it == m_routes.end())
        return;
    auto route = std::make_shared<Route>(*it->second);  // same version: validators stay
    route->behaviour = std::move(behaviour);
    it->second = std::move(route);
    m_answered.erase(path);
}

int HttpTestServer::scriptedStatus(const std::string &path, const HttpBehaviour &behaviour)
{
    if (behaviour.firstStatuses.empty())
        return 0;
    std::lock_guard lock(m_mutex);
    const size_t answered = m_answered[path]++;
    return answered < behaviour.firstStatuses.size() ? behaviour.firstStatuses[answered] : 0;
}

void HttpTestServer::remove(const std::string &path)
{
    std::lock_guard lock(m_mutex);
    m_routes.erase(path);
}

std::shared_ptr<const HttpTestServer::Route> HttpTestServer::findRoute(const std::string &path) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_routes.find(path);
    return it == m_routes.end() ? nullptr : it->second;
}

uint8_t HttpTestServer::generatedByte(uint64_t offset)
{
    char c;
    generatedBytes(offset, &c, 1);
    return static_cast<uint8_t>(c);
}

void HttpTestServer::generatedBytes(uint64_t offset, char *out, size_t count)
{
    const auto &table = patternTable();
    while (count > 0) {
        const uint64_t position = offset % kPatternPeriod;
        const uint8_t shift = static_cast<uint8_t>((offset / kPatternPeriod) * 0x9D + 1);
        const size_t run = static_cast<size_t>(std::min<uint64_t>(count, kPatternPeriod - position));
        const uint8_t *from = table.data() + position;
        for (size_t i = 0; i < run; ++i)
            out[i] = static_cast<char>(from[i] ^ shift);
        out += run;
        offset += run;
        count -= run;
    }
}

std::string HttpTestServer::generatedString(uint64_t offset, size_t count)
{
    std::string s(count, '\0');
    generatedBytes(offset, s.data(), count);
    return s;
}

std::vector<HttpRequestRecord> HttpTestServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_log;
}

std::vector<HttpRequestRecord> HttpTestServer::requests(const std::string &path) const
{
    std::lock_guard lock(m_mutex);
    std::vector<HttpRequestRecord> out;
    for (const auto &r : m_log)
        if (r.path == path)
            out.push_back(r);
    return out;
}

void HttpTestServer::clearRequests()
{
    std::lock_guard lock(m_mutex);
    m_log.clear();
}

bool HttpTestServer::waitForRequests(const std::string &path, size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] {
        return size_t(std::count_if(m_log.begin(), m_log.end(), [&](const auto &r) { return r.path == path; }))
            >= count;
    });
}

void HttpTestServer::releaseStalls()
{
    {
        std::lock_guard lock(m_mutex);
        ++m_stallGeneration;
    }
    m_changed.notify_all();
}

bool HttpTestServer::stall(std::chrono::milliseconds duration) const
{
    std::unique_lock lock(m_mutex);
    const uint64_t generation = m_stallGeneration;
    m_changed.wait_for(lock, duration, [&] { return m_stopping || m_stallGeneration != generation; });
    return !m_stopping;
}

bool HttpTestServer::stopping() const
{
    std::lock_guard lock(m_mutex);
    return m_stopping;
}

void HttpTestServer::record(const httplib::Request &request)
{
    HttpRequestRecord r;
    r.method = request.method;
    r.path = request.path;
    const auto question = request.target.find('?');
    if (question != std::string::npos)
        r.query = request.target.substr(question + 1);
    for (const auto &[key, value] : request.headers)
        r.headers.emplace_back(key, value);
    r.remotePort = request.remote_port;
    {
        std::lock_guard lock(m_mutex);
        m_log.push_back(std::move(r));
    }
    m_changed.notify_all();
}

void HttpTestServer::handle(const httplib::Request &request, httplib::Response &response)
{
    record(request);
    // The server applies ranges itself; faults and If-Range need the body under our control.
    const_cast<httplib::Request &>(request).ranges.clear();

    const auto route = findRoute(request.path);
    if (!route) {
        response.status = 404;
        response.set_content("not found\n", "text/plain");
        return;
    }
    const HttpBehaviour &behaviour = route->behaviour;
    const auto wait = request.has_header("Range") ? std::max(behaviour.stallBeforeHeaders, behaviour.stallRangedBeforeHeaders)
                                                  : behaviour.stallBeforeHeaders;
    if (wait.count() > 0 && !stall(wait)) {
        response.status = 503;
        return;
    }
    if (!behaviour.username.empty()) {
        const std::string expected
            = "Basic " + HttpTestFormat::base64(behaviour.username + ":" + behaviour.password);
        if (request.get_header_value("Authorization") != expected) {
            response.status = 401;
            response.set_header("WWW-Authenticate", "Basic realm=\"lumora-test\"");
            response.set_content("credentials required\n", "text/plain");
            return;
        }
    }
    if (!route->resource) {
        response.status = route->redirectStatus;
        response.set_header("Location", route->location);
        return;
    }
    if (request.method == "HEAD" && behaviour.headStatus != 0) {
        response.status = behaviour.headStatus;
        return;
    }
    if (request.method == "HEAD" && behaviour.headLength) {
        response.status = 200;
        response.set_header("Content-Length", std::to_string(*behaviour.headLength));
        return;
    }
    int status = behaviour.forceStatus != 0 ? behaviour.forceStatus : scriptedStatus(request.path, behaviour);
    if (status == 0 && behaviour.rangedStatus != 0 && request.has_header("Range"))
        status = behaviour.rangedStatus;
    if (status != 0) {
        response.status = status;
        for (const auto &[name, value] : behaviour.extraHeaders)
            response.set_header(name, value);
        response.set_content("status " + std::to_string(status) + "\n", "text/plain");
        return;
    }
    serveResource(request, response, *route);
}
} // namespace LumoraTest

#if defined(__SANITIZE_THREAD__)
// cpp-httplib comes from the system, built without ThreadSanitizer: the synchronisation inside it
// (atomics in inlined library code) is invisible to the sanitizer, which then reports its threads
// handing memory to each other as races. Every program that links this server gets these
// suppressions; they cover that library's own frames only. Weak, so that a test program with
// suppressions of its own keeps them (it should then list these two lines too).
extern "C" __attribute__((weak)) const char *__tsan_default_suppressions()
{
    return "called_from_lib:libcpp-httplib.so\n"
           "race:libcpp-httplib.so\n";
}
#endif
