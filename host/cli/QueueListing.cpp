#include "host/cli/QueueListing.h"

#include "host/player/Format.h"
#include "plugin/QueueRules.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace Lumora::Cli {

using namespace Host;

namespace {

constexpr double kMillisecondsPerSecond = 1000.0;

QJsonValue timeValue(int64_t msSinceEpoch)
{
    if (msSinceEpoch <= 0)
        return QJsonValue(QJsonValue::Null);
    return QDateTime::fromMSecsSinceEpoch(msSinceEpoch, Qt::UTC).toString(Qt::ISODate);
}

QString statusCell(const QueueRow &row)
{
    if (row.interrupted)
        return statusName(row.status) + QStringLiteral(" (interrupted)");
    if (row.status == Failed && row.failure.isSet())
        return statusName(row.status) + QStringLiteral(" (") + row.failure.shortMessage() + ')';
    return statusName(row.status);
}

} // namespace

QueueRow rowOf(MediaManagerInterface::QueuedFileInterface *item, const TransferLookup &transfers, bool playerRuns)
{
    QueueRow row;
    row.id = item->id();
    row.status = item->status();
    row.progress = item->progress();
    row.size = item->size();
    row.title = item->title();
    row.source = item->sourceUrl();
    row.file = item->fileUrl();
    row.received = row.status == Completed ? row.size : Host::bytesAtPercent(row.size, row.progress);
    if (row.status == Failed)
        row.failure = item->failureReason();
    if (!playerRuns && isActiveStatus(row.status)) {
        row.status = Queued;
        row.interrupted = true;
    }
    if (const std::optional<TransferReading> reading = transfers && row.status == Downloading ? transfers(row.id) : std::nullopt) {
        row.received = reading->received;
        if (reading->bytesPerSecond > 0.0)
            row.speed = reading->bytesPerSecond;
        if (reading->remainingMs > 0)
            row.remainingMs = reading->remainingMs;
    }
    row.addedAt = item->createdAt();
    row.finishedAt = isFinishedStatus(row.status) ? item->finishedAt() : 0;
    return row;
}

std::vector<QueueRow> readQueue(MediaManagerInterface::PlaylistInterface *playlist, const TransferLookup &transfers,
                                bool playerRuns)
{
    std::vector<QueueRow> rows;
    QueueRules::walk(playlist, [&](int64_t, MediaManagerInterface::QueuedFileInterface *item) {
        rows.push_back(rowOf(item, transfers, playerRuns));
        return true;
    });
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
        object.insert(QStringLiteral("received"), static_cast<qint64>(row.received));
        object.insert(QStringLiteral("speed"), row.speed ? QJsonValue(std::round(*row.speed)) : QJsonValue(QJsonValue::Null));
        object.insert(QStringLiteral("eta"), row.remainingMs
                                                 ? QJsonValue(std::ceil(static_cast<double>(*row.remainingMs) / kMillisecondsPerSecond))
                                                 : QJsonValue(QJsonValue::Null));
        object.insert(QStringLiteral("added"), timeValue(row.addedAt));
        object.insert(QStringLiteral("finished"), timeValue(row.finishedAt));
        object.insert(QStringLiteral("title"), row.title);
        object.insert(QStringLiteral("source"), maskedAddress(row.source));
        object.insert(QStringLiteral("file"), displayFile(row.file));
        object.insert(QStringLiteral("interrupted"), row.interrupted);
        if (row.status == Failed) {
            QJsonObject error;
            error.insert(QStringLiteral("kind"), row.failure.isSet() ? row.failure.kindName() : QString());
            error.insert(QStringLiteral("message"), row.failure.isSet() ? row.failure.message() : QString());
            error.insert(QStringLiteral("httpStatus"),
                         row.failure.httpStatus ? QJsonValue(row.failure.httpStatus) : QJsonValue(QJsonValue::Null));
            object.insert(QStringLiteral("error"), error);
        }
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
        table.push_back({QString::number(row.id), statusCell(row), QStringLiteral("%1%").arg(row.progress),
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
