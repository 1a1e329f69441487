// The media library with a download playlist of 10,000 items: walking the queue, adding a download,
// committing one changed item, opening the library, and the memory it takes.
//
// Run: build/<dir>/bin/medialibrary_bench  (builds its library in a temporary folder first).
// Per-operation figures are reported as counters: median and 99th percentile in microseconds.

#include "host/medialibrary/MediaLibrary.h"
#include "lmtl/RefCountedPtr.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace Lumora;
using namespace Lumora::MediaManagerInterface;
using lmtl::RefCountedPtr;

namespace {

constexpr int kItems = 10000;

QTemporaryDir &folder()
{
    static QTemporaryDir dir;
    return dir;
}

QString databasePath()
{
    return folder().path() + "/library.db";
}

std::unique_ptr<MediaLibrary> openLibrary()
{
    LibraryOpenOptions options;
    options.databasePath = databasePath();
    QString error;
    auto library = MediaLibrary::open(options, &error);
    if (!library) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(databasePath()), qPrintable(error));
        std::exit(1);
    }
    return library;
}

// The queue a long-time user has: a few downloads waiting, thousands finished.
void buildLibrary()
{
    auto library = openLibrary();
    auto playlist = library->downloadPlaylist();
    for (int i = 0; i < kItems; ++i) {
        const QUrl url(QStringLiteral("http://videos.example.test/channel/%1/episode-%2.mp4").arg(i % 37).arg(i));
        RefCountedPtr<QueuedFileInterface> item;
        library->createQueuedItem(url, QStringLiteral("episode-%1").arg(i), url, item.receive());
        item->setTitle(QStringLiteral("episode-%1.vexo").arg(i));
        item->setDescription(QStringLiteral("videos.example.test"));
        item->setFileUrl(QUrl::fromLocalFile(QStringLiteral("/home/user/Videos/Vexo Movies/episode-%1.vexo").arg(i)));
        item->setSize(50'000'000 + i);
        item->setStatus(i < 100 ? Queued : Completed);
        item->setProgress(i < 100 ? 0 : 100);
        item->commit();
        playlist->insertItem(-1, item.get());
    }
}

MediaLibrary &shared()
{
    static std::unique_ptr<MediaLibrary> library = openLibrary();
    return *library;
}

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

void reportPercentiles(benchmark::State &state, std::vector<double> &micros)
{
    if (micros.empty())
        return;
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
}

template <class Operation>
double timed(Operation &&operation)
{
    const auto start = std::chrono::steady_clock::now();
    operation();
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
}

void walk(PlaylistInterface &playlist)
{
    const int64_t n = playlist.count();
    for (int64_t i = 0; i < n; ++i) {
        RefCountedPtr<QueuedFileInterface> item;
        if (!playlist.itemAt(i, item.receive()))
            break;
        benchmark::DoNotOptimize(item->status());
    }
}

// First, so that the process holds nothing else yet: the library opened and walked once.
void BM_ResidentMemory(benchmark::State &state)
{
    const long before = residentKiB();
    for (auto _ : state)
        walk(*shared().downloadPlaylist());
    state.counters["rss_MiB"] = double(residentKiB()) / 1024.0;
    state.counters["library_MiB"] = double(residentKiB() - before) / 1024.0;
}
BENCHMARK(BM_ResidentMemory)->Iterations(1);

void BM_FullWalk(benchmark::State &state)
{
    auto playlist = shared().downloadPlaylist();
    std::vector<double> micros;
    for (auto _ : state)
        micros.push_back(timed([&] { walk(*playlist); }));
    state.counters["items"] = double(playlist->count());
    reportPercentiles(state, micros);
}
BENCHMARK(BM_FullWalk)->Unit(benchmark::kMillisecond);

// What addDownload does: create, commit, insert before the finished items (here: after the 100
// waiting ones).
void BM_CreateCommitInsert(benchmark::State &state)
{
    MediaLibrary &library = shared();
    auto playlist = library.downloadPlaylist();
    std::vector<double> micros;
    int n = 0;
    for (auto _ : state) {
        const QUrl url(QStringLiteral("http://videos.example.test/new/%1.mp4").arg(++n));
        micros.push_back(timed([&] {
            RefCountedPtr<QueuedFileInterface> item;
            library.createQueuedItem(url, QStringLiteral("new"), url, item.receive());
            item->setTitle(QStringLiteral("new"));
            item->setDescription(QStringLiteral("videos.example.test"));
            item->commit();
            playlist->insertItem(100, item.get());
        }));
    }
    reportPercentiles(state, micros);
}
BENCHMARK(BM_CreateCommitInsert)->Unit(benchmark::kMicrosecond)->Iterations(2000);

void BM_CommitOneChangedItem(benchmark::State &state)
{
    MediaLibrary &library = shared();
    RefCountedPtr<QueuedFileInterface> item;
    library.downloadPlaylist()->itemAt(kItems / 2, item.receive());
    std::vector<double> micros;
    int64_t progress = 0;
    for (auto _ : state) {
        item->setProgress(++progress % 100);
        micros.push_back(timed([&] { item->commit(); }));
    }
    reportPercentiles(state, micros);
}
BENCHMARK(BM_CommitOneChangedItem)->Unit(benchmark::kMicrosecond)->Iterations(5000);

void BM_MoveToHead(benchmark::State &state)
{
    auto playlist = shared().downloadPlaylist();
    std::vector<double> micros;
    for (auto _ : state) {
        RefCountedPtr<QueuedFileInterface> last;
        playlist->itemAt(playlist->count() - 1, last.receive());
        micros.push_back(timed([&] { playlist->moveItem(0, last->id()); }));
    }
    reportPercentiles(state, micros);
}
BENCHMARK(BM_MoveToHead)->Unit(benchmark::kMicrosecond)->Iterations(2000);

void BM_OpenLibrary(benchmark::State &state)
{
    std::vector<double> micros;
    for (auto _ : state)
        micros.push_back(timed([] { benchmark::DoNotOptimize(openLibrary()); }));
    reportPercentiles(state, micros);
}
BENCHMARK(BM_OpenLibrary)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (!folder().isValid())
        return 1;
    // Built by a child process, so that what this one holds afterwards is the open library alone.
    const pid_t builder = ::fork();
    if (builder == 0) {
        buildLibrary();
        std::_Exit(0);
    }
    int status = 0;
    if (builder < 0 || ::waitpid(builder, &status, 0) != builder || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
