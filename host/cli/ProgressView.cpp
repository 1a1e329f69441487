#include "host/cli/ProgressView.h"

#include "host/cli/QueueAccess.h"
#include "host/player/Format.h"

#include <algorithm>

namespace Lumora::Cli {

using namespace Host;

namespace {

constexpr int kTerminalRefreshMs = 200;
constexpr int kPlainRefreshMs = 1000;
constexpr int kBarWidth = 20;
constexpr int kTitleRoom = 30;
constexpr int kLeastTitleRoom = 8;
constexpr int kLeastBarRoom = 10;
// A download seen running for less than this tells no meaningful speed in its "completed" line.
constexpr qint64 kLeastTimedMs = 100;
constexpr uint64_t kMillisecondsPerSecond = 1000;


} // namespace

ProgressView::ProgressView(Output &output, Lookup lookup, Readings readings, QObject *parent)
    : QObject(parent), m_output(output), m_lookup(std::move(lookup)), m_readings(std::move(readings))
{
    m_timer.setInterval(output.isTerminal() ? kTerminalRefreshMs : kPlainRefreshMs / 4);
    connect(&m_timer, &QTimer::timeout, this, [this] { refresh(); });
    m_clock.start();
}

void ProgressView::start()
{
    m_timer.start();
}

void ProgressView::stop()
{
    m_timer.stop();
    refresh();
    m_lastLines.clear();
    m_output.setProgress({});
    m_output.finishProgress();
    m_entries.clear();
}

void ProgressView::follow(const std::vector<uint64_t> &ids, const std::vector<uint64_t> &finishedBefore)
{
    m_followed = std::set<uint64_t>(ids.begin(), ids.end());
    for (auto it = m_entries.begin(); it != m_entries.end();)
        it = m_followed->count(it->first) ? std::next(it) : m_entries.erase(it);
    for (uint64_t id : ids) {
        Entry *entry = entryFor(id, true);
        if (!entry || entry->shown != 0)
            continue;
        const DownloadStatusValue status = entry->item->status();
        const bool toldBefore = std::find(finishedBefore.begin(), finishedBefore.end(), id) != finishedBefore.end();
        if (isFinishedStatus(status) && !toldBefore) {
            // It ended between its intake and now: its line is still news to the follower.
            entry->shown = Queued;
            statusChanged(id, false);
            continue;
        }
        entry->shown = status;
        if (status == Downloading)
            started(id, *entry);
    }
    refresh();
}

ProgressView::Entry *ProgressView::entryFor(uint64_t id, bool create)
{
    auto found = m_entries.find(id);
    if (found != m_entries.end())
        return &found->second;
    if (!create || (m_followed && !m_followed->count(id)))
        return nullptr;
    ItemPtr item = m_lookup(id);
    if (!item)
        return nullptr;
    Entry &entry = m_entries[id];
    entry.item = item;
    return &entry;
}

void ProgressView::started(uint64_t id, Entry &entry)
{
    entry.running.start();
    entry.startBytes = figuresOf(entry.item.get(), m_readings(id)).received;
    entry.plainPercent = -1;
    entry.plainRetry.clear();
    m_output.message(QStringLiteral("downloading %1 from %2")
                         .arg(itemLabel(id, entry.item->title()), maskedAddress(entry.item->sourceUrl())));
}

void ProgressView::statusChanged(uint64_t id, bool fromStatusMessage)
{
    Entry *found = entryFor(id, fromStatusMessage);
    if (!found)
        return;
    Entry &entry = *found;
    const DownloadStatusValue status = entry.item->status();
    if (status == entry.shown)
        return;
    const DownloadStatusValue before = entry.shown;
    entry.shown = status;
    const QString label = itemLabel(id, entry.item->title());
    if (before == Downloading)
        refresh();  // its progress line goes before the line that says how it ended

    switch (status) {
    case Downloading:
        started(id, entry);
        break;
    case Completed: {
        const uint64_t size = entry.item->size();
        QString detail = formatBytes(size);
        // Timing only when the start was seen in time to mean something.
        if (entry.running.isValid() && entry.running.elapsed() >= kLeastTimedMs) {
            const qint64 ms = entry.running.elapsed();
            const uint64_t moved = size > entry.startBytes ? size - entry.startBytes : 0;
            detail += QStringLiteral(" in %1 s, %2")
                          .arg(static_cast<double>(ms) / kMillisecondsPerSecond, 0, 'f', 1)
                          .arg(formatRate(static_cast<double>(moved) * kMillisecondsPerSecond / static_cast<double>(ms)));
        }
        m_output.message(QStringLiteral("completed   %1 (%2) -> %3").arg(label, detail, displayFile(entry.item->fileUrl())));
        break;
    }
    case Failed: {
        const FailureReason reason = entry.item->failureReason();
        m_output.error(reason.isSet()
                           ? QStringLiteral("lumora: download %1 failed: %2").arg(label, reason.message())
                           : QStringLiteral("lumora: download %1 failed (%2)").arg(label, maskedAddress(entry.item->sourceUrl())));
        break;
    }
    case Queued:
        if (before == Downloading)
            m_output.message(QStringLiteral("stopped     %1 at %2%").arg(label).arg(entry.item->progress()));
        break;
    default:
        break;
    }
    if (status == Downloading)
        refresh();
}

void ProgressView::itemRemoved(uint64_t id)
{
    m_entries.erase(id);
    refresh();
}

void ProgressView::pausedChanged(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    m_output.message(paused ? QStringLiteral("paused: no download runs until \"lumora resume\"")
                            : QStringLiteral("resumed"));
}

ProgressFigures ProgressView::figuresOf(const MediaManagerInterface::QueuedFileInterface *item,
                                        const std::optional<TransferReading> &reading)
{
    ProgressFigures figures;
    figures.total = reading && reading->total ? reading->total : item->size();
    if (reading) {
        figures.received = reading->received;
        figures.bytesPerSecond = reading->bytesPerSecond;
        figures.remainingMs = reading->remainingMs;
        figures.retrying = retryText(*reading);
        figures.percent = figures.total
                              ? static_cast<int32_t>(std::min<uint64_t>(100, figures.received * 100 / figures.total))
                              : item->progress();
    } else {
        figures.percent = std::clamp(item->progress(), 0, 100);
        figures.received = Host::bytesAtPercent(figures.total, figures.percent);
    }
    return figures;
}

QString ProgressView::retryText(const TransferReading &reading)
{
    if (!reading.isWaitingToRetry())
        return QString();
    const uint64_t seconds = (reading.retryInMs + kMillisecondsPerSecond - 1) / kMillisecondsPerSecond;
    QString text = QStringLiteral("retrying in %1 s").arg(seconds);
    if (reading.retrying.isSet())
        text += QStringLiteral(": ") + reading.retrying.message();
    if (reading.tries > 0)
        text += reading.maxTries ? QStringLiteral(" (try %1 of %2)").arg(reading.tries).arg(reading.maxTries)
                                 : QStringLiteral(" (try %1)").arg(reading.tries);
    return text;
}

QString ProgressView::progressLine(uint64_t id, const QString &title, const ProgressFigures &figures, int width)
{
    const int percent = std::clamp(figures.percent, 0, 100);
    QString stats = QStringLiteral("%1%").arg(percent, 3);
    stats += figures.total ? QStringLiteral("  %1/%2").arg(formatBytes(figures.received), formatBytes(figures.total))
                           : QStringLiteral("  %1").arg(formatBytes(figures.received));
    if (!figures.retrying.isEmpty())
        stats += QStringLiteral("  ") + figures.retrying;
    else
        stats += QStringLiteral("  %1  ETA %2").arg(formatRate(figures.bytesPerSecond), formatDuration(figures.remainingMs));

    QString label = QStringLiteral("[%1] ").arg(id);
    if (width <= 0)
        return label + title + QStringLiteral("  ") + stats;

    // Room for the title first (up to 30 columns), then for a bar, then the title gets the rest.
    const int fixed = static_cast<int>(label.size() + 2 + stats.size()) + 1;
    const int titleRoom = std::max(kLeastTitleRoom, std::min<int>(static_cast<int>(title.size()), kTitleRoom));
    const int barRoom = width - fixed - titleRoom - 4;
    QString bar;
    if (barRoom >= kLeastBarRoom) {
        const int cells = std::min(barRoom, kBarWidth);
        const int filled = percent * cells / 100;
        bar = QStringLiteral("  [") + QString(filled, '=') + (filled < cells ? QStringLiteral(">") : QString())
              + QString(std::max(0, cells - filled - 1), ' ') + ']';
    }
    const int room = std::max(kLeastTitleRoom, width - fixed - static_cast<int>(bar.size()));
    return label + elide(title, room) + bar + QStringLiteral("  ") + stats;
}

void ProgressView::refresh()
{
    const qint64 now = m_clock.elapsed();
    QStringList lines;
    const bool terminal = m_output.isTerminal();
    for (auto &[id, entry] : m_entries) {
        if (entry.shown != Downloading || entry.item->status() != Downloading)
            continue;
        const ProgressFigures figures = figuresOf(entry.item.get(), m_readings(id));
        const QString line = progressLine(id, entry.item->title(), figures, terminal ? m_output.terminalWidth() : 0);
        if (terminal) {
            lines << line;
        } else if ((figures.percent > 0 && figures.percent != entry.plainPercent) || figures.retrying != entry.plainRetry) {
            // A plain line when something changed, at most once a second; a retry is news at once.
            if (entry.plainAt >= 0 && now - entry.plainAt < kPlainRefreshMs && figures.retrying == entry.plainRetry)
                continue;
            entry.plainPercent = figures.percent;
            entry.plainRetry = figures.retrying;
            entry.plainAt = now;
            m_output.progressLine(line);
        }
    }
    // Nothing new is not sent: a follower's terminal is at the other end of the channel.
    if (terminal && lines != m_lastLines) {
        m_lastLines = lines;
        m_output.setProgress(lines);
    }
}

} // namespace Lumora::Cli
