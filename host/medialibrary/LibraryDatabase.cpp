#include "host/medialibrary/LibraryDatabase.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Lumora {

namespace {

// One entry per schema version; entry n - 1 takes a file from version n - 1 to n. Ids of every kind
// of object come from one counter ("next_id"), so that an identifier in a notification names
// exactly one thing. The download playlist exists from the start, with the first id.
const char *const kMigrations[] = {
    // 1: queued items and the playlists that order them.
    R"sql(
    CREATE TABLE meta (key TEXT PRIMARY KEY NOT NULL, value INTEGER NOT NULL) WITHOUT ROWID;
    INSERT INTO meta (key, value) VALUES ('next_id', 2);
    CREATE TABLE queued_items (
        id INTEGER PRIMARY KEY NOT NULL,
        source_url TEXT NOT NULL,
        file_url TEXT NOT NULL DEFAULT '',
        title TEXT NOT NULL DEFAULT '',
        name TEXT NOT NULL DEFAULT '',
        description TEXT NOT NULL DEFAULT '',
        status INTEGER NOT NULL,
        size INTEGER NOT NULL DEFAULT 0,
        progress INTEGER NOT NULL DEFAULT 0,
        time_remaining INTEGER NOT NULL DEFAULT 0,
        last_progress_time INTEGER NOT NULL DEFAULT 0,
        counter INTEGER NOT NULL DEFAULT 0,
        download_option INTEGER NOT NULL DEFAULT 0,
        flag INTEGER NOT NULL DEFAULT 0,
        pair_first INTEGER NOT NULL DEFAULT 0,
        pair_second INTEGER NOT NULL DEFAULT 0,
        play_when_ready INTEGER NOT NULL DEFAULT 0,
        completed_at INTEGER NOT NULL DEFAULT 0,
        created_at INTEGER NOT NULL
    );
    -- The order of a playlist is one array of item ids (little-endian 64-bit): every reordering is a
    -- single row write, whatever the position, and can never leave two items on one place.
    CREATE TABLE playlists (id INTEGER PRIMARY KEY NOT NULL, kind INTEGER NOT NULL UNIQUE,
                            item_ids BLOB NOT NULL);
    INSERT INTO playlists (id, kind, item_ids) VALUES (1, 16, x'');
    )sql",
    // 2: the files the library knows: finished videos (and other media), and acquired files.
    R"sql(
    CREATE TABLE media_files (
        id INTEGER PRIMARY KEY NOT NULL,
        kind INTEGER NOT NULL,
        url TEXT NOT NULL,
        url_key TEXT NOT NULL UNIQUE,
        title TEXT NOT NULL DEFAULT '',
        duration_ms INTEGER NOT NULL DEFAULT 0,
        width INTEGER NOT NULL DEFAULT 0,
        height INTEGER NOT NULL DEFAULT 0,
        source_item_id INTEGER NOT NULL DEFAULT 0,
        added_at INTEGER NOT NULL
    );
    CREATE TABLE acquired_files (
        id INTEGER PRIMARY KEY NOT NULL,
        url TEXT NOT NULL,
        url_key TEXT NOT NULL UNIQUE,
        acquired_at INTEGER NOT NULL
    );
    )sql",
    // 3: why a download failed, and when it finished. Older items have neither.
    R"sql(
    ALTER TABLE queued_items ADD COLUMN failure_kind TEXT NOT NULL DEFAULT '';
    ALTER TABLE queued_items ADD COLUMN failure_status INTEGER NOT NULL DEFAULT 0;
    ALTER TABLE queued_items ADD COLUMN failure_detail TEXT NOT NULL DEFAULT '';
    ALTER TABLE queued_items ADD COLUMN failure_needed INTEGER NOT NULL DEFAULT 0;
    ALTER TABLE queued_items ADD COLUMN failure_free INTEGER NOT NULL DEFAULT 0;
    ALTER TABLE queued_items ADD COLUMN finished_at INTEGER NOT NULL DEFAULT 0;
    ALTER TABLE queued_items ADD COLUMN pending_finish TEXT NOT NULL DEFAULT '';
    )sql",
};
static_assert(sizeof(kMigrations) / sizeof(kMigrations[0]) == LibrarySchemaVersion);

uint32_t bigEndian32(const unsigned char *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

enum class HeaderVerdict { Missing, Empty, Candidate, Refused };

// Looks at the raw file before SQLite does: SQLite would happily turn an empty-looking or foreign
// file into a database of its own, and even reading a file in another journal mode can leave files
// beside it. What the header cannot settle (an application id of 0) is left to the schema check.
HeaderVerdict inspectHeader(const QString &path, QString *error)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        if (errno == ENOENT)
            return HeaderVerdict::Missing;
        *error = QStringLiteral("cannot read %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return HeaderVerdict::Refused;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = QStringLiteral("%1 is not a regular file").arg(path);
        return HeaderVerdict::Refused;
    }
    if (st.st_size == 0)
        return HeaderVerdict::Empty;

    unsigned char header[100] = {};
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return HeaderVerdict::Refused;
    }
    const ssize_t got = ::read(fd, header, sizeof header);
    ::close(fd);
    if (got != static_cast<ssize_t>(sizeof header) || std::memcmp(header, "SQLite format 3", 16) != 0) {
        *error = QStringLiteral("%1 is not a Lumora media library (it is not an SQLite database); it was left as it is").arg(path);
        return HeaderVerdict::Refused;
    }
    const uint32_t applicationId = bigEndian32(header + 68);
    const uint32_t userVersion = bigEndian32(header + 60);
    if (applicationId != 0 && applicationId != static_cast<uint32_t>(LibraryApplicationId)) {
        *error = QStringLiteral("%1 belongs to another program (application id 0x%2); it was left as it is")
                     .arg(path).arg(applicationId, 8, 16, QLatin1Char('0'));
        return HeaderVerdict::Refused;
    }
    if (applicationId != 0 && userVersion > static_cast<uint32_t>(LibrarySchemaVersion)) {
        *error = QStringLiteral("%1 was written by a newer Lumora (library schema %2; this one knows up to %3); it was left as it is")
                     .arg(path).arg(userVersion).arg(LibrarySchemaVersion);
        return HeaderVerdict::Refused;
    }
    return HeaderVerdict::Candidate;
}

bool createPrivateFile(const QString &path, QString *error)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    if (errno == EEXIST)  // another process was quicker; its file is checked like any other
        return true;
    *error = QStringLiteral("cannot create %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

struct SchemaState {
    int64_t applicationId = 0;
    int64_t version = 0;
    int64_t objects = 0;  // tables, indexes, views in the file
};

bool readSchemaState(LibraryDatabase &db, SchemaState *state)
{
    SqliteStatement app(db.handle(), "PRAGMA application_id");
    SqliteStatement version(db.handle(), "PRAGMA user_version");
    SqliteStatement objects(db.handle(), "SELECT count(*) FROM sqlite_schema");
    if (app.step() != SQLITE_ROW || version.step() != SQLITE_ROW || objects.step() != SQLITE_ROW)
        return false;
    state->applicationId = app.int64At(0);
    state->version = version.int64At(0);
    state->objects = objects.int64At(0);
    return true;
}

QString describeSchemaProblem(const QString &path, const SchemaState &state)
{
    const bool ours = state.applicationId == LibraryApplicationId;
    const bool empty = state.applicationId == 0 && state.objects == 0 && state.version == 0;
    if (!ours && !empty)
        return QStringLiteral("%1 belongs to another program (it holds a database that is not a Lumora media library); it was left as it is").arg(path);
    if (state.version > LibrarySchemaVersion)
        return QStringLiteral("%1 was written by a newer Lumora (library schema %2; this one knows up to %3); it was left as it is")
            .arg(path).arg(state.version).arg(LibrarySchemaVersion);
    return QString();
}

bool isDamageCode(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

QString damagedMessage(const QString &path, const QString &what)
{
    return QStringLiteral("%1 %2 (%3); nothing was written to it. \"lumora salvage\" copies what can still be "
                          "read into a new library and keeps the damaged file beside it")
        .arg(path, QLatin1String(LibraryDamagedMarker), what);
}

// SQLite's quick check, stopped when it runs out of time: empty when the file passed (or the check
// could not finish), else what is wrong.
QString quickCheck(LibraryDatabase &db, int budgetMs)
{
    QElapsedTimer clock;
    clock.start();
    struct Budget {
        QElapsedTimer *clock;
        int ms;
    } budget{&clock, budgetMs};
    sqlite3_progress_handler(
        db.handle(), 1000,
        [](void *data) {
            auto *b = static_cast<Budget *>(data);
            return b->clock->elapsed() > b->ms ? 1 : 0;
        },
        &budget);
    QString problem;
    {
        SqliteStatement check(db.handle(), "PRAGMA quick_check(3)");
        int rc;
        QStringList lines;
        while ((rc = check.step()) == SQLITE_ROW)
            lines << check.textAt(0);
        if (rc == SQLITE_DONE && !(lines.size() == 1 && lines.front() == QLatin1String("ok")))
            problem = lines.join(QStringLiteral("; "))
                          .remove(QStringLiteral("*** in database main ***"))
                          .simplified();
        else if (isDamageCode(rc))
            problem = db.lastError();
    }
    sqlite3_progress_handler(db.handle(), 0, nullptr, nullptr);
    return problem;
}

bool migrate(LibraryDatabase &db, int32_t target, QString *error)
{
    for (int32_t step = 1; step <= target; ++step) {
        SchemaState state;
        if (!readSchemaState(db, &state)) {
            *error = db.lastError();
            return false;
        }
        if (state.version >= step)
            continue;
        WriteTransaction transaction(db);
        if (!transaction.isOpen()) {
            *error = db.lastError();
            return false;
        }
        // Another process may have taken the same step while we waited for the write lock.
        if (!readSchemaState(db, &state)) {
            *error = db.lastError();
            return false;
        }
        const QString problem = describeSchemaProblem(db.path(), state);
        if (!problem.isEmpty()) {
            *error = problem;
            return false;
        }
        if (state.version >= step)
            continue;
        const QByteArray stamp = QStringLiteral("PRAGMA application_id = %1; PRAGMA user_version = %2;")
                                     .arg(LibraryApplicationId).arg(step).toUtf8();
        if (!db.exec(kMigrations[step - 1]) || !db.exec(stamp.constData()) || !transaction.commit()) {
            *error = QStringLiteral("cannot bring %1 to library schema %2: %3").arg(db.path()).arg(step).arg(db.lastError());
            return false;
        }
    }
    return true;
}

} // namespace

// ---- SqliteStatement ----

SqliteStatement::SqliteStatement(sqlite3 *db, const char *sql)
{
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_statement, nullptr) != SQLITE_OK)
        m_statement = nullptr;
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_statement);
}

SqliteStatement &SqliteStatement::reset()
{
    if (m_statement) {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    return *this;
}

SqliteStatement &SqliteStatement::bind(int index, int64_t value)
{
    if (m_statement)
        sqlite3_bind_int64(m_statement, index, value);
    return *this;
}

SqliteStatement &SqliteStatement::bind(int index, const QString &text)
{
    if (!m_statement)
        return *this;
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(m_statement, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    return *this;
}

SqliteStatement &SqliteStatement::bindBlob(int index, const QByteArray &blob)
{
    // A zero-length blob must still be a blob, not NULL: the column is NOT NULL.
    if (m_statement)
        sqlite3_bind_blob(m_statement, index, blob.isEmpty() ? "" : blob.constData(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
    return *this;
}

int SqliteStatement::step()
{
    return m_statement ? sqlite3_step(m_statement) : SQLITE_MISUSE;
}

bool SqliteStatement::run()
{
    const int rc = step();
    if (m_statement)
        sqlite3_reset(m_statement);
    return rc == SQLITE_DONE;
}

int64_t SqliteStatement::int64At(int column) const
{
    return m_statement ? sqlite3_column_int64(m_statement, column) : 0;
}

QString SqliteStatement::textAt(int column) const
{
    if (!m_statement)
        return QString();
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(m_statement, column)) : QString();
}

QByteArray SqliteStatement::blobAt(int column) const
{
    if (!m_statement)
        return QByteArray();
    const void *data = sqlite3_column_blob(m_statement, column);
    return data ? QByteArray(static_cast<const char *>(data), sqlite3_column_bytes(m_statement, column)) : QByteArray();
}

// ---- LibraryDatabase ----

LibraryDatabase::LibraryDatabase(sqlite3 *db, const QString &path, bool readOnly)
    : m_db(db), m_path(path), m_readOnly(readOnly)
{
}

LibraryDatabase::~LibraryDatabase()
{
    m_statements.clear();  // finalized before the connection closes
    sqlite3_close_v2(m_db);
}

std::unique_ptr<LibraryDatabase> LibraryDatabase::open(const LibraryOpenOptions &options, QString *errorOut)
{
    QString scratch;
    QString *error = errorOut ? errorOut : &scratch;
    error->clear();
    const QString path = options.databasePath;
    if (path.isEmpty()) {
        *error = QStringLiteral("no library database path given");
        return nullptr;
    }

    switch (inspectHeader(path, error)) {
    case HeaderVerdict::Refused:
        return nullptr;
    case HeaderVerdict::Missing:
        if (options.readOnly) {
            *error = QStringLiteral("%1 does not exist").arg(path);
            return nullptr;
        }
        if (!createPrivateFile(path, error))
            return nullptr;
        break;
    case HeaderVerdict::Empty:
    case HeaderVerdict::Candidate:
        break;
    }

    sqlite3 *raw = nullptr;
    const int flags = (options.readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX
                      | SQLITE_OPEN_EXRESCODE;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, flags, nullptr) != SQLITE_OK) {
        *error = QStringLiteral("cannot open %1: %2").arg(path, QString::fromUtf8(raw ? sqlite3_errmsg(raw) : "out of memory"));
        sqlite3_close_v2(raw);
        return nullptr;
    }
    std::unique_ptr<LibraryDatabase> db(new LibraryDatabase(raw, path, options.readOnly));
    sqlite3_busy_timeout(raw, options.busyTimeoutMs);
    sqlite3_extended_result_codes(raw, 1);

    // Decide on the file before anything is written to it.
    SchemaState state;
    if (!readSchemaState(*db, &state)) {
        const int code = sqlite3_extended_errcode(raw);
        *error = isDamageCode(code) ? damagedMessage(path, db->lastError())
                                    : QStringLiteral("cannot read %1: %2").arg(path, db->lastError());
        return nullptr;
    }
    if (state.objects > 0) {
        const QString problem = quickCheck(*db, options.integrityCheckMs);
        if (!problem.isEmpty()) {
            *error = damagedMessage(path, problem);
            return nullptr;
        }
    }
    *error = describeSchemaProblem(path, state);
    if (!error->isEmpty())
        return nullptr;
    db->m_readOnly = options.readOnly || sqlite3_db_readonly(raw, "main") == 1;
    if (db->m_readOnly) {
        if (state.version < options.schemaVersion) {
            *error = QStringLiteral("%1 needs upgrading to library schema %2 but can only be read").arg(path).arg(options.schemaVersion);
            return nullptr;
        }
        return db;
    }

    // The library holds what the user downloads, and the addresses may carry credentials.
    ::chmod(QFile::encodeName(path).constData(), 0600);
    db->exec("PRAGMA journal_mode = WAL");
    db->exec("PRAGMA synchronous = NORMAL");
    if (options.maxPageCount > 0)
        db->exec(QStringLiteral("PRAGMA max_page_count = %1").arg(options.maxPageCount).toUtf8().constData());
    if (!migrate(*db, options.schemaVersion, error))
        return nullptr;
    return db;
}

SqliteStatement &LibraryDatabase::statement(const char *sql)
{
    // A statement that failed to prepare (a table an older schema lacks) is tried again next time,
    // and meanwhile fails every step.
    auto &slot = m_statements[sql];
    if (!slot || !slot->isValid())
        slot = std::make_unique<SqliteStatement>(m_db, sql);
    return slot->reset();
}

bool LibraryDatabase::exec(const char *sql)
{
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

QString LibraryDatabase::lastError() const
{
    return QString::fromUtf8(sqlite3_errmsg(m_db));
}

int64_t LibraryDatabase::dataVersion()
{
    SqliteStatement &version = statement("PRAGMA data_version");
    const int64_t value = version.step() == SQLITE_ROW ? version.int64At(0) : -1;
    version.reset();
    return value;
}

// ---- ReadSnapshot ----

ReadSnapshot::ReadSnapshot(LibraryDatabase &db) : m_db(db)
{
    m_began = sqlite3_get_autocommit(db.handle()) != 0 && db.exec("BEGIN");
}

ReadSnapshot::~ReadSnapshot()
{
    if (m_began)
        m_db.exec("COMMIT");
}

// ---- WriteTransaction ----

WriteTransaction::WriteTransaction(LibraryDatabase &db) : m_db(db)
{
    m_open = !db.isReadOnly() && db.exec("BEGIN IMMEDIATE");
}

WriteTransaction::~WriteTransaction()
{
    if (m_open)
        m_db.exec("ROLLBACK");
}

bool WriteTransaction::commit()
{
    if (!m_open)
        return false;
    if (m_db.exec("COMMIT")) {
        m_open = false;
        return true;
    }
    // A failed COMMIT may leave the transaction open (busy) or already rolled back (I/O error, full
    // disk); the destructor's ROLLBACK covers the first and is harmless after the second.
    return false;
}

} // namespace Lumora
