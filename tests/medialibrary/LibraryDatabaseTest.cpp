// The library file: which files are refused (and left alone), how a new one is made, how an older one
// is brought up to date, and what a write does when the disk refuses it or another process holds it.

#include "host/medialibrary/LibraryDatabase.h"
#include "host/medialibrary/MediaLibrary.h"
#include "lmtl/RefCountedPtr.h"
#include "tests/support/TempHome.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace Lumora;
using namespace Lumora::MediaManagerInterface;
using lmtl::RefCountedPtr;

namespace {

QByteArray fingerprint(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QFileInfo info(path);
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex() + ' '
           + QByteArray::number(info.lastModified().toMSecsSinceEpoch()) + ' ' + QByteArray::number(int(info.permissions()));
}

// Runs SQL on a file with SQLite directly, as another program would.
void runSql(const QString &path, const char *sql)
{
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    char *message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &message), SQLITE_OK) << (message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
}

std::unique_ptr<MediaLibrary> openLibrary(const QString &path, QString *error = nullptr, int busyMs = 5000)
{
    LibraryOpenOptions options;
    options.databasePath = path;
    options.busyTimeoutMs = busyMs;
    return MediaLibrary::open(options, error);
}

RefCountedPtr<QueuedFileInterface> addItem(MediaLibrary &library, const QString &url)
{
    RefCountedPtr<QueuedFileInterface> item;
    EXPECT_TRUE(library.createQueuedItem(QUrl(url), QStringLiteral("t"), QUrl(url), item.receive()));
    if (item) {
        EXPECT_TRUE(library.downloadPlaylist()->insertItem(-1, item.get()));
    }
    return item;
}

} // namespace

TEST(LibraryDatabase, refusesFilesThatAreNotOursAndLeavesThemAlone)
{
    LumoraTest::TempHome home;
    struct Case {
        const char *name;
        std::function<void(const QString &)> make;
        const char *expected;
    };
    const std::vector<Case> cases = {
        {"text", [](const QString &p) { QFile f(p); f.open(QIODevice::WriteOnly); f.write(QByteArray(4096, 'a')); }, "not an SQLite database"},
        {"short", [](const QString &p) { QFile f(p); f.open(QIODevice::WriteOnly); f.write("SQLite format 3"); }, "not an SQLite database"},
        {"foreign", [](const QString &p) { runSql(p, "CREATE TABLE notes(body TEXT); INSERT INTO notes VALUES('mine');"); }, "another program"},
        {"foreign-wal", [](const QString &p) { runSql(p, "PRAGMA journal_mode=WAL; CREATE TABLE notes(body TEXT);"); }, "another program"},
        {"other-application", [](const QString &p) { runSql(p, "PRAGMA application_id = 1234; CREATE TABLE t(x);"); }, "another program"},
    };
    for (const Case &c : cases) {
        const QString path = home.path() + "/" + c.name + ".db";
        c.make(path);
        const QByteArray before = fingerprint(path);
        const QStringList beside = QDir(home.path()).entryList(QDir::Files);
        QString error;
        EXPECT_FALSE(openLibrary(path, &error)) << c.name;
        EXPECT_TRUE(error.contains(QLatin1String(c.expected))) << c.name << ": " << error.toStdString();
        EXPECT_TRUE(error.contains(path)) << c.name;
        EXPECT_EQ(fingerprint(path), before) << c.name;
        EXPECT_EQ(QDir(home.path()).entryList(QDir::Files), beside) << c.name;
    }
    // A folder where the file should be is refused too.
    QDir().mkpath(home.path() + "/folder.db");
    QString error;
    EXPECT_FALSE(openLibrary(home.path() + "/folder.db", &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(LibraryDatabase, refusesALibraryFromANewerSchema)
{
    LumoraTest::TempHome home;
    const QString path = home.path() + "/library.db";
    {
        auto library = openLibrary(path);
        ASSERT_TRUE(library);
        addItem(*library, QStringLiteral("http://h/a.mp4"));
    }
    runSql(path, "PRAGMA user_version = 99;");
    const QByteArray before = fingerprint(path);
    QString error;
    EXPECT_FALSE(openLibrary(path, &error));
    EXPECT_TRUE(error.contains(QLatin1String("newer"))) << error.toStdString();
    EXPECT_EQ(fingerprint(path), before);
}

TEST(LibraryDatabase, bringsAnOlderLibraryUpToDateKeepingItsItems)
{
    LumoraTest::TempHome home;
    const QString path = home.path() + "/library.db";
    // A library of the first schema, with one queued item, as the Lumora of that time wrote it.
    const uint64_t id = 2;
    {
        LibraryOpenOptions v1;
        v1.databasePath = path;
        v1.schemaVersion = 1;
        ASSERT_TRUE(LibraryDatabase::open(v1, nullptr));
    }
    runSql(path, "INSERT INTO queued_items (id, source_url, status, created_at) VALUES (2, 'http://h/a.mp4', 1, 7);"
                 "UPDATE playlists SET item_ids = x'0200000000000000' WHERE kind = 16;"
                 "UPDATE meta SET value = 3 WHERE key = 'next_id';");
    auto library = openLibrary(path);
    ASSERT_TRUE(library);
    EXPECT_EQ(library->downloadOrder(), (std::vector<uint64_t>{id}));
    RefCountedPtr<AcquiredFileInterface> acquired;
    ASSERT_TRUE(library->addAcquiredFile(QUrl::fromLocalFile(QStringLiteral("/x.vexo")), acquired.receive()));
    EXPECT_GT(acquired->id(), id);  // the id counter went on
    library.reset();

    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    sqlite3_stmt *version = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &version, nullptr);
    ASSERT_EQ(sqlite3_step(version), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(version, 0), LibrarySchemaVersion);
    sqlite3_finalize(version);
    sqlite3_close(db);
}

TEST(LibraryDatabase, aLibraryWithoutFailureReasonsTakesThemOnAndKeepsItsItems)
{
    LumoraTest::TempHome home;
    const QString path = home.path() + "/library.db";
    {
        LibraryOpenOptions v2;
        v2.databasePath = path;
        v2.schemaVersion = 2;
        ASSERT_TRUE(LibraryDatabase::open(v2, nullptr));
    }
    runSql(path, "INSERT INTO queued_items (id, source_url, file_url, title, name, status, size, progress, created_at) "
                 "VALUES (2, 'http://h/a.mp4', '', 'a', 'a', 6, 1000, 40, 7);"
                 "UPDATE playlists SET item_ids = x'0200000000000000' WHERE kind = 16;"
                 "UPDATE meta SET value = 3 WHERE key = 'next_id';");

    auto library = openLibrary(path);
    ASSERT_TRUE(library);
    RefCountedPtr<QueuedFileInterface> item;
    ASSERT_TRUE(library->getItem(2, item.receive()));
    EXPECT_EQ(item->status(), Failed);
    EXPECT_EQ(item->size(), 1000u);
    EXPECT_FALSE(item->failureReason().isSet()) << "a failure from before reasons has none";

    FailureReason reason = FailureReason::http(404, QStringLiteral("h"));
    ASSERT_TRUE(item->setFailureReason(reason));
    ASSERT_TRUE(item->commit());
    item = nullptr;
    library.reset();

    library = openLibrary(path);
    ASSERT_TRUE(library->getItem(2, item.receive()));
    EXPECT_EQ(item->failureReason(), reason);
    EXPECT_EQ(item->failureReason().message(), QStringLiteral("404 Not Found (h)"));
}

TEST(LibraryDatabase, makesAPrivateWriteAheadLoggedFile)
{
    LumoraTest::TempHome home;
    const QString path = home.path() + "/deep/er/library.db";
    const mode_t oldMask = ::umask(022);
    auto library = openLibrary(path);
    ::umask(oldMask);
    ASSERT_TRUE(library);
    addItem(*library, QStringLiteral("http://h/a.mp4"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(QFile::encodeName(path + "-wal").constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    library.reset();

    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    sqlite3_stmt *s = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &s, nullptr);
    ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(s, 0)), "wal");
    sqlite3_finalize(s);
    sqlite3_prepare_v2(db, "PRAGMA application_id", -1, &s, nullptr);
    ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(s, 0), LibraryApplicationId);
    sqlite3_finalize(s);
    sqlite3_close(db);

    // A library of ours that someone opened up is made private again.
    ::chmod(QFile::encodeName(path).constData(), 0644);
    ASSERT_TRUE(openLibrary(path));
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(LibraryDatabase, aReadOnlyLibraryReadsButRefusesEveryWrite)
{
    LumoraTest::TempHome home;
    const QString path = home.path() + "/library.db";
    uint64_t id = 0;
    {
        auto library = openLibrary(path);
        ASSERT_TRUE(library);
        id = addItem(*library, QStringLiteral("http://h/a.mp4"))->id();
        addItem(*library, QStringLiteral("http://h/b.mp4"));
    }
    const QByteArray before = fingerprint(path);
    LibraryOpenOptions options;
    options.databasePath = path;
    options.readOnly = true;
    auto reader = MediaLibrary::open(options, nullptr);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(reader->isReadOnly());
    const auto order = reader->downloadOrder();
    ASSERT_EQ(order.size(), 2u);
    RefCountedPtr<QueuedFileInterface> item;
    ASSERT_TRUE(reader->getItem(id, item.receive()));
    EXPECT_TRUE(item->setStatus(Failed));  // memory only
    EXPECT_FALSE(item->commit());
    EXPECT_FALSE(item->remove());
    EXPECT_FALSE(reader->downloadPlaylist()->moveItem(-1, id));
    RefCountedPtr<QueuedFileInterface> created;
    EXPECT_FALSE(reader->createQueuedItem(QUrl(QStringLiteral("http://h/c.mp4")), QStringLiteral("c"), QUrl(), created.receive()));
    EXPECT_EQ(reader->downloadOrder(), order);
    item = nullptr;
    reader.reset();
    EXPECT_EQ(fingerprint(path), before);

    // Reading needs the file to exist: nothing is created for a reader.
    options.databasePath = home.path() + "/missing.db";
    QString error;
    EXPECT_FALSE(MediaLibrary::open(options, &error));
    EXPECT_FALSE(QFile::exists(options.databasePath));
}

TEST(LibraryDatabase, aFileTheUserMayNotWriteOpensForReadingOnly)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes read-only files";
    LumoraTest::TempHome home;
    const QString path = home.path() + "/library.db";
    uint64_t id = 0;
    {
        auto library = openLibrary(path);
        ASSERT_TRUE(library);
        id = addItem(*library, QStringLiteral("http://h/a.mp4"))->id();
    }
    ::chmod(QFile::encodeName(path).constData(), 0400);
    QString error;
    auto library = openLibrary(path, &error);
    ASSERT_TRUE(library) << error.toStdString();
    EXPECT_TRUE(library->isReadOnly());
    RefCountedPtr<QueuedFileInterface> item;
    ASSERT_TRUE(library->getItem(id, item.receive()));
    item->setStatus(Failed);
    EXPECT_FALSE(item->commit());
}

TEST(LibraryDatabase, aFullDiskMakesWritesFailAndKeepsWhatWasStored)
{
    LumoraTest::TempHome home;
    const QString path = home.path() + "/library.db";
    {
        auto library = openLibrary(path);
        ASSERT_TRUE(library);
    }
    LibraryOpenOptions options;
    options.databasePath = path;
    options.maxPageCount = 12;  // a few pages beyond the empty schema
    auto library = MediaLibrary::open(options, nullptr);
    ASSERT_TRUE(library);
    auto playlist = library->downloadPlaylist();

    std::vector<uint64_t> stored;
    RefCountedPtr<QueuedFileInterface> item;
    const QString big(3000, QChar('d'));
    bool full = false;
    for (int i = 0; i < 200 && !full; ++i) {
        const QUrl url(QStringLiteral("http://h/%1.mp4").arg(i));
        if (!library->createQueuedItem(url, QStringLiteral("t"), url, item.receive())) {
            full = true;
            break;
        }
        item->setDescription(big);
        if (!item->commit() || !playlist->insertItem(-1, item.get()))
            full = true;
        else
            stored.push_back(item->id());
    }
    ASSERT_TRUE(full);
    ASSERT_FALSE(stored.empty());
    const auto order = library->downloadOrder();
    EXPECT_EQ(std::vector<uint64_t>(order.begin(), order.begin() + static_cast<ptrdiff_t>(stored.size())), stored);
    // A refused commit keeps the change in memory for a later try.
    RefCountedPtr<QueuedFileInterface> first;
    ASSERT_TRUE(library->getItem(stored.front(), first.receive()));
    first->setDescription(QString(20000, QChar('e')));
    EXPECT_FALSE(first->commit());
    EXPECT_EQ(first->description().size(), 20000);
    first = nullptr;
    item = nullptr;
    playlist = nullptr;
    library.reset();

    auto reopened = openLibrary(path);
    ASSERT_TRUE(reopened);
    const auto after = reopened->downloadOrder();
    EXPECT_EQ(std::vector<uint64_t>(after.begin(), after.begin() + static_cast<ptrdiff_t>(stored.size())), stored);
    ASSERT_TRUE(reopened->getItem(stored.front(), first.receive()));
    EXPECT_EQ(first->description(), big);
}

TEST(LibraryDatabase, aBusyLibraryMakesWritesFailWithinTheTimeout)
{
    LumoraTest::TempHome home;
    const QString path = home.path() + "/library.db";
    auto library = openLibrary(path, nullptr, 200);
    ASSERT_TRUE(library);
    auto item = addItem(*library, QStringLiteral("http://h/a.mp4"));

    // Another program holds the write lock.
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    item->setStatus(Failed);
    QElapsedTimer waited;
    waited.start();
    EXPECT_FALSE(item->commit());
    EXPECT_GE(waited.elapsed(), 150);   // it did wait for the other writer
    EXPECT_LT(waited.elapsed(), 5000);  // bounded: the busy timeout, not forever
    EXPECT_EQ(library->downloadOrder().size(), 1u);  // reading goes on meanwhile
    ASSERT_EQ(sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);

    EXPECT_TRUE(item->commit());
    item = nullptr;
    library.reset();
    auto reopened = openLibrary(path);
    RefCountedPtr<QueuedFileInterface> back;
    ASSERT_TRUE(reopened->getItem(reopened->downloadOrder().front(), back.receive()));
    EXPECT_EQ(back->status(), Failed);
}

// A library that cannot store a change says why, for a host to tell the user.
TEST(LibraryDatabase, aLibraryThatCannotStoreAChangeSaysWhetherItIsReadOnlyOrLocked)
{
    LumoraTest::TempHome home;
    const QString path = home.path() + "/library.db";
    auto writable = openLibrary(path, nullptr, 200);
    ASSERT_TRUE(writable);
    EXPECT_TRUE(writable->writeProblem().isEmpty());

    LibraryOpenOptions readOnly;
    readOnly.databasePath = path;
    readOnly.readOnly = true;
    auto reader = MediaLibrary::open(readOnly, nullptr);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(reader->writeProblem().contains("read-only")) << reader->writeProblem().toStdString();

    // Another program holds the library locked for writing.
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_TRUE(writable->writeProblem().contains("locked by another program")) << writable->writeProblem().toStdString();
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(writable->writeProblem().isEmpty());
}
