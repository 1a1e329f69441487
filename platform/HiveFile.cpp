#include "platform/HiveFile.h"

#include "platform/HiveFormat.h"
#include "platform/RegistryMessages.h"
#include "platform/UserDirectories.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace VexoOS::Platform {

namespace {

constexpr const char *kTempInfix = ".tmp-";

std::string parentDirectory(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseName(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

LONG statusFromErrno(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case ENOENT:
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_WRITE_FAULT;
    }
}

bool makeDirectories(const std::string &dir, mode_t mode)
{
    struct stat st;
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) || (errno = ENOTDIR, false);
    const std::string parent = parentDirectory(dir);
    if (parent != dir && !makeDirectories(parent, mode))
        return false;
    return ::mkdir(dir.c_str(), mode) == 0 || errno == EEXIST;
}

bool writeAll(int fd, const std::string &text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Under the exclusive lock no one is writing a temporary file, so any left is from a writer that
// died mid-save.
void removeStaleTemporaries(int directoryFd, const std::string &hiveName)
{
    const int fd = ::dup(directoryFd);
    if (fd < 0)
        return;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    ::rewinddir(dir);
    const std::string prefix = hiveName + kTempInfix;
    while (struct dirent *entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0)
            ::unlinkat(directoryFd, entry->d_name, 0);
    }
    ::closedir(dir);
}

class DirectoryLock {
public:
    explicit DirectoryLock(const std::string &dir)
    {
        m_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd < 0) {
            m_error = errno;
            return;
        }
        while (::flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                m_error = errno;
                ::close(m_fd);
                m_fd = -1;
                return;
            }
        }
    }
    ~DirectoryLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // releases the flock
    }
    int fd() const { return m_fd; }
    int error() const { return m_error; }

private:
    int m_fd = -1;
    int m_error = 0;
};

} // namespace

std::u16string_view hiveRootName(Hive hive)
{
    return hive == Hive::CurrentUser ? u"HKEY_CURRENT_USER" : u"HKEY_LOCAL_MACHINE";
}

std::string hiveFilePath(Hive hive)
{
    const std::string dir = UserDirectories::registryDirectory();
    if (!dir.empty())
        return dir + (hive == Hive::CurrentUser ? "/user.reg" : "/machine.reg");
    if (hive == Hive::LocalMachine)
        return "/etc/vexo/machine.reg";
    const std::string config = UserDirectories::xdgBase(UserDirectories::Base::Config);
    return config.empty() ? std::string() : config + "/vexo/user.reg";
}

HiveFile::HiveFile(std::string path, Hive hive) : m_path(std::move(path)), m_hive(hive) {}

HiveFile::~HiveFile() { forget(); }

void HiveFile::forget()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_valid = false;
    m_broken = false;
    m_stamp = Stamp();
    m_tree = RegKey();
}

LONG HiveFile::refresh()
{
    if (m_path.empty())
        return ERROR_PATH_NOT_FOUND;
    const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error != ENOENT) {
            forget();
            return error == EACCES ? ERROR_ACCESS_DENIED : ERROR_READ_FAULT;
        }
        if (!m_valid || m_stamp.exists) {
            forget();
            m_valid = true;
        }
        return ERROR_SUCCESS;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return ERROR_READ_FAULT;
    }
    Stamp stamp;
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.mtimeNs = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    stamp.ctimeNs = st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec;
    stamp.mode = st.st_mode;
    if (m_valid && stamp == m_stamp) {
        ::close(fd);
        return m_broken ? ERROR_BADDB : ERROR_SUCCESS;
    }
    return load(fd, stamp);
}

// Takes fd over.
LONG HiveFile::load(int fd, const Stamp &stamp)
{
    std::string problem;
    std::string bytes;
    if (!S_ISREG(stamp.mode)) {
        problem = "not a regular file";
    } else {
        char buffer[65536];
        while (true) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                ::close(fd);
                forget();
                return ERROR_READ_FAULT;
            }
            if (n == 0)
                break;
            bytes.append(buffer, static_cast<size_t>(n));
            if (bytes.size() > kMaxHiveFileBytes) {
                problem = "larger than " + std::to_string(kMaxHiveFileBytes) + " bytes";
                break;
            }
        }
    }
    RegKey tree;
    if (problem.empty())
        parseHive(bytes, hiveRootName(m_hive), tree, problem);

    const bool reportable = !m_broken || !(stamp == m_stamp);
    forget();
    m_fd = fd;
    m_stamp = stamp;
    m_valid = true;
    if (!problem.empty()) {
        m_broken = true;
        if (reportable)
            reportRegistryProblem(m_path + ": cannot be read as a registry file (" + problem
                                  + "). It is left as it is: its settings are unavailable and changes to it are refused"
                                    " until it is repaired or removed.");
        return ERROR_BADDB;
    }
    m_tree = std::move(tree);
    return ERROR_SUCCESS;
}

LONG HiveFile::modify(const Change &change)
{
    if (m_path.empty())
        return ERROR_PATH_NOT_FOUND;
    const std::string dir = parentDirectory(m_path);
    if (!makeDirectories(dir, m_hive == Hive::CurrentUser ? 0700 : 0755))
        return statusFromErrno(errno);
    DirectoryLock lock(dir);
    if (lock.fd() < 0)
        return statusFromErrno(lock.error());

    LONG status = refresh();
    if (status != ERROR_SUCCESS)
        return status;
    bool changed = false;
    status = change(m_tree, changed);
    if (status != ERROR_SUCCESS || !changed)
        return status;

    std::string text;
    if (!serializeHive(m_tree, hiveRootName(m_hive), text)) {
        forget();
        return ERROR_INVALID_PARAMETER;
    }
    if (text.size() > kMaxHiveFileBytes) {
        forget();
        return ERROR_NOT_ENOUGH_QUOTA;
    }
    return save(lock.fd(), text);
}

LONG HiveFile::save(int directoryFd, const std::string &text)
{
    static unsigned counter = 0;
    const std::string name = baseName(m_path);
    removeStaleTemporaries(directoryFd, name);
    const std::string temp = name + kTempInfix + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    const mode_t mode = m_stamp.exists ? (m_stamp.mode & 07777) : (m_hive == Hive::CurrentUser ? 0600 : 0644);

    const int fd = ::openat(directoryFd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    int error = 0;
    if (fd < 0) {
        error = errno;
    } else if (::fchmod(fd, mode) != 0 || !writeAll(fd, text) || ::fsync(fd) != 0
               || ::renameat(directoryFd, temp.c_str(), directoryFd, name.c_str()) != 0) {
        error = errno;
        ::close(fd);
        ::unlinkat(directoryFd, temp.c_str(), 0);
    }
    if (error != 0) {
        // The tree holds a change that never reached the disk; the next call reads the file again.
        forget();
        reportRegistryProblem(m_path + ": cannot save a change (" + std::strerror(error)
                              + "); the file keeps its previous contents.");
        return statusFromErrno(error);
    }
    // The rename is durable only once the folder is.
    ::fsync(directoryFd);

    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        forget();
        return ERROR_SUCCESS;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
    m_stamp.exists = true;
    m_stamp.device = st.st_dev;
    m_stamp.inode = st.st_ino;
    m_stamp.size = st.st_size;
    m_stamp.mtimeNs = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    m_stamp.ctimeNs = st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec;
    m_stamp.mode = st.st_mode;
    m_valid = true;
    m_broken = false;
    return ERROR_SUCCESS;
}

HiveFile &hiveFileAt(const std::string &path, Hive hive)
{
    // Tests move the registry between folders many times in one process; a short table keeps the
    // number of cached files (and held descriptors) small.
    static auto &files = *new std::map<std::string, std::unique_ptr<HiveFile>>; // see Registry.cpp
    auto it = files.find(path);
    if (it == files.end()) {
        if (files.size() >= 16)
            files.clear();
        it = files.emplace(path, std::make_unique<HiveFile>(path, hive)).first;
    }
    return *it->second;
}

} // namespace VexoOS::Platform
