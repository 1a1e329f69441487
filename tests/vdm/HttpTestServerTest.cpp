// The shared HTTP test server does what other tests rely on: ranges and validators as a careful
// server does them, and each fault exactly as configured. Checked with plain libcurl requests.

#include "tests/support/http/HttpTestServer.h"

#include <gtest/gtest.h>

#include <curl/curl.h>

#include <filesystem>
#include <fstream>

using namespace LumoraTest;
using namespace std::chrono_literals;

namespace {

struct Reply {
    CURLcode code = CURLE_OK;
    long status = 0;
    std::string headers;
    std::string body;

    bool hasHeader(const std::string &line) const { return headers.find(line + "\r\n") != std::string::npos; }
};

size_t append(char *data, size_t size, size_t count, void *target)
{
    static_cast<std::string *>(target)->append(data, size * count);
    return size * count;
}

Reply request(const std::string &url, std::vector<std::string> headers = {}, bool head = false,
              long timeoutMs = 5000)
{
    Reply reply;
    CURL *curl = curl_easy_init();
    curl_slist *list = nullptr;
    for (const auto &h : headers)
        list = curl_slist_append(list, h.c_str());
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_NOBODY, head ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, append);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply.headers);
    reply.code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_slist_free_all(list);
    curl_easy_cleanup(curl);
    return reply;
}

std::string headerValue(const Reply &reply, const std::string &name)
{
    const auto at = reply.headers.find(name + ": ");
    if (at == std::string::npos)
        return {};
    const auto start = at + name.size() + 2;
    return reply.headers.substr(start, reply.headers.find("\r\n", start) - start);
}

} // namespace

TEST(HttpTestServer, rangesFollowTheValidators)
{
    HttpTestServer server;
    server.serveBytes("/r", "0123456789");

    const Reply whole = request(server.url("/r"));
    EXPECT_EQ(whole.status, 200);
    EXPECT_EQ(whole.body, "0123456789");
    const std::string etag = headerValue(whole, "ETag");
    const std::string date = headerValue(whole, "Last-Modified");
    ASSERT_FALSE(etag.empty());
    ASSERT_FALSE(date.empty());

    EXPECT_EQ(request(server.url("/r"), {"Range: bytes=2-4"}).body, "234");
    const Reply tail = request(server.url("/r"), {"Range: bytes=7-"});
    EXPECT_EQ(tail.status, 206);
    EXPECT_EQ(tail.body, "789");
    EXPECT_TRUE(tail.hasHeader("Content-Range: bytes 7-9/10"));
    EXPECT_EQ(request(server.url("/r"), {"Range: bytes=-2"}).body, "89");
    const Reply beyond = request(server.url("/r"), {"Range: bytes=10-"});
    EXPECT_EQ(beyond.status, 416);
    EXPECT_TRUE(beyond.hasHeader("Content-Range: bytes */10"));

    EXPECT_EQ(request(server.url("/r"), {"Range: bytes=5-", "If-Range: " + etag}).status, 206);
    EXPECT_EQ(request(server.url("/r"), {"Range: bytes=5-", "If-Range: " + date}).status, 206);
    server.serveBytes("/r", "abcdefghij");  // replaced: new validators
    const Reply changed = request(server.url("/r"), {"Range: bytes=5-", "If-Range: " + etag});
    EXPECT_EQ(changed.status, 200);
    EXPECT_EQ(changed.body, "abcdefghij");
    EXPECT_NE(headerValue(changed, "ETag"), etag);
    EXPECT_NE(headerValue(changed, "Last-Modified"), date);

    HttpBehaviour noRanges;
    noRanges.acceptRanges = false;
    server.setBehaviour("/r", noRanges);
    const Reply ignored = request(server.url("/r"), {"Range: bytes=5-"});
    EXPECT_EQ(ignored.status, 200);
    EXPECT_TRUE(ignored.hasHeader("Accept-Ranges: none"));
    EXPECT_EQ(headerValue(ignored, "ETag"), headerValue(changed, "ETag")) << "a new behaviour keeps the validators";
}

TEST(HttpTestServer, lengthModesAndHead)
{
    HttpTestServer server;
    const std::string body(3000, 'z');
    for (const auto mode : {HttpLengthMode::Omitted, HttpLengthMode::Chunked}) {
        HttpBehaviour behaviour;
        behaviour.length = mode;
        server.serveBytes("/l", body, behaviour);
        const Reply reply = request(server.url("/l"));
        EXPECT_EQ(reply.code, CURLE_OK);
        EXPECT_EQ(reply.body, body);
        EXPECT_TRUE(headerValue(reply, "Content-Length").empty());
    }
    HttpBehaviour bad;
    bad.length = HttpLengthMode::NonNumeric;
    server.serveBytes("/l", body, bad);
    EXPECT_NE(request(server.url("/l")).code, CURLE_OK);

    server.serveGenerated("/big", 5ull << 30);
    const Reply head = request(server.url("/big"), {}, true);
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(headerValue(head, "Content-Length"), "5368709120");
    const Reply last = request(server.url("/big"), {"Range: bytes=5368709100-"});
    EXPECT_EQ(last.body, HttpTestServer::generatedString(5368709100ull, 20));

    HttpBehaviour refusing;
    refusing.headStatus = 405;
    server.setBehaviour("/big", refusing);
    EXPECT_EQ(request(server.url("/big"), {}, true).status, 405);
    EXPECT_EQ(request(server.url("/big"), {"Range: bytes=0-3"}).status, 206) << "GET still served";
}

TEST(HttpTestServer, faultsHappenWhereConfigured)
{
    HttpTestServer server;
    HttpBehaviour dropping;
    dropping.dropAfterBytes = 1000;
    server.serveGenerated("/drop", 100000, dropping);
    const Reply dropped = request(server.url("/drop"));
    EXPECT_EQ(dropped.code, CURLE_PARTIAL_FILE);
    EXPECT_EQ(dropped.body, HttpTestServer::generatedString(0, 1000));

    HttpBehaviour resetting;
    resetting.resetAfterBytes = 1000;
    server.serveGenerated("/reset", 100000, resetting);
    const Reply reset = request(server.url("/reset"));
    EXPECT_EQ(reset.code, CURLE_RECV_ERROR) << "a reset, not an orderly close";
    EXPECT_LE(reset.body.size(), 1000u);

    HttpBehaviour stalling;
    stalling.stallAfterBytes = 500;
    stalling.stallFor = 60s;
    server.serveGenerated("/stall", 2000, stalling);
    const auto started = std::chrono::steady_clock::now();
    const Reply stalled = request(server.url("/stall"), {}, false, 300);
    EXPECT_EQ(stalled.code, CURLE_OPERATION_TIMEDOUT);
    EXPECT_EQ(stalled.body.size(), 500u);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);

    // Released stalls go on with the rest.
    std::thread releaser([&] {
        server.waitForRequests("/stall", 2, 5s);
        std::this_thread::sleep_for(50ms);
        server.releaseStalls();
    });
    const Reply released = request(server.url("/stall"));
    releaser.join();
    EXPECT_EQ(released.code, CURLE_OK);
    EXPECT_EQ(released.body, HttpTestServer::generatedString(0, 2000));

    HttpBehaviour locked;
    locked.username = "u s";
    locked.password = "p:w";
    server.serveBytes("/locked", "in", locked);
    EXPECT_EQ(request(server.url("/locked")).status, 401);
    EXPECT_EQ(request(server.urlWithCredentials("/locked", "u s", "p:w")).body, "in");
    EXPECT_EQ(request(server.urlWithCredentials("/locked", "u s", "nope")).status, 401);

    server.redirect("/go", "ftp://elsewhere/x", 301);
    const Reply redirect = request(server.url("/go"));
    EXPECT_EQ(redirect.status, 301);
    EXPECT_EQ(headerValue(redirect, "Location"), "ftp://elsewhere/x");
}

TEST(HttpTestServer, servesFilesAndLogsRequests)
{
    const auto path = std::filesystem::temp_directory_path() / ("lumora-serve-" + std::to_string(::getpid()));
    std::ofstream(path) << "from a file";
    HttpTestServer server;
    server.serveFile("/file", path);
    EXPECT_EQ(request(server.url("/file"), {"X-Probe: 1"}).body, "from a file");
    EXPECT_EQ(request(server.url("/missing")).status, 404);
    std::filesystem::remove(path);
    EXPECT_EQ(request(server.url("/file")).status, 404);

    const auto log = server.requests("/file");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].header("x-probe"), "1");
    EXPECT_TRUE(log[0].hasHeader("HOST"));
    EXPECT_EQ(server.requests().size(), 3u);
    server.clearRequests();
    EXPECT_TRUE(server.requests().empty());
}
