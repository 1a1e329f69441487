// The engine alone, for the real-network benchmark: downloads each URL it is given, one after
// another, driven the way the download worker drives the engine (start, readiness every 10 ms,
// progress every 100 ms, pause, output path, close), with the engine's settings of the current
// home. Prints one line: seconds, files completed, and the most the resident memory grew.
//
//   lumora_bench_engine_fetch URL...

#include "vdm/VexoDownloadManager.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

uint64_t residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    uint64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * uint64_t(::sysconf(_SC_PAGESIZE));
}

} // namespace

int main(int argc, char **argv)
{
    VDMServiceIsRunning();  // the engine starts libcurl and TLS before the clock runs
    const uint64_t baseline = residentBytes();
    uint64_t peak = baseline;
    int completed = 0;
    const auto started = Clock::now();
    for (int i = 1; i < argc; ++i) {
        const std::string url = argv[i];
        const std::u16string wide(url.begin(), url.end());
        uint32_t file = 0;
        if (VDMFileOpenURIEx(wide.c_str(), 0, 0, nullptr, &file, VDM_OPEN_FOLLOW_REDIRECTS | VDM_OPEN_RESUME) != VDM_OK)
            continue;
        VDMFilePause(file, 0);
        while (VDMFileCheck(file) != VDM_OK)
            std::this_thread::sleep_for(10ms);
        VDMFileInfo info {};
        while (VDMFileGetInfo(file, &info) == VDM_OK) {
            peak = std::max(peak, residentBytes());
            std::this_thread::sleep_for(100ms);
        }
        VDMFilePause(file, 1);
        uint32_t size = 0;
        VDMFileGetOutputPath(file, nullptr, &size);
        VDMFileClose(file);
        completed += info.state == VDM_STATE_COMPLETED;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    std::printf("%.3f %d %.1f\n", seconds, completed, double(std::max(peak, residentBytes()) - baseline) / (1 << 20));
    return completed == argc - 1 ? 0 : 1;
}
