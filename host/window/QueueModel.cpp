#include "host/window/QueueModel.h"

#include "host/player/Format.h"

#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace Lumora::Window {

namespace {

QList<quint64> idsFrom(const QMimeData *data)
{
    QList<quint64> ids;
    const QString text = QString::fromLatin1(data->data(QLatin1String(QueueModel::IdsMimeType)));
    for (const QString &word : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const quint64 id = word.toULongLong(&ok);
        if (ok)
            ids << id;
    }
    return ids;
}

// Waiting to run or to go on: everything eligible but the running download.
bool isEligible(DownloadStatusValue status)
{
    return isEligibleStatus(status) && status != Downloading;
}

} // namespace

QueueModel::QueueModel(QObject *parent) : QAbstractTableModel(parent) {}

int QueueModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int QueueModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString QueueModel::statusText(const QueueRow &row) const
{
    switch (row.status) {
    case Downloading:
        if (row.transfer.isWaitingToRetry())
            return tr("Retrying in %1").arg(Host::formatDuration(row.transfer.retryInMs));
        return tr("Downloading");
    case Completed:
        return tr("Completed");
    case Failed:
        return row.failure.isSet() ? tr("Failed: %1").arg(row.failure.shortMessage()) : tr("Failed");
    case Invalid:
        return tr("Invalid");
    default:
        break;
    }
    if (isEligible(row.status) && (m_paused || row.partial))
        return tr("Paused");
    return row.status == Waiting ? tr("Waiting") : tr("Queued");
}

QString QueueModel::sizeText(const QueueRow &row) const
{
    const uint64_t total = row.knownSize();
    const uint64_t received = row.receivedBytes();
    if (row.status == Completed || (received == 0 && row.status != Downloading))
        return total ? Host::formatBytes(total) : QString();
    if (total == 0)
        return Host::formatBytes(received);
    return tr("%1 of %2").arg(Host::formatBytes(received), Host::formatBytes(total));
}

QString QueueModel::toolTip(const QueueRow &row, int column) const
{
    switch (column) {
    case StatusColumn:
        if (row.status == Failed && row.failure.isSet())
            return tr("Failed: %1").arg(row.failure.message());
        if (row.status == Downloading && row.transfer.isWaitingToRetry() && row.transfer.retrying.isSet())
            return tr("Try %1 of %2 failed: %3")
                .arg(row.transfer.tries)
                .arg(row.transfer.maxTries)
                .arg(row.transfer.retrying.message());
        if (isEligible(row.status) && row.partial)
            return tr("What has arrived is kept; the download goes on from there.");
        return statusText(row);
    case TitleColumn:
        return row.file.isEmpty() ? row.title : Host::displayFile(row.file);
    case SourceColumn:
        return Host::maskedAddress(row.source);
    default:
        return QString();
    }
}

QVariant QueueModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size()))
        return QVariant();
    const QueueRow &row = m_rows[static_cast<size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case TitleColumn:
            return row.title;
        case StatusColumn:
            return statusText(row);
        case ProgressColumn:
            return tr("%1%").arg(row.percent());
        case SizeColumn:
            return sizeText(row);
        case SpeedColumn:
            return row.isRunning() ? Host::formatRate(row.bytesPerSecond) : QString();
        case TimeLeftColumn:
            return row.isRunning() && row.remainingMs ? Host::formatDuration(row.remainingMs) : QString();
        case SourceColumn:
            return Host::maskedAddress(row.source);
        default:
            return QVariant();
        }
    case Qt::ToolTipRole:
        return toolTip(row, index.column());
    case Qt::TextAlignmentRole:
        if (index.column() == SizeColumn || index.column() == SpeedColumn || index.column() == TimeLeftColumn)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case IdRole:
        return QVariant::fromValue<quint64>(row.id);
    case PercentRole:
        return row.percent();
    case StatusRole:
        return row.status;
    default:
        return QVariant();
    }
}

QVariant QueueModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case TitleColumn:
        return tr("Title");
    case StatusColumn:
        return tr("Status");
    case ProgressColumn:
        return tr("Progress");
    case SizeColumn:
        return tr("Size");
    case SpeedColumn:
        return tr("Speed");
    case TimeLeftColumn:
        return tr("Time left");
    case SourceColumn:
        return tr("Source");
    default:
        return QVariant();
    }
}

Qt::ItemFlags QueueModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

QStringList QueueModel::mimeTypes() const
{
    return {QLatin1String(IdsMimeType), QStringLiteral("text/uri-list"), QStringLiteral("text/plain")};
}

QMimeData *QueueModel::mimeData(const QModelIndexList &indexes) const
{
    std::vector<int> rows;
    for (const QModelIndex &index : indexes) {
        if (index.isValid())
            rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QStringList ids;
    QStringList addresses;
    for (int row : rows) {
        ids << QString::number(m_rows[static_cast<size_t>(row)].id);
        addresses << Host::maskedAddress(m_rows[static_cast<size_t>(row)].source);
    }
    auto *data = new QMimeData;
    data->setData(QLatin1String(IdsMimeType), ids.join(QLatin1Char(',')).toLatin1());
    // Dragged out of the window, the rows are their addresses (credentials masked).
    data->setText(addresses.join(QLatin1Char('\n')));
    return data;
}

bool QueueModel::canDropMimeData(const QMimeData *data, Qt::DropAction, int, int, const QModelIndex &) const
{
    return data && (data->hasFormat(QLatin1String(IdsMimeType)) || data->hasUrls() || data->hasText());
}

bool QueueModel::dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int, const QModelIndex &parent)
{
    if (!data || action == Qt::IgnoreAction)
        return false;
    if (data->hasFormat(QLatin1String(IdsMimeType))) {
        // Dropped on a row: in front of it. Between rows: at that place. Elsewhere: at the end.
        const int before = parent.isValid() ? parent.row() : (row >= 0 ? row : static_cast<int>(m_rows.size()));
        const QList<quint64> ids = idsFrom(data);
        if (!ids.isEmpty())
            emit moveRequested(ids, before);
        // The rows move when the download manager says so; nothing is removed at the source either,
        // as this model removes no rows on request.
        return !ids.isEmpty();
    }
    QStringList texts;
    if (data->hasUrls()) {
        for (const QUrl &url : data->urls())
            texts << url.toString();
    } else if (data->hasText()) {
        texts << data->text();
    }
    if (texts.isEmpty())
        return false;
    emit addressesDropped(texts);
    return true;
}

Qt::DropActions QueueModel::supportedDropActions() const
{
    return Qt::MoveAction | Qt::CopyAction | Qt::LinkAction;
}

Qt::DropActions QueueModel::supportedDragActions() const
{
    return Qt::MoveAction | Qt::CopyAction;
}

void QueueModel::setOrder(const std::vector<ItemPtr> &queue)
{
    std::vector<uint64_t> wanted;
    wanted.reserve(queue.size());
    std::unordered_set<uint64_t> wantedSet;
    for (const ItemPtr &item : queue) {
        if (item && wantedSet.insert(item->id()).second)
            wanted.push_back(item->id());
    }

    // Rows that left the queue.
    removeRowsWhere([&wantedSet](uint64_t id) { return !wantedSet.count(id); });

    // The rows that stay, in the queue's new order, keeping their selection.
    std::vector<uint64_t> staying;
    staying.reserve(m_rows.size());
    for (uint64_t id : wanted) {
        if (rowOf(id) >= 0)
            staying.push_back(id);
    }
    const bool reordered = !std::equal(staying.begin(), staying.end(), m_rows.begin(), m_rows.end(),
                                       [](uint64_t id, const QueueRow &row) { return id == row.id; });
    if (reordered) {
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        const QModelIndexList before = persistentIndexList();
        std::vector<int> oldRowOf;
        oldRowOf.reserve(staying.size());
        for (uint64_t id : staying)
            oldRowOf.push_back(rowOf(id));
        std::vector<int> newRowOf(m_rows.size());
        std::vector<QueueRow> rows;
        rows.reserve(m_rows.size());
        for (size_t i = 0; i < staying.size(); ++i) {
            newRowOf[static_cast<size_t>(oldRowOf[i])] = static_cast<int>(i);
            rows.push_back(std::move(m_rows[static_cast<size_t>(oldRowOf[i])]));
        }
        m_rows = std::move(rows);
        markIndexDirty();
        QModelIndexList after;
        after.reserve(before.size());
        for (const QModelIndex &index : before)
            after << this->index(newRowOf[static_cast<size_t>(index.row())], index.column());
        changePersistentIndexList(before, after);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

    // New downloads, in runs, each at its place in the queue.
    for (size_t i = 0; i < queue.size();) {
        const ItemPtr &item = queue[i];
        if (!item || rowOf(item->id()) >= 0) {
            ++i;
            continue;
        }
        std::vector<QueueRow> fresh;
        const size_t first = i;
        for (; i < queue.size() && queue[i] && rowOf(queue[i]->id()) < 0; ++i) {
            QueueRow row;
            row.item = queue[i];
            row.read();
            fresh.push_back(std::move(row));
        }
        // Positions count rows of the final order: the rows before `first` are all in place now.
        const int at = std::min(static_cast<int>(first), static_cast<int>(m_rows.size()));
        beginInsertRows(QModelIndex(), at, at + static_cast<int>(fresh.size()) - 1);
        for (QueueRow &row : fresh) {
            if (row.isRunning())
                startMeter(row);
        }
        m_rows.insert(m_rows.begin() + at, std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()));
        markIndexDirty();
        endInsertRows();
    }
    emit countsChanged();
}

bool QueueModel::refresh(uint64_t id)
{
    const int r = rowOf(id);
    if (r < 0)
        return false;
    QueueRow &row = m_rows[static_cast<size_t>(r)];
    const DownloadStatusValue before = row.status;
    row.read();
    if (row.isRunning() && !m_meters.count(id))
        startMeter(row);
    else if (!row.isRunning()) {
        m_meters.erase(id);
        row.bytesPerSecond = 0.0;
        row.remainingMs = 0;
    }
    emitRowChanged(r, 0, ColumnCount - 1);
    if (before != row.status) {
        if (isFinishedStatus(row.status))
            emit downloadFinished(id, row.status);
        emit countsChanged();
    }
    return true;
}

void QueueModel::remove(uint64_t id)
{
    if (rowOf(id) < 0)
        return;
    // Clearing the completed downloads announces each one: thousands of removals in a row are
    // gathered and carried out in one pass once the burst has been handed over.
    if (m_leaving.empty())
        QTimer::singleShot(0, this, &QueueModel::removeLeaving);
    m_leaving.insert(id);
}

void QueueModel::removeLeaving()
{
    if (m_leaving.empty())
        return;
    const std::unordered_set<uint64_t> leaving = std::move(m_leaving);
    m_leaving.clear();
    removeRowsWhere([&leaving](uint64_t id) { return leaving.count(id) > 0; });
    emit countsChanged();
}

void QueueModel::removeRowsWhere(const std::function<bool(uint64_t id)> &goes)
{
    // In runs from the end, so that the rows before keep their numbers.
    for (int last = static_cast<int>(m_rows.size()) - 1; last >= 0;) {
        if (!goes(m_rows[static_cast<size_t>(last)].id)) {
            --last;
            continue;
        }
        int first = last;
        while (first > 0 && goes(m_rows[static_cast<size_t>(first - 1)].id))
            --first;
        beginRemoveRows(QModelIndex(), first, last);
        for (int r = first; r <= last; ++r)
            m_meters.erase(m_rows[static_cast<size_t>(r)].id);
        m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
        markIndexDirty();
        endRemoveRows();
        last = first - 1;
    }
}

void QueueModel::setPaused(bool paused)
{
    if (m_paused == paused)
        return;
    m_paused = paused;
    if (!m_rows.empty())
        emit dataChanged(index(0, StatusColumn), index(static_cast<int>(m_rows.size()) - 1, StatusColumn), {Qt::DisplayRole});
    emit countsChanged();
}

void QueueModel::startMeter(QueueRow &row)
{
    Host::TransferRate &meter = m_meters[row.id];
    meter.reset();
    if (row.transfer.readAt > 0)
        meter.add(row.transfer.received, row.transfer.readAt);
}

void QueueModel::tick()
{
    bool any = false;
    for (auto &[id, meter] : m_meters) {
        const int r = rowOf(id);
        if (r < 0)
            continue;
        QueueRow &row = m_rows[static_cast<size_t>(r)];
        if (!row.readTransfer() && row.bytesPerSecond > 0.0)
            continue;
        if (row.transfer.readAt > 0)
            meter.add(row.transfer.received, row.transfer.readAt);
        row.bytesPerSecond = meter.bytesPerSecond();
        row.remainingMs = meter.remainingMs(row.knownSize());
        emitRowChanged(r, StatusColumn, TimeLeftColumn);
        any = true;
    }
    if (any)
        emit countsChanged();
}

void QueueModel::clear()
{
    m_leaving.clear();
    beginResetModel();
    m_rows.clear();
    m_meters.clear();
    markIndexDirty();
    endResetModel();
    emit countsChanged();
}

void QueueModel::emitRowChanged(int row, int firstColumn, int lastColumn)
{
    emit dataChanged(index(row, firstColumn), index(row, lastColumn));
}

void QueueModel::rebuildIndex() const
{
    m_index.clear();
    m_index.reserve(m_rows.size());
    for (size_t i = 0; i < m_rows.size(); ++i)
        m_index.emplace(m_rows[i].id, static_cast<int>(i));
    m_indexDirty = false;
}

int QueueModel::rowOf(uint64_t id) const
{
    if (m_indexDirty)
        rebuildIndex();
    const auto found = m_index.find(id);
    return found == m_index.end() ? -1 : found->second;
}

const QueueRow *QueueModel::rowAt(int row) const
{
    return row >= 0 && row < static_cast<int>(m_rows.size()) ? &m_rows[static_cast<size_t>(row)] : nullptr;
}

std::vector<uint64_t> QueueModel::order() const
{
    std::vector<uint64_t> ids;
    ids.reserve(m_rows.size());
    for (const QueueRow &row : m_rows)
        ids.push_back(row.id);
    return ids;
}

QueueModel::Counts QueueModel::counts() const
{
    Counts counts;
    counts.total = static_cast<int>(m_rows.size());
    for (const QueueRow &row : m_rows) {
        if (row.isRunning()) {
            ++counts.running;
            counts.bytesPerSecond += row.bytesPerSecond;
        } else if (row.status == Completed) {
            ++counts.completed;
        } else if (row.status == Failed) {
            ++counts.failed;
        }
    }
    return counts;
}

} // namespace Lumora::Window
