// The file inspector as the download worker uses it: open a finished download and take its two
// measures. Real clips, against 512 KiB of random bytes under each container's ending (a download
// that went wrong: an error page, a truncated transfer, a file that only claims to be a video).
//
// Run: build/<dir>/bin/streamengine_bench  (writes its random files in a temporary folder first).
// Per-operation figures are reported as counters: median and 99th percentile in microseconds.

#include "host/streamengine/AvFileInspector.h"

#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <chrono>
#include <random>
#include <vector>

using namespace Lumora;

namespace {

constexpr qsizetype kNoiseBytes = 512 * 1024;
constexpr std::mt19937::result_type kNoiseSeed = 20240611;

QTemporaryDir &folder()
{
    static QTemporaryDir dir;
    return dir;
}

VSE::AllocatedString<unsigned char> fileUrlText(const QString &path)
{
    const QByteArray utf8 = QUrl::fromLocalFile(path).toString().toUtf8();
    return VSE::AllocatedString<unsigned char>(reinterpret_cast<const unsigned char *>(utf8.constData()),
                                               static_cast<int32_t>(utf8.size()));
}

QString noiseFile(const char *ending)
{
    return folder().path() + "/noise." + ending;
}

bool writeNoiseFiles()
{
    std::mt19937 random(kNoiseSeed);
    QByteArray noise(kNoiseBytes, Qt::Uninitialized);
    for (char &byte : noise)
        byte = static_cast<char>(random());
    for (const char *ending : {"mp4", "mkv", "avi"}) {
        QFile file(noiseFile(ending));
        if (!file.open(QIODevice::WriteOnly) || file.write(noise) != noise.size())
            return false;
    }
    return true;
}

void reportPercentiles(benchmark::State &state, std::vector<double> &micros)
{
    if (micros.empty())
        return;
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
}

// Open and both measures, as the worker asks for them; the answer codes are part of the result.
void openAndMeasure(benchmark::State &state, const QString &path, bool expectMedia)
{
    AvFileInspector inspector;
    const auto url = fileUrlText(path);
    std::vector<double> micros;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const bool opened = inspector.open(url) == InspectorOk;
        uint64_t duration = 0, size = 0;
        const bool measured = opened && inspector.queryFileMeasure(&duration) == InspectorOk
                              && inspector.queryTrackMeasure(0, &size) == InspectorOk;
        inspector.close();
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        if (measured != expectMedia) {
            state.SkipWithError(expectMedia ? "a real clip was not measured" : "random bytes were measured");
            break;
        }
        benchmark::DoNotOptimize(duration);
        benchmark::DoNotOptimize(size);
    }
    reportPercentiles(state, micros);
}

void BM_RealClip(benchmark::State &state, const char *file)
{
    openAndMeasure(state, QStringLiteral(LUMORA_BENCH_DATA_DIR "/") + file, true);
}
BENCHMARK_CAPTURE(BM_RealClip, mp4, "clip-160x120.mp4")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RealClip, mkv, "clip-320x240.mkv")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RealClip, avi, "clip-176x144.avi")->Unit(benchmark::kMillisecond);

void BM_RandomBytes(benchmark::State &state, const char *ending)
{
    openAndMeasure(state, noiseFile(ending), false);
}
BENCHMARK_CAPTURE(BM_RandomBytes, mp4, "mp4")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RandomBytes, mkv, "mkv")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RandomBytes, avi, "avi")->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    // As the plugin does: a refused file is an answer, not something to print.
    av_log_set_level(AV_LOG_QUIET);
    if (!folder().isValid() || !writeNoiseFiles())
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
