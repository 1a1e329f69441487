#pragma once
// Saves the records beside a part file on a thread of its own.
//
// A segment map is saved durably (written, synced, renamed). The sync costs a journal commit, and
// on ext4 a commit first writes back file data the journal depends on: measured here, up to 0.7 s
// in the middle of a fast transfer. The transfer thread therefore only hands the newest records
// over and goes on receiving; until the first durable save, there is no thread and a save is made
// on the spot. Saves happen in the order given; a save that has not started when a
// newer one comes is dropped, the newer one standing for both.
//
// Used by one download (its thread hands records over and settles); the saving thread is its own.

#include "vdm/PartialFile.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace Vdm {

class RecordWriter {
public:
    explicit RecordWriter(std::string path);
    ~RecordWriter();  // settles first
    RecordWriter(const RecordWriter &) = delete;
    RecordWriter &operator=(const RecordWriter &) = delete;

    // Hands meta over to be saved; returns at once.
    void save(PartialMeta meta, bool durable);
    // Returns when everything handed over is saved (or has failed: the file is then removed, so
    // that no stale records outlive the ones that failed).
    void settle();
    // Settles, then removes the records.
    void discard();

private:
    struct Pending {
        PartialMeta meta;
        bool durable = false;
    };
    void saverMain();
    // Saves meta on the calling thread; a file that could not be written is removed.
    void writeNow(const PartialMeta &meta, bool durable);

    const std::string m_path;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<Pending> m_pending;
    bool m_saving = false;
    bool m_stopping = false;
    std::thread m_saver;
};

} // namespace Vdm
