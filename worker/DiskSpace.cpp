#include "worker/DiskSpace.h"

#include "host/lmrlibrary/OSUtilities.h"
#include "host/lmrlibrary/UIThread.h"
#include "plugin/DownloadListener.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <limits>

namespace Lumora::DiskSpace {

namespace {

constexpr const char kContext[] = "Download Thread";
constexpr const char kTitle[] = "There is not enough space on your hard drive.";
constexpr const char kText[] =
    "The Vexo Player uses your system's Temporary directory to download videos.  There is not enough "
    "space on the drive that contains your Temporary directory to allow you to download \"%1\".  Please "
    "make sure that your \"%2\" drive has at least %3MP free disk space and retry the download.";

constexpr uint64_t kMegabyte = 1048576;

} // namespace

uint64_t requiredBytes(uint64_t size)
{
    constexpr uint64_t max = std::numeric_limits<uint64_t>::max();
    const uint64_t extra = size / 1024 / 7;
    if (size > (max - extra) / 2)
        return max;
    return 2 * size + extra;
}

QString driveText(const QString &path)
{
    const qsizetype colon = path.indexOf(u':');
    return (colon < 0 ? path : path.left(colon)).toUpper() + u':';
}

FreeSpaceReader defaultFreeSpaceReader()
{
    return [](const QString &path, uint64_t *freeBytes) { return OSUtilities::getFreeSpace(path, freeBytes, nullptr); };
}

QString warningTitle()
{
    return QCoreApplication::translate(kContext, kTitle);
}

QString warningText(const QString &itemName, const QString &drive, uint64_t requiredBytes)
{
    // One pass over the text: a name that itself holds "%2" stays as it is.
    return QCoreApplication::translate(kContext, kText)
        .arg(itemName, drive, QString::number(requiredBytes / kMegabyte));
}

namespace {

void describe(FailureReason *shortage, const QString &folder, uint64_t required, uint64_t freeBytes)
{
    if (!shortage)
        return;
    *shortage = FailureReason::of(FailureKind::NotEnoughSpace, folder);
    shortage->neededBytes = required;
    shortage->freeBytes = freeBytes;
}

} // namespace

bool enoughSpace(const Check &check, FailureReason *shortage)
{
    const FreeSpaceReader readFree = check.freeSpace ? check.freeSpace : defaultFreeSpaceReader();
    const uint64_t required = requiredBytes(check.size);

    uint64_t freeBytes = 0;
    const QString targetFolder = QFileInfo(check.targetPath).path();
    if (readFree(targetFolder, &freeBytes) && freeBytes < required) {
        describe(shortage, targetFolder, required, freeBytes);
        if (check.listener)
            check.listener->diskSpaceLow(check.itemName, driveText(check.targetPath), check.targetPath, required,
                                         freeBytes);
        return false;
    }
    if (check.tempParentSet)
        return true;

    // The engine writes into the system's temporary download directory: that drive must hold it.
    const QString temp = OSUtilities::getTempDownloadDirectoryPath();
    if (readFree(temp, &freeBytes) && freeBytes < required) {
        describe(shortage, temp, required, freeBytes);
        UIThread::displayMessage(UIThread::Warning, warningTitle(),
                                 warningText(check.itemName, driveText(temp), required), true);
        return false;
    }
    return true;
}

} // namespace Lumora::DiskSpace
