#include "platform/RegistryTree.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <clocale>
#include <cwctype>
#include <locale.h>
#endif

namespace VexoOS::Platform {

namespace {

#ifdef _WIN32

// The invariant locale's upper case, unit by unit: the table the registry itself folds names with.
char16_t upcase(char16_t unit)
{
    if (unit < 0x80)
        return (unit >= u'a' && unit <= u'z') ? char16_t(unit - 0x20) : unit;
    wchar_t in = static_cast<wchar_t>(unit);
    wchar_t out = in;
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, &in, 1, &out, 1, nullptr, nullptr, 0) != 1)
        return unit;
    return static_cast<char16_t>(out);
}

#else

// The C.UTF-8 locale gives full Unicode simple upper-casing for single BMP units, which is how
// Windows folds registry names. Without it we fold ASCII only.
locale_t upcaseLocale()
{
    static const locale_t locale = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

char16_t upcase(char16_t unit)
{
    if (unit < 0x80)
        return (unit >= u'a' && unit <= u'z') ? char16_t(unit - 0x20) : unit;
    if (unit >= 0xD800 && unit <= 0xDFFF)
        return unit;
    if (locale_t locale = upcaseLocale()) {
        const wint_t upper = ::towupper_l(static_cast<wint_t>(unit), locale);
        // A unit whose upper case lies outside the BMP cannot be folded unit by unit.
        if (upper <= 0xFFFF)
            return static_cast<char16_t>(upper);
    }
    return unit;
}

#endif

bool hasLineBreak(std::u16string_view name)
{
    for (char16_t c : name)
        if (c == u'\n' || c == u'\r' || c == u'\0')
            return true;
    return false;
}

} // namespace

std::u16string foldName(std::u16string_view name)
{
    std::u16string folded(name);
    for (char16_t &c : folded)
        c = upcase(c);
    return folded;
}

bool isValidKeyName(std::u16string_view name)
{
    return !name.empty() && name.size() <= kMaxKeyNameLength && name.find(u'\\') == std::u16string_view::npos
        && !hasLineBreak(name);
}

bool isValidValueName(std::u16string_view name)
{
    return name.size() <= kMaxValueNameLength && !hasLineBreak(name);
}

RegKey::RegKey(std::u16string name) : m_name(std::move(name)) {}

RegKey *RegKey::findSubKey(std::u16string_view name)
{
    auto it = m_subKeys.find(foldName(name));
    return it == m_subKeys.end() ? nullptr : it->second.get();
}

const RegKey *RegKey::findSubKey(std::u16string_view name) const
{
    return const_cast<RegKey *>(this)->findSubKey(name);
}

RegKey *RegKey::addSubKey(std::u16string_view name, bool *created)
{
    auto [it, inserted] = m_subKeys.try_emplace(foldName(name));
    if (inserted)
        it->second = std::make_unique<RegKey>(std::u16string(name));
    if (created)
        *created = inserted;
    return it->second.get();
}

bool RegKey::removeSubKey(std::u16string_view name)
{
    return m_subKeys.erase(foldName(name)) != 0;
}

const RegKey *RegKey::subKeyAt(size_t index) const
{
    if (index >= m_subKeys.size())
        return nullptr;
    auto it = m_subKeys.begin();
    std::advance(it, static_cast<std::ptrdiff_t>(index));
    return it->second.get();
}

RegValue *RegKey::findValue(std::u16string_view name)
{
    const std::u16string folded = foldName(name);
    for (RegValue &value : m_values)
        if (value.folded == folded)
            return &value;
    return nullptr;
}

const RegValue *RegKey::findValue(std::u16string_view name) const
{
    return const_cast<RegKey *>(this)->findValue(name);
}

void RegKey::setValue(std::u16string_view name, DWORD type, std::vector<BYTE> data)
{
    if (RegValue *existing = findValue(name)) {
        existing->type = type;
        existing->data = std::move(data);
        return;
    }
    RegValue value;
    value.name = std::u16string(name);
    value.folded = foldName(name);
    value.type = type;
    value.data = std::move(data);
    m_values.push_back(std::move(value));
}

bool RegKey::removeValue(std::u16string_view name)
{
    const std::u16string folded = foldName(name);
    for (auto it = m_values.begin(); it != m_values.end(); ++it) {
        if (it->folded == folded) {
            m_values.erase(it);
            return true;
        }
    }
    return false;
}

bool RegKey::operator==(const RegKey &other) const
{
    if (m_name != other.m_name || m_values.size() != other.m_values.size()
        || m_subKeys.size() != other.m_subKeys.size())
        return false;
    for (size_t i = 0; i < m_values.size(); ++i) {
        const RegValue &a = m_values[i];
        const RegValue &b = other.m_values[i];
        if (a.name != b.name || a.type != b.type || a.data != b.data)
            return false;
    }
    auto it = other.m_subKeys.begin();
    for (const auto &[folded, key] : m_subKeys) {
        if (folded != it->first || !(*key == *it->second))
            return false;
        ++it;
    }
    return true;
}

LONG splitKeyPath(std::u16string_view path, std::vector<std::u16string> &out)
{
    out.clear();
    if (path.empty())
        return ERROR_SUCCESS;
    size_t start = 0;
    while (true) {
        const size_t end = path.find(u'\\', start);
        const std::u16string_view component = path.substr(start, end == std::u16string_view::npos ? path.npos : end - start);
        if (component.empty())
            return ERROR_BAD_PATHNAME;
        if (!isValidKeyName(component) || out.size() >= kMaxKeyDepth)
            return ERROR_INVALID_PARAMETER;
        out.emplace_back(component);
        if (end == std::u16string_view::npos)
            return ERROR_SUCCESS;
        start = end + 1;
    }
}

RegKey *findKey(RegKey &root, const std::vector<std::u16string> &path)
{
    RegKey *key = &root;
    for (const std::u16string &component : path) {
        key = key->findSubKey(component);
        if (!key)
            return nullptr;
    }
    return key;
}

} // namespace VexoOS::Platform
