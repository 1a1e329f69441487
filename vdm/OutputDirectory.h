#pragma once
// Where transfers write: the host library's temporary download directory. The engine does not link
// the host library; the host publishes the directory in the registry and the engine reads it at
// every open, so a move takes effect with the next transfer.

#include "vdm/VexoDownloadManager.h"

#include <string>

namespace Vdm {

// Registry key (below HKEY_CURRENT_USER) and value the host library writes.
inline constexpr char16_t kSettingsKeyPath[] = u"" VDM_OUTPUT_DIRECTORY_KEY;
inline constexpr char16_t kTempDirectoryValue[] = u"" VDM_OUTPUT_DIRECTORY_VALUE;

// The directory as an absolute UTF-8 path; empty when it cannot be written (or created), or its
// name is not valid UTF-8. Nothing on disk changes: a missing directory is only checked to be
// creatable (its nearest existing parent is writable).
std::string resolveOutputDirectory();
// Creates directory when it is missing; false when it cannot be created or written.
bool createOutputDirectory(const std::string &directory);

// The directory the host library uses when it has none of its own (no registry value):
// $LUMORA_HOME/cache/downloads, else $XDG_CACHE_HOME/lumora/downloads (~/.cache/lumora/downloads).
std::string defaultOutputDirectory();

} // namespace Vdm
