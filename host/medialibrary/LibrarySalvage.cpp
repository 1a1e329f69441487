#include "host/medialibrary/LibrarySalvage.h"

#include "host/medialibrary/LibraryDatabase.h"
#include "plugin/MediaLibrary.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QtEndian>

#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

namespace Lumora {

namespace {

// Looking rows up one by one behind a damaged page stops here, whatever the ids suggest.
constexpr int64_t kMostLookups = 2000000;

struct Connection {
    sqlite3 *db = nullptr;
    ~Connection() { sqlite3_close_v2(db); }
};

struct Statement {
    sqlite3_stmt *s = nullptr;
    Statement(sqlite3 *db, const QString &sql) { sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &s, nullptr); }
    ~Statement() { sqlite3_finalize(s); }
};

QStringList columnsOf(sqlite3 *db, const char *table)
{
    QStringList names;
    Statement info(db, QStringLiteral("PRAGMA table_info(%1)").arg(QLatin1String(table)));
    while (info.s && sqlite3_step(info.s) == SQLITE_ROW)
        names << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(info.s, 1)));
    return names;
}

// Copies the rows of table from one database to the other, by the columns both know. Returns the
// ids copied.
class TableCopy {
public:
    TableCopy(sqlite3 *from, sqlite3 *to, const char *table) : m_from(from)
    {
        const QStringList target = columnsOf(to, table);
        for (const QString &column : columnsOf(from, table)) {
            if (target.contains(column))
                m_columns << column;
        }
        if (m_columns.isEmpty() || !m_columns.contains(QLatin1String("id")))
            return;
        const QString list = m_columns.join(QStringLiteral(", "));
        QStringList marks;
        for (qsizetype i = 1; i <= m_columns.size(); ++i)
            marks << QStringLiteral("?%1").arg(i);
        m_insert = std::make_unique<Statement>(
            to, QStringLiteral("INSERT OR REPLACE INTO %1 (%2) VALUES (%3)").arg(QLatin1String(table), list, marks.join(", ")));
        m_scanSql = QStringLiteral("SELECT %1 FROM %2").arg(list, QLatin1String(table));
    }

    // Scans the table; where a damaged page stops the scan, looks up the ids up to highestId one by
    // one.
    std::set<int64_t> copy(int64_t highestId)
    {
        if (!m_insert || !m_insert->s)
            return {};
        Statement scan(m_from, m_scanSql);
        int rc = SQLITE_ERROR;
        while (scan.s && (rc = sqlite3_step(scan.s)) == SQLITE_ROW)
            copyRow(scan.s);
        if (rc == SQLITE_DONE)
            return m_copied;
        const int64_t last = std::min<int64_t>(std::max<int64_t>(highestId, maxCopied() + 1), kMostLookups);
        Statement one(m_from, m_scanSql + QStringLiteral(" WHERE id = ?1"));
        for (int64_t id = 1; one.s && id <= last; ++id) {
            if (m_copied.count(id))
                continue;
            sqlite3_reset(one.s);
            sqlite3_bind_int64(one.s, 1, id);
            if (sqlite3_step(one.s) == SQLITE_ROW)
                copyRow(one.s);
        }
        return m_copied;
    }

private:
    void copyRow(sqlite3_stmt *row)
    {
        sqlite3_reset(m_insert->s);
        int64_t id = 0;
        for (int i = 0; i < sqlite3_column_count(row); ++i) {
            sqlite3_bind_value(m_insert->s, i + 1, sqlite3_column_value(row, i));
            if (m_columns.at(i) == QLatin1String("id"))
                id = sqlite3_column_int64(row, i);
        }
        if (sqlite3_step(m_insert->s) == SQLITE_DONE)
            m_copied.insert(id);
    }
    int64_t maxCopied() const { return m_copied.empty() ? 0 : *m_copied.rbegin(); }

    sqlite3 *m_from;
    QStringList m_columns;
    QString m_scanSql;
    std::unique_ptr<Statement> m_insert;
    std::set<int64_t> m_copied;
};

int64_t storedNextId(sqlite3 *db)
{
    Statement next(db, QStringLiteral("SELECT value FROM meta WHERE key = 'next_id'"));
    return next.s && sqlite3_step(next.s) == SQLITE_ROW ? sqlite3_column_int64(next.s, 0) : 0;
}

// The download queue's order, as far as it can be read, keeping only the items that were saved.
bool copyQueueOrder(sqlite3 *from, sqlite3 *to, const std::set<int64_t> &items)
{
    Statement read(from, QStringLiteral("SELECT item_ids FROM playlists WHERE kind = %1")
                             .arg(MediaManagerInterface::DownloadPlaylistKind));
    if (!read.s || sqlite3_step(read.s) != SQLITE_ROW)
        return false;
    const auto *data = static_cast<const char *>(sqlite3_column_blob(read.s, 0));
    const int bytes = sqlite3_column_bytes(read.s, 0);
    QByteArray order;
    for (int at = 0; data && at + 8 <= bytes; at += 8) {
        const auto id = static_cast<int64_t>(qFromLittleEndian<quint64>(data + at));
        if (items.count(id))
            order.append(data + at, 8);
    }
    Statement write(to, QStringLiteral("UPDATE playlists SET item_ids = ?1 WHERE kind = %1")
                            .arg(MediaManagerInterface::DownloadPlaylistKind));
    sqlite3_bind_blob(write.s, 1, order.isEmpty() ? "" : order.constData(), static_cast<int>(order.size()), SQLITE_TRANSIENT);
    return write.s && sqlite3_step(write.s) == SQLITE_DONE;
}

bool moveAside(const QString &from, const QString &to)
{
    if (!QFile::exists(from))
        return true;
    return QFile::rename(from, to);
}

} // namespace

SalvageReport salvageLibrary(const QString &path)
{
    SalvageReport report;
    if (!QFileInfo(path).isFile()) {
        report.error = QStringLiteral("there is no library at %1").arg(path);
        return report;
    }
    const QString fresh = path + QStringLiteral(".salvaging");
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(fresh + suffix);

    Connection damaged;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &damaged.db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        report.error = QStringLiteral("cannot read %1: %2").arg(path, QString::fromUtf8(sqlite3_errmsg(damaged.db)));
        return report;
    }
    LibraryOpenOptions options;
    options.databasePath = fresh;
    QString error;
    std::unique_ptr<LibraryDatabase> target = LibraryDatabase::open(options, &error);
    if (!target) {
        report.error = QStringLiteral("cannot make a new library beside %1: %2").arg(path, error);
        return report;
    }
    sqlite3 *to = target->handle();
    const int64_t nextId = storedNextId(damaged.db);
    target->exec("BEGIN");
    const std::set<int64_t> items = TableCopy(damaged.db, to, "queued_items").copy(nextId);
    const std::set<int64_t> media = TableCopy(damaged.db, to, "media_files").copy(nextId);
    const std::set<int64_t> acquired = TableCopy(damaged.db, to, "acquired_files").copy(nextId);
    report.queueOrderKept = copyQueueOrder(damaged.db, to, items);
    int64_t highest = nextId;
    for (const std::set<int64_t> *ids : {&items, &media, &acquired}) {
        if (!ids->empty())
            highest = std::max(highest, *ids->rbegin() + 1);
    }
    const QByteArray setNext = QStringLiteral("UPDATE meta SET value = max(value, %1) WHERE key = 'next_id'").arg(highest).toUtf8();
    if (!target->exec(setNext.constData()) || !target->exec("COMMIT")) {
        report.error = QStringLiteral("cannot write the new library %1: %2").arg(fresh, target->lastError());
        return report;
    }
    target.reset();
    sqlite3_close_v2(damaged.db);
    damaged.db = nullptr;

    const QString kept = path + QStringLiteral(".damaged-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (!moveAside(path, kept) || !moveAside(path + "-wal", kept + "-wal") || !moveAside(path + "-shm", kept + "-shm")
        || !QFile::rename(fresh, path)) {
        report.error = QStringLiteral("the new library is %1, but it could not take the place of %2").arg(fresh, path);
        return report;
    }
    report.ok = true;
    report.keptAs = kept;
    report.items = static_cast<int64_t>(items.size());
    report.files = static_cast<int64_t>(media.size() + acquired.size());
    return report;
}

} // namespace Lumora
