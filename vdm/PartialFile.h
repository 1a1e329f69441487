#pragma once
// The files one transfer leaves in the output directory, and how they are written.
//
// "<name>.part" grows while bytes arrive; "<name>.part.meta" records what the partial bytes belong
// to (URI, size, validators) so that a later transfer can ask for the rest and check it gets the
// same resource; "<name>" appears only by renaming a complete part file. Nothing else in the
// directory is touched.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace Vdm {

struct OutputNames {
    std::string finalPath;
    std::string partPath;
    std::string metaPath;
};

// Paths for identityUrl (the URI without credentials) in directory. The same URI always gives the
// same names; the file name shows the URI's last path segment.
OutputNames outputNamesFor(const std::string &directory, const std::string &identityUrl);

// What the partial bytes are: written before the first byte, read when resuming.
struct PartialMeta {
    std::string uri;
    uint64_t total = 0;
    std::string etag;          // strong ETag, or empty
    std::string lastModified;  // Last-Modified, or empty

    bool resumable() const { return total > 0 && (!etag.empty() || !lastModified.empty()); }
};

std::optional<PartialMeta> readPartialMeta(const std::string &path);
// Written to a temporary file and renamed, so a reader never sees half a record.
bool writePartialMeta(const std::string &path, const PartialMeta &meta);

// Sequential writes through one large buffer: the network hands over a few kilobytes at a time, the
// disk is written in blocks of kBlockSize.
class BlockWriter {
public:
    static constexpr size_t kBlockSize = 2 * 1024 * 1024;

    BlockWriter(int fd, uint64_t offset);

    bool append(const char *data, size_t size);
    bool flush();
    // Drops what is buffered and written, and goes on from byte 0 of an emptied file.
    bool restartFromZero();
    // Bytes of the file that are on disk or in the buffer.
    uint64_t position() const { return m_offset + m_used; }
    int error() const { return m_error; }

private:
    bool writeAll(const char *data, size_t size);

    int m_fd;
    uint64_t m_offset;  // file offset of the first buffered byte
    std::unique_ptr<char[]> m_buffer;
    size_t m_used = 0;
    int m_error = 0;
};

} // namespace Vdm
