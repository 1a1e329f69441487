#pragma once
// One hive on disk, and where the hives live.
//
// Where: per-user $XDG_CONFIG_HOME/vexo/user.reg (default ~/.config), machine-wide
// /etc/vexo/machine.reg. VEXO_REGISTRY_DIR, else $LUMORA_HOME/registry, puts both in one folder
// (user.reg and machine.reg). The environment is read on every call, so a process (a test) may
// move its registry between calls.
//
// How a change reaches the disk: under an exclusive flock() on the hive's folder, the file is read
// again if another process replaced it since we last looked, the change is applied, and the whole
// hive is written to a temporary file in the same folder, fsync'ed and renamed over the old one
// (then the folder is fsync'ed). So a change is durable when the call returns, a writer killed at
// any moment leaves the old file or the new one, and two processes never lose each other's
// changes. Readers take no lock: rename is atomic, so they see one whole version.
//
// We keep the file of the version we cached open: its inode then cannot be reused, so comparing
// device, inode, size and times tells us reliably whether the file was replaced.
//
// A file that does not parse is never written over: every call on that hive fails with
// ERROR_BADDB and the file is left for a person to repair; the message naming it is reported
// once per version of the file.
//
// Internal to platform/. Not thread-safe: the registry calls serialise all access.

#include "platform/RegistryTree.h"

#include <functional>
#include <string>
#include <sys/types.h>

namespace VexoOS::Platform {

enum class Hive { CurrentUser, LocalMachine };

std::u16string_view hiveRootName(Hive hive);
// The file the hive lives in under the current environment; empty when no home can be found.
std::string hiveFilePath(Hive hive);

class HiveFile {
public:
    HiveFile(std::string path, Hive hive);
    ~HiveFile();
    HiveFile(const HiveFile &) = delete;
    HiveFile &operator=(const HiveFile &) = delete;

    const std::string &path() const { return m_path; }

    // Brings the cached tree up to date with the file. A missing file is an empty hive.
    LONG refresh();
    // The tree as of the last successful refresh().
    const RegKey &tree() const { return m_tree; }

    // Runs change on the up-to-date tree while holding the hive's lock, and saves the hive when
    // change succeeds and sets changed. The result is change's, or the reason loading or saving
    // failed (in which case the file is as it was).
    using Change = std::function<LONG(RegKey &root, bool &changed)>;
    LONG modify(const Change &change);

private:
    struct Stamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        long long mtimeNs = 0;
        long long ctimeNs = 0;
        mode_t mode = 0;
        bool operator==(const Stamp &) const = default;
    };

    void forget();
    LONG load(int fd, const Stamp &stamp);
    LONG save(int directoryFd, const std::string &text);

    std::string m_path;
    Hive m_hive;
    RegKey m_tree;
    bool m_valid = false;   // m_tree reflects m_stamp
    bool m_broken = false;  // the file of m_stamp does not parse
    Stamp m_stamp;
    int m_fd = -1;          // the cached version's file, held open (see above)
};

// The cached hive for path. The reference stays valid until the next call.
HiveFile &hiveFileAt(const std::string &path, Hive hive);

} // namespace VexoOS::Platform
