#include "worker/FilePlacement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Lumora::FilePlacement {

namespace {

enum class Outcome { Done, Failed, NeedsCopy };

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

bool existsOrDangles(const QByteArray &path)
{
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0;
}

// A rename that never replaces an existing target.
Outcome renameNoReplace(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return Outcome::Done;
    if (errno == EXDEV)
        return Outcome::NeedsCopy;
    if (errno != EINVAL && errno != ENOSYS)
        return Outcome::Failed;
    // A file system without the no-replace rename: a hard link fails on an existing name just the same.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return Outcome::Done;
    }
    return errno == EXDEV || errno == EPERM || errno == EOPNOTSUPP ? Outcome::NeedsCopy : Outcome::Failed;
}

bool writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool copyContents(int in, int out)
{
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            return ::fsync(out) == 0;
        if (!writeAll(out, buffer, static_cast<size_t>(got)))
            return false;
    }
}

bool copyThenRemove(const QByteArray &from, const QString &target)
{
    const QFileInfo targetInfo(target);
    const QByteArray part = encoded(targetInfo.path() + QLatin1String("/.") + targetInfo.fileName() + QLatin1String(".part"));
    const int in = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat sourceInfo {};
    ::fstat(in, &sourceInfo);
    ::unlink(part.constData());  // a leftover of an earlier copy that was cut short
    const int out = ::open(part.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, sourceInfo.st_mode & 0777);
    if (out < 0) {
        ::close(in);
        return false;
    }
    const bool copied = copyContents(in, out);
    ::close(in);
    const bool closed = ::close(out) == 0;
    if (!copied || !closed || renameNoReplace(part, encoded(target)) != Outcome::Done) {
        ::unlink(part.constData());
        return false;
    }
    ::unlink(from.constData());
    return true;
}

} // namespace

bool moveFile(const QString &source, const QString &target, Method method)
{
    if (source.isEmpty() || target.isEmpty())
        return false;
    const QByteArray from = encoded(source);
    const QByteArray to = encoded(target);
    struct stat sourceInfo {};
    if (::stat(from.constData(), &sourceInfo) != 0 || !S_ISREG(sourceInfo.st_mode) || existsOrDangles(to))
        return false;
    if (!QDir().mkpath(QFileInfo(target).path()))
        return false;
    if (method == Method::Automatic) {
        const Outcome outcome = renameNoReplace(from, to);
        if (outcome != Outcome::NeedsCopy)
            return outcome == Outcome::Done;
    }
    return copyThenRemove(from, target);
}

} // namespace Lumora::FilePlacement
