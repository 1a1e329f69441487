#pragma once
// VexoSettings, the registry implementation of lmds::IVexoSettings, and the factory that opens
// settings by path. The interface, the open modes and the value encodings are described in
// settings/IVexoSettings.h.
//
// openSettings is the way in for the rest of the plug-in:
//
//   lmtl::RefCountedPtr<lmds::IVexoSettings> settings;
//   lmds::openSettings("Settings/DesktopService", lmds::kOpenUserWithMachineReadOnly, settings.receive());
//
// Keys are opened lazily: an object touches the registry on its first operation that needs it
// (construction never does), keeps its key handles open until deleteKey() or destruction, and
// reopens after deleteKey().

#include "platform/WinTypes.h"
#include "settings/IVexoSettings.h"
#include "lmtl/RefCountedPtr.h"

#include <map>
#include <string>

namespace lmds {

// Opens the settings at a UTF-8 path split at '/' or '\' ("Settings/<component id>[/<group>...]")
// with the given mode. Only the last component's key is opened (the ones above it are not
// touched). On success *out (when out is not null) receives one reference and the result is true.
// Fails for ill-formed UTF-8, an empty last component, or a key that cannot be opened in that
// mode. Each call makes fresh objects; nothing is cached between calls.
bool openSettings(const std::string &path, int32_t mode, IVexoSettings **out);

class VexoSettings final : public IVexoSettings {
public:
    // Makes a closed object for name: key path kSettingsRootPrefix + name without a parent, the
    // parent's key path + "\" + name with one. With a parent, the object puts itself into the
    // parent's child cache (which then holds a reference), replacing what was cached under that
    // name. The reference count starts at 0: hold a new object with a retaining pointer
    // (lmtl::RefCountedPtr's constructor or reset()), never lmtl::adopt.
    VexoSettings(int32_t mode, std::u16string name, VexoSettings *parent = nullptr);
    ~VexoSettings() override;

    VexoSettings(const VexoSettings &) = delete;
    VexoSettings &operator=(const VexoSettings &) = delete;

    int32_t retain() override;
    int32_t release() override;
    int32_t getRefCount() const override;

    bool getName(std::u16string &name) override;
    bool getName(std::string &name) override;
    bool getSubKeyCount(uint32_t &count) override;
    bool getSubKeyNames(WideNames &names) override;
    bool getSubKeyNames(Names &names) override;
    bool openSubKey(const std::u16string &path, IVexoSettings **out) override;
    bool openSubKey(const std::string &path, IVexoSettings **out) override;
    bool getValueCount(uint32_t &count) override;
    bool getValueNames(WideNames &names) override;
    bool getValueNames(Names &names) override;

    using IVexoSettings::setValue;
    bool setValue(const std::u16string &key, long long value) override;
    bool setValue(const std::string &key, long long value) override;
    bool setValue(const std::u16string &key, int32_t value) override;
    bool setValue(const std::string &key, int32_t value) override;
    bool setValue(const std::u16string &key, uint32_t value) override;
    bool setValue(const std::string &key, uint32_t value) override;
#if LMDS_DISTINCT_INT64_OVERLOADS
    bool setValue(const std::u16string &key, int64_t value) override;
    bool setValue(const std::string &key, int64_t value) override;
#endif
    bool setValue(const std::u16string &key, uint64_t value) override;
    bool setValue(const std::string &key, uint64_t value) override;
    bool setValue(const std::u16string &key, float value) override;
    bool setValue(const std::string &key, float value) override;
    bool setValue(const std::u16string &key, double value) override;
    bool setValue(const std::string &key, double value) override;
    bool setValue(const std::u16string &key, bool value) override;
    bool setValue(const std::string &key, bool value) override;
    bool setValue(const std::u16string &key, const std::string &value) override;
    bool setValue(const std::string &key, const std::string &value) override;
    bool setValue(const std::u16string &key, const std::u16string &value) override;
    bool setValue(const std::string &key, const std::u16string &value) override;
    bool setValue(const std::u16string &key, const void *data, uint32_t size) override;
    bool setValue(const std::string &key, const void *data, uint32_t size) override;

    bool getValue(const std::u16string &key, long long &value) override;
    bool getValue(const std::string &key, long long &value) override;
    bool getValue(const std::u16string &key, int32_t &value) override;
    bool getValue(const std::string &key, int32_t &value) override;
    bool getValue(const std::u16string &key, uint32_t &value) override;
    bool getValue(const std::string &key, uint32_t &value) override;
#if LMDS_DISTINCT_INT64_OVERLOADS
    bool getValue(const std::u16string &key, int64_t &value) override;
    bool getValue(const std::string &key, int64_t &value) override;
#endif
    bool getValue(const std::u16string &key, uint64_t &value) override;
    bool getValue(const std::string &key, uint64_t &value) override;
    bool getValue(const std::u16string &key, float &value) override;
    bool getValue(const std::string &key, float &value) override;
    bool getValue(const std::u16string &key, double &value) override;
    bool getValue(const std::string &key, double &value) override;
    bool getValue(const std::u16string &key, bool &value) override;
    bool getValue(const std::string &key, bool &value) override;
    bool getValue(const std::u16string &key, std::string &value) override;
    bool getValue(const std::string &key, std::string &value) override;
    bool getValue(const std::u16string &key, std::u16string &value) override;
    bool getValue(const std::string &key, std::u16string &value) override;
    bool getValue(const std::u16string &key, lmtl::MemoryBuffer<char> &value) override;
    bool getValue(const std::string &key, lmtl::MemoryBuffer<char> &value) override;

    bool deleteKey() override;
    bool deleteValue(const std::u16string &key) override;
    bool deleteValue(const std::string &key) override;

    // For the key utilities (settings/RegistryKeyUtils.h).
    // Opens the key(s) the mode asks for, when not yet open. True when the object can be used.
    bool openKey();
    int32_t mode() const { return m_mode; }
    const std::u16string &keyPath() const { return m_keyPath; }
    // The key setters write to: machine-wide in modes 3, 6, 9, per-user otherwise. May be null.
    HKEY writeKey() const;
    HKEY machineKey() const { return m_machineKey; }
    // Whether reads fall back to the machine-wide key (modes 2, 5, 8).
    bool readsMachineToo() const;

private:
    template <class Read>
    bool readFromKeys(Read &&read);
    bool writeRaw(const std::u16string &key, DWORD type, const void *data, DWORD size);
    bool readInteger(const std::u16string &key, uint64_t &value);
    void closeKeys();

    int32_t m_refCount = 0;
    std::u16string m_keyPath;
    std::u16string m_name;
    int32_t m_mode;
    HKEY m_recordedRoot = nullptr;
    HKEY m_userKey = nullptr;
    HKEY m_machineKey = nullptr;
    std::map<std::u16string, lmtl::RefCountedPtr_STLSafe<IVexoSettings>> m_children;
};

} // namespace lmds
