// Hive files and the registry editor, both ways, in the windows build: the editor imports a hive in
// the form we write it with every name and value intact (non-ASCII ones above all, which a file
// without the byte-order mark would garble), and we read what the editor exports.

#include "RegistryTestSupport.h"
#include "platform/HiveFormat.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace RegistryTest;
using namespace VexoOS::Platform;

namespace {

constexpr std::u16string_view kUser = u"HKEY_CURRENT_USER";

std::vector<BYTE> utf16z(std::u16string_view text)
{
    std::vector<BYTE> bytes;
    for (char16_t c : text) {
        bytes.push_back(BYTE(c & 0xFF));
        bytes.push_back(BYTE(c >> 8));
    }
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

// Runs the registry editor with arguments and waits for it; its exit code, or -1.
int runRegistryEditor(const std::wstring &arguments)
{
    std::wstring command = L"regedit.exe " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return int(code);
}

std::wstring quoted(const std::filesystem::path &path) { return L"\"" + path.wstring() + L"\""; }

// The live key's values and sub-keys, read through the registry calls, as a tree.
RegKey readLive(HKEY key, const std::u16string &name)
{
    RegKey tree(name);
    for (DWORD index = 0;; ++index) {
        char16_t valueName[16384];
        DWORD length = 16384, type = 0, size = 0;
        if (RegEnumValueW(key, index, valueName, &length, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        std::vector<BYTE> data(size);
        length = 16384;
        RegEnumValueW(key, index, valueName, &length, nullptr, &type, data.data(), &size);
        tree.setValue(std::u16string(valueName, length), type, std::move(data));
    }
    for (DWORD index = 0;; ++index) {
        char16_t subName[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, subName, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY sub = nullptr;
        const std::u16string subKey(subName, length);
        if (RegOpenKeyExW(key, subKey.c_str(), 0, KEY_READ, &sub) != ERROR_SUCCESS)
            continue;
        *tree.addSubKey(subKey) = readLive(sub, subKey);
        RegCloseKey(sub);
    }
    return tree;
}

// Values in an order that a sorted enumeration and a creation-order one agree on.
RegKey interchangeTree()
{
    RegKey root;
    RegKey *vexo = root.addSubKey(u"SOFTWARE")->addSubKey(u"Vexo");
    RegKey *key = vexo->addSubKey(u"Gr\u00fc\u00df");
    key->setValue(u"", REG_SZ, utf16z(u"d\u00e9faut"));
    key->setValue(u"Caf\u00e9", REG_SZ, utf16z(u"caf\u00e9 \u65e5\u672c \U0001F600 \"quoted\" \\ back"));
    key->setValue(u"Count", REG_QWORD, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F});
    key->setValue(u"Flag", REG_DWORD, {1, 0, 0, 0});
    std::vector<BYTE> blob(200);
    for (size_t i = 0; i < blob.size(); ++i)
        blob[i] = BYTE(i * 13);
    key->setValue(u"M\u00e9moire", REG_BINARY, blob);
    key->setValue(u"Path", REG_EXPAND_SZ, utf16z(u"%TEMP%\\Vid\u00e9os"));
    key->addSubKey(u"\u65e5\u672c")->setValue(u"\u00c9t\u00e9", REG_SZ, utf16z(u"\u00e9t\u00e9"));
    return root;
}

} // namespace

TEST(RegistryInterchange, theEditorImportsOurHiveWithEveryNonAsciiNameAndValueIntact)
{
    ScratchRegistry scratch;
    const RegKey expected = interchangeTree();
    std::string bytes;
    ASSERT_TRUE(serializeHive(expected, kUser, bytes));
    const std::filesystem::path file = scratch.folder() / "user.reg";
    std::ofstream(file, std::ios::binary) << bytes;

    ASSERT_EQ(runRegistryEditor(L"/S " + quoted(file)), 0);
    HKEY vexo = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo", 0, KEY_READ, &vexo), ERROR_SUCCESS);
    const RegKey live = readLive(vexo, u"Vexo");
    RegCloseKey(vexo);
    EXPECT_TRUE(live == *expected.findSubKey(u"SOFTWARE")->findSubKey(u"Vexo"));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Gr\u00fc\u00df", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(queryString(key, u"Caf\u00e9"), u"caf\u00e9 \u65e5\u672c \U0001F600 \"quoted\" \\ back");
    EXPECT_EQ(queryString(key, nullptr), u"d\u00e9faut");
    RegCloseKey(key);
}

TEST(RegistryInterchange, weReadWhatTheEditorExports)
{
    ScratchRegistry scratch;
    const RegKey expected = interchangeTree();
    const RegKey &grussTree = *expected.findSubKey(u"SOFTWARE")->findSubKey(u"Vexo")->findSubKey(u"Gr\u00fc\u00df");
    HKEY gruss = createKey(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Gr\u00fc\u00df");
    ASSERT_TRUE(gruss);
    for (const RegValue &value : grussTree.values())
        ASSERT_EQ(RegSetValueExW(gruss, value.name.c_str(), 0, value.type, value.data.data(), DWORD(value.data.size())),
                  ERROR_SUCCESS);
    HKEY japan = createKey(gruss, u"\u65e5\u672c");
    ASSERT_EQ(setString(japan, u"\u00c9t\u00e9", u"\u00e9t\u00e9"), ERROR_SUCCESS);
    RegCloseKey(japan);
    RegCloseKey(gruss);

    const std::filesystem::path file = scratch.folder() / "export.reg";
    ASSERT_EQ(runRegistryEditor(L"/E " + quoted(file) + L" HKEY_CURRENT_USER\\SOFTWARE\\Vexo"), 0);
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(bytes.starts_with(kUtf16ByteOrderMark)) << "the editor exports UTF-16LE";
    RegKey exported;
    std::string error;
    ASSERT_TRUE(parseHive(bytes, kUser, exported, error)) << error;
    EXPECT_TRUE(exported == expected);
}
