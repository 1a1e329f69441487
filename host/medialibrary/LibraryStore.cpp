#include "host/medialibrary/LibraryStore.h"

#include "host/medialibrary/LibraryUrls.h"

#include <QDateTime>
#include <QtEndian>

#include <sqlite3.h>

#include <algorithm>
#include <unordered_set>

namespace Lumora {

namespace {

using MediaManagerInterface::QueuedFileInterface;

// Column order shared by the item statements: ?1 is the id, ?2.. the record in this order.
constexpr const char kSelectItems[] =
    "SELECT id, source_url, file_url, title, name, description, status, size, progress, time_remaining, "
    "last_progress_time, counter, download_option, flag, pair_first, pair_second, play_when_ready, completed_at, "
    "created_at FROM queued_items";
constexpr const char kInsertItem[] =
    "INSERT INTO queued_items (id, source_url, file_url, title, name, description, status, size, progress, "
    "time_remaining, last_progress_time, counter, download_option, flag, pair_first, pair_second, play_when_ready, "
    "completed_at, created_at) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, "
    "?18, ?19)";
constexpr const char kUpdateItem[] =
    "UPDATE queued_items SET source_url = ?2, file_url = ?3, title = ?4, name = ?5, description = ?6, status = ?7, "
    "size = ?8, progress = ?9, time_remaining = ?10, last_progress_time = ?11, counter = ?12, download_option = ?13, "
    "flag = ?14, pair_first = ?15, pair_second = ?16, play_when_ready = ?17, completed_at = ?18, created_at = ?19 "
    "WHERE id = ?1";
constexpr const char kDeleteItem[] = "DELETE FROM queued_items WHERE id = ?1";
constexpr const char kSelectPlaylist[] = "SELECT id, item_ids FROM playlists WHERE kind = ?1";
constexpr const char kUpdatePlaylist[] = "UPDATE playlists SET item_ids = ?2 WHERE id = ?1";
constexpr const char kAllocateId[] = "UPDATE meta SET value = value + 1 WHERE key = 'next_id' RETURNING value - 1";
constexpr const char kSelectVideoByKey[] =
    "SELECT id, kind, url, title, duration_ms, width, height, source_item_id, added_at FROM media_files WHERE url_key = ?1";
constexpr const char kInsertVideo[] =
    "INSERT INTO media_files (id, kind, url, url_key, title, duration_ms, width, height, source_item_id, added_at) "
    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)";
constexpr const char kUpdateVideo[] =
    "UPDATE media_files SET title = ?2, duration_ms = ?3, width = ?4, height = ?5, source_item_id = ?6 WHERE id = ?1";
constexpr const char kSelectAcquiredByKey[] = "SELECT id, url FROM acquired_files WHERE url_key = ?1";
constexpr const char kInsertAcquired[] = "INSERT INTO acquired_files (id, url, url_key, acquired_at) VALUES (?1, ?2, ?3, ?4)";

int64_t asStored(uint64_t value)
{
    return static_cast<int64_t>(value);
}

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
        .bind(19, r.createdAt);
}

MediaFileRecord readVideo(const SqliteStatement &row)
{
    MediaFileRecord r;
    r.kind = static_cast<int32_t>(row.int64At(1));
    r.url = LibraryUrls::fromStored(row.textAt(2));
    r.title = row.textAt(3);
    r.durationMs = static_cast<uint64_t>(row.int64At(4));
    r.width = static_cast<int32_t>(row.int64At(5));
    r.height = static_cast<int32_t>(row.int64At(6));
    r.sourceItemId = static_cast<uint64_t>(row.int64At(7));
    r.addedAt = row.int64At(8);
    return r;
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

template <class Interface, class Object>
bool handOut(const lmtl::RefCountedPtr<Object> &object, Interface **out)
{
    if (!object || !out)
        return false;
    object->retain();
    *out = object.get();
    return true;
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

QString LibraryStore::databasePath() const
{
    std::lock_guard lock(m_mutex);
    return m_path;
}

bool LibraryStore::reload(QString *error)
{
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

    // Known media files follow the file too.
    for (auto it = m_videos.begin(); it != m_videos.end();) {
        SqliteStatement &video = m_db->statement(kSelectVideoByKey);
        video.bind(1, it->first);
        if (video.step() == SQLITE_ROW && static_cast<uint64_t>(video.int64At(0)) == it->second->id()) {
            it->second->replaceRecord(readVideo(video));
            ++it;
        } else {
            it->second->markRemoved();
            it = m_videos.erase(it);
        }
        video.reset();
    }
    return true;
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

uint64_t LibraryStore::playlistId() const
{
    std::lock_guard lock(m_mutex);
    return m_playlistId;
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

// ---- media and acquired files ----

lmtl::RefCountedPtr<LibraryVideoFile> LibraryStore::cachedVideo(const QString &key) const
{
    auto found = m_videos.find(key);
    return found == m_videos.end() ? lmtl::RefCountedPtr<LibraryVideoFile>() : found->second;
}

lmtl::RefCountedPtr<LibraryVideoFile> LibraryStore::loadVideo(const QString &key)
{
    if (auto known = cachedVideo(key))
        return known;
    SqliteStatement &select = m_db->statement(kSelectVideoByKey);
    select.bind(1, key);
    lmtl::RefCountedPtr<LibraryVideoFile> video;
    if (select.step() == SQLITE_ROW) {
        video = lmtl::adopt(new LibraryVideoFile(shared_from_this(), static_cast<uint64_t>(select.int64At(0)), readVideo(select)));
        m_videos.emplace(key, video);
    }
    select.reset();
    return video;
}

bool LibraryStore::findMediaFile(const QUrl &url, MediaFileInterface **out)
{
    if (!out || url.isEmpty())
        return false;
    std::lock_guard lock(m_mutex);
    if (!m_db)
        return false;
    refreshIfChanged();
    return handOut(loadVideo(LibraryUrls::fileKey(url)), out);
}

bool LibraryStore::addVideoFile(const MediaFileRecord &record, VideoFileInterface **out)
{
    if (!out || record.url.isEmpty())
        return false;
    const QString key = LibraryUrls::fileKey(record.url);
    std::lock_guard lock(m_mutex);
    if (!m_db)
        return false;
    WriteTransaction transaction(*m_db);
    if (!transaction.isOpen())
        return false;
    refreshIfChanged();
    if (loadVideo(key))
        return false;  // already known: the caller updates that one instead
    uint64_t id = 0;
    if (!allocateId(&id))
        return false;
    SqliteStatement &insert = m_db->statement(kInsertVideo);
    insert.bind(1, asStored(id))
        .bind(2, int64_t(record.kind))
        .bind(3, LibraryUrls::toStored(record.url))
        .bind(4, key)
        .bind(5, record.title)
        .bind(6, asStored(record.durationMs))
        .bind(7, int64_t(record.width))
        .bind(8, int64_t(record.height))
        .bind(9, asStored(record.sourceItemId))
        .bind(10, record.addedAt);
    if (!insert.run() || !transaction.commit())
        return false;
    auto video = lmtl::adopt(new LibraryVideoFile(shared_from_this(), id, record));
    m_videos.emplace(key, video);
    return handOut(video, out);
}

bool LibraryStore::commitVideoFile(LibraryVideoFile &file)
{
    const MediaFileRecord record = file.record();
    std::lock_guard lock(m_mutex);
    if (!m_db || file.isRemoved())
        return false;
    WriteTransaction transaction(*m_db);
    if (!transaction.isOpen())
        return false;
    SqliteStatement &update = m_db->statement(kUpdateVideo);
    update.bind(1, asStored(file.id()))
        .bind(2, record.title)
        .bind(3, asStored(record.durationMs))
        .bind(4, int64_t(record.width))
        .bind(5, int64_t(record.height))
        .bind(6, asStored(record.sourceItemId));
    return update.run() && sqlite3_changes(m_db->handle()) == 1 && transaction.commit();
}

bool LibraryStore::findAcquiredFile(const QUrl &url, AcquiredFileInterface **out)
{
    if (!out || url.isEmpty())
        return false;
    const QString key = LibraryUrls::fileKey(url);
    std::lock_guard lock(m_mutex);
    if (!m_db)
        return false;
    if (auto found = m_acquired.find(key); found != m_acquired.end())
        return handOut(found->second, out);
    SqliteStatement &select = m_db->statement(kSelectAcquiredByKey);
    select.bind(1, key);
    lmtl::RefCountedPtr<LibraryAcquiredFile> file;
    if (select.step() == SQLITE_ROW) {
        file = lmtl::adopt(new LibraryAcquiredFile(static_cast<uint64_t>(select.int64At(0)),
                                                   LibraryUrls::fromStored(select.textAt(1))));
        m_acquired.emplace(key, file);
    }
    select.reset();
    return handOut(file, out);
}

bool LibraryStore::addAcquiredFile(const QUrl &url, AcquiredFileInterface **out)
{
    if (url.isEmpty())
        return false;
    AcquiredFileInterface *existing = nullptr;
    if (findAcquiredFile(url, &existing)) {
        if (out)
            *out = existing;
        else
            existing->release();
        return true;
    }
    const QString key = LibraryUrls::fileKey(url);
    std::lock_guard lock(m_mutex);
    if (!m_db)
        return false;
    WriteTransaction transaction(*m_db);
    if (!transaction.isOpen())
        return false;
    uint64_t id = 0;
    if (!allocateId(&id))
        return false;
    SqliteStatement &insert = m_db->statement(kInsertAcquired);
    insert.bind(1, asStored(id)).bind(2, LibraryUrls::toStored(url)).bind(3, key).bind(4, QDateTime::currentMSecsSinceEpoch());
    if (!insert.run() || !transaction.commit())
        return false;
    auto file = lmtl::adopt(new LibraryAcquiredFile(id, url));
    m_acquired.emplace(key, file);
    return !out || handOut(file, out);
}

} // namespace Lumora
