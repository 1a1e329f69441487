#include "vdm/PartialFile.h"

#include "vdm/HttpFields.h"

#include "vdm/TextCodec.h"

#include <curl/curl.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string_view>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Vdm {

namespace {

constexpr char kMetaMagic[] = "vexo-partial 1";
constexpr char kTemporarySuffix[] = ".new";
constexpr size_t kMaxNameBytes = 120;
constexpr int kLockAttempts = 3;

uint64_t fnv1a(const std::string &text)
{
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

// The URI's last path segment, decoded, as a harmless file name: no separators, control or
// shell-hostile characters, no leading dots, valid UTF-8, bounded length.
std::string readableName(const std::string &url)
{
    std::string segment;
    if (CURLU *parsed = curl_url()) {
        char *path = nullptr;
        if (curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK
            && curl_url_get(parsed, CURLUPART_PATH, &path, CURLU_URLDECODE) == CURLUE_OK && path) {
            std::string full(path);
            const auto slash = full.find_last_of('/');
            segment = slash == std::string::npos ? full : full.substr(slash + 1);
        }
        curl_free(path);
        curl_url_cleanup(parsed);
    }
    std::string name;
    for (const char c : segment) {
        const auto u = static_cast<unsigned char>(c);
        const bool unsafe = u < 0x20 || u == 0x7F || std::strchr("/\\:*?\"<>|", c) != nullptr;
        name += unsafe ? '_' : c;
    }
    while (!name.empty() && name.front() == '.')
        name.erase(0, 1);
    if (name.size() > kMaxNameBytes) {
        size_t cut = kMaxNameBytes;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;  // never split a UTF-8 sequence
        name.resize(cut);
    }
    if (!toUtf16(name)) {
        for (char &c : name)
            if (static_cast<unsigned char>(c) >= 0x80)
                c = '_';
    }
    return name.empty() ? std::string("download") : name;
}

} // namespace

OutputNames outputNamesFor(const std::string &directory, const std::string &identityUrl)
{
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(fnv1a(identityUrl)));
    OutputNames names;
    names.directory = directory;
    names.finalPath = directory + "/" + hash + "-" + readableName(identityUrl);
    names.partPath = names.finalPath + ".part";
    names.metaPath = names.partPath + ".meta";
    return names;
}

void removePartialFiles(const OutputNames &names)
{
    for (const std::string *path : {&names.partPath, &names.metaPath})
        ::unlink(path->c_str());
    ::unlink((names.metaPath + kTemporarySuffix).c_str());
}

PartLock lockPartFile(const std::string &path, bool create, int &fd)
{
    // Whoever removes a part file holds its lock while doing so; a file opened just before that is
    // then no longer the one with the name, and the lock we got on it guards nothing.
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        const int opened = ::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
        if (opened < 0)
            return errno == ENOENT && !create ? PartLock::Missing : PartLock::Failed;
        if (::flock(opened, LOCK_EX | LOCK_NB) != 0) {
            ::close(opened);
            return PartLock::InUse;
        }
        struct stat held {};
        struct stat named {};
        if (::fstat(opened, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev
            && held.st_ino == named.st_ino) {
            fd = opened;
            return PartLock::Locked;
        }
        ::close(opened);
        if (!create)
            return PartLock::Missing;
    }
    return PartLock::InUse;
}

std::optional<PartialMeta> readPartialMeta(const std::string &path)
{
    std::ifstream in(path);
    if (!in)
        return std::nullopt;
    std::string line;
    if (!std::getline(in, line) || line != kMetaMagic)
        return std::nullopt;
    PartialMeta meta;
    bool haveUri = false;
    bool haveTotal = false;
    uint64_t segments = 0;
    while (std::getline(in, line)) {
        const auto space = line.find(' ');
        if (space == std::string::npos)
            return std::nullopt;
        const std::string key = line.substr(0, space);
        const std::string value = line.substr(space + 1);
        if (key == "uri") {
            meta.uri = value;
            haveUri = true;
        } else if (key == "total") {
            if (!HttpFields::parseNumber(value, meta.total))
                return std::nullopt;
            haveTotal = true;
        } else if (key == "etag") {
            meta.etag = value;
        } else if (key == "last-modified") {
            meta.lastModified = value;
        } else if (key == "segmented") {
            meta.segmented = HttpFields::parseNumber(value, segments);
            if (!meta.segmented)
                return std::nullopt;
        } else if (key == "missing") {
            const auto dash = value.find('-');
            uint64_t first = 0;
            uint64_t end = 0;
            if (dash == std::string::npos || !HttpFields::parseNumber(value.substr(0, dash), first)
                || !HttpFields::parseNumber(value.substr(dash + 1), end) || first >= end
                || (!meta.missing.empty() && first < meta.missing.back().second))
                return std::nullopt;
            meta.missing.emplace_back(first, end);
        }
    }
    // A map cut short (a record missing) would claim bytes that are not there.
    if (!haveUri || !haveTotal || (!meta.segmented && !meta.missing.empty()) || meta.missing.size() != segments
        || (!meta.missing.empty() && meta.missing.back().second > meta.total))
        return std::nullopt;
    return meta;
}

bool writePartialMeta(const std::string &path, const PartialMeta &meta, bool durable)
{
    // Header values end at the line break, so none of them can smuggle in a line of its own.
    for (const std::string *value : {&meta.uri, &meta.etag, &meta.lastModified})
        if (value->find_first_of("\r\n") != std::string::npos)
            return false;
    std::ostringstream text;
    text << kMetaMagic << "\nuri " << meta.uri << "\ntotal " << meta.total << "\n";
    if (!meta.etag.empty())
        text << "etag " << meta.etag << "\n";
    if (!meta.lastModified.empty())
        text << "last-modified " << meta.lastModified << "\n";
    if (meta.segmented) {
        text << "segmented " << meta.missing.size() << "\n";
        for (const auto &[first, end] : meta.missing)
            text << "missing " << first << "-" << end << "\n";
    }
    const std::string body = text.str();
    const std::string temporary = path + kTemporarySuffix;
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < body.size()) {
        const ssize_t n = ::write(fd, body.data() + done, body.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    const bool written = done == body.size() && (!durable || ::fsync(fd) == 0);
    ::close(fd);
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

int emptyFile(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size == 0)
        return 0;
    return ::ftruncate(fd, 0) == 0 ? 0 : errno;
}

} // namespace Vdm
