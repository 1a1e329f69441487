// The engine beside `curl -o`, on the same loopback server, in the same run.
//
// The engine is driven the way the download worker drives it: open, start, readiness check every
// 10 ms, progress poll every 100 ms, pause, output path, close. Two workloads: one large file, and
// many small files one after another (where the answers to the readiness check and the poll decide
// whether a file costs a few milliseconds or a whole polling period).
//
// The server runs in a child process so that the resident memory measured here is the engine's.
//
//   vdm_bench [--large-mib N] [--large-reps N] [--small-count N] [--small-kib N] [--small-reps N]
//             [--dir DIR] [--no-curl]

#include "tests/support/http/HttpTestServer.h"
#include "vdm/VexoDownloadManager.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct Options {
    uint64_t largeMiB = 1024;
    int largeReps = 5;
    int smallCount = 200;
    uint64_t smallKiB = 512;
    int smallReps = 3;
    std::string dir;
    bool curl = true;
};

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

uint64_t residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    uint64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * uint64_t(::sysconf(_SC_PAGESIZE));
}

std::u16string widen(const std::string &ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

// The server in a child process; the port comes back through a pipe, and closing the control pipe
// ends the child.
struct ServerProcess {
    pid_t pid = -1;
    int control = -1;
    int port = 0;

    void start(const Options &options)
    {
        int portPipe[2];
        int controlPipe[2];
        if (::pipe(portPipe) != 0 || ::pipe(controlPipe) != 0)
            std::exit(2);
        pid = ::fork();
        if (pid == 0) {
            ::close(portPipe[0]);
            ::close(controlPipe[1]);
            {
                LumoraTest::HttpTestServer server;
                server.serveGenerated("/large.bin", options.largeMiB << 20);
                for (int i = 0; i < options.smallCount; ++i)
                    server.serveGenerated("/small/" + std::to_string(i) + ".bin", options.smallKiB << 10);
                const int p = server.port();
                if (::write(portPipe[1], &p, sizeof p) != sizeof p)
                    std::_Exit(2);
                char c;
                while (::read(controlPipe[0], &c, 1) > 0) {
                }
            }
            std::_Exit(0);
        }
        ::close(portPipe[1]);
        ::close(controlPipe[0]);
        control = controlPipe[1];
        if (::read(portPipe[0], &port, sizeof port) != sizeof port)
            std::exit(2);
        ::close(portPipe[0]);
    }

    void stop()
    {
        ::close(control);
        ::waitpid(pid, nullptr, 0);
    }

    std::string url(const std::string &path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }
};

struct EngineResult {
    bool complete = false;
    double seconds = 0;
    uint64_t rssGrowth = 0;
    std::string output;
};

// One download, exactly as the worker paces it.
EngineResult engineDownload(const std::string &url)
{
    EngineResult result;
    const uint64_t rssBefore = residentBytes();
    uint64_t rssPeak = rssBefore;
    const auto started = Clock::now();

    uint32_t config = 0;
    uint32_t file = 0;
    if (VDMFileOpenURIEx(widen(url).c_str(), 0, 0, &config, &file, 0x110) != 0)
        return result;
    VDMFilePause(file, 0);
    while (VDMFileCheck(file) != 0)
        std::this_thread::sleep_for(10ms);
    VDMFileInfo info {};
    while (true) {
        if (VDMFileGetInfo(file, &info) != 0)
            break;
        if (VDMServiceIsRunning() == 0)
            break;
        rssPeak = std::max(rssPeak, residentBytes());
        std::this_thread::sleep_for(100ms);
    }
    VDMFilePause(file, 1);
    uint32_t size = 0;
    VDMFileGetOutputPath(file, nullptr, &size);
    std::vector<char16_t> path(size / 2 + 1);
    VDMFileGetOutputPath(file, path.data(), &size);
    VDMFileClose(file);

    result.seconds = seconds(Clock::now() - started);
    rssPeak = std::max(rssPeak, residentBytes());
    result.rssGrowth = rssPeak - rssBefore;
    result.complete = info.received == info.total;
    for (const char16_t *p = path.data(); *p; ++p)
        result.output += char(*p);
    return result;
}

struct CurlResult {
    bool ok = false;
    double seconds = 0;
    uint64_t maxRss = 0;
};

CurlResult curlDownload(const std::string &url, const std::string &output)
{
    CurlResult result;
    const auto started = Clock::now();
    const char *argv[] = {"curl", "-s", "-o", output.c_str(), url.c_str(), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, "curl", nullptr, nullptr, const_cast<char **>(argv), environ) != 0)
        return result;
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    result.seconds = seconds(Clock::now() - started);
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    result.maxRss = uint64_t(usage.ru_maxrss) * 1024;
    return result;
}

Options parse(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&] { return i + 1 < argc ? std::string(argv[++i]) : std::string(); };
        if (a == "--large-mib")
            o.largeMiB = std::stoull(next());
        else if (a == "--large-reps")
            o.largeReps = std::stoi(next());
        else if (a == "--small-count")
            o.smallCount = std::stoi(next());
        else if (a == "--small-kib")
            o.smallKiB = std::stoull(next());
        else if (a == "--small-reps")
            o.smallReps = std::stoi(next());
        else if (a == "--dir")
            o.dir = next();
        else if (a == "--no-curl")
            o.curl = false;
        else {
            std::fprintf(stderr, "unknown argument %s\n", a.c_str());
            std::exit(2);
        }
    }
    return o;
}

} // namespace

int main(int argc, char **argv)
{
    const Options options = parse(argc, argv);
    ServerProcess server;
    server.start(options);  // before any thread of ours exists: fork stays simple

    std::string dir = options.dir;
    if (dir.empty()) {
        std::string pattern = (fs::temp_directory_path() / "vdm-bench-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
    }
    ::setenv("LUMORA_HOME", dir.c_str(), 1);
    fs::create_directories(dir + "/curl");
    for (const char *proxy : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"})
        ::unsetenv(proxy);

    // Warm-up: the engine's first use starts libcurl and the TLS library.
    VDMServiceIsRunning();
    engineDownload(server.url("/small/0.bin"));
    const unsigned cores = std::thread::hardware_concurrency();
    std::printf("vdm_bench: %u cores, large %llu MiB x %d, small %d x %llu KiB x %d, files in %s\n", cores,
                (unsigned long long)options.largeMiB, options.largeReps, options.smallCount,
                (unsigned long long)options.smallKiB, options.smallReps, dir.c_str());

    std::vector<double> engineLarge, curlLarge;
    uint64_t engineRss = 0, curlRss = 0;
    bool ok = true;
    std::vector<double> largeRatios;
    for (int rep = 0; rep < options.largeReps; ++rep) {
        // Alternate who goes first: the page cache and the machine's load drift between runs.
        EngineResult e;
        CurlResult c;
        const std::string out = dir + "/curl/large.bin";
        auto runEngine = [&] {
            e = engineDownload(server.url("/large.bin"));
            ok = ok && e.complete && fs::file_size(e.output) == (options.largeMiB << 20);
            fs::remove(e.output);
        };
        auto runCurl = [&] {
            c = curlDownload(server.url("/large.bin"), out);
            ok = ok && c.ok;
            fs::remove(out);
        };
        if (rep % 2 == 0 || !options.curl) {
            runEngine();
            if (options.curl)
                runCurl();
        } else {
            runCurl();
            runEngine();
        }
        engineLarge.push_back(e.seconds);
        engineRss = std::max(engineRss, e.rssGrowth);
        if (options.curl) {
            curlLarge.push_back(c.seconds);
            curlRss = std::max(curlRss, c.maxRss);
            largeRatios.push_back(e.seconds / c.seconds);
        }
        std::printf("  large rep %d: engine %.3f s (rss +%.1f MiB)", rep + 1, e.seconds, double(e.rssGrowth) / (1 << 20));
        if (options.curl)
            std::printf(", curl %.3f s, ratio %.2f", c.seconds, e.seconds / c.seconds);
        std::printf("\n");
        std::fflush(stdout);
    }

    std::vector<double> engineSmall, curlSmall;
    uint64_t engineSmallRss = 0;
    for (int rep = 0; rep < options.smallReps; ++rep) {
        const uint64_t before = residentBytes();
        uint64_t peak = before;
        std::vector<std::string> outputs;
        const auto started = Clock::now();
        for (int i = 0; i < options.smallCount; ++i) {
            const EngineResult e = engineDownload(server.url("/small/" + std::to_string(i) + ".bin"));
            ok = ok && e.complete;
            outputs.push_back(e.output);
            peak = std::max(peak, residentBytes());
        }
        engineSmall.push_back(seconds(Clock::now() - started));
        engineSmallRss = std::max(engineSmallRss, peak - before);
        for (const auto &o : outputs)
            fs::remove(o);
        if (options.curl) {
            const auto curlStarted = Clock::now();
            for (int i = 0; i < options.smallCount; ++i) {
                const std::string out = dir + "/curl/" + std::to_string(i) + ".bin";
                ok = curlDownload(server.url("/small/" + std::to_string(i) + ".bin"), out).ok && ok;
            }
            curlSmall.push_back(seconds(Clock::now() - curlStarted));
            fs::remove_all(dir + "/curl");
            fs::create_directories(dir + "/curl");
        }
        std::printf("  small rep %d: engine %.3f s%s\n", rep + 1, engineSmall.back(),
                    options.curl ? (", curl " + std::to_string(curlSmall.back()) + " s").c_str() : "");
        std::fflush(stdout);
    }

    std::printf("\n%-34s %10s %10s %8s\n", "median", "engine", "curl -o", "ratio");
    const double el = median(engineLarge), cl = median(curlLarge);
    std::printf("%-34s %9.3fs %9.3fs %8.2f\n", ("large " + std::to_string(options.largeMiB) + " MiB").c_str(), el,
                cl, cl > 0 ? el / cl : 0.0);
    const double es = median(engineSmall), cs = median(curlSmall);
    std::printf("%-34s %9.3fs %9.3fs %8.2f\n",
                (std::to_string(options.smallCount) + " x " + std::to_string(options.smallKiB) + " KiB").c_str(), es,
                cs, cs > 0 ? es / cs : 0.0);
    if (!largeRatios.empty())
        std::printf("median of per-run ratios, large: %.2f\n", median(largeRatios));
    std::printf("engine rss growth: large %.1f MiB, small series %.1f MiB; curl max rss %.1f MiB\n",
                double(engineRss) / (1 << 20), double(engineSmallRss) / (1 << 20), double(curlRss) / (1 << 20));
    if (options.dir.empty())
        fs::remove_all(dir);
    server.stop();
    if (!ok)
        std::printf("SOME DOWNLOADS FAILED\n");
    return ok ? 0 : 1;
}
