// The Downloads window with a queue of 10,000 downloads, offscreen: how long it takes to open (plugins,
// library, rows, first paint), what a progress update of the running downloads costs the UI thread,
// scrolling a page and selecting a range, and the longest the UI thread goes unserved while queue
// operations run (a 1 ms timer on it records the largest gap between its ticks).

#include "host/lmrlibrary/OSUtilities.h"
#include "host/medialibrary/MediaLibrary.h"
#include "host/player/Home.h"
#include "host/player/MainThread.h"
#include "host/player/PlayerSettings.h"
#include "host/window/DownloadsWindow.h"
#include "host/window/QueueModel.h"
#include "host/window/QueueOperations.h"
#include "host/window/QueueReader.h"
#include "host/window/WindowSession.h"
#include "plugin/SettingKeys.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>

using namespace Lumora;
using namespace Lumora::Window;

namespace {

constexpr int kItems = 10000;
constexpr int kQueuedItems = 100;  // the rest are completed, as in a long-used queue
constexpr int kWidth = 1100;
constexpr int kHeight = 700;
constexpr int64_t kTickMs = 100;
constexpr uint64_t kBytesPerTick = 256 * 1024;

QTemporaryDir &home()
{
    static QTemporaryDir dir;
    return dir;
}

bool spinUntil(const std::function<bool()> &done, int timeoutMs = 60000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

std::unique_ptr<MediaLibrary> openLibrary()
{
    LibraryOpenOptions options;
    options.databasePath = OSUtilities::libraryDatabasePath();
    QString error;
    auto library = MediaLibrary::open(options, &error);
    if (!library) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(options.databasePath), qPrintable(error));
        std::exit(1);
    }
    return library;
}

// Addresses on a closed loopback port: a download that starts fails at once, without the network.
void buildLibrary()
{
    auto library = openLibrary();
    auto playlist = library->downloadPlaylist();
    for (int i = 0; i < kItems; ++i) {
        const QUrl url(QStringLiteral("http://127.0.0.1:9/channel/%1/episode-%2.mp4").arg(i % 37).arg(i));
        lmtl::RefCountedPtr<MediaManagerInterface::QueuedFileInterface> item;
        library->createQueuedItem(url, QStringLiteral("episode-%1").arg(i), url, item.receive());
        item->setTitle(QStringLiteral("episode-%1.vexo").arg(i));
        item->setSize(50'000'000 + i);
        item->setStatus(i < kQueuedItems ? Queued : Completed);
        item->setProgress(i < kQueuedItems ? 0 : 100);
        item->commit();
        playlist->insertItem(-1, item.get());
    }
}

// Time to a window that shows every row and has painted them.
void BM_OpenWindow(benchmark::State &state)
{
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        auto session = std::make_unique<WindowSession>(WindowSession::Options{});
        QString error;
        if (!session->start(&error)) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        session->window()->resize(kWidth, kHeight);
        if (!spinUntil([&] { return session->model().rowCount() == kItems; })) {
            state.SkipWithError("the rows did not arrive");
            return;
        }
        session->window()->repaint();
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        session->quit();
        spinUntil([&] { return session->isStopped(); });
    }
}
BENCHMARK(BM_OpenWindow)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

// The window's parts over the library itself, no plugins: the model, the window, nothing submitted.
struct Table {
    std::unique_ptr<MediaLibrary> library = openLibrary();
    QueueModel model;
    QueueOperations operations{[](Host::Player::Operation) {}};
    DownloadsWindow window{model, operations};
    std::vector<ItemPtr> queue = QueueReader::readQueue(library.get());

    Table()
    {
        model.setOrder(queue);
        window.resize(kWidth, kHeight);
        window.show();
        QCoreApplication::processEvents();
    }
};

// One progress update of every running download, as the 100 ms timer makes it, with the repaint it
// causes. The argument is the number of running downloads (one at a time is the scheduler's way).
void BM_ProgressUpdate(benchmark::State &state)
{
    Table table;
    const auto running = static_cast<size_t>(state.range(0));
    for (size_t i = 0; i < running; ++i)
        table.queue[i]->setStatus(Downloading);
    for (size_t i = 0; i < running; ++i)
        table.model.refresh(table.queue[i]->id());
    int64_t readAt = transferClockMs();
    uint64_t received = 0;
    for (auto _ : state) {
        readAt += kTickMs;
        received += kBytesPerTick;
        for (size_t i = 0; i < running; ++i) {
            TransferState transfer;
            transfer.received = received;
            transfer.total = table.queue[i]->size();
            transfer.readAt = readAt;
            table.queue[i]->setTransferState(transfer);
        }
        table.model.tick();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_ProgressUpdate)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);

// One page down through the 10,000 rows, painted.
void BM_ScrollPage(benchmark::State &state)
{
    Table table;
    QScrollBar *bar = table.window.view()->verticalScrollBar();
    for (auto _ : state) {
        const int next = bar->value() + bar->pageStep();
        bar->setValue(next > bar->maximum() ? 0 : next);
        table.window.view()->viewport()->repaint();
    }
}
BENCHMARK(BM_ScrollPage)->Unit(benchmark::kMicrosecond);

// Selecting a range of 1,000 rows (the actions follow the selection), and all of them.
void BM_SelectRows(benchmark::State &state)
{
    Table table;
    QItemSelectionModel *selection = table.window.view()->selectionModel();
    const int rows = static_cast<int>(state.range(0));
    int first = 0;
    for (auto _ : state) {
        const QItemSelection range(table.model.index(first, 0), table.model.index(first + rows - 1, QueueModel::ColumnCount - 1));
        selection->select(range, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        table.window.view()->viewport()->repaint();
        first = (first + rows) % (kItems - rows + 1);
    }
}
BENCHMARK(BM_SelectRows)->Arg(1)->Arg(1000)->Arg(kItems)->Unit(benchmark::kMicrosecond);

// The largest gap between ticks of a 1 ms timer on the UI thread while queue operations run on the
// real plugins: resume (the queued downloads start and fail one after another), moves of the last
// download to the top and back, pausing, and clearing the completed downloads (9,900 removals).
void BM_UiThreadGapDuringOperations(benchmark::State &state)
{
    for (auto _ : state) {
        WindowSession session(WindowSession::Options{});
        QString error;
        if (!session.start(&error)) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        session.window()->resize(kWidth, kHeight);
        spinUntil([&] { return session.model().rowCount() == kItems; });

        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        qint64 largest = 0;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            largest = std::max(largest, now - last);
            last = now;
        });
        probe.start(1);

        QueueOperations &operations = session.operations();
        const uint64_t lastId = session.model().rowAt(kItems - 1)->id;
        operations.resumeAll();
        operations.moveToTop({lastId});
        operations.moveTo({lastId}, kItems);
        operations.pauseAll();
        operations.clearCompleted();
        const bool settled = spinUntil([&] { return session.model().counts().completed == 0 && session.model().counts().running == 0; }, 300000);
        probe.stop();
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        state.counters["largest_gap_ms"] = static_cast<double>(largest);
        state.counters["rows_left"] = session.model().rowCount();
        if (!settled)
            state.SkipWithError("the operations did not settle");
        session.quit();
        spinUntil([&] { return session.isStopped(); });
    }
}
BENCHMARK(BM_UiThreadGapDuringOperations)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Host::MainThread::initialize();
    QString error;
    if (!home().isValid() || !Host::applyHome(home().path(), &error)) {
        std::fprintf(stderr, "no home: %s\n", qPrintable(error));
        return 1;
    }
    // The queue stays as it is while the window opens; the operations bench resumes it itself.
    bool usage = false;
    Host::PlayerSettings::set(QLatin1String(SettingKeys::ResumeDownloadsOnStartup), QStringLiteral("false"), QString(), &error, &usage);
    QElapsedTimer build;
    build.start();
    buildLibrary();
    std::fprintf(stderr, "a library of %d downloads built in %lld ms\n", kItems, static_cast<long long>(build.elapsed()));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
