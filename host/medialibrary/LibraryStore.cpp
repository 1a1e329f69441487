#include "host/medialibrary/LibraryStore.h"

#include "host/lmrlibrary/OSUtilities.h"
#include "host/medialibrary/LibraryStoreHelpers.h"
#include "host/medialibrary/LibraryUrls.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <sqlite3.h>

#include <algorithm>
#include <unordered_set>

namespace Lumora {

namespace {

using LibraryStoreHelpers::asStored;
using LibraryStoreHelpers::handOut;
using MediaManagerInterface::QueuedFileInterface;

// Column order shared by the item statements: ?1 is the id, ?2.. the record in this order.
constexpr const char kSelectItems[] =
    "SELECT id, source_url, file_url, title, name, description, status, size, progress, time_remaining, "
    "last_progress_time, counter, download_option, flag, pair_first, pair_second, play_when_ready, completed_at, "
    "created_at, failure_kind, failure_status, failure_detail, failure_needed, failure_free, finished_at, "
    "pending_finish FROM queued_items";
constexpr const char kInsertItem[] =
    "INSERT INTO queued_items (id, source_url, file_url, title, name, description, status, size, progress, "
    "time_remaining, last_progress_time, counter, download_option, flag, pair_first, pair_second, play_when_ready, "
    "completed_at, created_at, failure_kind, failure_status, failure_detail, failure_needed, failure_free, "
    "finished_at, pending_finish) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, "
    "?17, ?18, ?19, ?20, ?21, ?22, ?23, ?24, ?25, ?26)";
constexpr const char kUpdateItem[] =
    "UPDATE queued_items SET source_url = ?2, file_url = ?3, title = ?4, name = ?5, description = ?6, status = ?7, "
    "size = ?8, progress = ?9, time_remaining = ?10, last_progress_time = ?11, counter = ?12, download_option = ?13, "
    "flag = ?14, pair_first = ?15, pair_second = ?16, play_when_ready = ?17, completed_at = ?18, created_at = ?19, "
    "failure_kind = ?20, failure_status = ?21, failure_detail = ?22, failure_needed = ?23, failure_free = ?24, "
    "finished_at = ?25, pending_finish = ?26 WHERE id = ?1";
constexpr const char kDeleteItem[] = "DELETE FROM queued_items WHERE id = ?1";
constexpr const char kSelectPlaylist[] = "SELECT id, item_ids FROM playlists WHERE kind = ?1";
constexpr const char kUpdatePlaylist[] = "UPDATE playlists SET item_ids = ?2 WHERE id = ?1";
constexpr const char kAllocateId[] = "UPDATE meta SET value = value + 1 WHERE key = 'next_id' RETURNING value - 1";
QueuedItemRecord readItem(const SqliteStatement &row)
{
    QueuedItemRecord r;
    r.sourceUrl = LibraryUrls::fromStored(row.textAt(1));
    r.fileUrl = LibraryUrls::fromStored(row.textAt(2));
    r.title = row.textAt(3);
    r.name = row.textAt(4);
    r.description = row.textAt(5);
    r.status = static_cast<DownloadStatusValue>(row.int64At(6));
    r.size = static_cast<uint64_t>(row.int64At(7));
    r.progress = static_cast<int32_t>(row.int64At(8));
    r.timeRemaining = static_cast<uint64_t>(row.int64At(9));
    r.lastProgressTime = row.int64At(10);
    r.counter = row.int64At(11);
    r.option = static_cast<int32_t>(row.int64At(12));
    r.flag = static_cast<int32_t>(row.int64At(13));
    r.pairFirst = static_cast<int32_t>(row.int64At(14));
    r.pairSecond = static_cast<int32_t>(row.int64At(15));
    r.playWhenReady = row.int64At(16) != 0;
    r.completedAt = row.int64At(17);
    r.createdAt = row.int64At(18);
    r.failure.kind = FailureReason::kindFromName(row.textAt(19));
    r.failure.httpStatus = static_cast<int32_t>(row.int64At(20));
    r.failure.detail = row.textAt(21);
    r.failure.neededBytes = static_cast<uint64_t>(row.int64At(22));
    r.failure.freeBytes = static_cast<uint64_t>(row.int64At(23));
    r.finishedAt = row.int64At(24);
    r.pendingFinish = row.textAt(25);
    return r;
}

void bindItem(SqliteStatement &s, uint64_t id, const QueuedItemRecord &r)
{
    s.bind(1, asStored(id))
        .bind(2, LibraryUrls::toStored(r.sourceUrl))
        .bind(3, LibraryUrls::toStored(r.fileUrl))
        .bind(4, r.title)
        .bind(5, r.name)
        .bind(6, r.description)
        .bind(7, int64_t(r.status))
        .bind(8, asStored(r.size))
        .bind(9, int64_t(r.progress))
        .bind(10, asStored(r.timeRemaining))
        .bind(11, r.lastProgressTime)
        .bind(12, r.counter)
        .bind(13, int64_t(r.option))
        .bind(14, int64_t(r.flag))
        .bind(15, int64_t(r.pairFirst))
        .bind(16, int64_t(r.pairSecond))
        .bind(17, int64_t(r.playWhenReady ? 1 : 0))
        .bind(18, r.completedAt)
        .bind(19, r.createdAt)
        .bind(20, r.failure.kindName())
        .bind(21, int64_t(r.failure.httpStatus))
        .bind(22, r.failure.detail)
        .bind(23, asStored(r.failure.neededBytes))
        .bind(24, asStored(r.failure.freeBytes))
        .bind(25, r.finishedAt)
        .bind(26, r.pendingFinish);
}

std::vector<uint64_t> decodeOrder(const QByteArray &blob)
{
    std::vector<uint64_t> order(static_cast<size_t>(blob.size()) / 8);
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = qFromLittleEndian<quint64>(blob.constData() + i * 8);
    return order;
}

QByteArray encodeOrder(const std::vector<uint64_t> &order)
{
    QByteArray blob(static_cast<qsizetype>(order.size() * 8), Qt::Uninitialized);
    for (size_t i = 0; i < order.size(); ++i)
        qToLittleEndian<quint64>(order[i], blob.data() + i * 8);
    return blob;
}

// A position beyond either end means the end.
size_t clampPosition(int64_t position, size_t size)
{
    return position < 0 || static_cast<uint64_t>(position) > size ? size : static_cast<size_t>(position);
}

} // namespace

std::shared_ptr<LibraryStore> LibraryStore::open(const LibraryOpenOptions &options, QString *error)
{
    std::unique_ptr<LibraryDatabase> db = LibraryDatabase::open(options, error);
    if (!db)
        return nullptr;
    std::shared_ptr<LibraryStore> store(new LibraryStore());
    std::lock_guard lock(store->m_mutex);
    store->m_db = std::move(db);
    store->m_path = options.databasePath;
    store->m_dataVersion = store->m_db->dataVersion();
    if (!store->reload(error)) {
        store->m_db.reset();
        return nullptr;
    }
    store->m_playlist = lmtl::adopt(new LibraryPlaylist(store, store->m_playlistId));
    if (!store->m_db->isReadOnly() && options.reattachStrayItems)
        store->reattachStrayItems();
    return store;
}

LibraryStore::~LibraryStore() = default;

void LibraryStore::close()
{
    // Released after the lock: the last reference to an object ends it.
    decltype(m_items) items;
    decltype(m_videos) videos;
    decltype(m_acquired) acquired;
    lmtl::RefCountedPtr<LibraryPlaylist> playlist;
    std::lock_guard lock(m_mutex);
    items.swap(m_items);
    videos.swap(m_videos);
    acquired.swap(m_acquired);
    playlist = std::move(m_playlist);
    m_order.clear();
    m_db.reset();
}

bool LibraryStore::isReadOnly() const
{
    std::lock_guard lock(m_mutex);
    return !m_db || m_db->isReadOnly();
}

QString LibraryStore::writeProblem() const
{
    std::lock_guard lock(m_mutex);
    if (!m_db)
        return QStringLiteral("the media library %1 is closed").arg(m_path);
    if (m_db->isReadOnly())
        return QStringLiteral("the media library %1 is read-only (the file, or the folder that holds it, may not be "
                              "written)").arg(m_path);
    uint64_t free = 0;
    if (OSUtilities::getFreeSpace(QFileInfo(m_path).absolutePath(), &free, nullptr) && free == 0)
        return QStringLiteral("the disk that holds the media library %1 is full").arg(m_path);
    WriteTransaction probe(*m_db);
    if (!probe.isOpen())
        return QStringLiteral("the media library %1 is locked by another program").arg(m_path);
    return QString();
}

QString LibraryStore::databasePath() const
{
    std::lock_guard lock(m_mutex);
    return m_path;
}

bool LibraryStore::reload(QString *error)
{
    // Items and order from one snapshot: another process may commit between the two reads.
    ReadSnapshot snapshot(*m_db);
    SqliteStatement &select = m_db->statement(kSelectItems);
    std::unordered_set<uint64_t> present;
    int rc;
    while ((rc = select.step()) == SQLITE_ROW) {
        const auto id = static_cast<uint64_t>(select.int64At(0));
        const QueuedItemRecord record = readItem(select);
        present.insert(id);
        auto found = m_items.find(id);
        if (found == m_items.end())
            m_items.emplace(id, lmtl::adopt(new LibraryQueuedFile(shared_from_this(), id, record)));
        else
            found->second->mergeStored(record);
    }
    select.reset();
    if (rc != SQLITE_DONE) {
        if (error)
            *error = QStringLiteral("cannot read the items of %1: %2").arg(m_path, m_db->lastError());
        return false;
    }
    for (auto it = m_items.begin(); it != m_items.end();) {
        if (present.count(it->first)) {
            ++it;
            continue;
        }
        it->second->markRemoved();
        it = m_items.erase(it);
    }

    SqliteStatement &playlist = m_db->statement(kSelectPlaylist);
    playlist.bind(1, int64_t(MediaManagerInterface::DownloadPlaylistKind));
    if (playlist.step() != SQLITE_ROW) {
        playlist.reset();
        if (error)
            *error = QStringLiteral("%1 has no download playlist: %2").arg(m_path, m_db->lastError());
        return false;
    }
    m_playlistId = static_cast<uint64_t>(playlist.int64At(0));
    std::vector<uint64_t> order = decodeOrder(playlist.blobAt(1));
    playlist.reset();
    // Only ids of existing items, each once: the order is trusted no further than the items are.
    std::unordered_set<uint64_t> seen;
    order.erase(std::remove_if(order.begin(), order.end(),
                               [&](uint64_t id) { return !present.count(id) || !seen.insert(id).second; }),
                order.end());
    m_order = std::move(order);

    refreshVideos();
    return true;
}

// A process killed between creating an item and placing it in the queue leaves an item no queue
// reaches. Such an item is put back at the end of the queue when the library opens for writing,
// which happens only while no other process adds items to it (one player per home).
void LibraryStore::reattachStrayItems()
{
    std::vector<uint64_t> stray;
    const std::unordered_set<uint64_t> queued(m_order.begin(), m_order.end());
    for (const auto &[id, item] : m_items) {
        if (!queued.count(id))
            stray.push_back(id);
    }
    if (stray.empty())
        return;
    std::sort(stray.begin(), stray.end());  // in the order they were made
    WriteTransaction transaction(*m_db);
    if (!transaction.isOpen())
        return;
    std::vector<uint64_t> order = m_order;
    order.insert(order.end(), stray.begin(), stray.end());
    if (writeOrder(order) && transaction.commit())
        m_order = std::move(order);
}

void LibraryStore::refreshIfChanged()
{
    if (!m_db)
        return;
    const int64_t version = m_db->dataVersion();
    if (version == m_dataVersion)
        return;
    if (reload(nullptr))
        m_dataVersion = version;
}

bool LibraryStore::allocateId(uint64_t *id)
{
    SqliteStatement &allocate = m_db->statement(kAllocateId);
    const bool ok = allocate.step() == SQLITE_ROW;
    if (ok)
        *id = static_cast<uint64_t>(allocate.int64At(0));
    const bool done = ok && allocate.step() == SQLITE_DONE;
    allocate.reset();
    return done;
}

bool LibraryStore::writeOrder(const std::vector<uint64_t> &order)
{
    SqliteStatement &update = m_db->statement(kUpdatePlaylist);
    update.bind(1, asStored(m_playlistId)).bindBlob(2, encodeOrder(order));
    return update.run() && sqlite3_changes(m_db->handle()) == 1;
}

// ---- queued files ----

bool LibraryStore::createItem(const QUrl &address, const QString &title, const QUrl &sourceAddress,
                              QueuedFileInterface **out)
{
    const QUrl source = address.isEmpty() ? sourceAddress : address;
    if (!out || source.isEmpty() || !source.isValid())
        return false;
    QueuedItemRecord record;
    record.sourceUrl = source;
    record.name = title;
    record.title = title;
    record.status = Queued;
    record.createdAt = QDateTime::currentMSecsSinceEpoch();

    std::lock_guard lock(m_mutex);
    if (!m_db)
        return false;
    WriteTransaction transaction(*m_db);
    if (!transaction.isOpen())
        return false;
    refreshIfChanged();
    uint64_t id = 0;
    if (!allocateId(&id))
        return false;
    SqliteStatement &insert = m_db->statement(kInsertItem);
    bindItem(insert, id, record);
    // The item joins the queue when the download manager places it; a process killed before that
    // leaves a row that the next opening puts back into the queue (reattachStrayItems).
    if (!insert.run() || !transaction.commit())
        return false;
    auto item = lmtl::adopt(new LibraryQueuedFile(shared_from_this(), id, record));
    m_items.emplace(id, item);
    return handOut(item, out);
}

bool LibraryStore::getItem(uint64_t id, QueuedFileInterface **out)
{
    std::lock_guard lock(m_mutex);
    refreshIfChanged();
    auto found = m_items.find(id);
    return found != m_items.end() && handOut(found->second, out);
}

std::vector<lmtl::RefCountedPtr<LibraryQueuedFile>> LibraryStore::items()
{
    std::lock_guard lock(m_mutex);
    refreshIfChanged();
    std::vector<lmtl::RefCountedPtr<LibraryQueuedFile>> all;
    all.reserve(m_items.size());
    for (const auto &entry : m_items)
        all.push_back(entry.second);
    std::sort(all.begin(), all.end(), [](const auto &a, const auto &b) { return a->id() < b->id(); });
    return all;
}

bool LibraryStore::commitItem(LibraryQueuedFile &item)
{
    std::lock_guard lock(m_mutex);
    if (!m_db || !item.belongsTo(this))
        return false;
    WriteTransaction transaction(*m_db);
    if (!transaction.isOpen())
        return false;
    refreshIfChanged();
    if (item.isRemoved())
        return false;
    const LibraryQueuedFile::Snapshot snapshot = item.snapshot();
    SqliteStatement &update = m_db->statement(kUpdateItem);
    bindItem(update, item.id(), snapshot.record);
    if (!update.run() || sqlite3_changes(m_db->handle()) != 1 || !transaction.commit())
        return false;
    item.markCommitted(snapshot.generation);
    return true;
}

bool LibraryStore::removeItem(LibraryQueuedFile &item)
{
    lmtl::RefCountedPtr<LibraryQueuedFile> released;  // dropped after the lock
    std::lock_guard lock(m_mutex);
    if (!m_db || !item.belongsTo(this))
        return false;
    WriteTransaction transaction(*m_db);
    if (!transaction.isOpen())
        return false;
    refreshIfChanged();
    if (item.isRemoved())
        return false;
    std::vector<uint64_t> order = m_order;
    const auto position = std::find(order.begin(), order.end(), item.id());
    const bool queued = position != order.end();
    if (queued)
        order.erase(position);
    SqliteStatement &remove = m_db->statement(kDeleteItem);
    remove.bind(1, asStored(item.id()));
    if (!remove.run() || (queued && !writeOrder(order)) || !transaction.commit())
        return false;
    m_order = std::move(order);
    auto found = m_items.find(item.id());
    if (found != m_items.end()) {
        released = std::move(found->second);
        m_items.erase(found);
    }
    item.markRemoved();
    return true;
}

// ---- the download playlist ----

bool LibraryStore::downloadPlaylist(PlaylistInterface **out)
{
    std::lock_guard lock(m_mutex);
    return m_db && handOut(m_playlist, out);
}

int64_t LibraryStore::playlistCount()
{
    std::lock_guard lock(m_mutex);
    refreshIfChanged();
    return static_cast<int64_t>(m_order.size());
}

bool LibraryStore::playlistItemAt(int64_t index, QueuedFileInterface **out)
{
    std::lock_guard lock(m_mutex);
    if (index < 0 || static_cast<uint64_t>(index) >= m_order.size())
        return false;
    auto found = m_items.find(m_order[static_cast<size_t>(index)]);
    return found != m_items.end() && handOut(found->second, out);
}

bool LibraryStore::playlistFindByUrl(const QUrl &url, QueuedFileInterface **out)
{
    const QString wanted = LibraryUrls::sourceKey(url);
    std::lock_guard lock(m_mutex);
    refreshIfChanged();
    for (uint64_t id : m_order) {
        auto found = m_items.find(id);
        if (found != m_items.end() && found->second->sourceKey() == wanted)
            return out ? handOut(found->second, out) : true;
    }
    return false;
}

bool LibraryStore::playlistMove(int64_t position, uint64_t id)
{
    std::lock_guard lock(m_mutex);
    if (!m_db)
        return false;
    auto reorder = [&](std::vector<uint64_t> &order) {
        const auto from = std::find(order.begin(), order.end(), id);
        if (from == order.end())
            return false;
        order.erase(from);
        order.insert(order.begin() + static_cast<ptrdiff_t>(clampPosition(position, order.size())), id);
        return true;
    };
    // The scheduler moves the head to the head on every run: answer that without a write.
    refreshIfChanged();
    std::vector<uint64_t> order = m_order;
    if (!reorder(order))
        return false;
    if (order == m_order)
        return true;

    WriteTransaction transaction(*m_db);
    if (!transaction.isOpen())
        return false;
    refreshIfChanged();
    order = m_order;
    if (!reorder(order))
        return false;
    if (!writeOrder(order) || !transaction.commit())
        return false;
    m_order = std::move(order);
    return true;
}

bool LibraryStore::playlistInsert(int64_t position, QueuedFileInterface *item)
{
    auto *mine = dynamic_cast<LibraryQueuedFile *>(item);
    if (!mine || !mine->belongsTo(this))
        return false;
    std::lock_guard lock(m_mutex);
    if (!m_db)
        return false;
    WriteTransaction transaction(*m_db);
    if (!transaction.isOpen())
        return false;
    refreshIfChanged();
    if (mine->isRemoved() || !m_items.count(mine->id()))
        return false;
    // Inserting an item that is already queued moves it: an item stands in the queue once.
    std::vector<uint64_t> order = m_order;
    order.erase(std::remove(order.begin(), order.end(), mine->id()), order.end());
    order.insert(order.begin() + static_cast<ptrdiff_t>(clampPosition(position, order.size())), mine->id());
    if (!writeOrder(order) || !transaction.commit())
        return false;
    m_order = std::move(order);
    return true;
}

std::vector<uint64_t> LibraryStore::playlistOrder()
{
    std::lock_guard lock(m_mutex);
    refreshIfChanged();
    return m_order;
}

} // namespace Lumora
