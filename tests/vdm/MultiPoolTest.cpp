// Connections outlive their transfer: the next transfer from the same origin goes on the same
// connection, without a new handshake; other origins get their own.

#include "tests/support/TempHome.h"
#include "tests/support/http/HttpTestServer.h"
#include "tests/vdm/EngineDriver.h"

#include <gtest/gtest.h>

#include <set>

using namespace LumoraTest;

TEST(MultiPool, consecutiveTransfersFromOneOriginShareAConnection)
{
    TempHome home;
    clearProxyEnvironment();
    HttpTestServer server;
    HttpTestServer other;
    for (int i = 0; i < 5; ++i)
        server.serveGenerated("/clip" + std::to_string(i) + ".mp4", 100000 + i);
    other.serveGenerated("/elsewhere.mp4", 1000);

    EngineRequest request;
    for (int i = 0; i < 5; ++i) {
        request.url = server.url("/clip" + std::to_string(i) + ".mp4");
        ASSERT_TRUE(runTransfer(request).complete()) << i;
        if (i == 2) {
            request.url = other.url("/elsewhere.mp4");
            ASSERT_TRUE(runTransfer(request).complete());
        }
    }
    std::set<int> connections;
    for (const auto &each : server.requests())
        connections.insert(each.remotePort);
    EXPECT_EQ(connections.size(), 1u) << "one handshake for the whole queue";
    ASSERT_EQ(other.requests().size(), 1u);
    EXPECT_FALSE(connections.count(other.requests()[0].remotePort));
}
