// lumora end to end, what the user sees of running downloads: the true bytes and speed against a
// server with a fixed rate, a hand-over that follows its downloads and tells their outcome, and a
// player that ends by a signal, a closed terminal or a kill without leaving a lie in the list.

#include "tests/cli/LumoraProcess.h"
#include "tests/support/http/HttpTestServer.h"

#include <QJsonObject>
#include <QJsonDocument>
#include <QRegularExpression>

#include <cmath>

#include <gtest/gtest.h>

#include <csignal>

using namespace LumoraTest;
using namespace LumoraTest::EndToEnd;
using Lumora::Completed;
using Lumora::Downloading;
using Lumora::Queued;

namespace {

constexpr double MiB = 1024.0 * 1024.0;

// "12.3 MiB" as bytes.
double bytesOf(const QString &text)
{
    const QStringList parts = text.split(' ');
    const QStringList units = {"B", "KiB", "MiB", "GiB"};
    const qsizetype unit = units.indexOf(parts.value(1));
    return unit < 0 ? -1.0 : parts.value(0).toDouble() * std::pow(1024.0, static_cast<double>(unit));
}

bool runningPast(const QJsonArray &list, int percent)
{
    return !list.isEmpty() && list[0].toObject().value("progress").toInt() >= percent;
}

} // namespace

TEST(LumoraFollow, progressShowsTheBytesAndSpeedOfTheTransferItself)
{
    // 6 MiB at 2 MiB/s: the figures are checked against that rate with generous bounds.
    constexpr uint64_t size = 6ull << 20;
    constexpr double rate = 2 * MiB;
    LumoraHome home;
    HttpTestServer server;
    HttpBehaviour fixed;
    fixed.bytesPerSecond = static_cast<uint64_t>(rate);
    server.serveGenerated("/steady.mp4", size, fixed);

    std::unique_ptr<QProcess> getting = home.start({"get", urlOf(server, "/steady.mp4")});
    QJsonObject running;
    ASSERT_TRUE(home.waitForList([&](const QJsonArray &list) {
        running = list.isEmpty() ? QJsonObject() : list[0].toObject();
        return running.value("status").toString() == statusText(Downloading) && running.value("received").toInteger() > 1 << 20
               && !running.value("speed").isNull();
    }, 20000)) << QJsonDocument(running).toJson().toStdString();
    EXPECT_GT(running.value("speed").toDouble(), rate / 4);
    EXPECT_LT(running.value("speed").toDouble(), rate * 4);
    EXPECT_GT(running.value("eta").toDouble(), 0.0);
    EXPECT_FALSE(running.value("added").toString().isEmpty());
    EXPECT_TRUE(running.value("finished").isNull());

    const LumoraResult got = LumoraHome::finish(*getting, 30000);
    ASSERT_EQ(got.exitCode, 0) << describe(got);
    // "[1] steady   37%  2.21 MiB/6.00 MiB  2.00 MiB/s  ETA 2s", once a second on plain output.
    static const QRegularExpression progress(
        QStringLiteral("\\] \\S+\\s+(\\d+)%  ([\\d.]+ \\w+)/([\\d.]+ \\w+)  (-|[\\d.]+ \\w+/s)  ETA (\\S+)"));
    int lines = 0;
    int timed = 0;
    for (const QString &line : got.out.split('\n')) {
        const QRegularExpressionMatch match = progress.match(line);
        if (!match.hasMatch())
            continue;
        ++lines;
        const double received = bytesOf(match.captured(2));
        EXPECT_GT(received, 0.0) << line.toStdString();
        EXPECT_NEAR(received / static_cast<double>(size) * 100.0, match.captured(1).toDouble(), 2.0) << line.toStdString();
        EXPECT_EQ(bytesOf(match.captured(3)), static_cast<double>(size)) << line.toStdString();
        if (match.captured(4) != "-") {
            ++timed;
            const double speed = bytesOf(match.captured(4).chopped(2));
            EXPECT_GT(speed, rate / 4) << line.toStdString();
            EXPECT_LT(speed, rate * 4) << line.toStdString();
            EXPECT_NE(match.captured(5), "-") << "a speed gives a time left: " << line.toStdString();
        }
    }
    EXPECT_GE(lines, 1) << describe(got);
    EXPECT_GE(timed, lines - 1) << describe(got);

    const QJsonObject done = home.list()[0].toObject();
    EXPECT_EQ(done.value("received").toInteger(), static_cast<qint64>(size));
    EXPECT_TRUE(done.value("speed").isNull());
    EXPECT_TRUE(done.value("eta").isNull());
    EXPECT_FALSE(done.value("finished").toString().isEmpty());
}

TEST(LumoraFollow, aHandedOverGetFollowsItsDownloadsAndExitsWithTheirStatus)
{
    LumoraHome home;
    HttpTestServer server;
    server.serveFile("/clip-160x120.mp4", clipPath("clip-160x120.mp4").toStdString());
    HttpBehaviour missing;
    missing.forceStatus = 404;
    server.serveBytes("/missing.mp4", "x", missing);
    HttpBehaviour slow;
    slow.bytesPerSecond = 1ull << 20;
    server.serveGenerated("/slow.mp4", 4ull << 20, slow);

    std::unique_ptr<QProcess> player = home.start({"run"});
    ASSERT_TRUE(player->waitForReadyRead(15000));

    const LumoraResult fine = home.run({"get", urlOf(server, "/clip-160x120.mp4")});
    EXPECT_EQ(fine.exitCode, 0) << describe(fine);
    EXPECT_TRUE(fine.out.contains("handed over")) << describe(fine);
    EXPECT_TRUE(fine.out.contains("completed")) << describe(fine);
    EXPECT_TRUE(fine.out.contains("done: the download completed")) << describe(fine);

    const LumoraResult failed = home.run({"get", urlOf(server, "/missing.mp4")});
    EXPECT_EQ(failed.exitCode, 8) << describe(failed);
    EXPECT_TRUE(failed.err.contains("failed: 404 Not Found")) << describe(failed);

    const LumoraResult detached = home.run({"get", "--detach", urlOf(server, "/slow.mp4")});
    EXPECT_EQ(detached.exitCode, 0) << describe(detached);
    EXPECT_NE(entryFor(home.list(), "/slow.mp4").value("status").toString(), statusText(Completed))
        << "--detach waited for the download";

    ::kill(static_cast<pid_t>(player->processId()), SIGTERM);
    const LumoraResult served = LumoraHome::finish(*player, 15000);
    EXPECT_EQ(served.exitCode, 0) << describe(served);
    // The player's own terminal says what it was handed.
    EXPECT_EQ(served.out.count("handed over 1 address(es)"), 3) << describe(served);
}

TEST(LumoraFollow, aFollowerWhosePlayerStopsGoesOnWithItsDownloads)
{
    LumoraHome home;
    HttpTestServer server;
    HttpBehaviour slow;
    slow.bytesPerSecond = 2ull << 20;
    server.serveGenerated("/slow.mp4", 6ull << 20, slow);

    std::unique_ptr<QProcess> player = home.start({"run"});
    ASSERT_TRUE(player->waitForReadyRead(15000));
    std::unique_ptr<QProcess> follower = home.start({"get", urlOf(server, "/slow.mp4")});
    ASSERT_TRUE(home.waitForList([](const QJsonArray &list) { return runningPast(list, 5); }, 20000));
    ::kill(static_cast<pid_t>(player->processId()), SIGTERM);
    EXPECT_EQ(LumoraHome::finish(*player, 15000).exitCode, 0);

    const LumoraResult followed = LumoraHome::finish(*follower, 30000);
    EXPECT_EQ(followed.exitCode, 0) << describe(followed);
    EXPECT_TRUE(followed.out.contains("stopping")) << describe(followed);
    EXPECT_EQ(home.list()[0].toObject().value("status").toString(), statusText(Completed));
}

TEST(LumoraFollow, aClosedTerminalEndsThePlayerAsSigtermDoes)
{
    LumoraHome home;
    HttpTestServer server;
    HttpBehaviour slow;
    slow.bytesPerSecond = 4ull << 20;
    server.serveGenerated("/large.mp4", 8ull << 20, slow);

    std::unique_ptr<QProcess> getting = home.start({"get", urlOf(server, "/large.mp4")});
    ASSERT_TRUE(home.waitForList([](const QJsonArray &list) { return runningPast(list, 10); }, 20000));
    ::kill(static_cast<pid_t>(getting->processId()), SIGHUP);
    const LumoraResult hungUp = LumoraHome::finish(*getting, 10000);
    EXPECT_TRUE(hungUp.finished);
    EXPECT_EQ(hungUp.exitCode, 1) << describe(hungUp);  // ended in order, its download not complete
    const QJsonObject entry = home.list()[0].toObject();
    EXPECT_EQ(entry.value("status").toString(), statusText(Queued));
    EXPECT_FALSE(entry.value("interrupted").toBool()) << "the status was stored on the way out";
    EXPECT_GT(entry.value("progress").toInt(), 0);
}

TEST(LumoraFollow, aKilledPlayersDownloadIsListedAsInterruptedAndQueued)
{
    LumoraHome home;
    HttpTestServer server;
    HttpBehaviour slow;
    slow.bytesPerSecond = 4ull << 20;
    server.serveGenerated("/large.mp4", 8ull << 20, slow);

    std::unique_ptr<QProcess> getting = home.start({"get", urlOf(server, "/large.mp4")});
    ASSERT_TRUE(home.waitForList([](const QJsonArray &list) { return runningPast(list, 10); }, 20000));
    getting->kill();
    getting->waitForFinished(5000);

    const QJsonObject entry = home.list()[0].toObject();
    EXPECT_EQ(entry.value("status").toString(), statusText(Queued));
    EXPECT_TRUE(entry.value("interrupted").toBool());
    const LumoraResult table = home.run({"list"});
    EXPECT_TRUE(table.out.contains("Queued (interrupted)")) << describe(table);
    EXPECT_FALSE(table.out.contains(statusText(Downloading))) << describe(table);
}
