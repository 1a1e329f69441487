// The size probe against a real HTTP server on the loopback interface.

#include "worker/HttpHelper.h"

#include "tests/support/http/HttpTestServer.h"

#include <QUrl>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using Lumora::HttpHelper;
using LumoraTest::HttpBehaviour;
using LumoraTest::HttpLengthMode;
using LumoraTest::HttpTestServer;

namespace {

QUrl at(const std::string &url)
{
    return QUrl(QString::fromStdString(url));
}

Lumora::WorkerTiming quickTiming()
{
    Lumora::WorkerTiming timing;
    timing.probeOverall = std::chrono::milliseconds(1500);
    timing.probeRequest = std::chrono::milliseconds(1000);
    return timing;
}

class HttpHelperTest : public ::testing::Test {
protected:
    HttpTestServer server;
    HttpHelper helper;
};

} // namespace

TEST(HttpHelper, parsesOnlyPlainUnsignedDecimalLengths)
{
    EXPECT_EQ(HttpHelper::parseContentLength("1000"), 1000u);
    EXPECT_EQ(HttpHelper::parseContentLength(" 5368709120 "), 5368709120u);
    EXPECT_EQ(HttpHelper::parseContentLength("18446744073709551615"), UINT64_MAX);
    EXPECT_FALSE(HttpHelper::parseContentLength("18446744073709551616"));
    EXPECT_FALSE(HttpHelper::parseContentLength(""));
    EXPECT_FALSE(HttpHelper::parseContentLength("-1"));
    EXPECT_FALSE(HttpHelper::parseContentLength("+1"));
    EXPECT_FALSE(HttpHelper::parseContentLength("many"));
    EXPECT_FALSE(HttpHelper::parseContentLength("12abc"));
}

TEST_F(HttpHelperTest, measuresWithOneHeadRequest)
{
    server.serveGenerated("/clip.mp4", 123456);
    EXPECT_EQ(helper.probe(at(server.url("/clip.mp4"))), 123456u);
    const auto requests = server.requests("/clip.mp4");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "HEAD");
}

// Sizes beyond 32 bits are measured whole: 4 GiB is not 0, 5 GiB is not 1 GiB.
TEST_F(HttpHelperTest, measuresSizesBeyondFourGigabytes)
{
    server.serveGenerated("/four", 4ull << 30);
    server.serveGenerated("/five", 5ull << 30);
    EXPECT_EQ(helper.probe(at(server.url("/four"))), 4ull << 30);
    EXPECT_EQ(helper.probe(at(server.url("/five"))), 5ull << 30);
}

TEST_F(HttpHelperTest, learnsNothingFromMissingOrMalformedLengths)
{
    for (HttpLengthMode mode : {HttpLengthMode::Omitted, HttpLengthMode::NonNumeric, HttpLengthMode::Negative,
                                HttpLengthMode::Chunked}) {
        HttpBehaviour behaviour;
        behaviour.length = mode;
        server.serveGenerated("/odd", 1000, behaviour);
        EXPECT_EQ(helper.probe(at(server.url("/odd"))), 0u) << static_cast<int>(mode);
    }
}

TEST_F(HttpHelperTest, learnsNothingFromErrorAnswers)
{
    for (int status : {405, 501}) {
        HttpBehaviour refusesHead;
        refusesHead.headStatus = status;
        server.serveGenerated("/nohead", 1000, refusesHead);
        EXPECT_EQ(helper.probe(at(server.url("/nohead"))), 0u) << status;
    }
    // A 400 is neither followed nor measured, whatever it carries.
    HttpBehaviour bad;
    bad.forceStatus = 400;
    bad.extraHeaders = {{"Location", "/clip.mp4"}};
    server.serveGenerated("/bad", 1000, bad);
    server.serveGenerated("/clip.mp4", 777);
    EXPECT_EQ(helper.probe(at(server.url("/bad"))), 0u);
    EXPECT_TRUE(server.requests("/clip.mp4").empty());
    EXPECT_EQ(helper.probe(at(server.url("/missing"))), 0u);
}

TEST_F(HttpHelperTest, followsRedirectsToAnotherHostAndRelativeLocations)
{
    server.serveGenerated("/clip.mp4", 4242);
    server.redirect("/moved", server.urlOnOtherHost("/clip.mp4"), 301);
    EXPECT_EQ(helper.probe(at(server.url("/moved"))), 4242u);

    server.redirect("/relative", "/clip.mp4", 302);
    EXPECT_EQ(helper.probe(at(server.url("/relative"))), 4242u);
}

TEST_F(HttpHelperTest, endsRedirectChainsAtTenRequests)
{
    server.redirect("/loop", "/loop");
    EXPECT_EQ(helper.probe(at(server.url("/loop"))), 0u);
    EXPECT_EQ(server.requests("/loop").size(), static_cast<size_t>(HttpHelper::MaxRequests));

    // Nine redirects and the answer make ten requests: all of them are made.
    for (int i = 0; i < 10; ++i)
        server.redirect("/hop" + std::to_string(i), "/hop" + std::to_string(i + 1));
    server.serveGenerated("/hop10", 99);
    EXPECT_EQ(helper.probe(at(server.url("/hop1"))), 99u);
    // Ten redirects: the eleventh request, for the answer, is refused.
    server.clearRequests();
    EXPECT_EQ(helper.probe(at(server.url("/hop0"))), 0u);
    EXPECT_TRUE(server.requests("/hop10").empty());
}

TEST_F(HttpHelperTest, redirectsThatCannotBeFollowedEndWithNothing)
{
    server.redirect("/ftp", "ftp://127.0.0.1/clip.mp4");
    server.redirect("/garbage", "http://[::1");
    server.redirect("/empty", "");
    for (const char *path : {"/ftp", "/garbage", "/empty"}) {
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(helper.probe(at(server.url(path))), 0u) << path;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << path;
    }
}

TEST_F(HttpHelperTest, sendsCredentialsOnlyWhenBothAreGiven)
{
    HttpBehaviour locked;
    locked.username = "ann";
    locked.password = "s3cret";
    server.serveGenerated("/private", 500, locked);

    EXPECT_EQ(helper.probe(at(server.urlWithCredentials("/private", "ann", "s3cret"))), 500u);
    EXPECT_FALSE(server.requests("/private").back().header("Authorization").empty());

    QUrl userOnly = at(server.url("/private"));
    userOnly.setUserName("ann");
    EXPECT_EQ(helper.probe(userOnly), 0u);
    EXPECT_FALSE(server.requests("/private").back().hasHeader("Authorization"));
}

TEST_F(HttpHelperTest, asksForTheRootWhenThePathIsEmpty)
{
    server.serveGenerated("/", 64);
    QUrl root;
    root.setScheme("http");
    root.setHost("127.0.0.1");
    root.setPort(server.port());
    EXPECT_EQ(helper.probe(root), 64u);
    ASSERT_EQ(server.requests("/").size(), 1u);
}

TEST_F(HttpHelperTest, keepsTheQueryInTheRequest)
{
    server.serveGenerated("/clip.mp4", 10);
    EXPECT_EQ(helper.probe(at(server.url("/clip.mp4") + "?token=a%20b")), 10u);
    EXPECT_EQ(server.requests("/clip.mp4").back().query, "token=a%20b");
}

TEST(HttpHelper, aServerThatNeverAnswersEndsWithinTheBound)
{
    HttpTestServer server;
    HttpBehaviour silent;
    silent.stallBeforeHeaders = std::chrono::seconds(60);
    server.serveGenerated("/silent", 1000, silent);
    HttpHelper helper(quickTiming());
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(helper.probe(at(server.url("/silent"))), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST(HttpHelper, aStopEndsTheProbeAtOnce)
{
    HttpTestServer server;
    HttpBehaviour silent;
    silent.stallBeforeHeaders = std::chrono::seconds(60);
    server.serveGenerated("/silent", 1000, silent);
    HttpHelper helper;  // the real 30 s bound
    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        server.waitForRequests("/silent", 1, std::chrono::seconds(5));
        stop = true;
        helper.interrupt();
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(helper.probe(at(server.url("/silent")), &stop), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    stopper.join();
}

// The answer of an abandoned probe comes in while the next one runs: it must not become the next
// probe's size, nor keep it waiting.
TEST(HttpHelper, aLateAnswerBelongsToItsOwnProbe)
{
    HttpTestServer server;
    HttpBehaviour slow;
    slow.stallBeforeHeaders = std::chrono::milliseconds(800);
    server.serveGenerated("/slow", 111111, slow);
    HttpBehaviour missing;
    missing.forceStatus = 404;
    missing.stallBeforeHeaders = std::chrono::milliseconds(1200);
    server.serveGenerated("/next", 5, missing);

    HttpHelper helper;
    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        server.waitForRequests("/slow", 1, std::chrono::seconds(5));
        stop = true;
    });
    EXPECT_EQ(helper.probe(at(server.url("/slow")), &stop), 0u);
    stopper.join();
    // /slow answers 111111 during this probe; /next answers 404 after it.
    EXPECT_EQ(helper.probe(at(server.url("/next"))), 0u);
}

TEST(HttpHelper, destroyingTheHelperDuringARequestReturnsPromptly)
{
    HttpTestServer server;
    HttpBehaviour silent;
    silent.stallBeforeHeaders = std::chrono::seconds(60);
    server.serveGenerated("/silent", 1000, silent);
    auto helper = std::make_unique<HttpHelper>(quickTiming());
    std::atomic<bool> stop{false};
    std::thread prober([&] { helper->probe(at(server.url("/silent")), &stop); });
    server.waitForRequests("/silent", 1, std::chrono::seconds(5));
    stop = true;
    prober.join();
    const auto started = std::chrono::steady_clock::now();
    helper.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}

// Every way a probe can learn nothing names its reason.
TEST_F(HttpHelperTest, anUnknownSizeComesWithItsReason)
{
    using Lumora::FailureKind;
    HttpBehaviour missing;
    missing.forceStatus = 404;
    server.serveGenerated("/missing", 10, missing);
    HttpBehaviour noHead;
    noHead.headStatus = 405;
    server.serveGenerated("/nohead", 10, noHead);
    HttpBehaviour noLength;
    noLength.length = HttpLengthMode::Omitted;
    server.serveGenerated("/nolength", 10, noLength);
    HttpBehaviour locked;
    locked.username = "ann";
    locked.password = "s3cret";
    server.serveGenerated("/private", 10, locked);
    server.redirect("/loop", "/loop");

    const auto reasonOf = [&](const std::string &url) { return helper.examine(at(url)).failure; };
    const std::string host = "127.0.0.1:" + std::to_string(server.port());

    auto reason = reasonOf(server.url("/missing"));
    EXPECT_EQ(reason.kind, FailureKind::HttpStatus);
    EXPECT_EQ(reason.message().toStdString(), "404 Not Found (" + host + ")");
    reason = reasonOf(server.url("/nohead"));
    EXPECT_EQ(reason.kind, FailureKind::SizeUnknown);
    EXPECT_EQ(reason.httpStatus, 405);
    EXPECT_EQ(reasonOf(server.url("/nolength")).kind, FailureKind::SizeUnknown);
    reason = reasonOf(server.urlWithCredentials("/private", "ann", "wrong"));
    EXPECT_EQ(reason.kind, FailureKind::CredentialsRefused);
    EXPECT_EQ(reason.httpStatus, 401);
    EXPECT_EQ(reasonOf(server.url("/loop")).kind, FailureKind::TooManyRedirects);
    EXPECT_EQ(reasonOf("http://no-such-host.invalid/clip.mp4").kind, FailureKind::HostNotFound);

    // A port nobody listens on: a server that came and went.
    int closedPort;
    {
        HttpTestServer gone;
        closedPort = gone.port();
    }
    reason = reasonOf("http://127.0.0.1:" + std::to_string(closedPort) + "/clip.mp4");
    EXPECT_EQ(reason.kind, FailureKind::ConnectionRefused);
    EXPECT_EQ(reason.detail.toStdString(), "127.0.0.1:" + std::to_string(closedPort));

    EXPECT_FALSE(helper.examine(at(server.url("/loop")), nullptr).failure.message().isEmpty());
    server.serveGenerated("/fine", 77);
    const HttpHelper::Result fine = helper.examine(at(server.url("/fine")));
    EXPECT_EQ(fine.size, 77u);
    EXPECT_FALSE(fine.failure.isSet());
}

TEST_F(HttpHelperTest, aPassingFaultIsAskedAgainAndAPermanentOneOnce)
{
    HttpBehaviour busy;
    busy.firstStatuses = {503};  // busy once, then itself
    server.serveGenerated("/busy", 4321, busy);
    EXPECT_EQ(helper.probe(at(server.url("/busy"))), 4321u);
    EXPECT_EQ(server.requests("/busy").size(), 2u);

    HttpBehaviour gone;
    gone.forceStatus = 410;
    server.serveGenerated("/gone", 1, gone);
    EXPECT_EQ(helper.examine(at(server.url("/gone"))).failure.httpStatus, 410);
    EXPECT_EQ(server.requests("/gone").size(), 1u);
}

TEST_F(HttpHelperTest, credentialsFollowARedirectToTheSameOriginOnly)
{
    HttpBehaviour locked;
    locked.username = "ann";
    locked.password = "s3cret";
    server.serveGenerated("/private/clip.mp4", 900, locked);
    server.redirect("/old", "/private/clip.mp4");
    EXPECT_EQ(helper.probe(at(server.urlWithCredentials("/old", "ann", "s3cret"))), 900u);
    EXPECT_FALSE(server.requests("/private/clip.mp4").back().header("Authorization").empty());

    // Another host on the same server is another origin: it never sees them.
    server.clearRequests();
    server.redirect("/away", server.urlOnOtherHost("/private/clip.mp4"));
    const HttpHelper::Result away = helper.examine(at(server.urlWithCredentials("/away", "ann", "s3cret")));
    EXPECT_EQ(away.size, 0u);
    EXPECT_EQ(away.failure.kind, Lumora::FailureKind::CredentialsRefused);
    EXPECT_FALSE(server.requests("/private/clip.mp4").back().hasHeader("Authorization"));
}
TEST(HttpHelper, aRetryAfterLongerThanTheProbeEndsItWithTheServersAnswer)
{
    HttpTestServer server;
    HttpBehaviour later;
    later.forceStatus = 429;
    later.extraHeaders = {{"Retry-After", "86400"}};
    server.serveGenerated("/later", 10, later);
    HttpHelper helper(quickTiming());
    const auto started = std::chrono::steady_clock::now();
    const HttpHelper::Result result = helper.examine(at(server.url("/later")));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_EQ(result.failure.httpStatus, 429);
    EXPECT_EQ(server.requests("/later").size(), 1u);
}


// A size asked ahead is what the next probe of that address answers, without a second request; it
// is asked with the address's credentials like any probe.
TEST_F(HttpHelperTest, aSizeAskedAheadAnswersTheNextProbeOfThatAddress)
{
    HttpBehaviour locked;
    locked.username = "ann";
    locked.password = "s3cret";
    server.serveGenerated("/next.mp4", 2468, locked);
    const QUrl next = at(server.urlWithCredentials("/next.mp4", "ann", "s3cret"));
    helper.lookAhead(next);
    helper.lookAhead(next);  // asked once however often it is hinted
    ASSERT_TRUE(server.waitForRequests("/next.mp4", 1, std::chrono::seconds(5)));
    const HttpHelper::Result result = helper.examine(next);
    EXPECT_EQ(result.size, 2468u);
    EXPECT_FALSE(result.failure.isSet());
    EXPECT_EQ(server.requests("/next.mp4").size(), 1u);
    EXPECT_FALSE(server.requests("/next.mp4").front().header("Authorization").empty());

    // Used once: the probe after that asks again.
    EXPECT_EQ(helper.probe(next), 2468u);
    EXPECT_EQ(server.requests("/next.mp4").size(), 2u);
    // Without the credentials it is another address, and the server refuses it.
    helper.lookAhead(next);
    ASSERT_TRUE(server.waitForRequests("/next.mp4", 3, std::chrono::seconds(5)));
    EXPECT_EQ(helper.examine(at(server.url("/next.mp4"))).failure.kind, Lumora::FailureKind::CredentialsRefused);
}

// A failed look-ahead is forgotten: the probe asks for itself, retries included, and its own answer
// stands. A probe of another address ends a look-ahead still waiting for its answer.
TEST_F(HttpHelperTest, aFailedOrUnwantedLookAheadLeavesTheProbeItsOwnAnswer)
{
    HttpBehaviour busy;
    busy.firstStatuses = {503};
    server.serveGenerated("/busy.mp4", 1357, busy);
    helper.lookAhead(at(server.url("/busy.mp4")));
    ASSERT_TRUE(server.waitForRequests("/busy.mp4", 1, std::chrono::seconds(5)));
    EXPECT_EQ(helper.probe(at(server.url("/busy.mp4"))), 1357u);
    EXPECT_EQ(server.requests("/busy.mp4").size(), 2u);

    HttpBehaviour silent;
    silent.stallBeforeHeaders = std::chrono::seconds(60);
    server.serveGenerated("/silent.mp4", 1000, silent);
    server.serveGenerated("/now.mp4", 4242);
    helper.lookAhead(at(server.url("/silent.mp4")));
    ASSERT_TRUE(server.waitForRequests("/silent.mp4", 1, std::chrono::seconds(5)));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(helper.probe(at(server.url("/now.mp4"))), 4242u);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    // The abandoned look-ahead leaves nothing behind for the silent address either.
    HttpHelper::Result silentResult;
    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        server.waitForRequests("/silent.mp4", 2, std::chrono::seconds(5));
        stop = true;
        helper.interrupt();
    });
    silentResult = helper.examine(at(server.url("/silent.mp4")), &stop);
    stopper.join();
    EXPECT_EQ(silentResult.size, 0u);
}

// Destroying the helper while a look-ahead waits for a server that never answers returns promptly.
TEST(HttpHelper, destroyingTheHelperDuringALookAheadReturnsPromptly)
{
    HttpTestServer server;
    HttpBehaviour silent;
    silent.stallBeforeHeaders = std::chrono::seconds(60);
    server.serveGenerated("/silent", 1000, silent);
    auto helper = std::make_unique<HttpHelper>();
    helper->lookAhead(at(server.url("/silent")));
    ASSERT_TRUE(server.waitForRequests("/silent", 1, std::chrono::seconds(5)));
    const auto started = std::chrono::steady_clock::now();
    helper.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}
