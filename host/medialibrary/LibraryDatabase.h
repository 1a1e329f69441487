#pragma once
// The library's SQLite file: opening it safely, its schema and migrations, and the small RAII layer
// (prepared statements, write transactions) the store is written in.
//
// Opening never changes a file that is not ours: the header is read first, then SQLite is asked
// about the schema, and only a file that is ours (or empty) is switched to WAL, migrated and
// tightened to mode 0600. A file from a newer build is refused the same way, so that an older
// player cannot damage what a newer one wrote.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace Lumora {

// "LMLB": marks a file as a Lumora media library (SQLite's application_id).
inline constexpr int32_t LibraryApplicationId = 0x4C4D4C42;
// The schema this build writes; user_version of the file.
inline constexpr int32_t LibrarySchemaVersion = 3;

struct LibraryOpenOptions {
    QString databasePath;
    // How long a write waits for another process that holds the database before it gives up.
    int busyTimeoutMs = 5000;
    // Reading only (listing while a player runs): nothing is created, migrated or written.
    bool readOnly = false;
    // Caps the file at this many pages (0: no cap). Reaching it behaves as a full disk does.
    int64_t maxPageCount = 0;
    // The schema version a new or older file is brought to. Only tests lower it, to make files as
    // older builds left them.
    int32_t schemaVersion = LibrarySchemaVersion;
    // How long the integrity check at opening may take; a check that runs out of time passes
    // (a library that large is not read whole at every start).
    int integrityCheckMs = 2000;
    // Put items no queue reaches back into the queue (what a process killed in the middle of adding
    // a download leaves). Only tests that build such states on purpose turn it off.
    bool reattachStrayItems = true;
};

// What a damaged library file is told apart by, in the error of a refused open.
inline constexpr char LibraryDamagedMarker[] = "is damaged";

class SqliteStatement {
public:
    SqliteStatement(sqlite3 *db, const char *sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    bool isValid() const { return m_statement != nullptr; }
    // Ready for new bindings; every use starts with it.
    SqliteStatement &reset();
    SqliteStatement &bind(int index, int64_t value);
    SqliteStatement &bind(int index, const QString &text);
    SqliteStatement &bindBlob(int index, const QByteArray &blob);
    // The SQLite result code of one step (SQLITE_ROW, SQLITE_DONE or an error).
    int step();
    // Runs a statement that returns no rows; true on SQLITE_DONE.
    bool run();

    int64_t int64At(int column) const;
    QString textAt(int column) const;
    QByteArray blobAt(int column) const;

private:
    sqlite3_stmt *m_statement = nullptr;
};

class LibraryDatabase {
public:
    // Nullptr and a message in error when the file cannot be used (not ours, newer, unreadable, busy).
    static std::unique_ptr<LibraryDatabase> open(const LibraryOpenOptions &options, QString *error);
    ~LibraryDatabase();
    LibraryDatabase(const LibraryDatabase &) = delete;
    LibraryDatabase &operator=(const LibraryDatabase &) = delete;

    sqlite3 *handle() const { return m_db; }
    bool isReadOnly() const { return m_readOnly; }
    const QString &path() const { return m_path; }
    // A statement prepared once per connection; sql must be a string literal (its address is the key).
    SqliteStatement &statement(const char *sql);
    bool exec(const char *sql);
    QString lastError() const;
    // Changes whenever another connection committed since the last call.
    int64_t dataVersion();

private:
    LibraryDatabase(sqlite3 *db, const QString &path, bool readOnly);

    sqlite3 *m_db;
    QString m_path;
    bool m_readOnly;
    std::unordered_map<const char *, std::unique_ptr<SqliteStatement>> m_statements;
};

// One consistent view for several reads (a deferred transaction), unless a transaction is open
// already. Ends with COMMIT, which for a reader only lets go of the snapshot.
class ReadSnapshot {
public:
    explicit ReadSnapshot(LibraryDatabase &db);
    ~ReadSnapshot();
    ReadSnapshot(const ReadSnapshot &) = delete;
    ReadSnapshot &operator=(const ReadSnapshot &) = delete;

private:
    LibraryDatabase &m_db;
    bool m_began = false;
};

// A write transaction: BEGIN IMMEDIATE, so that waiting for another writer happens here under the
// busy timeout, never half-way through. Rolls back when it ends without commit().
class WriteTransaction {
public:
    explicit WriteTransaction(LibraryDatabase &db);
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction &) = delete;
    WriteTransaction &operator=(const WriteTransaction &) = delete;

    bool isOpen() const { return m_open; }
    bool commit();

private:
    LibraryDatabase &m_db;
    bool m_open = false;
};

} // namespace Lumora
