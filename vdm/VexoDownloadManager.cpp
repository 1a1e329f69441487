// The eight C entry points: argument checks, then the engine. Nothing thrown inside may cross the C
// boundary, so each entry point turns an escaping exception (only allocation can throw) into
// VDM_E_INTERNAL.

#include "vdm/VexoDownloadManager.h"

#include "vdm/Engine.h"
#include "vdm/TextCodec.h"

#include <cstring>
#include <new>

using Vdm::Engine;

namespace {

template <class F>
int32_t guarded(F &&body)
{
    try {
        return body();
    } catch (...) {
        return VDM_E_INTERNAL;
    }
}

} // namespace

extern "C" {

VDM_API int32_t VDMServiceIsRunning(void)
{
    return guarded([] { return Engine::instance().running() ? 1 : 0; });
}

VDM_API int32_t VDMSetFileConfigPluginOption(uint32_t *config, const char16_t *plugin, const char16_t *option,
                                             const char16_t *value)
{
    return guarded([&] {
        const auto pluginText = Vdm::terminatedView(plugin, 64);
        const auto optionText = Vdm::terminatedView(option, 64);
        const auto valueText = Vdm::terminatedView(value, Engine::kMaxOptionUnits);
        if (!config || !plugin || !option || !value)
            return int32_t(VDM_E_INVALID_ARGUMENT);
        if (!pluginText || !optionText)
            return int32_t(VDM_E_UNKNOWN_OPTION);
        if (!valueText)
            return int32_t(VDM_E_INVALID_ARGUMENT);
        return Engine::instance().setOption(*config, *pluginText, *optionText, *valueText);
    });
}

VDM_API int32_t VDMFileOpenURIEx(const char16_t *uri, int32_t reserved1, int32_t reserved2, uint32_t *config,
                                 uint32_t *file, uint32_t flags)
{
    return guarded([&] {
        if (!uri || !file || reserved1 != 0 || reserved2 != 0
            || (flags & ~uint32_t(VDM_OPEN_FOLLOW_REDIRECTS | VDM_OPEN_RESUME | VDM_OPEN_DISCARD)) != 0)
            return int32_t(VDM_E_INVALID_ARGUMENT);
        const auto uriText = Vdm::terminatedView(uri, Engine::kMaxUriUnits);
        if (!uriText)
            return int32_t(VDM_E_INVALID_ARGUMENT);
        uint32_t handle = 0;
        const int32_t result = Engine::instance().open(*uriText, config, flags, handle);
        if (result == VDM_OK)
            *file = handle;  // 0 after a discard
        return result;
    });
}

VDM_API int32_t VDMFileCheck(uint32_t file)
{
    return guarded([&] {
        const auto transfer = Engine::instance().find(file);
        if (!transfer)
            return int32_t(VDM_E_INVALID_HANDLE);
        return int32_t(transfer->started() ? VDM_OK : VDM_NOT_READY);
    });
}

VDM_API int32_t VDMFilePause(uint32_t file, int32_t pause)
{
    return guarded([&] {
        const auto transfer = Engine::instance().find(file);
        if (!transfer)
            return int32_t(VDM_E_INVALID_HANDLE);
        if (pause != 0 && pause != 1)
            return int32_t(VDM_E_INVALID_ARGUMENT);
        if (pause == 0)
            transfer->start();
        else
            transfer->stop();
        return int32_t(VDM_OK);
    });
}

VDM_API int32_t VDMFileGetInfo(uint32_t file, VDMFileInfo *info)
{
    return guarded([&] {
        const auto transfer = Engine::instance().find(file);
        if (!transfer)
            return int32_t(VDM_E_INVALID_HANDLE);
        if (!info)
            return int32_t(VDM_E_INVALID_ARGUMENT);
        VDMFileInfo snapshot {};
        const bool ended = transfer->info(snapshot);
        std::memcpy(info, &snapshot, sizeof snapshot);
        return int32_t(ended ? VDM_ENDED : VDM_OK);
    });
}

VDM_API int32_t VDMFileClose(uint32_t file)
{
    return guarded([&] { return Engine::instance().close(file); });
}

VDM_API int32_t VDMFileGetOutputPath(uint32_t file, char16_t *buffer, uint32_t *size)
{
    return guarded([&] {
        const auto transfer = Engine::instance().find(file);
        if (!transfer)
            return int32_t(VDM_E_INVALID_HANDLE);
        if (!size)
            return int32_t(VDM_E_INVALID_ARGUMENT);
        const auto path = Vdm::toUtf16(transfer->outputPath());
        if (!path)
            return int32_t(VDM_E_INTERNAL);
        const uint64_t needed = (uint64_t(path->size()) + 1) * sizeof(char16_t);
        if (needed > UINT32_MAX)
            return int32_t(VDM_E_INTERNAL);
        if (!buffer) {
            *size = uint32_t(needed);
            return int32_t(VDM_OK);
        }
        if (*size < needed) {
            *size = uint32_t(needed);
            return int32_t(VDM_E_BUFFER_TOO_SMALL);
        }
        std::memcpy(buffer, path->data(), path->size() * sizeof(char16_t));
        buffer[path->size()] = 0;
        *size = uint32_t(needed);
        return int32_t(VDM_OK);
    });
}

} // extern "C"
