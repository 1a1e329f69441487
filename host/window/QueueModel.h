#pragma once
// The download queue as a table, in the queue's own order: one row per download, fed by the player's
// events and by reading the items, never by polling the library.
//
//   - setOrder() follows the playlist (read off the main thread on every list change): rows that
//     left go, new ones are read, the rest keep their place, their selection and their speed meter.
//   - refresh() re-reads one item after its attributes or its status changed; remove() drops a row
//     when its item is about to leave.
//   - tick() reads the in-memory transfer state of the running downloads only, for bytes, speed and
//     time left; a face calls it a few times a second.
//
// Dragging rows asks for a move (moveRequested) instead of moving them: the download manager owns the
// order, and the rows follow when it announces the change. Dropping links or text asks for them to
// be queued (addressesDropped).
//
// Main thread only. The rows hold their items: clear() lets go of them before the library goes.

#include "host/player/TransferRate.h"
#include "host/window/QueueRow.h"

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace Lumora::Window {

class QueueModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { TitleColumn, StatusColumn, ProgressColumn, SizeColumn, SpeedColumn, TimeLeftColumn, SourceColumn, ColumnCount };
    enum Role { IdRole = Qt::UserRole + 1, PercentRole, StatusRole };
    // Rows dragged inside the table: their ids, comma-separated.
    static constexpr char IdsMimeType[] = "application/x-lumora-download-ids";

    explicit QueueModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column, const QModelIndex &parent) override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;

    void setOrder(const std::vector<ItemPtr> &queue);
    // False when the model shows no such download.
    bool refresh(uint64_t id);
    // The row goes once the main thread is back in its event loop, with any others leaving then.
    void remove(uint64_t id);
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }
    void tick();
    void clear();

    // -1 when the model shows no such download.
    int rowOf(uint64_t id) const;
    const QueueRow *rowAt(int row) const;
    std::vector<uint64_t> order() const;

    struct Counts {
        int total = 0;
        int running = 0;
        int completed = 0;
        int failed = 0;
        double bytesPerSecond = 0.0;
    };
    Counts counts() const;

    // The status line of a row, as the Status column shows it.
    QString statusText(const QueueRow &row) const;

signals:
    // A download finished while the window watched: Completed or Failed.
    void downloadFinished(uint64_t id, int status);
    void moveRequested(const QList<quint64> &ids, int beforeRow);
    void addressesDropped(const QStringList &texts);
    void countsChanged();

private:
    QString sizeText(const QueueRow &row) const;
    QString toolTip(const QueueRow &row, int column) const;
    void emitRowChanged(int row, int firstColumn, int lastColumn);
    void startMeter(QueueRow &row);
    void removeLeaving();
    void removeRowsWhere(const std::function<bool(uint64_t id)> &goes);
    void rebuildIndex() const;
    void markIndexDirty() { m_indexDirty = true; }

    std::vector<QueueRow> m_rows;
    mutable std::unordered_map<uint64_t, int> m_index;  // id -> row
    mutable bool m_indexDirty = false;
    std::unordered_map<uint64_t, Host::TransferRate> m_meters;  // running downloads only
    std::unordered_set<uint64_t> m_leaving;                    // removed, to go in the next pass
    bool m_paused = false;
};

} // namespace Lumora::Window
