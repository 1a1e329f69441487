#include "platform/Synch.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace {

constexpr uint32_t kReadyMagic = 0x56584d31; // "VXM1": the block's mutex is initialised

struct MutexBlock {
    std::atomic<uint32_t> magic;
    uint32_t processCount; // processes that have the named object open; guarded by flock
    pthread_mutex_t mutex;
};

// One mapping per named object per process: a robust mutex must be used at one address by all
// the threads of a process, or their robust lists would disagree.
struct Mapping {
    std::string objectName; // empty for an unnamed mutex
    MutexBlock *block = nullptr;
    int fd = -1;
    int handles = 0;              // open HANDLEs in this process; guarded by tableMutex()
    std::atomic<long> holds{0};   // successful waits not yet released, all threads of this process
};

struct MutexHandle {
    Mapping *mapping;
};

// Never destroyed: mutex objects held by statics are closed during exit.
std::mutex &tableMutex()
{
    static auto &mutex = *new std::mutex;
    return mutex;
}

std::map<std::string, Mapping *> &namedMappings()
{
    static auto &mappings = *new std::map<std::string, Mapping *>;
    return mappings;
}

std::unordered_set<MutexHandle *> &liveHandles()
{
    static auto &handles = *new std::unordered_set<MutexHandle *>;
    return handles;
}

bool initialiseMutex(pthread_mutex_t *mutex, bool shared)
{
    pthread_mutexattr_t attributes;
    if (::pthread_mutexattr_init(&attributes) != 0)
        return false;
    bool ok = ::pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE) == 0
        && ::pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST) == 0
        && (!shared || ::pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED) == 0)
        && ::pthread_mutex_init(mutex, &attributes) == 0;
    ::pthread_mutexattr_destroy(&attributes);
    return ok;
}

bool worldAccessible(const SECURITY_ATTRIBUTES *attributes)
{
    if (!attributes || !attributes->lpSecurityDescriptor)
        return false;
    const auto *descriptor = static_cast<const SECURITY_DESCRIPTOR *>(attributes->lpSecurityDescriptor);
    return descriptor->DaclPresent && !descriptor->Dacl;
}

void lockFile(int fd)
{
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
}

// Opens (creating when needed) the shared object and counts this process in. Null on failure,
// with SetLastError done.
Mapping *openNamed(const std::string &objectName, bool anyUser, bool &created)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const mode_t mode = anyUser ? 0666 : 0600;
        int fd = ::shm_open(objectName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            ::fchmod(fd, mode); // the umask must not take away what the DACL grants
        } else if (errno == EEXIST) {
            fd = ::shm_open(objectName.c_str(), O_RDWR | O_CLOEXEC, 0);
            if (fd < 0 && errno == ENOENT)
                continue; // removed between the two opens
        }
        if (fd < 0) {
            SetLastError(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE);
            return nullptr;
        }
        // The flock serialises initialisation, counting and removal between processes.
        lockFile(fd);
        struct stat st;
        if (::fstat(fd, &st) != 0) {
            ::close(fd);
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        if (st.st_nlink == 0) {
            // Its last user removed it while we waited for the lock: start again.
            ::close(fd);
            continue;
        }
        if (static_cast<size_t>(st.st_size) < sizeof(MutexBlock) && ::ftruncate(fd, sizeof(MutexBlock)) != 0) {
            ::close(fd);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        void *memory = ::mmap(nullptr, sizeof(MutexBlock), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (memory == MAP_FAILED) {
            ::close(fd);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        auto *block = static_cast<MutexBlock *>(memory);
        created = block->magic.load(std::memory_order_acquire) != kReadyMagic;
        if (created) {
            // A creator that died before finishing left zeroes or half an initialisation; under
            // the flock nobody else is using it, so it is safe to start over.
            block->processCount = 0;
            if (!initialiseMutex(&block->mutex, true)) {
                ::munmap(memory, sizeof(MutexBlock));
                ::close(fd);
                SetLastError(ERROR_INVALID_HANDLE);
                return nullptr;
            }
            block->magic.store(kReadyMagic, std::memory_order_release);
        }
        ++block->processCount;
        ::flock(fd, LOCK_UN);
        auto *mapping = new Mapping;
        mapping->objectName = objectName;
        mapping->block = block;
        mapping->fd = fd;
        return mapping;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

void closeMapping(Mapping *mapping)
{
    const bool held = mapping->holds.load() != 0;
    if (mapping->objectName.empty()) {
        if (!held) {
            ::pthread_mutex_destroy(&mapping->block->mutex);
            delete mapping->block;
            delete mapping;
        }
        return;
    }
    lockFile(mapping->fd);
    if (--mapping->block->processCount == 0)
        ::shm_unlink(mapping->objectName.c_str());
    ::flock(mapping->fd, LOCK_UN);
    ::close(mapping->fd);
    if (!held) {
        ::munmap(mapping->block, sizeof(MutexBlock));
        delete mapping;
    }
}

Mapping *mappingOf(HANDLE handle)
{
    std::lock_guard lock(tableMutex());
    auto *h = static_cast<MutexHandle *>(handle);
    if (!handle || !liveHandles().count(h))
        return nullptr;
    return h->mapping;
}

} // namespace

std::string VexoOS::Platform::namedMutexObjectName(LPCWSTR name)
{
    if (!name || !*name)
        return {};
    std::u16string_view text(name);
    for (std::u16string_view prefix : {u"Global\\", u"Local\\"}) {
        if (text.substr(0, prefix.size()) == prefix) {
            text.remove_prefix(prefix.size());
            break;
        }
    }
    // Windows has no namespace below "Global\" or "Local\": a further backslash names none.
    if (text.find(u'\\') != std::u16string_view::npos)
        return {};
    // Each unit on its own, so that any UTF-16 name (unpaired surrogates too, as Windows takes
    // them) has an object name, and distinct names distinct ones ('%' itself is escaped).
    static const char digits[] = "0123456789ABCDEF";
    std::string object = "/vexo-mutex-";
    for (char16_t c : text) {
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'.' || c == u'-' || c == u'_') {
            object.push_back(static_cast<char>(c));
        } else if (c < 0x80) {
            object.push_back('%');
            object.push_back(digits[c >> 4]);
            object.push_back(digits[c & 0xF]);
        } else {
            object += "%u";
            for (int shift = 12; shift >= 0; shift -= 4)
                object.push_back(digits[(c >> shift) & 0xF]);
        }
    }
    if (object.size() > 200) {
        // Too long for a file name: a hash keeps distinct names apart.
        uint64_t hash = 1469598103934665603ULL;
        for (char16_t c : text)
            hash = (hash ^ c) * 1099511628211ULL;
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "/vexo-mutex-h%016llx", static_cast<unsigned long long>(hash));
        object = buffer;
    }
    return object;
}

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor, DWORD dwRevision)
{
    if (!pSecurityDescriptor || dwRevision != SECURITY_DESCRIPTOR_REVISION)
        return FALSE;
    *static_cast<SECURITY_DESCRIPTOR *>(pSecurityDescriptor) = SECURITY_DESCRIPTOR{BYTE(dwRevision), FALSE, nullptr, FALSE};
    return TRUE;
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bDaclPresent, void *pDacl,
                               BOOL bDaclDefaulted)
{
    if (!pSecurityDescriptor)
        return FALSE;
    auto *descriptor = static_cast<SECURITY_DESCRIPTOR *>(pSecurityDescriptor);
    descriptor->DaclPresent = bDaclPresent;
    descriptor->Dacl = pDacl;
    descriptor->DaclDefaulted = bDaclDefaulted;
    return TRUE;
}

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName)
{
    Mapping *mapping = nullptr;
    bool created = true;
    {
        std::lock_guard lock(tableMutex());
        if (!lpName || !*lpName) {
            mapping = new Mapping;
            mapping->block = new MutexBlock;
            if (!initialiseMutex(&mapping->block->mutex, false)) {
                delete mapping->block;
                delete mapping;
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return nullptr;
            }
            mapping->block->magic = kReadyMagic;
        } else {
            const std::string objectName = VexoOS::Platform::namedMutexObjectName(lpName);
            if (objectName.empty()) {
                SetLastError(ERROR_PATH_NOT_FOUND);
                return nullptr;
            }
            auto it = namedMappings().find(objectName);
            if (it != namedMappings().end()) {
                mapping = it->second;
                created = false;
            } else {
                mapping = openNamed(objectName, worldAccessible(lpMutexAttributes), created);
                if (!mapping)
                    return nullptr;
                namedMappings().emplace(objectName, mapping);
            }
        }
        ++mapping->handles;
    }
    auto *handle = new MutexHandle{mapping};
    {
        std::lock_guard lock(tableMutex());
        liveHandles().insert(handle);
    }
    SetLastError(created ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
    if (bInitialOwner && created)
        WaitForSingleObject(handle, INFINITE);
    return handle;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    Mapping *mapping = mappingOf(hHandle);
    if (!mapping) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    pthread_mutex_t *mutex = &mapping->block->mutex;
    int rc;
    if (dwMilliseconds == INFINITE) {
        rc = ::pthread_mutex_lock(mutex);
    } else if (dwMilliseconds == 0) {
        rc = ::pthread_mutex_trylock(mutex);
    } else {
        // timedlock takes a CLOCK_REALTIME deadline; a wall-clock step during the wait lengthens
        // or shortens it, which is acceptable for a lock time-out.
        struct timespec deadline;
        ::clock_gettime(CLOCK_REALTIME, &deadline);
        deadline.tv_sec += dwMilliseconds / 1000;
        deadline.tv_nsec += static_cast<long>(dwMilliseconds % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
        rc = ::pthread_mutex_timedlock(mutex, &deadline);
    }
    switch (rc) {
    case 0:
        ++mapping->holds;
        return WAIT_OBJECT_0;
    case EOWNERDEAD:
        // We own it now; marking it consistent keeps it usable for everyone after us.
        ::pthread_mutex_consistent(mutex);
        ++mapping->holds;
        return WAIT_ABANDONED;
    case EBUSY:
    case ETIMEDOUT:
        return WAIT_TIMEOUT;
    default:
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
}

BOOL ReleaseMutex(HANDLE hMutex)
{
    Mapping *mapping = mappingOf(hMutex);
    if (!mapping) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (::pthread_mutex_unlock(&mapping->block->mutex) != 0) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    --mapping->holds;
    return TRUE;
}

BOOL CloseHandle(HANDLE hObject)
{
    std::lock_guard lock(tableMutex());
    auto *handle = static_cast<MutexHandle *>(hObject);
    if (!hObject || liveHandles().erase(handle) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Mapping *mapping = handle->mapping;
    delete handle;
    if (--mapping->handles == 0) {
        if (!mapping->objectName.empty())
            namedMappings().erase(mapping->objectName);
        closeMapping(mapping);
    }
    return TRUE;
}
