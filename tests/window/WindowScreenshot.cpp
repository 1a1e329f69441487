// window_screenshot: renders the Downloads window into a PNG for people to look at (scripts/screenshot
// runs it under a virtual X server). A throwaway home, the in-process HTTP server and the real
// plugins make a queue that shows what the window is for: one download running, one paused part way,
// one failed with its reason and one completed.
//
// Usage: window_screenshot OUTPUT.png

#include "host/player/Home.h"
#include "host/player/MainThread.h"
#include "host/window/DownloadsWindow.h"
#include "host/window/QueueModel.h"
#include "host/window/QueueOperations.h"
#include "host/window/WindowSession.h"
#include "tests/support/http/HttpTestServer.h"
#include "tests/window/WindowTestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

using namespace Lumora;
using namespace Lumora::Window;
using LumoraTest::spinUntil;

namespace {

// The picture's size in the window's own pixels.
constexpr int kWidth = 1100;
constexpr int kHeight = 300;
constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kRunningSize = 64 * kMiB;
constexpr uint64_t kRunningRate = 3 * kMiB;
constexpr uint64_t kPausedSize = 40 * kMiB;
constexpr uint64_t kPausedRate = 2 * kMiB;
constexpr uint64_t kPausedBefore = 14 * kMiB;   // what arrives before it is paused
constexpr int kSpeedSettleMs = 3000;           // long enough for a steady speed and time left

const QueueRow *rowFor(const QueueModel &model, const QUrl &source)
{
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.rowAt(row)->source == source)
            return model.rowAt(row);
    }
    return nullptr;
}

bool reaches(const QueueModel &model, const QUrl &source, const std::function<bool(const QueueRow &)> &done)
{
    return spinUntil([&] {
        const QueueRow *row = rowFor(model, source);
        return row && done(*row);
    });
}

int fail(const QString &why)
{
    QTextStream(stderr) << "window_screenshot: " << why << '\n';
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Host::MainThread::initialize();
    if (argc != 2)
        return fail(QStringLiteral("usage: window_screenshot OUTPUT.png"));
    const QString output = QString::fromLocal8Bit(argv[1]);

    QTemporaryDir home;
    QString error;
    if (!home.isValid() || !Host::applyHome(home.path(), &error))
        return fail(QStringLiteral("no home: %1").arg(error));

    LumoraTest::HttpTestServer server;
    const QString clips = qEnvironmentVariable("LUMORA_TEST_DATA");
    server.serveFile("/harbour-at-dawn.mp4", (clips + QStringLiteral("/clip-320x240.mkv")).toStdString());
    LumoraTest::HttpBehaviour gone;
    gone.forceStatus = 404;
    server.serveBytes("/concert-encore.mkv", "gone", gone);
    LumoraTest::HttpBehaviour slow;
    slow.bytesPerSecond = kPausedRate;
    server.serveGenerated("/city-lights-timelapse.mp4", kPausedSize, slow);
    LumoraTest::HttpBehaviour steady;
    steady.bytesPerSecond = kRunningRate;
    server.serveGenerated("/mountain-documentary.mkv", kRunningSize, steady);
    auto address = [&](const char *path) { return QUrl(QString::fromStdString(server.url(path))); };
    const QUrl completed = address("/harbour-at-dawn.mp4");
    const QUrl failed = address("/concert-encore.mkv");
    const QUrl paused = address("/city-lights-timelapse.mp4");
    const QUrl running = address("/mountain-documentary.mkv");

    WindowSession session({});
    if (!session.start(&error))
        return fail(error);
    DownloadsWindow *window = session.window();
    window->resize(kWidth, kHeight);
    const QueueModel &model = session.model();
    QueueOperations &operations = session.operations();

    operations.add({completed});
    if (!reaches(model, completed, [](const QueueRow &row) { return row.status == Completed; }))
        return fail(QStringLiteral("the completed download did not complete"));
    operations.add({failed});
    if (!reaches(model, failed, [](const QueueRow &row) { return row.status == Failed; }))
        return fail(QStringLiteral("the failed download did not fail"));
    operations.add({paused});
    if (!reaches(model, paused, [](const QueueRow &row) { return row.transfer.received >= kPausedBefore; }))
        return fail(QStringLiteral("the paused download did not start"));
    // Moving another download to the head stops this one; it keeps what arrived.
    operations.add({running});
    if (!reaches(model, running, [](const QueueRow &) { return true; }))
        return fail(QStringLiteral("the running download was not queued"));
    operations.moveToTop({rowFor(model, running)->id});
    if (!reaches(model, running, [](const QueueRow &row) { return row.transfer.received > 0; }))
        return fail(QStringLiteral("the running download did not start"));
    QElapsedTimer settle;
    settle.start();
    spinUntil([&] { return settle.elapsed() > kSpeedSettleMs; }, kSpeedSettleMs * 2);

    window->statusBar()->clearMessage();
    window->view()->clearSelection();
    window->view()->setCurrentIndex(QModelIndex());
    const QPixmap picture = window->grab();
    const bool saved = picture.save(output, "PNG");
    session.quit();
    spinUntil([&] { return session.isStopped(); });
    if (!saved)
        return fail(QStringLiteral("cannot write %1").arg(output));
    QTextStream(stdout) << "window_screenshot: wrote " << output << " (" << picture.width() << "x" << picture.height() << ")\n";
    return 0;
}
