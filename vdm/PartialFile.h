#pragma once
// The files one transfer leaves in the output directory, and how they are written.
//
// "<name>.part" grows while bytes arrive; "<name>.part.meta" records what the partial bytes belong
// to (URI, size, validators) so that a later transfer can ask for the rest and check it gets the
// same resource; "<name>" appears only by renaming a complete part file. Nothing else in the
// directory is touched.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Vdm {

struct OutputNames {
    std::string directory;
    std::string finalPath;
    std::string partPath;
    std::string metaPath;
};

// Paths for identityUrl (the URI without credentials) in directory. The same URI always gives the
// same names; the file name shows the URI's last path segment.
OutputNames outputNamesFor(const std::string &directory, const std::string &identityUrl);

// What the partial bytes are: written before the first byte, read when resuming.
//
// A file fetched by one connection grows from its start, so its size says how much of it is in
// place. Once several connections write into it, it has holes, and the segment map says instead
// what is still missing. The map is saved atomically and only ever claims bytes already written;
// bytes written after a save are fetched again after a crash, never trusted unwritten.
struct PartialMeta {
    std::string uri;
    uint64_t total = 0;
    std::string etag;          // strong ETag, or empty
    std::string lastModified;  // Last-Modified, or empty
    bool segmented = false;    // missing says what is in place, not the file's size
    std::vector<std::pair<uint64_t, uint64_t>> missing;  // [first, end) ranges, in order

    bool resumable() const { return total > 0 && (!etag.empty() || !lastModified.empty()); }
};

// Removes the part file and every record beside it; what is missing already is no error.
void removePartialFiles(const OutputNames &names);

// Opens the part file and takes its lock, which one writer holds across handles and processes.
// Missing: no part file, and create was false. fd is set when Locked.
enum class PartLock { Locked, Missing, InUse, Failed };
PartLock lockPartFile(const std::string &path, bool create, int &fd);

std::optional<PartialMeta> readPartialMeta(const std::string &path);
// Written to a temporary file and renamed, so a reader never sees half a record; durable: the
// temporary file reaches the disk before the rename (for segment maps, which a crash must find
// whole and never newer than the bytes they describe).
bool writePartialMeta(const std::string &path, const PartialMeta &meta, bool durable = false);
// Empties the open file fd: 0, or the errno of the failure. Only a file that has bytes is
// truncated: ext4 remembers a truncation to zero and writes the whole file back when it is closed
// (which would cost the closing caller most of a second per gigabyte).
int emptyFile(int fd);

} // namespace Vdm
