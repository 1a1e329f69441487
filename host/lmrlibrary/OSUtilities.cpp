#include "host/lmrlibrary/OSUtilities.h"

#include "platform/Registry.h"
#include "vdm/VexoDownloadManager.h"
#include "platform/UserDirectories.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>
#include <mutex>
#include <sys/statvfs.h>

namespace Lumora {

namespace {

namespace UserDirectories = VexoOS::Platform::UserDirectories;

QString environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? QString::fromLocal8Bit(value) : QString();
}

QString fromNative(const std::string &path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

QString tempParentFolder;  // guarded by tempParentMutex
std::mutex tempParentMutex;

constexpr const char kIncompleteFolder[] = ".incomplete";

// The download engine is a library of its own that does not link this one: it learns where to
// write from the value the engine's header names (VDM_OUTPUT_DIRECTORY_KEY, _VALUE).
void publishTempDownloadDirectory(const QString &path)
{
    static std::mutex mutex;
    static QString published;  // what was written, and where (the registry moves with the home)
    const QString record = fromNative(UserDirectories::registryDirectory()) + '\n' + path;
    std::lock_guard lock(mutex);
    if (record == published)
        return;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, u"" VDM_OUTPUT_DIRECTORY_KEY, 0, nullptr, 0,
                        KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    const std::u16string text = path.toStdU16String();
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
    if (RegSetValueExW(key, u"" VDM_OUTPUT_DIRECTORY_VALUE, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()), bytes)
        == ERROR_SUCCESS)
        published = record;
    RegCloseKey(key);
}

} // namespace

QString OSUtilities::homeOverride()
{
    return fromNative(UserDirectories::homeOverride());
}

QString OSUtilities::dataDirectory()
{
    return fromNative(UserDirectories::lumoraDirectory(UserDirectories::Base::Data));
}

QString OSUtilities::cacheDirectory()
{
    return fromNative(UserDirectories::lumoraDirectory(UserDirectories::Base::Cache));
}

QString OSUtilities::videosDirectory()
{
    return fromNative(UserDirectories::videosDirectory());
}

QString OSUtilities::libraryDatabasePath()
{
    return dataDirectory() + "/library.db";
}

QString OSUtilities::getVexoMoviesPathDefault()
{
    return videosDirectory() + "/Vexo Movies";
}

QString OSUtilities::getTempDownloadDirectoryPath()
{
    QString parent;
    {
        std::lock_guard lock(tempParentMutex);
        parent = tempParentFolder;
    }
    const QString path = parent.isEmpty() ? cacheDirectory() + "/downloads" : parent + '/' + kIncompleteFolder;
    QDir().mkpath(path);
    return path;
}

bool OSUtilities::setTempDownloadDirectoryParent(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    const QString parent = QDir::cleanPath(QDir(folder).absolutePath());
    const QString path = parent + '/' + kIncompleteFolder;
    if (!QDir().mkpath(path))
        return false;
    QFileInfo info(path);
    if (!info.isDir() || !info.isWritable())
        return false;
    {
        std::lock_guard lock(tempParentMutex);
        tempParentFolder = parent;
    }
    publishTempDownloadDirectory(path);
    return true;
}

QString OSUtilities::getTempDownloadDirectoryParent()
{
    std::lock_guard lock(tempParentMutex);
    return tempParentFolder;
}

bool OSUtilities::getFreeSpace(const QString &path, uint64_t *freeBytes, uint64_t *totalBytes)
{
    if (!freeBytes || path.isEmpty())
        return false;
    // A target folder may not exist yet: measure the file system it will be created on.
    QFileInfo info(QDir(path).absolutePath());
    while (!info.exists()) {
        const QString parent = info.absolutePath();
        if (parent == info.absoluteFilePath())
            return false;
        info.setFile(parent);
    }
    struct statvfs stats {};
    if (::statvfs(QFile::encodeName(info.absoluteFilePath()).constData(), &stats) != 0)
        return false;
    *freeBytes = static_cast<uint64_t>(stats.f_bavail) * stats.f_frsize;
    if (totalBytes)
        *totalBytes = static_cast<uint64_t>(stats.f_blocks) * stats.f_frsize;
    return true;
}

std::string OSUtilities::getComponentIdUTF8()
{
    const QString id = environment("LUMORA_COMPONENT_ID");
    return id.isEmpty() ? std::string("LumoraPlayer") : id.toStdString();
}

} // namespace Lumora
