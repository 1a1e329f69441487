// VexoSettings through the factory, as the plug-in uses it: open modes, value encodings, the
// fallback to the machine-wide key, children, deletion, and another process's view. The same cases
// run over the system's registry in the windows build.

#include "settings/VexoSettings.h"
#include "tests/platform/RegistryTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

using lmds::IVexoSettings;
using lmtl::RefCountedPtr;
using namespace RegistryTest;

namespace {

#ifndef _WIN32
// Made before the registry's own state, so destroyed after it at exit, like the plug-in's
// process-wide settings objects.
RefCountedPtr<IVexoSettings> processWideSettings;
#endif

RefCountedPtr<IVexoSettings> openAt(const std::string &path, int32_t mode)
{
    RefCountedPtr<IVexoSettings> settings;
    lmds::openSettings(path, mode, settings.receive());
    return settings;
}

// The raw value under root\SOFTWARE\Vexo\<path>.
LONG rawValue(HKEY root, const std::u16string &path, const char16_t *name, DWORD &type, std::vector<BYTE> &bytes)
{
    HKEY key = nullptr;
    const std::u16string full = u"SOFTWARE\\Vexo\\" + path;
    LONG status = RegOpenKeyExW(root, full.c_str(), 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS)
        return status;
    status = query(key, name, type, bytes);
    RegCloseKey(key);
    return status;
}

bool keyExists(HKEY root, const std::u16string &path)
{
    HKEY key = nullptr;
    const std::u16string full = u"SOFTWARE\\Vexo\\" + path;
    if (RegOpenKeyExW(root, full.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void putMachineString(const std::u16string &path, const char16_t *name, const std::u16string &text)
{
    HKEY key = createKey(HKEY_LOCAL_MACHINE, (u"SOFTWARE\\Vexo\\" + path).c_str());
    ASSERT_TRUE(key);
    ASSERT_EQ(setString(key, name, text), ERROR_SUCCESS);
    RegCloseKey(key);
}

} // namespace

TEST(VexoSettings, factoryHandsOutOneReferenceToTheLastComponent)
{
    ScratchRegistry scratch;
    IVexoSettings *raw = nullptr;
    ASSERT_TRUE(lmds::openSettings("Settings/App", lmds::kOpenCreateUserWithMachine, &raw));
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->getRefCount(), 1);
    std::string name;
    EXPECT_TRUE(raw->getName(name));
    EXPECT_EQ(name, "App");
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, u"Settings\\App"));
    EXPECT_EQ(raw->release(), 0);

    // Fresh objects per call: nothing is cached between calls.
    auto first = openAt("Settings/App", lmds::kOpenCreateUser);
    auto second = openAt("Settings/App", lmds::kOpenCreateUser);
    EXPECT_NE(first.get(), second.get());

    // A new object has no references until someone takes one.
    auto *loose = new lmds::VexoSettings(lmds::kOpenCreateUser, u"Loose");
    EXPECT_EQ(loose->getRefCount(), 0);
    EXPECT_EQ(loose->retain(), 1);
    EXPECT_EQ(loose->release(), 0); // destroyed
}

TEST(VexoSettings, factoryRefusesEmptyAndMalformedPathsAndUnknownModes)
{
    ScratchRegistry scratch;
    IVexoSettings *untouched = reinterpret_cast<IVexoSettings *>(0x1);
    EXPECT_FALSE(lmds::openSettings("Settings/", lmds::kOpenCreateUserWithMachine, &untouched)); // empty component id
    EXPECT_FALSE(lmds::openSettings("", lmds::kOpenCreateUserWithMachine, &untouched));
    EXPECT_FALSE(lmds::openSettings("Settings/\xC3", lmds::kOpenCreateUserWithMachine, &untouched));
    EXPECT_FALSE(lmds::openSettings("Settings/App", 0, &untouched));
    EXPECT_FALSE(lmds::openSettings("Settings/App", 10, &untouched));
    EXPECT_FALSE(lmds::openSettings("Settings/App", lmds::kOpenUser, &untouched)); // does not exist
    EXPECT_EQ(untouched, reinterpret_cast<IVexoSettings *>(0x1));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, u"Settings"));
}

TEST(VexoSettings, integersAreEightByteQwordsAndOtherTypesTheirOwnEncoding)
{
    ScratchRegistry scratch;
    auto settings = openAt("Settings/Types", lmds::kOpenCreateUser);
    ASSERT_TRUE(settings);
    DWORD type = 0;
    std::vector<BYTE> bytes;

    ASSERT_TRUE(settings->setValue("minusOne", int32_t(-1)));
    ASSERT_EQ(rawValue(HKEY_CURRENT_USER, u"Settings\\Types", u"minusOne", type, bytes), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_QWORD);
    EXPECT_EQ(bytes, std::vector<BYTE>(8, 0xFF));

    ASSERT_TRUE(settings->setValue(u"allOnes32", uint32_t(0xFFFFFFFF)));
    ASSERT_EQ(rawValue(HKEY_CURRENT_USER, u"Settings\\Types", u"allOnes32", type, bytes), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_QWORD);
    EXPECT_EQ(bytes, std::vector<BYTE>({0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}));

    ASSERT_TRUE(settings->setValue("float", 1.5f));
    ASSERT_EQ(rawValue(HKEY_CURRENT_USER, u"Settings\\Types", u"float", type, bytes), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(bytes, std::vector<BYTE>({0, 0, 0xC0, 0x3F}));

    ASSERT_TRUE(settings->setValue("double", -2.0));
    ASSERT_EQ(rawValue(HKEY_CURRENT_USER, u"Settings\\Types", u"double", type, bytes), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_QWORD);
    EXPECT_EQ(bytes, std::vector<BYTE>({0, 0, 0, 0, 0, 0, 0, 0xC0}));

    ASSERT_TRUE(settings->setValue("flag", true));
    ASSERT_EQ(rawValue(HKEY_CURRENT_USER, u"Settings\\Types", u"flag", type, bytes), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(bytes, std::vector<BYTE>({1, 0, 0, 0}));

    ASSERT_TRUE(settings->setValue("empty", ""));
    ASSERT_EQ(rawValue(HKEY_CURRENT_USER, u"Settings\\Types", u"empty", type, bytes), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(bytes.size(), 2u); // the terminator

    // Reading back through every getter.
    int32_t i32 = 0;
    uint32_t u32 = 0;
    int64_t i64 = 0;
    uint64_t u64 = 0;
    long long base = 0;
    float f = 0;
    double d = 0;
    bool flag = false;
    std::string text = "default";
    EXPECT_TRUE(settings->getValue("minusOne", i32));
    EXPECT_EQ(i32, -1);
    EXPECT_TRUE(settings->getValue("minusOne", i64));
    EXPECT_EQ(i64, -1);
    EXPECT_TRUE(settings->getValue("allOnes32", u32));
    EXPECT_EQ(u32, 0xFFFFFFFFu);
    EXPECT_TRUE(settings->getValue("allOnes32", u64));
    EXPECT_EQ(u64, 0xFFFFFFFFull);
    ASSERT_TRUE(settings->setValue("big", (long long)0x123456789ABCDEF0));
    EXPECT_TRUE(settings->getValue("big", base));
    EXPECT_EQ(base, 0x123456789ABCDEF0);
    EXPECT_TRUE(settings->getValue("float", f));
    EXPECT_EQ(f, 1.5f);
    EXPECT_TRUE(settings->getValue("double", d));
    EXPECT_EQ(d, -2.0);
    EXPECT_TRUE(settings->getValue("flag", flag));
    EXPECT_TRUE(flag);
    EXPECT_TRUE(settings->getValue("empty", text));
    EXPECT_EQ(text, "");
    // A 4-byte REG_DWORD read as a 64-bit integer fills the low half; the high half is zero.
    u64 = ~0ull;
    EXPECT_TRUE(settings->getValue("flag", u64));
    EXPECT_EQ(u64, 1u);
}

TEST(VexoSettings, aFailedReadLeavesTheCallersDefault)
{
    ScratchRegistry scratch;
    auto settings = openAt("Settings/Wrong", lmds::kOpenCreateUser);
    ASSERT_TRUE(settings);
    ASSERT_TRUE(settings->setValue("boolAsText", "true"));
    ASSERT_TRUE(settings->setValue("eightBytes", u"abc")); // REG_SZ of exactly 8 bytes
    ASSERT_TRUE(settings->setValue("qword", int64_t(7)));
    HKEY key = createKey(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Settings\\Wrong");
    ASSERT_EQ(RegSetValueExW(key, u"zeroSz", 0, REG_SZ, nullptr, 0), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE *>(u"%X%"), 8), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"emptyBlob", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    RegCloseKey(key);

    bool flag = true;
    EXPECT_FALSE(settings->getValue("boolAsText", flag));
    EXPECT_TRUE(flag);
    // Sizes that fit must not let a wrong type through into the caller's variable.
    long long base = 42;
    int64_t i64 = 43;
    double d = 4.5;
    float f = 5.5f;
    EXPECT_FALSE(settings->getValue("eightBytes", base));
    EXPECT_FALSE(settings->getValue("eightBytes", i64));
    EXPECT_FALSE(settings->getValue("eightBytes", d));
    EXPECT_FALSE(settings->getValue("qword", f));
    EXPECT_EQ(base, 42);
    EXPECT_EQ(i64, 43);
    EXPECT_EQ(d, 4.5);
    EXPECT_EQ(f, 5.5f);

    std::string text = "default";
    std::u16string wide = u"default";
    lmtl::MemoryBuffer<char> blob(3);
    EXPECT_FALSE(settings->getValue("zeroSz", text));
    EXPECT_FALSE(settings->getValue("expand", wide));
    EXPECT_FALSE(settings->getValue("qword", text));
    EXPECT_FALSE(settings->getValue("emptyBlob", blob));
    EXPECT_FALSE(settings->getValue("missing", blob));
    EXPECT_FALSE(settings->getValue("", text));
    EXPECT_EQ(text, "default");
    EXPECT_EQ(wide, u"default");
    EXPECT_EQ(blob.size(), 3u);

    // A stored text that cannot be given as UTF-8 is a failed read, not an empty one.
    const std::u16string endsInHighSurrogate = {u'a', char16_t(0xD800)};
    ASSERT_TRUE(settings->setValue("lone", endsInHighSurrogate));
    EXPECT_FALSE(settings->getValue("lone", text));
    EXPECT_EQ(text, "default");
}

TEST(VexoSettings, stringsAndBinaryInBothForms)
{
    ScratchRegistry scratch;
    auto settings = openAt("Settings/Text", lmds::kOpenCreateUser);
    ASSERT_TRUE(settings);
    ASSERT_TRUE(settings->setValue("path", "/home/\u00e9l\u00e8ve/Vexo Movies"));
    std::u16string wide;
    EXPECT_TRUE(settings->getValue(u"path", wide));
    EXPECT_EQ(wide, u"/home/\u00e9l\u00e8ve/Vexo Movies");
    ASSERT_TRUE(settings->setValue(u"wide", std::u16string(u"\U0001F600")));
    std::string text;
    EXPECT_TRUE(settings->getValue("wide", text));
    EXPECT_EQ(text, "\U0001F600");

    // Ill-formed UTF-8 is refused instead of being stored as an empty string.
    EXPECT_FALSE(settings->setValue("path", std::string("bad \xC3")));
    EXPECT_TRUE(settings->getValue("path", text));
    EXPECT_EQ(text, "/home/\u00e9l\u00e8ve/Vexo Movies");

    const char data[] = {1, 0, 2};
    ASSERT_TRUE(settings->setValue("blob", data, sizeof data));
    lmtl::MemoryBuffer<char> blob;
    ASSERT_TRUE(settings->getValue("blob", blob));
    ASSERT_EQ(blob.size(), 3u);
    EXPECT_EQ(std::memcmp(blob.data(), data, 3), 0);
    EXPECT_FALSE(settings->setValue("nullBlob", nullptr, 4));

    EXPECT_TRUE(settings->deleteValue("blob"));
    EXPECT_FALSE(settings->deleteValue("blob"));
    EXPECT_FALSE(settings->setValue("", 1));
}

TEST(VexoSettings, readOnlyModeFallsBackToTheMachineKeyAndPerUserWins)
{
    ScratchRegistry scratch;
    putMachineString(u"Settings\\Service", u"InstallPath", u"/opt/vexo");
    auto service = openAt("Settings/Service", lmds::kOpenUserWithMachineReadOnly);
    ASSERT_TRUE(service); // only the machine-wide key exists
    std::string dir;
    EXPECT_TRUE(service->getValue("InstallPath", dir));
    EXPECT_EQ(dir, "/opt/vexo");
    EXPECT_FALSE(service->setValue("InstallPath", "/elsewhere")); // read-only

    HKEY user = createKey(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Settings\\Service");
    ASSERT_EQ(setString(user, u"InstallPath", u"/home/me/vexo"), ERROR_SUCCESS);
    RegCloseKey(user);
    auto both = openAt("Settings/Service", lmds::kOpenUserWithMachineReadOnly);
    ASSERT_TRUE(both);
    EXPECT_TRUE(both->getValue("InstallPath", dir));
    EXPECT_EQ(dir, "/home/me/vexo");
    EXPECT_FALSE(both->setValue("InstallPath", "/elsewhere"));

    // Machine-only modes never look at the user's key.
    auto machine = openAt("Settings/Service", lmds::kOpenMachineReadOnly);
    ASSERT_TRUE(machine);
    EXPECT_TRUE(machine->getValue("InstallPath", dir));
    EXPECT_EQ(dir, "/opt/vexo");
}

TEST(VexoSettings, firstReadOfAPluginSettingCreatesTheUserKeysAndKeepsTheDefault)
{
    ScratchRegistry scratch;
    auto component = openAt("Settings/lumora-test", lmds::kOpenCreateUserWithMachine);
    ASSERT_TRUE(component);
    RefCountedPtr<IVexoSettings> group;
    ASSERT_TRUE(component->openSubKey("Behaviour", group.receive()));
    bool resume = true;
    EXPECT_FALSE(group->getValue("StartAtOnce", resume));
    EXPECT_TRUE(resume);
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, u"Settings\\lumora-test\\Behaviour"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, u"Settings\\lumora-test"));

    // A machine-wide group value is found by a fresh object (the machine key opens with the user key).
    HKEY machine = createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vexo\\Settings\\lumora-test\\Paths");
    ASSERT_EQ(setString(machine, u"VideoFolder", u"/srv/videos"), ERROR_SUCCESS);
    RegCloseKey(machine);
    auto fresh = openAt("Settings/lumora-test", lmds::kOpenCreateUserWithMachine);
    RefCountedPtr<IVexoSettings> general;
    ASSERT_TRUE(fresh->openSubKey("Paths", general.receive()));
    std::string folder = "default";
    EXPECT_TRUE(general->getValue("VideoFolder", folder));
    EXPECT_EQ(folder, "/srv/videos");
    ASSERT_TRUE(general->setValue("VideoFolder", "/home/me/videos")); // writes go to the user's key
    EXPECT_TRUE(general->getValue("VideoFolder", folder));
    EXPECT_EQ(folder, "/home/me/videos");
    DWORD type = 0;
    std::vector<BYTE> bytes;
    ASSERT_EQ(rawValue(HKEY_LOCAL_MACHINE, u"Settings\\lumora-test\\Paths", u"VideoFolder", type, bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes.size(), sizeof(u"/srv/videos")); // the machine-wide value is untouched
}

TEST(VexoSettings, childrenAreCreatedPerLevelAndCached)
{
    ScratchRegistry scratch;
    auto root = openAt("Settings/Kids", lmds::kOpenCreateUserWithMachine);
    ASSERT_TRUE(root);
    RefCountedPtr<IVexoSettings> deep;
    ASSERT_TRUE(root->openSubKey("A/B", deep.receive()));
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, u"Settings\\Kids\\A"));
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, u"Settings\\Kids\\A\\B"));
    RefCountedPtr<IVexoSettings> again;
    ASSERT_TRUE(root->openSubKey(u"A\\B", again.receive()));
    EXPECT_EQ(again.get(), deep.get());
    EXPECT_FALSE(root->openSubKey("", again.receive()));

    // A child whose key did not open stays cached, and the next open hands it out.
    auto existingOnly = openAt("Settings/Kids", lmds::kOpenUser);
    ASSERT_TRUE(existingOnly);
    RefCountedPtr<IVexoSettings> missing;
    EXPECT_FALSE(existingOnly->openSubKey("Missing", missing.receive()));
    EXPECT_TRUE(existingOnly->openSubKey("Missing", missing.receive()));
    ASSERT_TRUE(missing);
    int32_t value = 5;
    EXPECT_FALSE(missing->getValue("x", value));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, u"Settings\\Kids\\Missing"));

    // The child outlives its parent through the caller's reference.
    root = nullptr;
    EXPECT_TRUE(deep->setValue("still", true));
}

TEST(VexoSettings, deleteKeyRemovesTheTreeAndTheObjectRecreatesIt)
{
    ScratchRegistry scratch;
    auto settings = openAt("Settings/Gone", lmds::kOpenCreateUser);
    ASSERT_TRUE(settings);
    RefCountedPtr<IVexoSettings> child;
    ASSERT_TRUE(settings->openSubKey("Child", child.receive()));
    ASSERT_TRUE(child->setValue("v", 1));
    ASSERT_TRUE(settings->deleteKey());
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, u"Settings\\Gone"));
    EXPECT_TRUE(settings->setValue("back", 2)); // mode 7 makes it anew
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, u"Settings\\Gone"));

    lmds::VexoSettings neverOpened(lmds::kOpenCreateUser, u"Never");
    neverOpened.retain();
    EXPECT_FALSE(neverOpened.deleteKey());

    putMachineString(u"Settings\\MachineGone\\Sub", u"v", u"x");
    auto machine = openAt("Settings/MachineGone", lmds::kOpenMachine);
    ASSERT_TRUE(machine);
    EXPECT_TRUE(machine->deleteKey());
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, u"Settings\\MachineGone"));
}

TEST(VexoSettings, listsNamesOfBothKeysOnce)
{
    ScratchRegistry scratch;
    HKEY machine = createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vexo\\Settings\\List");
    HKEY user = createKey(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Settings\\List");
    for (HKEY key : {machine, user}) {
        RegCloseKey(createKey(key, u"Shared"));
        ASSERT_EQ(setString(key, u"common", u"x"), ERROR_SUCCESS);
        ASSERT_EQ(setString(key, nullptr, u"default value"), ERROR_SUCCESS);
    }
    RegCloseKey(createKey(machine, u"MachineOnly"));
    ASSERT_EQ(setString(user, u"userOnly", u"x"), ERROR_SUCCESS);
    RegCloseKey(machine);
    RegCloseKey(user);

    auto settings = openAt("Settings/List", lmds::kOpenUserWithMachineReadOnly);
    ASSERT_TRUE(settings);
    IVexoSettings::Names names;
    EXPECT_TRUE(settings->getSubKeyNames(names));
    EXPECT_EQ(names, IVexoSettings::Names({"MachineOnly", "Shared"}));
    EXPECT_TRUE(settings->getValueNames(names));
    EXPECT_EQ(names, IVexoSettings::Names({"common", "userOnly"}));
    uint32_t count = 0;
    EXPECT_TRUE(settings->getSubKeyCount(count));
    EXPECT_EQ(count, 2u);
    EXPECT_TRUE(settings->getValueCount(count));
    EXPECT_EQ(count, 2u);
}

#ifndef _WIN32
// Processes made with fork; the system's registry is one for all processes by its nature.

TEST(VexoSettings, settingsWrittenInOneProcessAreReadInAnother)
{
    ScratchRegistry scratch;
    const pid_t writer = ::fork();
    if (writer == 0) {
        RefCountedPtr<IVexoSettings> component, group;
        const bool ok = lmds::openSettings("Settings/shared-component", lmds::kOpenCreateUserWithMachine, component.receive())
            && component->openSubKey("Behaviour", group.receive())
            && group->setValue("StartAtOnce", false) && group->setValue("Limit", int32_t(-5));
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(writer, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    auto component = openAt("Settings/shared-component", lmds::kOpenCreateUserWithMachine);
    RefCountedPtr<IVexoSettings> group;
    ASSERT_TRUE(component->openSubKey("Behaviour", group.receive()));
    bool resume = true;
    int32_t limit = 0;
    EXPECT_TRUE(group->getValue("StartAtOnce", resume));
    EXPECT_FALSE(resume);
    EXPECT_TRUE(group->getValue("Limit", limit));
    EXPECT_EQ(limit, -5);
}

TEST(VexoSettings, aProcessWideObjectIsReleasedCleanlyAtExit)
{
    ScratchRegistry scratch;
    const pid_t child = ::fork();
    if (child == 0) {
        lmds::openSettings("Settings/AtExit", lmds::kOpenCreateUserWithMachine, processWideSettings.receive());
        std::exit(processWideSettings ? 0 : 1); // static destructors run, closing its keys last
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

#endif
