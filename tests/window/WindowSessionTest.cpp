// The window as the player of its home, end to end: the real plugins, library and engine, the
// in-process HTTP server, and lumora commands typed in a terminal that hand their work to the window.

#include "host/window/WindowSession.h"

#include "host/cli/HandOver.h"
#include "host/player/InstanceChannel.h"
#include "host/player/PlayerSettings.h"
#include "host/window/DownloadsWindow.h"
#include "host/window/QueueModel.h"
#include "host/window/QueueOperations.h"
#include "tests/support/ScriptFile.h"
#include "tests/support/TempHome.h"
#include "tests/support/http/HttpTestServer.h"
#include "tests/window/WindowTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

using namespace Lumora;
using namespace Lumora::Window;
using LumoraTest::spinUntil;

namespace {

constexpr char kClip[] = "/clip-160x120.mp4";

QString clipPath()
{
    return qEnvironmentVariable("LUMORA_TEST_DATA") + kClip;
}

const QueueRow *rowFor(const WindowSession &session, const QUrl &source)
{
    const QueueModel &model = session.model();
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.rowAt(row)->source == source)
            return model.rowAt(row);
    }
    return nullptr;
}

::testing::AssertionResult reachesCompleted(const WindowSession &session, const QUrl &source)
{
    const bool completed = spinUntil([&] {
        const QueueRow *row = rowFor(session, source);
        return row && row->status == Completed;
    });
    if (completed)
        return ::testing::AssertionSuccess();
    const QueueRow *row = rowFor(session, source);
    if (!row)
        return ::testing::AssertionFailure() << "no row for " << source.toString().toStdString();
    return ::testing::AssertionFailure() << "the row is " << session.model().statusText(*row).toStdString() << " ("
                                         << row->failure.message().toStdString() << ")";
}

void quitAndWait(WindowSession &session)
{
    session.quit();
    ASSERT_TRUE(spinUntil([&] { return session.isStopped(); }));
    EXPECT_FALSE(session.window()->isVisible());
}

// Runs the built lumora in this test's home; its exit code, or -1 when it did not finish.
int runLumora(const QStringList &args, QString *output)
{
    QProcess lumora;
    lumora.setProcessChannelMode(QProcess::MergedChannels);
    lumora.start(QStringLiteral(LUMORA_BINARY), args);
    const bool finished = spinUntil([&] { return lumora.state() == QProcess::NotRunning; });
    *output = QString::fromUtf8(lumora.readAll());
    return finished && lumora.exitStatus() == QProcess::NormalExit ? lumora.exitCode() : -1;
}

} // namespace

TEST(WindowSession, aPastedAddressIsDownloadedIntoTheMediaFolder)
{
    LumoraTest::TempHome home;
    LumoraTest::HttpTestServer server;
    server.serveFile(kClip, clipPath().toStdString());
    const QUrl address(QString::fromStdString(server.url(kClip)));

    WindowSession session({});
    QString error;
    ASSERT_TRUE(session.start(&error)) << error.toStdString();
    DownloadsWindow *window = session.window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QApplication::setActiveWindow(window);

    QGuiApplication::clipboard()->setText(address.toString());
    QTest::keySequence(window, QKeySequence::Paste);
    ASSERT_TRUE(reachesCompleted(session, address)) << window->notice().toStdString();

    // Completed is announced before the file is moved into place and handed to the library, in
    // the order other plugins observe; the file follows within the same finishing run.
    const QueueRow *row = rowFor(session, address);
    const QString placed = row->file.toLocalFile();
    EXPECT_TRUE(spinUntil([&] { return QFileInfo(placed).size() == QFileInfo(clipPath()).size(); })) << placed.toStdString();
    const QFileInfo file(placed);
    EXPECT_EQ(file.absolutePath(), QFileInfo(Host::PlayerSettings::mediaFolder()).absoluteFilePath());
    EXPECT_EQ(file.size(), QFileInfo(clipPath()).size());
    EXPECT_EQ(row->percent(), 100);
    quitAndWait(session);
}

TEST(WindowSession, commandsTypedInATerminalAreHandedToTheWindow)
{
    LumoraTest::TempHome home;
    LumoraTest::HttpTestServer server;
    server.serveFile(kClip, clipPath().toStdString());
    server.serveFile("/again.mp4", clipPath().toStdString());
    const QUrl address(QString::fromStdString(server.url(kClip)));
    const QUrl again(QString::fromStdString(server.url("/again.mp4")));

    // Held like "lumora window" holds it: the terminal's lumora finds the home taken and hands over.
    Host::InstanceGate gate;
    QString error;
    ASSERT_EQ(gate.acquire(std::chrono::seconds(5), &error), Host::InstanceGate::Role::Owner) << error.toStdString();
    WindowSession::Options options;
    options.socketPath = Host::instanceSocketPath(Host::homeIdentity(), nullptr);
    options.handOver = [](Cli::RunningPlayer &player, const QStringList &args, const QString &cwd,
                          std::shared_ptr<Host::CommandReply> reply) { Cli::handOver(player, args, cwd, std::move(reply)); };
    options.ownCommand = QStringLiteral("window");
    WindowSession session(options);
    ASSERT_TRUE(session.start(&error)) << error.toStdString();

    QString output;
    EXPECT_EQ(runLumora({"get", address.toString()}, &output), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("handed over to the running lumora")) << output.toStdString();
    ASSERT_TRUE(reachesCompleted(session, address));

    // A second window for the same home shows this one and queues its addresses here.
    EXPECT_EQ(runLumora({"window", again.toString()}, &output), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("the Downloads window of this home is open")) << output.toStdString();
    ASSERT_TRUE(reachesCompleted(session, again));

    EXPECT_EQ(runLumora({"list"}, &output), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QFileInfo(kClip).fileName())) << output.toStdString();
    quitAndWait(session);
}

// Play on a download that has too little yet is a promise the player keeps: the player program
// starts once enough has arrived, as it does for "lumora play".
TEST(WindowSession, playOfARunningDownloadWithTooLittleYetIsKeptWhenEnoughArrives)
{
    LumoraTest::TempHome home;
    LumoraTest::HttpTestServer server;
    LumoraTest::HttpBehaviour held;
    held.stallAfterBytes = 64 * 1024;
    held.stallFor = std::chrono::seconds(60);
    held.bytesPerSecond = 1ull << 20;
    server.serveGenerated("/held.mp4", 8ull << 20, held);
    const QUrl address(QString::fromStdString(server.url("/held.mp4")));
    const QString record = home.path() + "/played.txt";
    const QString script = home.path() + "/player.sh";
    ASSERT_TRUE(LumoraTest::writeScript(script, QStringLiteral("#!/bin/sh\necho \"$@\" > '%1.part'\nmv '%1.part' '%1'\n").arg(record)));
    qputenv("LUMORA_PLAYER_COMMAND", script.toLocal8Bit());

    WindowSession session({});
    QString error;
    ASSERT_TRUE(session.start(&error)) << error.toStdString();
    QStringList deferred;
    QObject::connect(&session.operations(), &QueueOperations::playDeferred,
                     [&deferred](const QString &title) { deferred << title; });
    session.operations().add({address});
    ASSERT_TRUE(spinUntil([&] {
        const QueueRow *row = rowFor(session, address);
        return row && row->status == Downloading;
    }));
    session.operations().play(rowFor(session, address)->id);
    ASSERT_TRUE(spinUntil([&] { return !deferred.isEmpty(); }));
    EXPECT_FALSE(QFile::exists(record));

    // The server may reach its stall only after a release: release until the player has started.
    EXPECT_TRUE(spinUntil([&] {
        server.releaseStalls();
        return QFile::exists(record);
    }, 20000))
        << "the promise was not kept; " << session.window()->notice().toStdString() << " row "
        << session.model().statusText(*rowFor(session, address)).toStdString();
    qunsetenv("LUMORA_PLAYER_COMMAND");
    quitAndWait(session);
}
