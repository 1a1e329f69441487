#include "settings/VexoSettings.h"

#include "os/StringConversion.h"
#include "platform/Registry.h"
#include "settings/RegistryKeyUtils.h"

#include <cstring>

namespace lmds {

namespace {

constexpr REGSAM kReadWriteAccess = KEY_ALL_ACCESS | KEY_WOW64_64KEY;
constexpr REGSAM kReadOnlyAccess = KEY_READ | KEY_WOW64_64KEY;

std::u16string wide(const std::string &text) { return VexoOS::utf8ToUtf16(text); }

// Converts a wide result; false when a non-empty text does not convert (a failed conversion must
// not pass for an empty value).
bool narrow(const std::u16string &text, std::string &out)
{
    std::string converted = VexoOS::utf16ToUtf8(text);
    if (converted.empty() && !text.empty())
        return false;
    out = std::move(converted);
    return true;
}

// Opens (or, with create, creates) path below root into *key. True when a handle came back.
bool openRegistryKey(HKEY root, const std::u16string &path, bool create, REGSAM access, HKEY *key)
{
    HKEY opened = nullptr;
    const LSTATUS status = create
        ? RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &opened, nullptr)
        : RegOpenKeyExW(root, path.c_str(), 0, access, &opened);
    if (status != ERROR_SUCCESS || !opened)
        return false;
    *key = opened;
    return true;
}

size_t firstSeparator(const std::u16string &path) { return path.find_first_of(u"/\\"); }

uint64_t littleEndian(const BYTE *bytes, size_t size)
{
    uint64_t value = 0;
    for (size_t i = size; i-- > 0;)
        value = (value << 8) | bytes[i];
    return value;
}

} // namespace

bool openSettings(const std::string &path, int32_t mode, IVexoSettings **out)
{
    const std::u16string widePath = wide(path);
    if (widePath.empty())
        return false;
    // The chain's top object is held here; each object below it is held by its parent's cache.
    // When top goes, so do the inner objects, and only the caller's reference keeps the last one.
    lmtl::RefCountedPtr<VexoSettings> top;
    VexoSettings *last = nullptr;
    std::u16string rest = widePath;
    while (true) {
        const size_t separator = firstSeparator(rest);
        auto *object = new VexoSettings(mode, rest.substr(0, separator), last);
        if (!last)
            top.reset(object);
        last = object;
        if (separator == std::u16string::npos)
            break;
        rest = rest.substr(separator + 1);
    }
    if (!last->openKey())
        return false;
    if (out) {
        last->retain();
        *out = last;
    }
    return true;
}

VexoSettings::VexoSettings(int32_t mode, std::u16string name, VexoSettings *parent)
    : m_name(std::move(name)), m_mode(mode)
{
    m_keyPath = parent ? parent->m_keyPath + u"\\" + m_name : std::u16string(kSettingsRootPrefix) + m_name;
    if (parent)
        parent->m_children[m_name] = lmtl::RefCountedPtr_STLSafe<IVexoSettings>(this);
}

VexoSettings::~VexoSettings() { closeKeys(); }

int32_t VexoSettings::retain() { return ++m_refCount; }

int32_t VexoSettings::release()
{
    if (--m_refCount <= 0) {
        delete this;
        return 0;
    }
    return m_refCount;
}

int32_t VexoSettings::getRefCount() const { return m_refCount; }

void VexoSettings::closeKeys()
{
    if (m_userKey)
        RegCloseKey(m_userKey);
    if (m_machineKey)
        RegCloseKey(m_machineKey);
    m_userKey = nullptr;
    m_machineKey = nullptr;
}

bool VexoSettings::openKey()
{
    if (m_name.empty() || m_keyPath.empty())
        return false;
    switch (m_mode) {
    case kOpenUser:
    case kOpenUserReadOnly:
    case kOpenCreateUser:
        if (m_userKey)
            return true;
        if (!openRegistryKey(HKEY_CURRENT_USER, m_keyPath, m_mode == kOpenCreateUser,
                             m_mode == kOpenUserReadOnly ? kReadOnlyAccess : kReadWriteAccess, &m_userKey))
            return false;
        if (!m_recordedRoot)
            m_recordedRoot = HKEY_CURRENT_USER;
        return true;
    case kOpenMachine:
    case kOpenMachineReadOnly:
    case kOpenCreateMachine:
        if (m_machineKey)
            return true;
        if (!openRegistryKey(HKEY_LOCAL_MACHINE, m_keyPath, m_mode == kOpenCreateMachine,
                             m_mode == kOpenMachineReadOnly ? kReadOnlyAccess : kReadWriteAccess, &m_machineKey))
            return false;
        if (!m_recordedRoot)
            m_recordedRoot = HKEY_LOCAL_MACHINE;
        return true;
    case kOpenUserWithMachine:
    case kOpenUserWithMachineReadOnly: {
        const REGSAM access = m_mode == kOpenUserWithMachineReadOnly ? kReadOnlyAccess : kReadWriteAccess;
        if (!m_userKey)
            openRegistryKey(HKEY_CURRENT_USER, m_keyPath, false, access, &m_userKey);
        if (!m_machineKey)
            openRegistryKey(HKEY_LOCAL_MACHINE, m_keyPath, false, access, &m_machineKey);
        if (!m_userKey && !m_machineKey)
            return false;
        // The per-user root even when only the machine-wide key opened: deleteKey then works on
        // the user's tree, never on the machine's through a read-mostly object.
        if (!m_recordedRoot)
            m_recordedRoot = HKEY_CURRENT_USER;
        return true;
    }
    case kOpenCreateUserWithMachine:
        if (m_userKey)
            return true;
        if (!openRegistryKey(HKEY_CURRENT_USER, m_keyPath, true, kReadWriteAccess, &m_userKey))
            return false;
        if (!m_machineKey)
            openRegistryKey(HKEY_LOCAL_MACHINE, m_keyPath, false, kReadWriteAccess, &m_machineKey);
        if (!m_recordedRoot)
            m_recordedRoot = HKEY_CURRENT_USER;
        return true;
    default:
        return false;
    }
}

HKEY VexoSettings::writeKey() const
{
    const bool machineOnly = m_mode == kOpenMachine || m_mode == kOpenMachineReadOnly || m_mode == kOpenCreateMachine;
    return machineOnly ? m_machineKey : m_userKey;
}

bool VexoSettings::readsMachineToo() const
{
    return m_mode == kOpenUserWithMachine || m_mode == kOpenUserWithMachineReadOnly
        || m_mode == kOpenCreateUserWithMachine;
}

// Runs read on the write key, then (when that fails for any reason) on the machine-wide key in
// the modes that fall back to it. read(HKEY) must leave its result untouched unless it succeeds.
template <class Read>
bool VexoSettings::readFromKeys(Read &&read)
{
    if (!openKey())
        return false;
    if (HKEY key = writeKey(); key && read(key))
        return true;
    return readsMachineToo() && m_machineKey && read(m_machineKey);
}

bool VexoSettings::writeRaw(const std::u16string &key, DWORD type, const void *data, DWORD size)
{
    if (key.empty() || !openKey())
        return false;
    HKEY target = writeKey();
    return target
        && RegSetValueExW(target, key.c_str(), 0, type, static_cast<const BYTE *>(data), size) == ERROR_SUCCESS;
}

// ---- names and children -------------------------------------------------------------------------

bool VexoSettings::getName(std::u16string &name)
{
    name = m_name;
    return true;
}

bool VexoSettings::getName(std::string &name)
{
    name = VexoOS::utf16ToUtf8(m_name);
    return true;
}

bool VexoSettings::getSubKeyCount(uint32_t &count)
{
    WideNames names;
    if (!lmds::getSubKeyNames(*this, names))
        return false;
    count = static_cast<uint32_t>(names.size());
    return true;
}

bool VexoSettings::getSubKeyNames(WideNames &names) { return lmds::getSubKeyNames(*this, names); }

bool VexoSettings::getSubKeyNames(Names &names)
{
    names.clear();
    WideNames wideNames;
    const bool ok = lmds::getSubKeyNames(*this, wideNames);
    for (const std::u16string &name : wideNames) {
        std::string converted;
        if (narrow(name, converted))
            names.insert(std::move(converted));
    }
    return ok;
}

bool VexoSettings::getValueCount(uint32_t &count)
{
    WideNames names;
    if (!lmds::getValueNames(*this, names))
        return false;
    count = static_cast<uint32_t>(names.size());
    return true;
}

bool VexoSettings::getValueNames(WideNames &names) { return lmds::getValueNames(*this, names); }

bool VexoSettings::getValueNames(Names &names)
{
    names.clear();
    WideNames wideNames;
    const bool ok = lmds::getValueNames(*this, wideNames);
    for (const std::u16string &name : wideNames) {
        std::string converted;
        if (narrow(name, converted))
            names.insert(std::move(converted));
    }
    return ok;
}

bool VexoSettings::openSubKey(const std::u16string &path, IVexoSettings **out)
{
    if (path.empty() || !openKey())
        return false;
    const size_t separator = firstSeparator(path);
    const std::u16string head = path.substr(0, separator);
    const std::u16string rest = separator == std::u16string::npos ? std::u16string() : path.substr(separator + 1);
    if (head.empty())
        return false;

    IVexoSettings *child = nullptr;
    if (auto cached = m_children.find(head); cached != m_children.end()) {
        // A cached child is handed out even if its key never opened.
        child = cached->second.get();
    } else {
        auto *created = new VexoSettings(m_mode, head, this); // now held by m_children
        if (!created->openKey())
            return false;
        child = created;
    }
    if (!rest.empty())
        return child->openSubKey(rest, out);
    if (out) {
        child->retain();
        *out = child;
    }
    return true;
}

bool VexoSettings::openSubKey(const std::string &path, IVexoSettings **out) { return openSubKey(wide(path), out); }

bool VexoSettings::deleteKey()
{
    closeKeys();
    m_children.clear();
    if (!m_recordedRoot)
        return false;
    return deleteKeyTree(m_keyPath, m_recordedRoot);
}

bool VexoSettings::deleteValue(const std::u16string &key)
{
    if (key.empty() || !openKey())
        return false;
    HKEY target = writeKey();
    return target && RegDeleteValueW(target, key.c_str()) == ERROR_SUCCESS;
}

bool VexoSettings::deleteValue(const std::string &key) { return deleteValue(wide(key)); }

// ---- setters ------------------------------------------------------------------------------------

bool VexoSettings::setValue(const std::u16string &key, long long value)
{
    BYTE bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<BYTE>(static_cast<unsigned long long>(value) >> (8 * i));
    return writeRaw(key, REG_QWORD, bytes, sizeof bytes);
}

bool VexoSettings::setValue(const std::u16string &key, int32_t value) { return setValue(key, static_cast<long long>(value)); }
bool VexoSettings::setValue(const std::u16string &key, uint32_t value) { return setValue(key, static_cast<long long>(value)); }
#if LMDS_DISTINCT_INT64_OVERLOADS
bool VexoSettings::setValue(const std::u16string &key, int64_t value) { return setValue(key, static_cast<long long>(value)); }
#endif
bool VexoSettings::setValue(const std::u16string &key, uint64_t value) { return setValue(key, static_cast<long long>(value)); }

bool VexoSettings::setValue(const std::u16string &key, float value)
{
    BYTE bytes[4];
    std::memcpy(bytes, &value, sizeof bytes);
    return writeRaw(key, REG_DWORD, bytes, sizeof bytes);
}

bool VexoSettings::setValue(const std::u16string &key, double value)
{
    BYTE bytes[8];
    std::memcpy(bytes, &value, sizeof bytes);
    return writeRaw(key, REG_QWORD, bytes, sizeof bytes);
}

bool VexoSettings::setValue(const std::u16string &key, bool value)
{
    const BYTE bytes[4] = {BYTE(value ? 1 : 0), 0, 0, 0};
    return writeRaw(key, REG_DWORD, bytes, sizeof bytes);
}

bool VexoSettings::setValue(const std::u16string &key, const std::string &value)
{
    const std::u16string converted = wide(value);
    // Ill-formed UTF-8 converts to nothing; storing that would replace the value with "".
    if (converted.empty() && !value.empty())
        return false;
    return setValue(key, converted);
}

bool VexoSettings::setValue(const std::u16string &key, const std::u16string &value)
{
    return writeRaw(key, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
}

bool VexoSettings::setValue(const std::u16string &key, const void *data, uint32_t size)
{
    if (size != 0 && !data)
        return false;
    return writeRaw(key, REG_BINARY, data, size);
}

bool VexoSettings::setValue(const std::string &key, long long value) { return setValue(wide(key), value); }
bool VexoSettings::setValue(const std::string &key, int32_t value) { return setValue(wide(key), value); }
bool VexoSettings::setValue(const std::string &key, uint32_t value) { return setValue(wide(key), value); }
#if LMDS_DISTINCT_INT64_OVERLOADS
bool VexoSettings::setValue(const std::string &key, int64_t value) { return setValue(wide(key), value); }
#endif
bool VexoSettings::setValue(const std::string &key, uint64_t value) { return setValue(wide(key), value); }
bool VexoSettings::setValue(const std::string &key, float value) { return setValue(wide(key), value); }
bool VexoSettings::setValue(const std::string &key, double value) { return setValue(wide(key), value); }
bool VexoSettings::setValue(const std::string &key, bool value) { return setValue(wide(key), value); }
bool VexoSettings::setValue(const std::string &key, const std::string &value) { return setValue(wide(key), value); }
bool VexoSettings::setValue(const std::string &key, const std::u16string &value) { return setValue(wide(key), value); }
bool VexoSettings::setValue(const std::string &key, const void *data, uint32_t size) { return setValue(wide(key), data, size); }

// ---- getters ------------------------------------------------------------------------------------
// Each reads into a local and copies to the caller's variable only on success.

bool VexoSettings::readInteger(const std::u16string &key, uint64_t &value)
{
    if (key.empty())
        return false;
    return readFromKeys([&](HKEY h) {
        DWORD type = REG_NONE;
        BYTE bytes[8];
        DWORD size = sizeof bytes;
        if (RegQueryValueExW(h, key.c_str(), nullptr, &type, bytes, &size) != ERROR_SUCCESS)
            return false;
        if ((type != REG_QWORD && type != REG_DWORD) || (size != 8 && size != 4))
            return false;
        value = littleEndian(bytes, size);
        return true;
    });
}

namespace {

// A value of exactly this type and size.
bool readExact(HKEY h, const std::u16string &key, DWORD wantedType, BYTE *bytes, DWORD wantedSize)
{
    DWORD type = REG_NONE;
    DWORD size = wantedSize;
    return RegQueryValueExW(h, key.c_str(), nullptr, &type, bytes, &size) == ERROR_SUCCESS && type == wantedType
        && size == wantedSize;
}

} // namespace

bool VexoSettings::getValue(const std::u16string &key, long long &value)
{
    uint64_t raw;
    if (!readInteger(key, raw))
        return false;
    value = static_cast<long long>(raw);
    return true;
}

bool VexoSettings::getValue(const std::u16string &key, int32_t &value)
{
    uint64_t raw;
    if (!readInteger(key, raw))
        return false;
    value = static_cast<int32_t>(static_cast<uint32_t>(raw));
    return true;
}

bool VexoSettings::getValue(const std::u16string &key, uint32_t &value)
{
    uint64_t raw;
    if (!readInteger(key, raw))
        return false;
    value = static_cast<uint32_t>(raw);
    return true;
}

#if LMDS_DISTINCT_INT64_OVERLOADS
bool VexoSettings::getValue(const std::u16string &key, int64_t &value)
{
    uint64_t raw;
    if (!readInteger(key, raw))
        return false;
    value = static_cast<int64_t>(raw);
    return true;
}
#endif

bool VexoSettings::getValue(const std::u16string &key, uint64_t &value) { return readInteger(key, value); }

bool VexoSettings::getValue(const std::u16string &key, float &value)
{
    BYTE bytes[4];
    if (key.empty() || !readFromKeys([&](HKEY h) { return readExact(h, key, REG_DWORD, bytes, 4); }))
        return false;
    std::memcpy(&value, bytes, sizeof value);
    return true;
}

bool VexoSettings::getValue(const std::u16string &key, double &value)
{
    BYTE bytes[8];
    if (key.empty() || !readFromKeys([&](HKEY h) { return readExact(h, key, REG_QWORD, bytes, 8); }))
        return false;
    std::memcpy(&value, bytes, sizeof value);
    return true;
}

bool VexoSettings::getValue(const std::u16string &key, bool &value)
{
    BYTE bytes[4];
    if (key.empty() || !readFromKeys([&](HKEY h) { return readExact(h, key, REG_DWORD, bytes, 4); }))
        return false;
    value = littleEndian(bytes, 4) != 0;
    return true;
}

bool VexoSettings::getValue(const std::u16string &key, std::u16string &value)
{
    if (key.empty())
        return false;
    std::u16string text;
    const bool ok = readFromKeys([&](HKEY h) {
        DWORD type = REG_NONE;
        DWORD size = 0;
        if (RegQueryValueExW(h, key.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ || size == 0)
            return false;
        // Room for an odd byte count and a terminator the data may lack.
        lmtl::MemoryBuffer<char16_t> buffer;
        buffer.resize((size + 2) / 2 + 1, true);
        if (!buffer.data())
            return false;
        const DWORD firstSize = size;
        size = buffer.size() * sizeof(char16_t);
        if (RegQueryValueExW(h, key.c_str(), nullptr, &type, reinterpret_cast<BYTE *>(buffer.data()), &size) != ERROR_SUCCESS
            || type != REG_SZ || size != firstSize)
            return false;
        text.assign(buffer.data());
        return true;
    });
    if (ok)
        value = std::move(text);
    return ok;
}

bool VexoSettings::getValue(const std::u16string &key, std::string &value)
{
    std::u16string text;
    return getValue(key, text) && narrow(text, value);
}

bool VexoSettings::getValue(const std::u16string &key, lmtl::MemoryBuffer<char> &value)
{
    if (key.empty())
        return false;
    lmtl::MemoryBuffer<char> data;
    const bool ok = readFromKeys([&](HKEY h) {
        DWORD type = REG_NONE;
        DWORD size = 0;
        if (RegQueryValueExW(h, key.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_BINARY || size == 0)
            return false;
        data.resize(size);
        if (!data.data())
            return false;
        const DWORD firstSize = size;
        return RegQueryValueExW(h, key.c_str(), nullptr, &type, reinterpret_cast<BYTE *>(data.data()), &size) == ERROR_SUCCESS
            && type == REG_BINARY && size == firstSize;
    });
    if (ok)
        value = std::move(data);
    return ok;
}

bool VexoSettings::getValue(const std::string &key, long long &value) { return getValue(wide(key), value); }
bool VexoSettings::getValue(const std::string &key, int32_t &value) { return getValue(wide(key), value); }
bool VexoSettings::getValue(const std::string &key, uint32_t &value) { return getValue(wide(key), value); }
#if LMDS_DISTINCT_INT64_OVERLOADS
bool VexoSettings::getValue(const std::string &key, int64_t &value) { return getValue(wide(key), value); }
#endif
bool VexoSettings::getValue(const std::string &key, uint64_t &value) { return getValue(wide(key), value); }
bool VexoSettings::getValue(const std::string &key, float &value) { return getValue(wide(key), value); }
bool VexoSettings::getValue(const std::string &key, double &value) { return getValue(wide(key), value); }
bool VexoSettings::getValue(const std::string &key, bool &value) { return getValue(wide(key), value); }
bool VexoSettings::getValue(const std::string &key, std::string &value) { return getValue(wide(key), value); }
bool VexoSettings::getValue(const std::string &key, std::u16string &value) { return getValue(wide(key), value); }
bool VexoSettings::getValue(const std::string &key, lmtl::MemoryBuffer<char> &value) { return getValue(wide(key), value); }

} // namespace lmds
