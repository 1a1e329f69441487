// Hives on disk: where they are, the form they are written in (and the older form they are still
// read in), and sharing between processes: changes are seen at once, concurrent writers lose
// nothing, a writer killed mid-save leaves a whole file, and a damaged file is never overwritten.

#include "RegistryTestSupport.h"
#include "platform/HiveFormat.h"
#include "platform/RegistryMessages.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace RegistryTest;
using namespace VexoOS::Platform;

namespace {

constexpr const char16_t *kPath = u"SOFTWARE\\Vexo\\Shared";

// Runs body in a child process; the child's exit status is body's result (0 = fine).
pid_t spawn(const std::function<int()> &body)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    return pid;
}

int exitStatus(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> filesIn(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *d = ::opendir(dir.c_str())) {
        while (dirent *entry = ::readdir(d))
            if (entry->d_name[0] != '.')
                names.emplace_back(entry->d_name);
        ::closedir(d);
    }
    return names;
}

std::u16string u16(const std::string &ascii) { return std::u16string(ascii.begin(), ascii.end()); }

class MessageCapture {
public:
    MessageCapture()
    {
        m_previous = setRegistryMessageSink([this](const std::string &message) { messages.push_back(message); });
    }
    ~MessageCapture() { setRegistryMessageSink(m_previous); }
    std::vector<std::string> messages;

private:
    RegistryMessageSink m_previous;
};

} // namespace

TEST(HiveFile, isWrittenAsTheRegistryEditorExportsToTheHiveOfItsRoot)
{
    LumoraTest::TempHome home;
    HKEY user = createKey(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Settings\\App");
    ASSERT_TRUE(user);
    const uint64_t minusOne = ~0ULL;
    ASSERT_EQ(RegSetValueExW(user, u"Count", 0, REG_QWORD, reinterpret_cast<const BYTE *>(&minusOne), 8), ERROR_SUCCESS);
    ASSERT_EQ(setDword(user, u"On", 1), ERROR_SUCCESS);
    ASSERT_EQ(setString(user, u"Say \"hi\"", u"C:\\dir"), ERROR_SUCCESS);
    ASSERT_EQ(setString(user, u"Multi", u"one\ntwo"), ERROR_SUCCESS);
    ASSERT_EQ(setString(user, nullptr, u""), ERROR_SUCCESS);
    RegCloseKey(user);
    HKEY machine = createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vexo\\Settings\\DesktopService");
    ASSERT_TRUE(machine);
    ASSERT_EQ(setString(machine, u"InstallPath", u"/opt/vexo"), ERROR_SUCCESS);
    RegCloseKey(machine);

    // UTF-16LE after the mark FF FE, CRLF line ends: byte for byte what the editor's export holds.
    const std::string bytes = readFile(userHivePath());
    ASSERT_TRUE(bytes.starts_with("\xFF\xFEW\0i\0n\0"));
    EXPECT_EQ(hiveText(userHivePath()),
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CURRENT_USER\\SOFTWARE]\r\n\r\n"
              "[HKEY_CURRENT_USER\\SOFTWARE\\Vexo]\r\n\r\n"
              "[HKEY_CURRENT_USER\\SOFTWARE\\Vexo\\Settings]\r\n\r\n"
              "[HKEY_CURRENT_USER\\SOFTWARE\\Vexo\\Settings\\App]\r\n"
              "\"Count\"=hex(b):ff,ff,ff,ff,ff,ff,ff,ff\r\n"
              "\"On\"=dword:00000001\r\n"
              "\"Say \\\"hi\\\"\"=\"C:\\\\dir\"\r\n"
              "\"Multi\"=hex(1):6f,00,6e,00,65,00,0a,00,74,00,77,00,6f,00,00,00\r\n"
              "@=\"\"\r\n\r\n");
    EXPECT_NE(hiveText(machineHivePath()).find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vexo\\Settings\\DesktopService]\r\n"
                                               "\"InstallPath\"=\"/opt/vexo\"\r\n"),
              std::string::npos);
}

TEST(HiveFile, isFoundFromTheEnvironmentAtEachOpen)
{
    LumoraTest::TempHome home;
    const std::string first = registryDir();
    HKEY key = createKey(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Where");
    ASSERT_TRUE(key);

    // Moving the registry: new opens use the new folder, an open handle keeps writing the old one.
    const std::string second = home.path().toStdString() + "/elsewhere";
    ::setenv("VEXO_REGISTRY_DIR", second.c_str(), 1);
    HKEY probe = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Where", 0, KEY_READ, &probe), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(setDword(key, u"Stayed", 1), ERROR_SUCCESS);
    EXPECT_NE(hiveText(first + "/user.reg").find("\"Stayed\""), std::string::npos);
    RegCloseKey(key);

    // Without VEXO_REGISTRY_DIR the hives live below LUMORA_HOME.
    ::unsetenv("VEXO_REGISTRY_DIR");
    RegCloseKey(createKey(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Home"));
    EXPECT_NE(hiveText(home.path().toStdString() + "/registry/user.reg").find("[HKEY_CURRENT_USER\\SOFTWARE\\Vexo\\Home]"),
              std::string::npos);

    // Without either: $XDG_CONFIG_HOME/vexo/user.reg.
    ::unsetenv("LUMORA_HOME");
    const char *savedConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string keepConfig = savedConfig ? savedConfig : "";
    const std::string config = home.path().toStdString() + "/config";
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    RegCloseKey(createKey(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Xdg"));
    if (savedConfig)
        ::setenv("XDG_CONFIG_HOME", keepConfig.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_NE(hiveText(config + "/vexo/user.reg").find("[HKEY_CURRENT_USER\\SOFTWARE\\Vexo\\Xdg]"), std::string::npos);
}

TEST(HiveFile, aHiveInTheOlderUtf8FormIsReadAndRewrittenInTheEditorsFormOnItsNextSave)
{
    LumoraTest::TempHome home;
    ::mkdir(registryDir().c_str(), 0700);
    const std::string old = "Windows Registry Editor Version 5.00\n\n"
                            "[HKEY_CURRENT_USER\\SOFTWARE\\Vexo\\Gr\u00fc\u00df]\n"
                            "\"Caf\u00e9\"=\"caf\u00e9 \u65e5\U0001F600\"\n"
                            "@=\"d\u00e9faut\"\n"
                            "\"Blob\"=hex:01,02\n";
    writeFile(userHivePath(), old);

    // Reading leaves the file alone.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\gr\u00dc\u00df", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    EXPECT_EQ(queryString(key, u"caf\u00c9"), u"caf\u00e9 \u65e5\U0001F600");
    EXPECT_EQ(readFile(userHivePath()), old);

    // The next change writes the whole hive in the new form, and nothing of the old one is lost.
    ASSERT_EQ(setDword(key, u"Added", 1), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(hiveText(userHivePath()),
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CURRENT_USER\\SOFTWARE]\r\n\r\n"
              "[HKEY_CURRENT_USER\\SOFTWARE\\Vexo]\r\n\r\n"
              "[HKEY_CURRENT_USER\\SOFTWARE\\Vexo\\Gr\u00fc\u00df]\r\n"
              "\"Caf\u00e9\"=\"caf\u00e9 \u65e5\U0001F600\"\r\n"
              "@=\"d\u00e9faut\"\r\n"
              "\"Blob\"=hex:01,02\r\n"
              "\"Added\"=dword:00000001\r\n\r\n");
}

TEST(HiveFile, changesMadeByAnotherProcessAreSeen)
{
    LumoraTest::TempHome home;
    HKEY key = createKey(HKEY_CURRENT_USER, kPath);
    ASSERT_TRUE(key);
    ASSERT_EQ(setString(key, u"Who", u"parent"), ERROR_SUCCESS);
    EXPECT_EQ(queryString(key, u"Who"), u"parent");

    const pid_t child = spawn([] {
        HKEY own = createKey(HKEY_CURRENT_USER, kPath);
        return own && setString(own, u"Who", u"child") == ERROR_SUCCESS ? 0 : 1;
    });
    ASSERT_EQ(exitStatus(child), 0);
    EXPECT_EQ(queryString(key, u"Who"), u"child");
    RegCloseKey(key);
}

TEST(HiveFile, processesWritingAtOnceLoseNoChange)
{
    LumoraTest::TempHome home;
    constexpr int kWriters = 2;
    constexpr int kValues = 50;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        children.push_back(spawn([w] {
            HKEY key = createKey(HKEY_CURRENT_USER, kPath);
            for (int i = 0; i < kValues; ++i) {
                const std::u16string name = u16("w" + std::to_string(w) + "-" + std::to_string(i));
                if (setDword(key, name.c_str(), DWORD(i)) != ERROR_SUCCESS)
                    return 1;
            }
            return 0;
        }));
    }
    for (pid_t child : children)
        EXPECT_EQ(exitStatus(child), 0);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kPath, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, DWORD(kWriters * kValues));
    RegCloseKey(key);
}

TEST(HiveFile, aWriterKilledMidSaveLeavesTheOldOrTheNewHive)
{
    LumoraTest::TempHome home;
    constexpr size_t kSize = 256 * 1024; // large enough that a save takes a while
    HKEY key = createKey(HKEY_CURRENT_USER, kPath);
    ASSERT_TRUE(key);
    ASSERT_EQ(RegSetValueExW(key, u"Data", 0, REG_BINARY, std::vector<BYTE>(kSize, 0).data(), kSize), ERROR_SUCCESS);

    for (int round = 0; round < 12; ++round) {
        const pid_t writer = spawn([] {
            HKEY own = createKey(HKEY_CURRENT_USER, kPath);
            for (int i = 1;; ++i) {
                const std::vector<BYTE> data(kSize, BYTE(i % 255 + 1));
                RegSetValueExW(own, u"Data", 0, REG_BINARY, data.data(), kSize);
            }
            return 0;
        });
        ::usleep(useconds_t(2000 + (round * 3700) % 25000));
        ::kill(writer, SIGKILL);
        exitStatus(writer);

        RegKey tree;
        std::string error;
        ASSERT_TRUE(parseHive(readFile(userHivePath()), u"HKEY_CURRENT_USER", tree, error)) << "round " << round << ": " << error;
        DWORD type = 0;
        std::vector<BYTE> bytes;
        ASSERT_EQ(query(key, u"Data", type, bytes), ERROR_SUCCESS);
        ASSERT_EQ(bytes.size(), kSize);
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), bytes.front()), std::ptrdiff_t(kSize)) << "round " << round;
    }
    // The next save clears what killed writers left behind.
    ASSERT_EQ(setDword(key, u"After", 1), ERROR_SUCCESS);
    EXPECT_EQ(filesIn(registryDir()), std::vector<std::string>{"user.reg"});
    RegCloseKey(key);
}

TEST(HiveFile, aHiveThatDoesNotParseIsNeverOverwritten)
{
    const std::string head = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Vexo]\n\"Keep\"=\"me\"\n";
    std::string tenMegabytes = head + "\"big\"=hex:00";
    for (int i = 1; i < 10'000'000; ++i)
        tenMegabytes += ",00";
    tenMegabytes += "\n";
    const std::vector<std::pair<const char *, std::string>> damaged = {
        {"truncated", head + "\"cut\"=\"in the mid"},
        {"garbage", head + "#$%^ garbage\n"},
        {"open section", head + "[HKEY_CURRENT_USER\\SOFTWARE\n"},
        {"odd hex", head + "\"h\"=hex:1,2,3\n"},
        {"ten megabytes", tenMegabytes},
        {"bad quoting", head + "\"na\"me\"=\"x\\y\"\n"},
    };
    for (const auto &[what, bytes] : damaged) {
        SCOPED_TRACE(what);
        LumoraTest::TempHome home;
        ::mkdir(registryDir().c_str(), 0700);
        writeFile(userHivePath(), bytes);
        MessageCapture capture;

        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo", 0, KEY_READ, &key), ERROR_BADDB);
        EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_BADDB);
        EXPECT_EQ(setDword(HKEY_CURRENT_USER, u"x", 1), ERROR_BADDB);
        EXPECT_EQ(SHDeleteKeyW(HKEY_CURRENT_USER, u"SOFTWARE"), ERROR_BADDB);
        EXPECT_TRUE(readFile(userHivePath()) == bytes);
        ASSERT_EQ(capture.messages.size(), 1u); // said once, not on every call
        EXPECT_NE(capture.messages[0].find(userHivePath()), std::string::npos) << capture.messages[0];

        // Once a person repairs it, it works again.
        writeFile(userHivePath(), head);
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
        EXPECT_EQ(queryString(key, u"Keep"), u"me");
        EXPECT_EQ(setDword(key, u"x", 1), ERROR_SUCCESS);
        RegCloseKey(key);
    }
}

TEST(HiveFile, theUserHiveIsPrivateAndHandEditsArePickedUp)
{
    LumoraTest::TempHome home;
    HKEY key = createKey(HKEY_CURRENT_USER, kPath);
    ASSERT_TRUE(key);
    ASSERT_EQ(setString(key, u"v", u"1"), ERROR_SUCCESS);
    struct stat st;
    ASSERT_EQ(::stat(userHivePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // An editor that rewrites the file in place, same size: still noticed. (A person's edit comes
    // later than the file system's timestamp granularity; the pause stands for that.)
    ::usleep(30000);
    std::string text = hiveText(userHivePath());
    const size_t at = text.find("\"v\"=\"1\"");
    ASSERT_NE(at, std::string::npos);
    text[at + 5] = '2';
    writeFile(userHivePath(), utf16File(text));
    EXPECT_EQ(queryString(key, u"v"), u"2");
    RegCloseKey(key);
}

TEST(HiveFile, aFolderThatCannotBeWrittenFailsTheChangeOnly)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";
    LumoraTest::TempHome home;
    HKEY key = createKey(HKEY_CURRENT_USER, kPath);
    ASSERT_TRUE(key);
    ASSERT_EQ(setString(key, u"v", u"1"), ERROR_SUCCESS);
    ::chmod(registryDir().c_str(), 0500);
    EXPECT_EQ(setString(key, u"v", u"2"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(queryString(key, u"v"), u"1");
    ::chmod(registryDir().c_str(), 0700);
    RegCloseKey(key);
}
