// A process that runs one transfer of the URL it is given, for tests that kill a transfer in the
// middle: it opens the URL with VDM_OPEN_RESUME in the engine of the current home (LUMORA_HOME,
// VEXO_REGISTRY_DIR), starts it, prints "started", and exits only when the transfer ends (with 0
// when it completed).
//
//   vdm_transfer_child URL

#include "vdm/VexoDownloadManager.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s URL\n", argv[0]);
        return 2;
    }
    const std::string url = argv[1];
    const std::u16string wide(url.begin(), url.end());  // test URLs are ASCII
    uint32_t file = 0;
    if (VDMFileOpenURIEx(wide.c_str(), 0, 0, nullptr, &file, VDM_OPEN_FOLLOW_REDIRECTS | VDM_OPEN_RESUME) != VDM_OK
        || VDMFilePause(file, 0) != VDM_OK)
        return 3;
    std::printf("started\n");
    std::fflush(stdout);
    VDMFileInfo info {};
    while (VDMFileGetInfo(file, &info) == VDM_OK)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    VDMFileClose(file);
    return info.state == VDM_STATE_COMPLETED ? 0 : 1;
}
