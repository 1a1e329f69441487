#pragma once
// The registry routines under VexoSettings that work on more than one value: listing a settings
// key's sub-keys and values over both of its keys, and deleting a whole key tree.

#include "platform/WinTypes.h"
#include "settings/IVexoSettings.h"

#include <set>
#include <string>
#include <utility>

namespace lmds {

class VexoSettings;

// Owns one open registry key handle and closes it when it ends.
class ScopedLMKey {
public:
    ScopedLMKey() = default;
    explicit ScopedLMKey(HKEY key) : m_key(key) {}
    virtual ~ScopedLMKey();
    ScopedLMKey(const ScopedLMKey &) = delete;
    ScopedLMKey &operator=(const ScopedLMKey &) = delete;

    HKEY get() const { return m_key; }
    // The slot for an out-parameter: closes what is held first.
    HKEY *receive();

private:
    HKEY m_key = nullptr;
};

// Clears names and fills it with the sub-key names of the settings' write key and, in the modes
// that read the machine-wide key too, of that key (each name once). Fails when the key cannot be
// opened or a key's information cannot be read (so in modes 2 and 5 when only the machine-wide key
// exists); names found before a failure stay in the set.
bool getSubKeyNames(VexoSettings &settings, std::set<std::u16string> &names);

// As getSubKeyNames for named values (the unnamed default value is left out). A key's listing
// stops at the first value whose name is 1024 units or longer; the call still succeeds.
bool getValueNames(VexoSettings &settings, std::set<std::u16string> &names);

// Deletes keyPath and everything below it under root (HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE).
// Refuses any path that does not contain kSettingsRootPrefix. For the machine-wide root the
// 64-bit-view deletion of "Advapi32.dll" is used when that library is there; here it is not, so
// the tree goes with SHDeleteKeyW, in one change.
bool deleteKeyTree(const std::u16string &keyPath, HKEY root);

using RegDeleteKeyExWFunction = LSTATUS (*)(HKEY, LPCWSTR, REGSAM, DWORD);

// Deletes keyPath below HKEY_LOCAL_MACHINE depth first with deleteKeyFunction, deepest keys first.
// Stops at the first key that cannot be deleted, leaving it and the keys above it.
bool deleteKeyTree64(const std::u16string &keyPath, RegDeleteKeyExWFunction deleteKeyFunction);

} // namespace lmds
