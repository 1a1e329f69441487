#pragma once
// Addresses on their way into the queue: checked before anything is loaded or handed over, then given
// to the download manager's URIReceiver one by one. What became of each address is reported as data;
// each face words it its own way (the command line as lines, a window as rows and messages).

#include "host/medialibrary/MediaLibraryHostInterface.h"
#include "plugin/DownloadManagerInterface.h"
#include "plugin/DownloadStatus.h"
#include "plugin/URIReceiver.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <vector>

namespace Lumora::Host {

// False with the reason for text that is no address the player can download (not a URL, no host,
// a scheme the engine does not fetch, a local file). Raw spaces are percent-encoded first.
bool checkAddress(const QString &text, QUrl *url, QString *reason);

struct IntakeOutcome {
    enum class Kind {
        Queued,             // new in the queue
        Retrying,           // its download had failed; it is queued again
        AlreadyDownloaded,  // finished before; nothing is fetched
        AlreadyQueued,      // waiting or running already
        Refused,            // the download manager did not take it
    };
    Kind kind = Kind::Refused;
    QUrl address;
    uint64_t id = 0;         // the download the address stands for; 0 when refused
    QString title;
    QUrl file;               // AlreadyDownloaded: where the file is
    bool fileGone = false;   // AlreadyDownloaded: the file is no longer there
    QString refusal;         // Refused: why, for people
};

struct IntakeResult {
    std::vector<uint64_t> accepted;  // ids of the downloads the addresses stand for, in order, each once
    std::vector<uint64_t> finishedBefore;  // those among them that had been downloaded before (nothing fetched)
    int rejected = 0;
};

// Hands each address to the receiver; an address that was already queued keeps its download, one
// whose download had failed is retried (through retry when given, else the manager's
// retryDownload). report is called for each address as soon as its fate is known, before anything
// more is done with it. Runs on the operation thread, and so do report and retry.
IntakeResult intakeAddresses(const std::vector<QUrl> &addresses, URIReceiver *receiver,
                             DownloadManagerInterface *manager,
                             const std::function<void(const IntakeOutcome &)> &report,
                             const std::function<void(uint64_t id)> &retry = {},
                             const MediaLibraryHostInterface *libraryHost = nullptr);

} // namespace Lumora::Host
