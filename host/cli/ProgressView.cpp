#include "host/cli/ProgressView.h"

#include "host/cli/QueueAccess.h"
#include "host/player/Format.h"

#include <algorithm>

namespace Lumora::Cli {

using namespace Host;

namespace {

constexpr int kTerminalRefreshMs = 200;
constexpr int kPlainRefreshMs = 1000;
constexpr qint64 kRateWindowMs = 3000;
constexpr int kBarWidth = 20;

} // namespace

ProgressView::ProgressView(Console &console, Lookup lookup, QObject *parent)
    : QObject(parent), m_console(console), m_lookup(std::move(lookup))
{
    m_timer.setInterval(console.isTerminal() ? kTerminalRefreshMs : kPlainRefreshMs / 4);
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
    m_console.setProgress({});
    m_console.finishProgress();
    m_entries.clear();
}

uint64_t ProgressView::bytesOf(const MediaManagerInterface::QueuedFileInterface *item)
{
    const int32_t percent = std::clamp(item->progress(), 0, 100);
    return item->size() / 100 * static_cast<uint64_t>(percent) + item->size() % 100 * static_cast<uint64_t>(percent) / 100;
}

void ProgressView::statusChanged(uint64_t id, bool fromStatusMessage)
{
    auto found = m_entries.find(id);
    if (found == m_entries.end()) {
        if (!fromStatusMessage)
            return;
        ItemPtr item = m_lookup(id);
        if (!item)
            return;
        found = m_entries.emplace(id, Entry{}).first;
        found->second.item = item;
    }
    Entry &entry = found->second;
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
        entry.running.start();
        entry.startBytes = bytesOf(entry.item.get());
        entry.samples.clear();
        entry.plainPercent = -1;
        m_console.message(QStringLiteral("downloading %1 from %2").arg(label, maskedAddress(entry.item->sourceUrl())));
        break;
    case Completed: {
        QString detail = formatBytes(entry.item->size());
        // Timing only when the start was seen in time to mean something.
        if (entry.running.isValid() && entry.running.elapsed() >= 100) {
            const qint64 ms = entry.running.elapsed();
            const uint64_t moved = entry.item->size() > entry.startBytes ? entry.item->size() - entry.startBytes : 0;
            detail += QStringLiteral(" in %1 s, %2")
                          .arg(static_cast<double>(ms) / 1000.0, 0, 'f', 1)
                          .arg(formatRate(static_cast<double>(moved) * 1000.0 / static_cast<double>(ms)));
        }
        m_console.message(QStringLiteral("completed   %1 (%2) -> %3").arg(label, detail, displayFile(entry.item->fileUrl())));
        break;
    }
    case Failed:
        m_console.error(QStringLiteral("lumora: download %1 failed (%2)").arg(label, maskedAddress(entry.item->sourceUrl())));
        break;
    case Queued:
        if (before == Downloading)
            m_console.message(QStringLiteral("stopped     %1 at %2%")
                                  .arg(label)
                                  .arg(entry.item->progress()));
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
    m_console.message(paused ? QStringLiteral("paused: no download runs until \"lumora resume\"")
                             : QStringLiteral("resumed"));
}

double ProgressView::rateOf(Entry &entry, qint64 now, uint64_t bytes)
{
    if (entry.samples.empty() || entry.samples.back().second != bytes || now - entry.samples.back().first > 500)
        entry.samples.emplace_back(now, bytes);
    while (entry.samples.size() > 2 && now - entry.samples.front().first > kRateWindowMs)
        entry.samples.pop_front();
    const auto &[firstAt, firstBytes] = entry.samples.front();
    if (now - firstAt < 200 || bytes < firstBytes)
        return 0.0;
    return static_cast<double>(bytes - firstBytes) * 1000.0 / static_cast<double>(now - firstAt);
}

QString ProgressView::progressLine(uint64_t id, const QString &title, int32_t percent, uint64_t size,
                                   double bytesPerSecond, uint64_t remainingMs, int width)
{
    percent = std::clamp(percent, 0, 100);
    QString stats = QStringLiteral("%1%").arg(percent, 3);
    if (size > 0) {
        const uint64_t done = size / 100 * static_cast<uint64_t>(percent) + size % 100 * static_cast<uint64_t>(percent) / 100;
        stats += QStringLiteral("  %1/%2").arg(formatBytes(done), formatBytes(size));
    }
    stats += QStringLiteral("  %1  ETA %2").arg(formatRate(bytesPerSecond), formatDuration(remainingMs));

    QString label = QStringLiteral("[%1] ").arg(id);
    if (width <= 0)
        return label + title + QStringLiteral("  ") + stats;

    // Room for the title first (up to 30 columns), then for a bar, then the title gets the rest.
    const int fixed = static_cast<int>(label.size() + 2 + stats.size()) + 1;
    const int titleRoom = std::max(8, std::min<int>(static_cast<int>(title.size()), 30));
    const int barRoom = width - fixed - titleRoom - 4;
    QString bar;
    if (barRoom >= 10) {
        const int cells = std::min(barRoom, kBarWidth);
        const int filled = percent * cells / 100;
        bar = QStringLiteral("  [") + QString(filled, '=') + (filled < cells ? QStringLiteral(">") : QString())
              + QString(std::max(0, cells - filled - 1), ' ') + ']';
    }
    const int room = std::max(8, width - fixed - static_cast<int>(bar.size()));
    return label + elide(title, room) + bar + QStringLiteral("  ") + stats;
}

void ProgressView::refresh()
{
    const qint64 now = m_clock.elapsed();
    QStringList lines;
    for (auto &[id, entry] : m_entries) {
        if (entry.shown != Downloading || entry.item->status() != Downloading)
            continue;
        const int32_t percent = entry.item->progress();
        const uint64_t bytes = bytesOf(entry.item.get());
        const double rate = rateOf(entry, now, bytes);
        const QString line = progressLine(id, entry.item->title(), percent, entry.item->size(), rate,
                                          entry.item->timeRemaining(),
                                          m_console.isTerminal() ? m_console.terminalWidth() : 0);
        if (m_console.isTerminal()) {
            lines << line;
        } else if (percent > 0 && percent != entry.plainPercent
                   && (entry.plainAt < 0 || now - entry.plainAt >= kPlainRefreshMs)) {
            entry.plainPercent = percent;
            entry.plainAt = now;
            m_console.progressLine(line);
        }
    }
    m_console.setProgress(lines);
}

} // namespace Lumora::Cli
