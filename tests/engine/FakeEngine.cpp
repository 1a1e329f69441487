// A stand-in for the download engine library, for the binding's tests: the eight entry points with
// fixed, recognisable answers, so a test can tell which copy the binding loaded. Built several times
// into different folders, each time as VexoDownloadManager.so:
//   FAKE_VDM_IDENTITY      a number the copy shows in its answers (VDMServiceIsRunning: 100 + it)
//   FAKE_VDM_WITHOUT_CHECK leave out VDMFileCheck
//
// Answers: VDMFileOpenURIEx opens file 40 + identity; VDMFileCheck is ready; VDMFileGetInfo
// reports an ended transfer of identity bytes out of identity; VDMFileGetOutputPath gives
// "/fake/<identity>"; the others answer 0. FakeVdmLastOption hands back the last option value set.

#include "vdm/VexoDownloadManager.h"

#include <cstring>
#include <mutex>
#include <string>

#ifdef _WIN32
#define FAKE_API extern "C" __declspec(dllexport)
#else
#define FAKE_API extern "C" __attribute__((visibility("default")))
#endif

namespace {

std::mutex mutex;
std::u16string lastOption;

std::u16string outputPath()
{
    std::u16string path = u"/fake/";
    for (const char c : std::to_string(FAKE_VDM_IDENTITY))
        path += char16_t(c);
    return path;
}

} // namespace

FAKE_API int32_t VDMServiceIsRunning(void)
{
    return 100 + FAKE_VDM_IDENTITY;
}

FAKE_API int32_t VDMSetFileConfigPluginOption(uint32_t *config, const char16_t *, const char16_t *,
                                              const char16_t *value)
{
    std::lock_guard lock(mutex);
    lastOption = value ? value : u"";
    if (config)
        *config = 7;
    return 0;
}

FAKE_API int32_t VDMFileOpenURIEx(const char16_t *, int32_t, int32_t, uint32_t *, uint32_t *file, uint32_t)
{
    if (file)
        *file = 40 + FAKE_VDM_IDENTITY;
    return 0;
}

#ifndef FAKE_VDM_WITHOUT_CHECK
FAKE_API int32_t VDMFileCheck(uint32_t)
{
    return 0;
}
#endif

FAKE_API int32_t VDMFilePause(uint32_t, int32_t)
{
    return 0;
}

FAKE_API int32_t VDMFileGetInfo(uint32_t, VDMFileInfo *info)
{
    if (info) {
        std::memset(info, 0, sizeof *info);
        info->total = FAKE_VDM_IDENTITY;
        info->received = FAKE_VDM_IDENTITY;
        info->state = VDM_STATE_COMPLETED;
    }
    return VDM_ENDED;
}

FAKE_API int32_t VDMFileClose(uint32_t)
{
    return 0;
}

FAKE_API int32_t VDMFileGetOutputPath(uint32_t, char16_t *buffer, uint32_t *size)
{
    const std::u16string path = outputPath();
    const uint32_t needed = uint32_t((path.size() + 1) * 2);
    if (!buffer || *size < needed) {
        *size = needed;
        return buffer ? VDM_E_BUFFER_TOO_SMALL : 0;
    }
    std::memcpy(buffer, path.c_str(), needed);
    return 0;
}

FAKE_API int32_t FakeVdmLastOption(char16_t *buffer, uint32_t units)
{
    std::lock_guard lock(mutex);
    if (!buffer || units <= lastOption.size())
        return -1;
    std::memcpy(buffer, lastOption.c_str(), (lastOption.size() + 1) * 2);
    return 0;
}
