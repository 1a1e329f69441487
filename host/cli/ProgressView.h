#pragma once
// What the user sees while lumora downloads: a line when a download starts, completes, fails or is
// stopped, and one progress line per active download (percentage, bytes, speed and the plugin's
// remaining-time estimate). On a terminal the progress lines are redrawn in place a few times a
// second; otherwise each is printed as a plain line, at most once a second per download.
//
// Main thread only: the hub's messages reach it as the Player core's events, through the session.

#include "host/cli/Console.h"
#include "lmtl/RefCountedPtr.h"
#include "plugin/MediaLibrary.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>
#include <map>

namespace Lumora::Cli {

class ProgressView : public QObject {
public:
    using ItemPtr = lmtl::RefCountedPtr<MediaManagerInterface::QueuedFileInterface>;
    using Lookup = std::function<ItemPtr(uint64_t id)>;

    ProgressView(Console &console, Lookup lookup, QObject *parent = nullptr);

    void start();
    // Leaves the last progress lines on the screen, stops redrawing and lets go of every item (they
    // belong to the library plugin, which may be unloaded next).
    void stop();

    // A download's status may have changed. Only status messages introduce a download the view does
    // not know yet: item messages also carry the ids of other library entries.
    void statusChanged(uint64_t id, bool fromStatusMessage);
    void itemRemoved(uint64_t id);
    void pausedChanged(bool paused);

    // The progress line of one download. width > 0 fits it into that many columns (the title is
    // shortened, a bar added when there is room); 0 gives the plain line.
    static QString progressLine(uint64_t id, const QString &title, int32_t percent, uint64_t size,
                                double bytesPerSecond, uint64_t remainingMs, int width);

private:
    struct Entry {
        ItemPtr item;
        DownloadStatusValue shown = 0;
        QElapsedTimer running;         // since the download was seen starting
        uint64_t startBytes = 0;
        std::deque<std::pair<qint64, uint64_t>> samples;  // (ms, bytes) over the last seconds
        int32_t plainPercent = -1;
        qint64 plainAt = -1;
    };

    void refresh();
    static uint64_t bytesOf(const MediaManagerInterface::QueuedFileInterface *item);
    double rateOf(Entry &entry, qint64 now, uint64_t bytes);

    Console &m_console;
    Lookup m_lookup;
    QTimer m_timer;
    QElapsedTimer m_clock;
    std::map<uint64_t, Entry> m_entries;
    bool m_paused = false;
};

} // namespace Lumora::Cli
