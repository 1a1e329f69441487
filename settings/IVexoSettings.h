#pragma once
// lmds::IVexoSettings: a settings key of the registry, with typed reads and writes.
//
// A settings object stands for one key below "SOFTWARE\Vexo\" and can look at two keys at once:
// the per-user key (HKEY_CURRENT_USER) and the machine-wide key (HKEY_LOCAL_MACHINE) with the same
// path. Its open mode (OpenMode below, fixed when the object is made) says which it opens, whether
// it may write and whether it creates a missing key. Reads try the per-user key first and, in the
// modes that open both, fall back to the machine-wide one; writes go to one key only.
//
// Objects come from the factory lmds::openSettings (settings/VexoSettings.h) and from openSubKey.
// Either hands the caller one reference, which the caller gives back with release() (or holds in
// an lmtl::RefCountedPtr, filled through receive()).
//
//   lmtl::RefCountedPtr<lmds::IVexoSettings> component, group;
//   if (lmds::openSettings("Settings/" + componentId, lmds::kOpenCreateUserWithMachine, component.receive())
//       && component->openSubKey("Player", group.receive())) {
//       bool fullScreen = false;                  // the default, kept when the read fails
//       group->getValue("FullScreen", fullScreen);
//   }
//
// Every operation exists for UTF-16 names (std::u16string) and for UTF-8 names (std::string; they
// are converted, and ill-formed UTF-8 fails the call). Every operation answers true on success.
// Getters write their out-parameter only on success, so callers pre-load it with the default.
//
// Value encodings: integers of every width are REG_QWORD of 8 bytes (32-bit ones sign- or
// zero-extended); float is REG_DWORD holding the IEEE single; double is REG_QWORD holding the
// IEEE double; bool is REG_DWORD 1 or 0; strings are REG_SZ in UTF-16 with the terminator; binary
// is REG_BINARY.
//
// Not thread-safe: an object and the children it opened belong to one thread at a time (their
// reference count is a plain integer). Different objects may be used on different threads, and
// by different processes, at once.

#include "lmtl/IRefCounted.h"
#include "os/MemoryBuffer.h"

#include <climits>
#include <cstdint>
#include <set>
#include <string>
#include <type_traits>

namespace lmds {

// The open modes: which keys an object opens, and how.
enum OpenMode : int32_t {
    kOpenUser = 1,                    // per-user, existing, read-write
    kOpenUserWithMachine = 2,         // per-user then machine-wide, existing, read-write
    kOpenMachine = 3,                 // machine-wide, existing, read-write
    kOpenUserReadOnly = 4,            // per-user, existing, read-only
    kOpenUserWithMachineReadOnly = 5, // per-user then machine-wide, existing, read-only
    kOpenMachineReadOnly = 6,         // machine-wide, existing, read-only
    kOpenCreateUser = 7,              // per-user, created when missing, read-write
    kOpenCreateUserWithMachine = 8,   // per-user created when missing, then machine-wide existing
    kOpenCreateMachine = 9,           // machine-wide, created when missing, read-write
};

// The registry path every settings key lies below.
inline constexpr char16_t kSettingsRootPrefix[] = u"SOFTWARE\\Vexo\\";

// The "64-bit integer" setter and getter below take long long, the signed 64-bit ones int64_t. On
// LP64 systems (Linux) int64_t is long, a type of its own, so both sets exist; on LLP64 systems
// (Windows) int64_t is long long itself and the one set serves both.
#if LONG_MAX == INT64_MAX
#define LMDS_DISTINCT_INT64_OVERLOADS 1
#else
#define LMDS_DISTINCT_INT64_OVERLOADS 0
#endif
static_assert(std::is_same_v<long long, int64_t> == !LMDS_DISTINCT_INT64_OVERLOADS,
              "int64_t is long long exactly where long is 32 bits");

class IVexoSettings : public lmtl::IRefCounted {
public:
    using WideNames = std::set<std::u16string>;
    using Names = std::set<std::string>;

    // The object's own name (the last component of its path). Always true.
    virtual bool getName(std::u16string &name) = 0;
    virtual bool getName(std::string &name) = 0;

    // Distinct sub-key names over the keys this object reads (per-user and machine-wide).
    virtual bool getSubKeyCount(uint32_t &count) = 0;
    // Clears names, then fills it; a failure can leave it partly filled.
    virtual bool getSubKeyNames(WideNames &names) = 0;
    virtual bool getSubKeyNames(Names &names) = 0;

    // Opens the child at a relative path ("Group" or "Group/Sub", '/' or '\'), with this object's
    // mode. *out (when out is not null) receives one reference. Children are cached: opening the
    // same name again gives the same object.
    virtual bool openSubKey(const std::u16string &path, IVexoSettings **out) = 0;
    virtual bool openSubKey(const std::string &path, IVexoSettings **out) = 0;

    // Distinct named values over the keys this object reads (the unnamed default value is not
    // counted).
    virtual bool getValueCount(uint32_t &count) = 0;
    virtual bool getValueNames(WideNames &names) = 0;
    virtual bool getValueNames(Names &names) = 0;

    virtual bool setValue(const std::u16string &key, long long value) = 0;
    virtual bool setValue(const std::string &key, long long value) = 0;
    virtual bool setValue(const std::u16string &key, int32_t value) = 0;
    virtual bool setValue(const std::string &key, int32_t value) = 0;
    virtual bool setValue(const std::u16string &key, uint32_t value) = 0;
    virtual bool setValue(const std::string &key, uint32_t value) = 0;
#if LMDS_DISTINCT_INT64_OVERLOADS
    virtual bool setValue(const std::u16string &key, int64_t value) = 0;
    virtual bool setValue(const std::string &key, int64_t value) = 0;
#endif
    virtual bool setValue(const std::u16string &key, uint64_t value) = 0;
    virtual bool setValue(const std::string &key, uint64_t value) = 0;
    virtual bool setValue(const std::u16string &key, float value) = 0;
    virtual bool setValue(const std::string &key, float value) = 0;
    virtual bool setValue(const std::u16string &key, double value) = 0;
    virtual bool setValue(const std::string &key, double value) = 0;
    virtual bool setValue(const std::u16string &key, bool value) = 0;
    virtual bool setValue(const std::string &key, bool value) = 0;
    // A UTF-8 string value.
    virtual bool setValue(const std::u16string &key, const std::string &value) = 0;
    virtual bool setValue(const std::string &key, const std::string &value) = 0;
    // A UTF-16 string value.
    virtual bool setValue(const std::u16string &key, const std::u16string &value) = 0;
    virtual bool setValue(const std::string &key, const std::u16string &value) = 0;
    // Binary; fails when size is not 0 and data is null.
    virtual bool setValue(const std::u16string &key, const void *data, uint32_t size) = 0;
    virtual bool setValue(const std::string &key, const void *data, uint32_t size) = 0;

    // Integers accept REG_QWORD or REG_DWORD of 8 or 4 bytes (a 4-byte value is zero-extended);
    // the 32-bit getters take the low 32 bits.
    virtual bool getValue(const std::u16string &key, long long &value) = 0;
    virtual bool getValue(const std::string &key, long long &value) = 0;
    virtual bool getValue(const std::u16string &key, int32_t &value) = 0;
    virtual bool getValue(const std::string &key, int32_t &value) = 0;
    virtual bool getValue(const std::u16string &key, uint32_t &value) = 0;
    virtual bool getValue(const std::string &key, uint32_t &value) = 0;
#if LMDS_DISTINCT_INT64_OVERLOADS
    virtual bool getValue(const std::u16string &key, int64_t &value) = 0;
    virtual bool getValue(const std::string &key, int64_t &value) = 0;
#endif
    virtual bool getValue(const std::u16string &key, uint64_t &value) = 0;
    virtual bool getValue(const std::string &key, uint64_t &value) = 0;
    // Only REG_DWORD of exactly 4 bytes.
    virtual bool getValue(const std::u16string &key, float &value) = 0;
    virtual bool getValue(const std::string &key, float &value) = 0;
    // Only REG_QWORD of exactly 8 bytes.
    virtual bool getValue(const std::u16string &key, double &value) = 0;
    virtual bool getValue(const std::string &key, double &value) = 0;
    // Only REG_DWORD of exactly 4 bytes; true when not zero.
    virtual bool getValue(const std::u16string &key, bool &value) = 0;
    virtual bool getValue(const std::string &key, bool &value) = 0;
    // Only REG_SZ (not REG_EXPAND_SZ or REG_MULTI_SZ) of non-zero size; the text up to the first
    // NUL. The UTF-8 form fails when the text cannot be converted.
    virtual bool getValue(const std::u16string &key, std::string &value) = 0;
    virtual bool getValue(const std::string &key, std::string &value) = 0;
    virtual bool getValue(const std::u16string &key, std::u16string &value) = 0;
    virtual bool getValue(const std::string &key, std::u16string &value) = 0;
    // Only REG_BINARY of non-zero size.
    virtual bool getValue(const std::u16string &key, lmtl::MemoryBuffer<char> &value) = 0;
    virtual bool getValue(const std::string &key, lmtl::MemoryBuffer<char> &value) = 0;

    // Closes the keys, drops the cached children and deletes the whole key tree (under the root
    // the object first opened). The object stays usable: its next operation opens the key again,
    // and in the creating modes makes it anew. False when the object was never opened.
    virtual bool deleteKey() = 0;

    // Deletes a value from the key this object writes to.
    virtual bool deleteValue(const std::u16string &key) = 0;
    virtual bool deleteValue(const std::string &key) = 0;

    // String literals as values: without these, setValue("key", "text") would pick the bool
    // overload (a pointer converts to bool before it converts to a string).
    bool setValue(const std::string &key, const char *value) { return setValue(key, std::string(value ? value : "")); }
    bool setValue(const std::u16string &key, const char *value) { return setValue(key, std::string(value ? value : "")); }
    bool setValue(const std::string &key, const char16_t *value) { return setValue(key, std::u16string(value ? value : u"")); }
    bool setValue(const std::u16string &key, const char16_t *value) { return setValue(key, std::u16string(value ? value : u"")); }
};

} // namespace lmds
