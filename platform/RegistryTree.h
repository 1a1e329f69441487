#pragma once
// The in-memory form of one hive: a tree of keys, each with its values. Names compare without
// regard to case (as Windows compares them: each UTF-16 unit upper-cased on its own) and keep the
// case they were created with.
//
// Sub-keys are kept sorted by their upper-cased name, which is the order Windows enumerates them
// in; values keep their creation order. Internal to platform/.

#include "platform/WinTypes.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace VexoOS::Platform {

// Limits Windows documents for its registry, enforced when a name is created and when a hive file
// is read, so that nothing we write is refused when read back.
constexpr size_t kMaxKeyNameLength = 255;        // units in one key name
constexpr size_t kMaxValueNameLength = 16383;    // units in one value name
constexpr size_t kMaxKeyDepth = 512;             // key names below the root
// Not Windows limits: a hive is a settings file, and these keep a damaged or hostile one from
// making every process that reads settings allocate without bound.
constexpr size_t kMaxValueDataBytes = 1024 * 1024;
constexpr size_t kMaxHiveFileBytes = 64 * 1024 * 1024;

std::u16string foldName(std::u16string_view name);

// A name that can be created and written to a hive file: not too long, no line breaks or NULs (the
// file format has no escape for them), and for key names neither empty nor containing a backslash.
// Any other UTF-16 unit, an unpaired surrogate too, is written as it is, as Windows stores it.
bool isValidKeyName(std::u16string_view name);
bool isValidValueName(std::u16string_view name);

struct RegValue {
    std::u16string name;
    std::u16string folded;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

class RegKey {
public:
    explicit RegKey(std::u16string name = {});

    const std::u16string &name() const { return m_name; }

    RegKey *findSubKey(std::u16string_view name);
    const RegKey *findSubKey(std::u16string_view name) const;
    // The existing sub-key of that name, or a new one.
    RegKey *addSubKey(std::u16string_view name, bool *created = nullptr);
    bool removeSubKey(std::u16string_view name);
    size_t subKeyCount() const { return m_subKeys.size(); }
    // index-th sub-key in enumeration order, or null.
    const RegKey *subKeyAt(size_t index) const;
    template <class F>
    void forEachSubKey(F &&f) const
    {
        for (const auto &[folded, key] : m_subKeys)
            f(*key);
    }

    RegValue *findValue(std::u16string_view name);
    const RegValue *findValue(std::u16string_view name) const;
    // Replaces the value of that name (keeping its position and its first spelling) or appends it.
    void setValue(std::u16string_view name, DWORD type, std::vector<BYTE> data);
    bool removeValue(std::u16string_view name);
    const std::vector<RegValue> &values() const { return m_values; }

    bool operator==(const RegKey &other) const;

private:
    std::u16string m_name;
    std::vector<RegValue> m_values;
    std::map<std::u16string, std::unique_ptr<RegKey>> m_subKeys; // by folded name
};

// A key path split at backslashes; an empty path gives no components. ERROR_BAD_PATHNAME for an
// empty component (a doubled, leading or trailing backslash), ERROR_INVALID_PARAMETER for a name
// that cannot be created or a path deeper than kMaxKeyDepth; out is then unspecified.
LONG splitKeyPath(std::u16string_view path, std::vector<std::u16string> &out);

// Walks components from root; null when a key on the way does not exist.
RegKey *findKey(RegKey &root, const std::vector<std::u16string> &path);

} // namespace VexoOS::Platform
