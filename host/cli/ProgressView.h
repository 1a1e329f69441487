#pragma once
// What the user sees while lumora downloads: a line when a download starts, completes, fails (with
// its reason) or is stopped, and one progress line per active download: the bytes received, the
// speed over the last seconds and the time left at that speed (the player's meters, fed from the
// item's transfer state), or the engine's wait before it tries again. On a terminal the progress
// lines are redrawn in place a few times a second; otherwise each is printed as a plain line, at
// most once a second per download.
//
// One view draws on the player's own console; a handed-over "get" has a view of its own that
// follows only its downloads and draws on the asking lumora's terminal, through the channel.
//
// Main thread only: the hub's messages reach it as the Player core's events, through the session.

#include "host/player/Output.h"
#include "host/player/TransferMeters.h"
#include "lmtl/RefCountedPtr.h"
#include "plugin/MediaLibrary.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace Lumora::Cli {

// What one progress line shows.
struct ProgressFigures {
    int32_t percent = 0;
    uint64_t received = 0;
    uint64_t total = 0;           // 0 while unknown
    double bytesPerSecond = 0.0;  // 0 while unknown
    uint64_t remainingMs = 0;     // 0 while unknown
    QString retrying;             // "retrying in 4 s: connection reset (try 3 of 10)", or empty
};

class ProgressView : public QObject {
public:
    using ItemPtr = lmtl::RefCountedPtr<MediaManagerInterface::QueuedFileInterface>;
    using Lookup = std::function<ItemPtr(uint64_t id)>;
    using Readings = std::function<std::optional<Host::TransferReading>(uint64_t id)>;

    ProgressView(Host::Output &output, Lookup lookup, Readings readings, QObject *parent = nullptr);

    void start();
    // Leaves the last progress lines on the screen, stops redrawing and lets go of every item (they
    // belong to the library plugin, which may be unloaded next).
    void stop();

    // From now on only these downloads are shown. Each is taken as it stands: one that runs already
    // gets its "downloading" line, one that ended meanwhile the line of its ending (except those in
    // finishedBefore, which ended before anyone asked).
    void follow(const std::vector<uint64_t> &ids, const std::vector<uint64_t> &finishedBefore = {});

    // A download's status may have changed. Only status messages introduce a download the view does
    // not know yet: item messages also carry the ids of other library entries.
    void statusChanged(uint64_t id, bool fromStatusMessage);
    void itemRemoved(uint64_t id);
    void pausedChanged(bool paused);

    // The figures of a running download: its bytes from the transfer reading when there is one, else
    // from the item's percentage.
    static ProgressFigures figuresOf(const MediaManagerInterface::QueuedFileInterface *item,
                                     const std::optional<Host::TransferReading> &reading);
    // "retrying in 4 s: connection reset (try 3 of 10)"; empty while the engine does not wait.
    static QString retryText(const Host::TransferReading &reading);
    // The progress line of one download. width > 0 fits it into that many columns (the title is
    // shortened, a bar added when there is room); 0 gives the plain line.
    static QString progressLine(uint64_t id, const QString &title, const ProgressFigures &figures, int width);

private:
    struct Entry {
        ItemPtr item;
        DownloadStatusValue shown = 0;
        QElapsedTimer running;         // since the download was seen starting
        uint64_t startBytes = 0;
        int32_t plainPercent = -1;
        QString plainRetry;
        qint64 plainAt = -1;
    };

    Entry *entryFor(uint64_t id, bool create);
    void started(uint64_t id, Entry &entry);
    void refresh();

    Host::Output &m_output;
    Lookup m_lookup;
    Readings m_readings;
    QTimer m_timer;
    QElapsedTimer m_clock;
    std::map<uint64_t, Entry> m_entries;
    std::optional<std::set<uint64_t>> m_followed;
    QStringList m_lastLines;
    bool m_paused = false;
};

} // namespace Lumora::Cli
