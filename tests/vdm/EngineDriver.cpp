#include "tests/vdm/EngineDriver.h"

#include "platform/Registry.h"
#include "tests/support/http/HttpTestServer.h"

#include <algorithm>
#include <cstdlib>

#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace LumoraTest {

std::u16string utf16(const std::string &text)
{
    // Test data is ASCII or UTF-8 of the basic plane.
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += char16_t(c);
            i += 1;
        } else if ((c & 0xE0) == 0xC0) {
            out += char16_t((c & 0x1F) << 6 | (text[i + 1] & 0x3F));
            i += 2;
        } else {
            out += char16_t((c & 0x0F) << 12 | (text[i + 1] & 0x3F) << 6 | (text[i + 2] & 0x3F));
            i += 3;
        }
    }
    return out;
}

std::string utf8(const std::u16string &text)
{
    std::string out;
    for (const char16_t u : text) {
        if (u < 0x80) {
            out += char(u);
        } else if (u < 0x800) {
            out += char(0xC0 | u >> 6);
            out += char(0x80 | (u & 0x3F));
        } else {
            out += char(0xE0 | u >> 12);
            out += char(0x80 | (u >> 6 & 0x3F));
            out += char(0x80 | (u & 0x3F));
        }
    }
    return out;
}

std::string readWholeFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool fileHoldsGenerated(const std::string &path, uint64_t size)
{
    std::ifstream in(path, std::ios::binary);
    constexpr size_t kBlock = 1024 * 1024;
    std::string got(kBlock, '\0');
    for (uint64_t offset = 0; offset < size; offset += kBlock) {
        const size_t count = size_t(std::min<uint64_t>(kBlock, size - offset));
        if (!in.read(got.data(), std::streamsize(count)))
            return false;
        if (got.compare(0, count, HttpTestServer::generatedString(offset, count)) != 0)
            return false;
    }
    return in.peek() == std::char_traits<char>::eof();
}

void clearProxyEnvironment()
{
    for (const char *proxy : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"})
        ::unsetenv(proxy);
}

bool waitForState(uint32_t file, uint32_t state, std::chrono::milliseconds timeout, VDMFileInfo &info)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        const int32_t r = VDMFileGetInfo(file, &info);
        if (info.state == state)
            return true;
        if (r != VDM_OK)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

bool waitForEnd(uint32_t file, std::chrono::milliseconds timeout, VDMFileInfo &info)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (VDMFileGetInfo(file, &info) == VDM_ENDED)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

int32_t openTransfer(const EngineRequest &request, uint32_t &file)
{
    uint32_t config = 0;
    if (!request.login.empty())
        VDMSetFileConfigPluginOption(&config, u"urifile1", u"Login", utf16(request.login).c_str());
    if (!request.password.empty())
        VDMSetFileConfigPluginOption(&config, u"urifile1", u"Password", utf16(request.password).c_str());
    if (request.expectedSize)
        VDMSetFileConfigPluginOption(&config, u"urifile1", u"ExpectedSize",
                                     utf16(std::to_string(*request.expectedSize)).c_str());
    return VDMFileOpenURIEx(utf16(request.url).c_str(), 0, 0, &config, &file, request.flags);
}

std::string outputPathOf(uint32_t file)
{
    uint32_t size = 0;
    if (VDMFileGetOutputPath(file, nullptr, &size) != VDM_OK || size == 0)
        return {};
    std::vector<char16_t> buffer(size / 2);
    if (VDMFileGetOutputPath(file, buffer.data(), &size) != VDM_OK)
        return {};
    return utf8(std::u16string(buffer.data()));
}

bool waitForReceived(uint32_t file, uint64_t bytes, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    VDMFileInfo info {};
    while (std::chrono::steady_clock::now() < deadline) {
        const int32_t r = VDMFileGetInfo(file, &info);
        if (r != VDM_OK || info.received >= bytes)
            return info.received >= bytes;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

EngineRun runTransfer(const EngineRequest &request)
{
    EngineRun run;
    uint32_t file = 0;
    run.openResult = openTransfer(request, file);
    if (run.openResult != VDM_OK)
        return run;
    VDMFilePause(file, 0);
    const auto deadline = std::chrono::steady_clock::now() + request.timeout;
    while (VDMFileCheck(file) != VDM_OK && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    while (true) {
        run.endResult = VDMFileGetInfo(file, &run.info);
        if (run.endResult != VDM_OK || std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(request.poll);
    }
    VDMFilePause(file, 1);
    run.outputPath = outputPathOf(file);
    VDMFileClose(file);
    return run;
}

namespace {

std::u16string wide(const char *ascii)
{
    return std::u16string(ascii, ascii + std::char_traits<char>::length(ascii));
}

} // namespace

void setEngineSetting(const char *name, uint64_t value)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, u"" VDM_SETTINGS_KEY, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr)
        != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, wide(name).c_str(), 0, REG_QWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
    RegCloseKey(key);
}

void clearEngineSetting(const char *name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, u"" VDM_SETTINGS_KEY, 0, KEY_WRITE, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(key, wide(name).c_str());
    RegCloseKey(key);
}

} // namespace LumoraTest
