// lumora end to end: the built executable against the in-process HTTP server, through the real
// plugins, library, engine and file inspector.

#include "tests/cli/LumoraProcess.h"
#include "plugin/AcceptedEndings.h"
#include "plugin/DownloadStatus.h"
#include "plugin/SettingKeys.h"
#include "tests/support/ScriptFile.h"
#include "tests/support/http/HttpTestServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonObject>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

using LumoraTest::HttpBehaviour;
using LumoraTest::HttpTestServer;
using LumoraTest::LumoraHome;
using LumoraTest::LumoraResult;
using Lumora::Completed;
using Lumora::Failed;
using Lumora::Queued;
using Lumora::SettingKeys::MediaFolder;
using Lumora::SettingKeys::ResumeDownloadsOnStartup;

namespace {

using namespace LumoraTest::EndToEnd;

// A file made of the server's generated pattern, large enough to catch mid-way. The engine writes in
// blocks of 2 MiB, so a process killed before the first block leaves nothing to resume from: the
// kill test waits until more than that has arrived.
constexpr uint64_t kLargeSize = 8ull << 20;

} // namespace

TEST(Lumora, getLandsThreeClipsByteIdenticalAndListsThemCompleted)
{
    LumoraHome home;
    HttpTestServer server;
    QStringList urls;
    for (const QString &clip : kClips) {
        server.serveFile("/" + clip.toStdString(), clipPath(clip).toStdString());
        urls << urlOf(server, "/" + clip);
    }

    const LumoraResult got = home.run(QStringList{"get"} + urls, 60000);
    ASSERT_EQ(got.exitCode, 0) << describe(got);
    EXPECT_TRUE(got.out.contains("completed")) << describe(got);

    const QJsonArray list = home.list();
    ASSERT_EQ(list.size(), 3);
    for (const QString &clip : kClips) {
        const QJsonObject entry = entryFor(list, clip);
        EXPECT_EQ(entry.value("status").toString(), statusText(Completed)) << clip.toStdString();
        EXPECT_EQ(entry.value("progress").toInt(), 100);
        EXPECT_EQ(entry.value("size").toInteger(), QFileInfo(clipPath(clip)).size());
        const QString file = entry.value("file").toString();
        EXPECT_TRUE(file.startsWith(home.mediaFolder())) << file.toStdString();
        EXPECT_EQ(fileBytes(file), fileBytes(clipPath(clip))) << file.toStdString();
    }
    // Finished files are moved out of the temporary directory, not copied.
    EXPECT_TRUE(QDir(home.mediaFolder() + "/.incomplete").entryList(QDir::Files).isEmpty());

    // Asking again for a finished address downloads nothing and still succeeds.
    server.clearRequests();
    const LumoraResult again = home.run({"get", urls[0]});
    EXPECT_EQ(again.exitCode, 0) << describe(again);
    EXPECT_TRUE(again.out.contains("already downloaded")) << describe(again);
    EXPECT_TRUE(server.requests().empty());
}

TEST(Lumora, refusedAddressesExitTwoAndSayWhy)
{
    LumoraHome home;
    HttpTestServer server;
    server.serveBytes("/notes.txt", "not a video");

    const LumoraResult refused = home.run({"get", urlOf(server, "/notes.txt")});
    EXPECT_EQ(refused.exitCode, 2) << describe(refused);
    EXPECT_TRUE(refused.err.contains("notes.txt")) << describe(refused);
    EXPECT_TRUE(refused.err.contains("accepted extensions: " + Lumora::AcceptedEndings::endings().join(", "))) << describe(refused);
    EXPECT_TRUE(server.requests().empty());  // nothing was fetched
    EXPECT_EQ(home.list().size(), 0);

    const LumoraResult notAnAddress = home.run({"get", "clip.mp4"});
    EXPECT_EQ(notAnAddress.exitCode, 2);
    EXPECT_TRUE(notAnAddress.err.contains("not an address")) << describe(notAnAddress);
    const LumoraResult badScheme = home.run({"get", "ftp://127.0.0.1/clip.mp4"});
    EXPECT_EQ(badScheme.exitCode, 2);
    EXPECT_TRUE(badScheme.err.contains("ftp")) << describe(badScheme);
    EXPECT_EQ(home.run({"get"}).exitCode, 2);
    EXPECT_EQ(home.run({"frobnicate"}).exitCode, 2);
}

TEST(Lumora, secondGetIsHandedToTheRunningPlayer)
{
    LumoraHome home;
    HttpTestServer server;
    HttpBehaviour slow;
    slow.bytesPerSecond = 2ull << 20;
    server.serveGenerated("/slow.mp4", 3ull << 20, slow);
    server.serveFile("/clip-160x120.mp4", clipPath("clip-160x120.mp4").toStdString());

    std::unique_ptr<QProcess> first = home.start({"get", urlOf(server, "/slow.mp4")});
    // The first lumora is the player once its transfer runs.
    ASSERT_TRUE(server.waitForRequests("/slow.mp4", 2, std::chrono::seconds(15)));

    const LumoraResult second = home.run({"get", urlOf(server, "/clip-160x120.mp4")}, 15000);
    EXPECT_EQ(second.exitCode, 0) << describe(second);
    EXPECT_TRUE(second.out.contains("handed over")) << describe(second);
    EXPECT_EQ(first->state(), QProcess::Running);  // the second one did not wait for the first

    const LumoraResult firstResult = LumoraHome::finish(*first, 30000);
    EXPECT_EQ(firstResult.exitCode, 0) << describe(firstResult);
    const QJsonArray list = home.list();
    EXPECT_EQ(entryFor(list, "/slow.mp4").value("status").toString(), statusText(Completed));
    EXPECT_EQ(entryFor(list, "/clip-160x120.mp4").value("status").toString(), statusText(Completed));
}

TEST(Lumora, killedRunResumesWithARangeRequest)
{
    LumoraHome home;
    HttpTestServer server;
    HttpBehaviour slow;
    slow.bytesPerSecond = 4ull << 20;
    server.serveGenerated("/large.mp4", kLargeSize, slow);

    std::unique_ptr<QProcess> player = home.start({"run"});
    // The player says so once other commands can reach it.
    ASSERT_TRUE(player->waitForReadyRead(15000));
    const LumoraResult queued = home.run({"get", "--detach", urlOf(server, "/large.mp4")}, 20000);
    ASSERT_EQ(queued.exitCode, 0) << describe(queued);
    EXPECT_TRUE(queued.out.contains("handed over")) << describe(queued);
    ASSERT_TRUE(home.waitForList([](const QJsonArray &list) {
        return !list.isEmpty() && list[0].toObject().value("progress").toInt() >= 40;
    }, 20000));

    player->kill();  // SIGKILL: no shutdown, nothing saved on the way out
    player->waitForFinished(5000);
    const QJsonObject interrupted = home.list()[0].toObject();
    EXPECT_LT(interrupted.value("progress").toInt(), 100);

    server.setBehaviour("/large.mp4", HttpBehaviour());
    server.clearRequests();
    const LumoraResult resumed = home.run({"run", "--until-idle"}, 60000);
    ASSERT_EQ(resumed.exitCode, 0) << describe(resumed);

    const QJsonObject entry = home.list()[0].toObject();
    ASSERT_EQ(entry.value("status").toString(), statusText(Completed));
    const QByteArray bytes = fileBytes(entry.value("file").toString());
    ASSERT_EQ(static_cast<uint64_t>(bytes.size()), kLargeSize);
    EXPECT_TRUE(bytes == QByteArray::fromStdString(HttpTestServer::generatedString(0, kLargeSize)));

    bool ranged = false;
    for (const auto &request : server.requests("/large.mp4")) {
        const std::string range = request.header("Range");
        if (request.method == "GET" && range.rfind("bytes=", 0) == 0 && range != "bytes=0-")
            ranged = true;
    }
    EXPECT_TRUE(ranged) << "the resumed download fetched the whole file again";
}

TEST(Lumora, interruptKeepsTheRunningDownloadQueued)
{
    LumoraHome home;
    HttpTestServer server;
    HttpBehaviour slow;
    slow.bytesPerSecond = 4ull << 20;
    server.serveGenerated("/large.mp4", kLargeSize, slow);

    std::unique_ptr<QProcess> getting = home.start({"get", urlOf(server, "/large.mp4")});
    ASSERT_TRUE(home.waitForList([](const QJsonArray &list) {
        return !list.isEmpty() && list[0].toObject().value("progress").toInt() >= 10;
    }, 20000));
    ::kill(static_cast<pid_t>(getting->processId()), SIGINT);
    const LumoraResult stopped = LumoraHome::finish(*getting, 10000);
    EXPECT_TRUE(stopped.finished);
    EXPECT_EQ(stopped.exitCode, 1) << describe(stopped);  // its download did not complete
    EXPECT_TRUE(stopped.out.contains("stopping")) << describe(stopped);

    const QJsonObject entry = home.list()[0].toObject();
    EXPECT_EQ(entry.value("status").toString(), statusText(Queued));
    EXPECT_GT(entry.value("progress").toInt(), 0);
}

TEST(Lumora, pauseAndResumeReachTheRunningPlayer)
{
    LumoraHome home;
    HttpTestServer server;
    HttpBehaviour slow;
    slow.bytesPerSecond = 4ull << 20;
    server.serveGenerated("/large.mp4", kLargeSize, slow);

    std::unique_ptr<QProcess> getting = home.start({"get", urlOf(server, "/large.mp4")});
    ASSERT_TRUE(home.waitForList([](const QJsonArray &list) {
        return !list.isEmpty() && list[0].toObject().value("progress").toInt() >= 10;
    }, 20000));

    const LumoraResult paused = home.run({"pause"});
    EXPECT_EQ(paused.exitCode, 0) << describe(paused);
    EXPECT_TRUE(paused.out.contains("paused")) << describe(paused);
    const QJsonObject held = home.list()[0].toObject();
    EXPECT_EQ(held.value("status").toString(), statusText(Queued));
    QThread::msleep(400);
    EXPECT_EQ(home.list()[0].toObject().value("progress").toInt(), held.value("progress").toInt());
    EXPECT_EQ(getting->state(), QProcess::Running);  // a paused queue is not an idle one

    const LumoraResult resumed = home.run({"resume"});
    EXPECT_EQ(resumed.exitCode, 0) << describe(resumed);
    const LumoraResult done = LumoraHome::finish(*getting, 30000);
    EXPECT_EQ(done.exitCode, 0) << describe(done);
    EXPECT_TRUE(done.out.contains("paused")) << describe(done);
    EXPECT_EQ(home.list()[0].toObject().value("status").toString(), statusText(Completed));
}

TEST(Lumora, removingTheRunningDownloadStopsIt)
{
    LumoraHome home;
    HttpTestServer server;
    HttpBehaviour slow;
    slow.bytesPerSecond = 4ull << 20;
    server.serveGenerated("/large.mp4", kLargeSize, slow);

    std::unique_ptr<QProcess> player = home.start({"run"});
    ASSERT_TRUE(player->waitForReadyRead(15000));
    ASSERT_EQ(home.run({"get", "--detach", urlOf(server, "/large.mp4")}).exitCode, 0);
    ASSERT_TRUE(home.waitForList([](const QJsonArray &list) {
        return !list.isEmpty() && list[0].toObject().value("progress").toInt() >= 10;
    }, 20000));
    const QString id = QString::number(home.list()[0].toObject().value("id").toInteger());
    const LumoraResult removed = home.run({"remove", id});
    EXPECT_EQ(removed.exitCode, 0) << describe(removed);
    EXPECT_EQ(home.list().size(), 0);

    // Long enough for the rest of the file to arrive, had the transfer gone on for nobody.
    QThread::msleep(2500);
    qint64 kept = 0;
    QDirIterator files(home.mediaFolder(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext())
        kept += QFileInfo(files.next()).size();
    EXPECT_LT(kept, static_cast<qint64>(kLargeSize));
    EXPECT_EQ(player->state(), QProcess::Running);
    ::kill(static_cast<pid_t>(player->processId()), SIGTERM);
    const LumoraResult stopped = LumoraHome::finish(*player, 10000);
    EXPECT_EQ(stopped.exitCode, 0) << describe(stopped);  // run ends normally on SIGTERM
}

TEST(Lumora, failedDownloadIsRetriedAtTheNextRun)
{
    LumoraHome home;
    HttpTestServer server;
    HttpBehaviour missing;
    missing.forceStatus = 404;
    server.serveFile("/clip-176x144.avi", clipPath("clip-176x144.avi").toStdString(), missing);
    const QString url = urlOf(server, "/clip-176x144.avi");

    const LumoraResult failed = home.run({"get", url});
    EXPECT_EQ(failed.exitCode, 8) << describe(failed);  // the server answered with an error status
    EXPECT_TRUE(failed.err.contains("failed: 404 Not Found (127.0.0.1:")) << describe(failed);
    const QJsonObject entry = home.list()[0].toObject();
    EXPECT_EQ(entry.value("status").toString(), statusText(Failed));
    const QJsonObject error = entry.value("error").toObject();
    EXPECT_EQ(error.value("kind").toString(), "http-status");
    EXPECT_EQ(error.value("httpStatus").toInt(), 404);
    EXPECT_TRUE(error.value("message").toString().startsWith("404 Not Found"));
    EXPECT_TRUE(home.run({"list"}).out.contains("Failed (404 Not Found)"));

    server.setBehaviour("/clip-176x144.avi", HttpBehaviour());
    const QString id = QString::number(entry.value("id").toInteger());
    // The closing line says how to try it again.
    EXPECT_TRUE(failed.err.contains("did not complete; to try again: lumora retry " + id)) << describe(failed);
    const LumoraResult retried = home.run({"retry", id});
    EXPECT_EQ(retried.exitCode, 0) << describe(retried);
    EXPECT_EQ(home.list()[0].toObject().value("status").toString(), statusText(Queued));
    const LumoraResult ran = home.run({"run", "--until-idle"}, 30000);
    EXPECT_EQ(ran.exitCode, 0) << describe(ran);
    const QJsonObject done = home.list()[0].toObject();
    EXPECT_EQ(done.value("status").toString(), statusText(Completed));
    EXPECT_FALSE(done.contains("error"));  // only a failed download carries one
    EXPECT_EQ(fileBytes(done.value("file").toString()), fileBytes(clipPath("clip-176x144.avi")));

    // get of an address whose download failed tries it again.
    server.serveBytes("/broken.mp4", "x", missing);
    EXPECT_EQ(home.run({"get", urlOf(server, "/broken.mp4")}).exitCode, 8);
    server.serveFile("/broken.mp4", clipPath("clip-160x120.mp4").toStdString());
    const LumoraResult again = home.run({"get", urlOf(server, "/broken.mp4")}, 30000);
    EXPECT_EQ(again.exitCode, 0) << describe(again);
    EXPECT_TRUE(again.out.contains("retrying")) << describe(again);
    // The pause and resume the download manager goes through for a retry are not the user's.
    EXPECT_FALSE(again.out.contains("paused")) << describe(again);
    EXPECT_FALSE(again.out.contains("resumed")) << describe(again);
}

TEST(Lumora, commandsWorkOnTheLibraryWithoutAPlayer)
{
    LumoraHome home;
    HttpTestServer server;
    QStringList urls;
    for (const QString &clip : kClips.mid(0, 2)) {
        server.serveFile("/" + clip.toStdString(), clipPath(clip).toStdString());
        urls << urlOf(server, "/" + clip);
    }
    ASSERT_EQ(home.run(QStringList{"get"} + urls, 60000).exitCode, 0);
    QJsonArray list = home.list();
    ASSERT_EQ(list.size(), 2);
    const qint64 first = list[0].toObject().value("id").toInteger();
    const qint64 second = list[1].toObject().value("id").toInteger();

    EXPECT_EQ(home.run({"move", QString::number(second), "0"}).exitCode, 0);
    list = home.list();
    EXPECT_EQ(list[0].toObject().value("id").toInteger(), second);

    // play runs the configured player with the finished file.
    const QString record = home.path() + "/played.txt";
    const QString script = home.path() + "/player.sh";
    ASSERT_TRUE(LumoraTest::writeScript(script, QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" >> '%1'\n").arg(record)));
    home.setEnvironment("LUMORA_PLAYER_COMMAND", script);
    const LumoraResult played = home.run({"play", QString::number(first)});
    EXPECT_EQ(played.exitCode, 0) << describe(played);
    QDeadlineTimer deadline(5000);
    while (!QFile::exists(record) && !deadline.hasExpired())
        QThread::msleep(20);
    EXPECT_EQ(QString::fromUtf8(fileBytes(record)).trimmed(), entryFor(list, kClips[0]).value("file").toString());

    EXPECT_EQ(home.run({"remove", QString::number(first)}).exitCode, 0);
    EXPECT_EQ(home.list().size(), 1);
    EXPECT_EQ(home.run({"remove", "999"}).exitCode, 1);
    EXPECT_EQ(home.run({"retry", QString::number(second)}).exitCode, 1);  // completed, not failed
    EXPECT_EQ(home.run({"clear"}).exitCode, 0);
    EXPECT_EQ(home.list().size(), 0);
    // Files outlive their queue entries.
    EXPECT_EQ(QDir(home.mediaFolder()).entryList(QDir::Files).size(), 2);

    const LumoraResult paused = home.run({"pause"});
    EXPECT_EQ(paused.exitCode, 0);
    EXPECT_TRUE(paused.out.contains("nothing to pause")) << describe(paused);
}

TEST(Lumora, configSettingsAreKeptPerHome)
{
    LumoraHome home;
    const QString folder = home.path() + "/elsewhere";
    EXPECT_EQ(home.run({"config", "set", MediaFolder, folder}).exitCode, 0);
    EXPECT_EQ(home.run({"config", "get", QString(MediaFolder).toLower()}).out.trimmed(), folder);
    EXPECT_TRUE(QDir(folder).exists());
    EXPECT_EQ(home.run({"config", "set", ResumeDownloadsOnStartup, "off"}).exitCode, 0);
    EXPECT_EQ(home.run({"config", "get", ResumeDownloadsOnStartup}).out.trimmed(), "false");
    EXPECT_EQ(home.run({"config", "set", ResumeDownloadsOnStartup, "maybe"}).exitCode, 2);

    LumoraHome other;
    EXPECT_TRUE(other.run({"config", "get", MediaFolder}).out.trimmed().startsWith(other.path()));

    // A finished download lands in the folder the setting names.
    HttpTestServer server;
    server.serveFile("/clip-320x240.mkv", clipPath("clip-320x240.mkv").toStdString());
    EXPECT_EQ(home.run({"config", "set", ResumeDownloadsOnStartup, "on"}).exitCode, 0);
    const LumoraResult got = home.run({"get", urlOf(server, "/clip-320x240.mkv")}, 30000);
    ASSERT_EQ(got.exitCode, 0) << describe(got);
    EXPECT_TRUE(home.list()[0].toObject().value("file").toString().startsWith(folder));
}

// A damaged library is named and refused by every command, never shown as an empty queue, and
// "lumora salvage" puts what can be read into a new one; an empty library file is no library yet.
TEST(Lumora, aDamagedLibraryIsRefusedAndSalvagedAndAnEmptyFileIsANewLibrary)
{
    LumoraHome home;
    const QString library = home.path() + "/data/library.db";
    QDir().mkpath(home.path() + "/data");
    {
        QFile empty(library);
        ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    }
    const auto emptyList = home.run({"list"});
    EXPECT_EQ(emptyList.exitCode, 0) << emptyList.err.toStdString();
    EXPECT_TRUE(emptyList.out.contains("empty")) << emptyList.out.toStdString();

    // Two hundred downloads nobody can fetch (a port that refuses), so that they span many pages.
    QStringList addresses = {"get"};
    for (int i = 0; i < 200; ++i)
        addresses << QStringLiteral("http://127.0.0.1:9/%1-%2.mp4").arg(QString(300, QChar(u'a' + i % 26))).arg(i);
    const auto got = home.run(addresses, 120000);
    ASSERT_TRUE(got.finished);
    EXPECT_EQ(home.list().size(), 200);
    {
        QFile file(library);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const qint64 pages = file.size() / 4096;
        ASSERT_GT(pages, 10);
        file.seek((pages / 2) * 4096);
        file.write(QByteArray(64, '\xA5'));
    }
    for (const QStringList &command : {QStringList{"list"}, QStringList{"get", "http://127.0.0.1:9/new.mp4"}}) {
        const auto refused = home.run(command);
        EXPECT_NE(refused.exitCode, 0) << command.join(' ').toStdString();
        EXPECT_TRUE(refused.err.contains("is damaged")) << refused.err.toStdString();
        EXPECT_TRUE(refused.err.contains("lumora salvage")) << refused.err.toStdString();
    }

    const auto salvaged = home.run({"salvage"});
    EXPECT_EQ(salvaged.exitCode, 0) << salvaged.err.toStdString();
    EXPECT_TRUE(salvaged.out.contains("the damaged file is kept as")) << salvaged.out.toStdString();
    const auto after = home.run({"list"});
    EXPECT_EQ(after.exitCode, 0) << after.err.toStdString();
    EXPECT_GT(after.out.count("Failed"), 100);
}
