#include "tests/vdm/EngineDriver.h"

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

} // namespace LumoraTest
