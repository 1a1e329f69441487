#include "host/cli/QueueListing.h"

#include "host/player/Format.h"
#include "lmtl/RefCountedPtr.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace Lumora::Cli {

using namespace Host;

QueueRow rowOf(MediaManagerInterface::QueuedFileInterface *item)
{
    QueueRow row;
    row.id = item->id();
    row.status = item->status();
    row.progress = item->progress();
    row.size = item->size();
    row.title = item->title();
    row.source = item->sourceUrl();
    row.file = item->fileUrl();
    return row;
}

std::vector<QueueRow> readQueue(MediaManagerInterface::PlaylistInterface *playlist)
{
    std::vector<QueueRow> rows;
    if (!playlist)
        return rows;
    const int64_t count = playlist->count();
    for (int64_t index = 0; index < count; ++index) {
        lmtl::RefCountedPtr<MediaManagerInterface::QueuedFileInterface> item;
        if (!playlist->itemAt(index, item.receive()) || !item)
            break;
        rows.push_back(rowOf(item.get()));
    }
    return rows;
}

QString queueJson(const std::vector<QueueRow> &rows)
{
    QJsonArray array;
    for (const QueueRow &row : rows) {
        QJsonObject object;
        // Identifiers and sizes stay exact in JSON readers up to 2^53; the library counts from 1.
        object.insert(QStringLiteral("id"), static_cast<qint64>(row.id));
        object.insert(QStringLiteral("status"), statusName(row.status));
        object.insert(QStringLiteral("progress"), row.progress);
        object.insert(QStringLiteral("size"), static_cast<qint64>(row.size));
        object.insert(QStringLiteral("title"), row.title);
        object.insert(QStringLiteral("source"), maskedAddress(row.source));
        object.insert(QStringLiteral("file"), displayFile(row.file));
        array.append(object);
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
}

QString queueTable(const std::vector<QueueRow> &rows)
{
    if (rows.empty())
        return QStringLiteral("The download queue is empty.\n");

    const QStringList header = {QStringLiteral("ID"), QStringLiteral("STATUS"), QStringLiteral("PROGRESS"),
                                QStringLiteral("SIZE"), QStringLiteral("TITLE"), QStringLiteral("SOURCE"),
                                QStringLiteral("FILE")};
    std::vector<QStringList> table{header};
    for (const QueueRow &row : rows) {
        table.push_back({QString::number(row.id), statusName(row.status), QStringLiteral("%1%").arg(row.progress),
                         row.size ? formatBytes(row.size) : QStringLiteral("-"), row.title, maskedAddress(row.source),
                         displayFile(row.file)});
    }
    std::vector<qsizetype> widths(header.size(), 0);
    for (const QStringList &line : table) {
        for (qsizetype c = 0; c < line.size(); ++c)
            widths[c] = std::max(widths[c], line[c].size());
    }
    QString text;
    for (const QStringList &line : table) {
        QString out;
        for (qsizetype c = 0; c < line.size(); ++c) {
            const bool last = c + 1 == line.size();
            // Numbers read best right-aligned.
            const bool right = c == 0 || c == 2 || c == 3;
            QString cell = right ? line[c].rightJustified(widths[c]) : (last ? line[c] : line[c].leftJustified(widths[c]));
            out += cell;
            if (!last)
                out += QStringLiteral("  ");
        }
        text += out + '\n';
    }
    return text;
}

} // namespace Lumora::Cli
