#pragma once
// An HTTP/1.1 server inside the test process, on 127.0.0.1 and a port the system picks, for the
// tests of everything that talks HTTP (engine, probe, worker, end to end).
//
// A test registers what lives at each path, then points its client at url(path):
//
//     LumoraTest::HttpTestServer server;
//     server.serveBytes("/clip.mp4", bytes);                 // 200, ranges, ETag, Last-Modified
//     server.redirect("/old", "/clip.mp4");                  // 302 with that Location, verbatim
//     HttpBehaviour slow;  slow.stallAfterBytes = 4096;  slow.stallFor = std::chrono::seconds(30);
//     server.serveGenerated("/big", 5ull << 30, slow);        // 5 GiB made up on the fly
//     ... client runs ...
//     EXPECT_EQ(server.requests("/clip.mp4").back().header("Range"), "bytes=100-");
//
// Every resource answers GET and HEAD, single byte ranges (206, 416, If-Range), and carries strong
// validators that change whenever the resource is replaced. The behaviour record of a path adds
// what real servers do wrong or on purpose: demand Basic credentials, refuse HEAD, mangle or omit
// Content-Length, stall, drop or reset the connection, throttle. Behaviours can be replaced between requests.
//
// Stalls are interrupted when the server stops, so a test never waits for a stall it set up. Handlers
// run on the server's own threads; every public member is safe to call from any thread.
//
// ThreadSanitizer: the system's cpp-httplib is not instrumented, and its threads look racy to the
// sanitizer. This library supplies suppressions for it (a weak __tsan_default_suppressions); a test
// program that defines its own should add "called_from_lib:libcpp-httplib.so" and
// "race:libcpp-httplib.so" to them.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace LumoraTest {

// One request as the server received it.
struct HttpRequestRecord {
    std::string method;  // "GET", "HEAD", ...
    std::string path;    // without the query
    std::string query;   // after '?', empty when none
    std::vector<std::pair<std::string, std::string>> headers;
    int remotePort = 0;  // tells connections apart: equal ports mean a reused connection

    // The first value of a header, name compared without case; empty when absent.
    std::string header(std::string_view name) const;
    bool hasHeader(std::string_view name) const;
};

// How Content-Length is sent. Everything but Exact delimits the body by closing the connection,
// except Chunked.
enum class HttpLengthMode {
    Exact,       // the true length
    Omitted,     // no Content-Length; the connection closes after the body
    NonNumeric,  // "Content-Length: many"
    Negative,    // "Content-Length: -1"
    Chunked,     // Transfer-Encoding: chunked
};

struct HttpBehaviour {
    // Basic credentials the resource demands (401 without them); none when username is empty.
    std::string username;
    std::string password;

    // HEAD answered with this status (405, 501, ...) instead of the headers; 0 answers it normally.
    int headStatus = 0;
    // HEAD answered 200 with this Content-Length, whatever the resource is: a server whose HEAD
    // and GET disagree.
    std::optional<uint64_t> headLength;
    // Every request answered with this status and a short text body; 0 serves the resource.
    int forceStatus = 0;
    // The first requests (GET or HEAD) after the path is registered or its behaviour set, answered
    // with these statuses in turn; the ones after are served as the rest of the behaviour says.
    std::vector<int> firstStatuses;

    bool acceptRanges = true;  // false: Range ignored, "Accept-Ranges: none", always 200
    bool honourRanges = true;  // false: "Accept-Ranges: bytes" claimed, yet Range ignored (200)
    // Requests with a Range header answered with this status (503, 429: a server that refuses
    // extra connections); 0 serves them.
    int rangedStatus = 0;
    bool honourIfRange = true; // false: If-Range ignored, the range served even for a changed resource
    bool sendEtag = true;
    bool sendLastModified = true;
    HttpLengthMode length = HttpLengthMode::Exact;
    std::string contentType = "application/octet-stream";
    // Sent with every answer of the path, error statuses included (Retry-After, say).
    std::vector<std::pair<std::string, std::string>> extraHeaders;

    // Waits this long before answering at all (headers included). Use a long time for "never".
    std::chrono::milliseconds stallBeforeHeaders{0};
    // The same, for requests with a Range header only: extra connections that answer late.
    std::chrono::milliseconds stallRangedBeforeHeaders{0};
    // After this many body bytes of one response, stops sending for stallFor, then goes on.
    std::optional<uint64_t> stallAfterBytes;
    std::chrono::milliseconds stallFor{0};
    // After this many body bytes of one response, closes the connection.
    std::optional<uint64_t> dropAfterBytes;
    // After this many body bytes of one response, resets the connection (RST instead of FIN).
    std::optional<uint64_t> resetAfterBytes;
    // Sends at most this many body bytes per second; 0 for no limit.
    uint64_t bytesPerSecond = 0;
};

class HttpTestServer {
public:
    // Listens at once; the port is known when the constructor returns.
    HttpTestServer();
    virtual ~HttpTestServer();
    HttpTestServer(const HttpTestServer &) = delete;
    HttpTestServer &operator=(const HttpTestServer &) = delete;

    int port() const { return m_port; }
    virtual std::string scheme() const { return "http"; }
    // scheme://127.0.0.1:port + path.
    std::string url(const std::string &path) const;
    // The same resource under the host name "localhost": another host to a client, same server.
    std::string urlOnOtherHost(const std::string &path) const;
    // url(path) with user:password@ in it (both percent-encoded).
    std::string urlWithCredentials(const std::string &path, const std::string &user,
                                   const std::string &password) const;

    // Resources. Registering a path again replaces what was there and gives it new validators, which
    // is how a test changes a resource between two downloads.
    void serveBytes(const std::string &path, std::string bytes, HttpBehaviour behaviour = {});
    // A file read at request time (so it may be large); validators from its size and change time.
    void serveFile(const std::string &path, const std::filesystem::path &file, HttpBehaviour behaviour = {});
    // size bytes of generatedByte(0..size-1), made while sending: nothing is stored, so 5 GiB costs
    // nothing.
    void serveGenerated(const std::string &path, uint64_t size, HttpBehaviour behaviour = {});
    // Answers path with status and Location exactly as given (relative, absolute, another server,
    // another scheme, garbage). Chains and loops are built from several calls.
    void redirect(const std::string &path, const std::string &location, int status = 302);
    // Replaces the behaviour of a served path and keeps its content and validators.
    void setBehaviour(const std::string &path, HttpBehaviour behaviour);
    void remove(const std::string &path);

    // The pattern of serveGenerated: a pseudo-random table with a prime period, shifted every period,
    // so that bytes at a wrong offset never match.
    static uint8_t generatedByte(uint64_t offset);
    static void generatedBytes(uint64_t offset, char *out, size_t count);
    static std::string generatedString(uint64_t offset, size_t count);

    // The request log, oldest first.
    std::vector<HttpRequestRecord> requests() const;
    std::vector<HttpRequestRecord> requests(const std::string &path) const;
    void clearRequests();
    // Waits until at least count requests for path have arrived; false on time-out.
    bool waitForRequests(const std::string &path, size_t count, std::chrono::milliseconds timeout) const;
    // Ends every stall now (the stalled responses then go on as configured).
    void releaseStalls();

protected:
    // For HttpsTestServer: listens with a server built by the subclass.
    explicit HttpTestServer(std::unique_ptr<httplib::Server> server);

private:
    struct Resource;
    struct Route;
    struct BodyStream;

    void start();
    void handle(const httplib::Request &request, httplib::Response &response);
    void record(const httplib::Request &request);
    void addRoute(const std::string &path, std::shared_ptr<Route> route);
    std::shared_ptr<const Route> findRoute(const std::string &path) const;
    void serveResource(const httplib::Request &request, httplib::Response &response, const Route &route);
    // Waits for duration unless the server stops or stalls are released; false when it stopped.
    bool stall(std::chrono::milliseconds duration) const;
    bool stopping() const;
    // The status of firstStatuses this request gets, or 0.
    int scriptedStatus(const std::string &path, const HttpBehaviour &behaviour);

    std::unique_ptr<httplib::Server> m_server;
    std::thread m_listener;
    int m_port = 0;

    mutable std::mutex m_mutex;  // guards everything below
    mutable std::condition_variable m_changed;
    std::map<std::string, std::shared_ptr<const Route>> m_routes;
    std::map<std::string, size_t> m_answered;  // requests per path since its behaviour was set
    std::vector<HttpRequestRecord> m_log;
    uint64_t m_nextVersion = 1;
    uint64_t m_stallGeneration = 0;
    bool m_stopping = false;
};

} // namespace LumoraTest
