// A damaged library is never taken for an empty one: opening it says it is damaged and writes
// nothing, and salvaging copies what can still be read into a new library that takes its place.
// Also: an item always has its place in the queue, even when its creator was killed at once.

#include "host/medialibrary/LibraryDatabase.h"
#include "host/medialibrary/LibrarySalvage.h"
#include "host/medialibrary/MediaLibrary.h"
#include "lmtl/RefCountedPtr.h"
#include "tests/support/TempHome.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace Lumora;
using namespace Lumora::MediaManagerInterface;
using lmtl::RefCountedPtr;

namespace {

constexpr int kItems = 300;

std::unique_ptr<MediaLibrary> openLibrary(const QString &path, QString *error = nullptr, bool readOnly = false)
{
    LibraryOpenOptions options;
    options.databasePath = path;
    options.readOnly = readOnly;
    return MediaLibrary::open(options, error);
}

QByteArray hashOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256) : QByteArray();
}

// A library of many items, long enough to spread over many pages, closed (its log written back).
void makeLibrary(const QString &path)
{
    auto library = openLibrary(path);
    ASSERT_TRUE(library);
    for (int i = 0; i < kItems; ++i) {
        const QUrl url(QStringLiteral("http://h/%1.mp4").arg(i));
        RefCountedPtr<QueuedFileInterface> item;
        ASSERT_TRUE(library->createQueuedItem(url, QString(400, QChar(u'a' + i % 26)), url, item.receive()));
        ASSERT_TRUE(item->commit());
    }
}

// Overwrites the first 64 bytes of a page in the middle of the file: a page of the items' table.
void damageOnePage(const QString &path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const QByteArray header = file.read(100);
    const int pageSize = (uchar(header[16]) << 8) | uchar(header[17]);
    const qint64 pages = file.size() / pageSize;
    ASSERT_GT(pages, 10);
    ASSERT_TRUE(file.seek((pages / 2) * pageSize));
    ASSERT_EQ(file.write(QByteArray(64, '\xA5')), 64);
}

} // namespace

TEST(LibrarySalvage, aDamagedLibraryIsRefusedUntouchedAndSalvagedIntoANewOne)
{
    LumoraTest::TempHome home;
    const QString path = home.path() + "/library.db";
    makeLibrary(path);
    damageOnePage(path);
    const QByteArray before = hashOf(path);

    for (const bool readOnly : {false, true}) {
        QString error;
        EXPECT_FALSE(openLibrary(path, &error, readOnly)) << readOnly;
        EXPECT_TRUE(error.contains(QLatin1String(LibraryDamagedMarker))) << error.toStdString();
        EXPECT_TRUE(error.contains(path));
        EXPECT_TRUE(error.contains(QLatin1String("lumora salvage"))) << error.toStdString();
    }
    EXPECT_EQ(hashOf(path), before) << "nothing is written into a damaged library";

    const SalvageReport report = salvageLibrary(path);
    ASSERT_TRUE(report.ok) << report.error.toStdString();
    EXPECT_EQ(hashOf(report.keptAs), before) << "the damaged file is kept as it was";
    EXPECT_GT(report.items, kItems / 2);
    EXPECT_LE(report.items, kItems);

    QString error;
    auto salvaged = openLibrary(path, &error);
    ASSERT_TRUE(salvaged) << error.toStdString();
    RefCountedPtr<PlaylistInterface> queue;
    ASSERT_TRUE(salvaged->getPlaylist(DownloadPlaylistKind, 0, 0, queue.receive()));
    EXPECT_EQ(queue->count(), report.items) << "every salvaged item is in the queue";
    // New items get ids of their own.
    RefCountedPtr<QueuedFileInterface> fresh;
    ASSERT_TRUE(salvaged->createQueuedItem(QUrl("http://h/new.mp4"), "new", QUrl("http://h/new.mp4"), fresh.receive()));
    EXPECT_GT(fresh->id(), uint64_t(kItems));
}

TEST(LibrarySalvage, anItemAKillLeftOutsideTheQueueIsPutBackAtTheNextOpening)
{
    LumoraTest::TempHome home;
    const QString path = home.path() + "/library.db";
    {
        auto library = openLibrary(path);
        ASSERT_TRUE(library);
        RefCountedPtr<QueuedFileInterface> item;
        ASSERT_TRUE(library->createQueuedItem(QUrl("http://h/a.mp4"), "a", QUrl("http://h/a.mp4"), item.receive()));
        RefCountedPtr<PlaylistInterface> queue;
        ASSERT_TRUE(library->getPlaylist(DownloadPlaylistKind, 0, 0, queue.receive()));
        ASSERT_TRUE(queue->insertItem(0, item.get()));
    }
    // A row left by a process killed between creating the item and queueing it.
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "INSERT INTO queued_items (id, source_url, status, created_at) VALUES (50, 'http://h/b.mp4', 1, 0);"
                           "UPDATE meta SET value = 51 WHERE key = 'next_id';",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);

    auto library = openLibrary(path);
    ASSERT_TRUE(library);
    RefCountedPtr<PlaylistInterface> queue;
    ASSERT_TRUE(library->getPlaylist(DownloadPlaylistKind, 0, 0, queue.receive()));
    ASSERT_EQ(queue->count(), 2);
    RefCountedPtr<QueuedFileInterface> last;
    ASSERT_TRUE(queue->itemAt(1, last.receive()));
    EXPECT_EQ(last->id(), 50u);
}
