// lumora end to end, the habits users bring and the dead ends they met: address lists, quiet and
// verbose output, a queue started from one terminal, a run that says when downloads failed, a
// damaged settings file named, and playback kept to its promise without credentials on the
// player's command line.

#include "tests/cli/LumoraProcess.h"
#include "tests/support/ScriptFile.h"
#include "plugin/SettingKeys.h"
#include "tests/support/http/HttpTestServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

using namespace LumoraTest;
using namespace LumoraTest::EndToEnd;
using Lumora::Completed;
using Lumora::Downloading;
using Lumora::Failed;
using Lumora::Queued;
using Lumora::SettingKeys::ResumeDownloadsOnStartup;

namespace {

// A download stopped part of the way: queued, with what arrived kept.
QString interruptedDownload(const LumoraHome &home, const QString &url)
{
    std::unique_ptr<QProcess> getting = home.start({"get", url});
    const bool running = home.waitForList([](const QJsonArray &list) {
        return !list.isEmpty() && list[0].toObject().value("progress").toInt() >= 5;
    }, 20000);
    ::kill(static_cast<pid_t>(getting->processId()), SIGINT);
    LumoraHome::finish(*getting, 10000);
    const QJsonObject entry = home.list()[0].toObject();
    return running && entry.value("status").toString() == statusText(Queued) ? QString::number(entry.value("id").toInteger())
                                                                              : QString();
}

} // namespace

TEST(LumoraHabits, addressListsSkipCommentsRepeatsAndOnlyTheAddressesThatCannotBeUsed)
{
    LumoraHome home;
    HttpTestServer server;
    server.serveFile("/my clip.mp4", clipPath("clip-160x120.mp4").toStdString());
    server.serveFile("/other.mkv", clipPath("clip-320x240.mkv").toStdString());
    const QString list = home.path() + "/addresses.txt";
    QFile file(list);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("# the talks of the week\n\n%1\n  %2  \n%2\nfile:///srv/videos/local.mp4\n")
                   .arg(urlOf(server, "/my clip.mp4").replace("%20", " "), urlOf(server, "/other.mkv"))
                   .toUtf8());
    file.close();

    const LumoraResult got = home.run({"get", "-i", list}, 60000);
    EXPECT_EQ(got.exitCode, 2) << describe(got);  // the local file was refused, the rest went on
    EXPECT_TRUE(got.err.contains("refused file:///srv/videos/local.mp4: a local file is not downloaded")) << describe(got);
    EXPECT_TRUE(got.out.contains("done: all 2 downloads completed")) << describe(got);
    const QJsonArray queue = home.list();
    ASSERT_EQ(queue.size(), 2);
    EXPECT_EQ(fileBytes(entryFor(queue, "/my clip.mp4").value("file").toString()), fileBytes(clipPath("clip-160x120.mp4")));

    // The same from standard input.
    std::unique_ptr<QProcess> fromInput = home.start({"get", "--input-file", "-"});
    fromInput->write(("# again\n" + urlOf(server, "/other.mkv") + "\n").toUtf8());
    fromInput->closeWriteChannel();
    const LumoraResult again = LumoraHome::finish(*fromInput);
    EXPECT_EQ(again.exitCode, 0) << describe(again);
    EXPECT_TRUE(again.out.contains("already downloaded")) << describe(again);
}

TEST(LumoraHabits, quietSaysNothingAndVerboseSaysMore)
{
    LumoraHome home;
    HttpTestServer server;
    for (const QString &clip : kClips)
        server.serveFile("/" + clip.toStdString(), clipPath(clip).toStdString());

    const LumoraResult quiet = home.run({"-q", "get", urlOf(server, "/" + kClips[0])});
    EXPECT_EQ(quiet.exitCode, 0) << describe(quiet);
    EXPECT_TRUE(quiet.out.isEmpty()) << describe(quiet);
    EXPECT_TRUE(quiet.err.isEmpty()) << describe(quiet);

    const LumoraResult verbose = home.run({"get", "-v", urlOf(server, "/" + kClips[1])});
    EXPECT_EQ(verbose.exitCode, 0) << describe(verbose);
    EXPECT_TRUE(verbose.out.contains(QStringLiteral(": %1 -> %2").arg(statusText(Queued), statusText(Downloading))))
        << describe(verbose);
    EXPECT_FALSE(verbose.out.contains("hub: ")) << describe(verbose);

    const LumoraResult more = home.run({"-vv", "get", urlOf(server, "/" + kClips[2])});
    EXPECT_TRUE(more.out.contains("hub: ")) << describe(more);
}

TEST(LumoraHabits, aRunSaysWhenDownloadsFailedAndAPausedQueueStartsFromOneTerminal)
{
    LumoraHome home;
    HttpTestServer server;
    HttpBehaviour slow;
    slow.bytesPerSecond = 4ull << 20;
    server.serveGenerated("/large.mp4", 8ull << 20, slow);
    const QString id = interruptedDownload(home, urlOf(server, "/large.mp4"));
    ASSERT_FALSE(id.isEmpty());

    // Its server now answers 404: the run that empties the queue says so in its exit status.
    HttpBehaviour gone;
    gone.forceStatus = 404;
    server.setBehaviour("/large.mp4", gone);
    const LumoraResult failing = home.run({"run", "--until-idle"});
    EXPECT_EQ(failing.exitCode, 8) << describe(failing);
    EXPECT_EQ(home.list()[0].toObject().value("status").toString(), statusText(Failed));

    // With the queue off at start-up, run --until-idle has nothing to do and says what does.
    server.setBehaviour("/large.mp4", HttpBehaviour());
    ASSERT_EQ(home.run({"retry", id}).exitCode, 0);
    ASSERT_EQ(home.run({"config", "set", ResumeDownloadsOnStartup, "off"}).exitCode, 0);
    const LumoraResult idle = home.run({"run", "--until-idle"});
    EXPECT_EQ(idle.exitCode, 0) << describe(idle);
    EXPECT_TRUE(idle.out.contains("\"lumora resume\"")) << describe(idle);
    EXPECT_EQ(home.list()[0].toObject().value("status").toString(), statusText(Queued));

    const LumoraResult resumed = home.run({"resume"}, 30000);
    EXPECT_EQ(resumed.exitCode, 0) << describe(resumed);
    EXPECT_EQ(home.list()[0].toObject().value("status").toString(), statusText(Completed));
}

TEST(LumoraHabits, aDamagedSettingsFileIsNamedWithTheSettingNotRead)
{
    LumoraHome home;
    ASSERT_TRUE(QDir().mkpath(home.path() + "/registry"));
    QFile hive(home.path() + "/registry/user.reg");
    ASSERT_TRUE(hive.open(QIODevice::WriteOnly));
    hive.write("not a registry file\n");
    hive.close();

    const LumoraResult ran = home.run({"run", "--until-idle"});
    EXPECT_EQ(ran.exitCode, 0) << describe(ran);
    EXPECT_EQ(ran.err.count("the setting MediaFolder could not be read"), 1) << describe(ran);
    const LumoraResult asked = home.run({"config", "get", Lumora::SettingKeys::MediaFolder});
    EXPECT_EQ(asked.exitCode, 1) << describe(asked);
    EXPECT_TRUE(asked.err.contains("MediaFolder could not be read")) << describe(asked);
}

TEST(LumoraHabits, playKeepsItsPromiseAndKeepsCredentialsOffTheCommandLine)
{
    LumoraHome home;
    HttpTestServer server;
    HttpBehaviour guarded;
    guarded.username = "alice";
    guarded.password = "secret";
    // Held at 1% until the test lets it go on: play is asked while too little has arrived. Then slow
    // enough to be still arriving, for seconds, when enough has: it plays from its source.
    guarded.stallAfterBytes = 64 * 1024;
    guarded.stallFor = std::chrono::seconds(60);
    guarded.bytesPerSecond = 1ull << 20;
    server.serveGenerated("/guarded.mp4", 8ull << 20, guarded);
    const QString record = home.path() + "/played.txt";
    ASSERT_TRUE(writeScript(home.path() + "/player.sh",
                            QStringLiteral("#!/bin/sh\n{ printf 'arg:%s\\n' \"$@\"; echo \"user:$LUMORA_PLAY_USER\"; "
                                           "echo \"password:$LUMORA_PLAY_PASSWORD\"; } > '%1.part'\nmv '%1.part' '%1'\n")
                                .arg(record)));
    home.setEnvironment("LUMORA_PLAYER_COMMAND", home.path() + "/player.sh");

    std::unique_ptr<QProcess> getting = home.start(
        {"get", QString::fromStdString(server.urlWithCredentials("/guarded.mp4", "alice", "secret"))});
    ASSERT_TRUE(home.waitForList([](const QJsonArray &list) {
        return !list.isEmpty() && list[0].toObject().value("received").toInteger() > 0;
    }, 20000));
    const QString id = QString::number(home.list()[0].toObject().value("id").toInteger());
    const LumoraResult asked = home.run({"play", id});
    EXPECT_EQ(asked.exitCode, 0) << describe(asked);
    EXPECT_TRUE(asked.out.contains("plays once 5% of it has arrived")) << describe(asked);
    EXPECT_FALSE(QFile::exists(record));

    server.releaseStalls();
    QDeadlineTimer deadline(20000);
    while (!QFile::exists(record) && !deadline.hasExpired())
        QThread::msleep(50);
    ASSERT_TRUE(QFile::exists(record)) << "the promise was not kept";
    const QString played = QString::fromUtf8(fileBytes(record));
    EXPECT_TRUE(played.contains(QStringLiteral("arg:%1\n").arg(urlOf(server, "/guarded.mp4")))) << played.toStdString();
    EXPECT_FALSE(played.contains("arg:http://alice")) << played.toStdString();
    EXPECT_TRUE(played.contains("user:alice\npassword:secret\n")) << played.toStdString();
    ::kill(static_cast<pid_t>(getting->processId()), SIGTERM);
    EXPECT_TRUE(LumoraHome::finish(*getting, 10000).finished);
}
