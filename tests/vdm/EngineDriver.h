#pragma once
// Drives the engine's entry points the way the download worker does, for the engine's tests and
// benchmarks: options, open, start, readiness, polls until the end, pause, output path, close.

#include "vdm/VexoDownloadManager.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace LumoraTest {

std::u16string utf16(const std::string &text);
std::string utf8(const std::u16string &text);
std::string readWholeFile(const std::string &path);
// The file holds exactly HttpTestServer::generatedString(0, size), compared a block at a time.
bool fileHoldsGenerated(const std::string &path, uint64_t size);
// Proxies of the environment would take loopback requests elsewhere.
void clearProxyEnvironment();

struct EngineRun {
    int32_t openResult = -1;
    int32_t endResult = -1;  // the last VDMFileGetInfo answer: VDM_ENDED, or VDM_OK after a time-out
    VDMFileInfo info {};
    std::string outputPath;
    bool complete() const { return endResult == VDM_ENDED && info.received == info.total; }
};

struct EngineRequest {
    std::string url;
    std::string login;
    std::string password;
    std::optional<uint64_t> expectedSize;  // the ExpectedSize option, when set
    uint32_t flags = VDM_OPEN_FOLLOW_REDIRECTS | VDM_OPEN_RESUME;
    std::chrono::milliseconds poll{5};
    std::chrono::milliseconds timeout{20000};
};

// One whole transfer: returns when the engine reports the end, or after the time-out (then the
// file is paused and closed like a stopped download).
EngineRun runTransfer(const EngineRequest &request);

// The path the engine reports for an open file (empty on failure).
std::string outputPathOf(uint32_t file);

// Opens with the request's credentials and flags; the file handle in file.
int32_t openTransfer(const EngineRequest &request, uint32_t &file);

// Polls file until received reaches at least bytes or the transfer ends; false on time-out.
bool waitForReceived(uint32_t file, uint64_t bytes, std::chrono::milliseconds timeout);
// Polls file until its state is state; the last record in info. False on time-out or an end.
bool waitForState(uint32_t file, uint32_t state, std::chrono::milliseconds timeout, VDMFileInfo &info);
// Polls file until it ends; the last record in info. False on time-out.
bool waitForEnd(uint32_t file, std::chrono::milliseconds timeout, VDMFileInfo &info);

// Writes one of the engine's settings (VDM_SETTING_*) as a QWORD into the per-user registry of
// the current home; the next run reads it.
void setEngineSetting(const char *name, uint64_t value);
// Removes it again.
void clearEngineSetting(const char *name);

} // namespace LumoraTest
