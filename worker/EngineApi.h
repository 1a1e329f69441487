#pragma once
// The download engine's entry points as the worker calls them: the binding's forwarding table in the
// player, a scripted table in the worker's unit tests.

#include "engine/EngineBinding.h"

namespace Lumora {

using EngineApi = EngineBinding::EntryPoints;

// What the worker passes when it opens a file: follow redirects, continue a partial file.
inline constexpr uint32_t EngineOpenFlags = VDM_OPEN_FOLLOW_REDIRECTS | VDM_OPEN_RESUME;
inline constexpr char16_t EnginePluginName[] = u"urifile1";
inline constexpr char16_t EngineLoginOption[] = u"Login";
inline constexpr char16_t EnginePasswordOption[] = u"Password";
inline constexpr char16_t EngineExpectedSizeOption[] = u"ExpectedSize";

} // namespace Lumora
