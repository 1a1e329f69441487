#pragma once
// Where per-user files live: the XDG base directories, unless LUMORA_HOME names a folder, which then
// holds everything (data/, config/, cache/, registry/, Videos/) so that one switch moves a whole
// installation. The one place this rule is written; the host library, the registry hives and the
// download engine all ask here.
//
// Paths are absolute and lexically clean, in the file system's own 8-bit encoding. Safe from any
// thread; the environment is read at every call.

#include <string>

namespace VexoOS::Platform::UserDirectories {

enum class Base { Data, Config, Cache };

// LUMORA_HOME made absolute; empty when unset.
std::string homeOverride();
// $HOME, else the password database's home; empty when neither names one.
std::string userHome();
// The XDG base directory itself ($XDG_DATA_HOME, $XDG_CONFIG_HOME, $XDG_CACHE_HOME when absolute,
// else ~/.local/share, ~/.config, ~/.cache), whatever LUMORA_HOME says.
std::string xdgBase(Base base);
// Lumora's own folder of a kind: LUMORA_HOME/data|config|cache, else xdgBase(base)/lumora.
std::string lumoraDirectory(Base base);
// The user's videos: LUMORA_HOME/Videos, else $XDG_VIDEOS_DIR when absolute, else ~/Videos.
std::string videosDirectory();
// Where both registry hives live when they are moved together: VEXO_REGISTRY_DIR, else
// LUMORA_HOME/registry; empty when neither is set (the hives keep their usual places).
std::string registryDirectory();

} // namespace VexoOS::Platform::UserDirectories
