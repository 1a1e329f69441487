#pragma once
// The commands that act on the queue, in the two places they can run: inside a running player (on
// its operation thread, through the download manager) and, when no player runs on the home, directly
// on the media library.

#include "host/app/CommandLine.h"
#include "host/app/Console.h"
#include "plugin/DownloadManagerInterface.h"
#include "plugin/MediaLibrary.h"
#include "plugin/URIReceiver.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <vector>

namespace Lumora::App {

// Checks an address before anything is queued: false with the reason for text that is no address
// lumora can download (not a URL, no host, a scheme the download manager does not fetch).
bool checkAddress(const QString &text, QUrl *url, QString *reason);

struct IntakeResult {
    std::vector<uint64_t> accepted;  // ids of the downloads the addresses stand for, in order
    int rejected = 0;
};

// Hands each address to the plugin's URIReceiver and reports what became of it. An address that
// was already queued keeps its download; one whose download had failed is retried. Runs on the
// operation thread.
IntakeResult intakeAddresses(const std::vector<QUrl> &addresses, URIReceiver *receiver,
                             DownloadManagerInterface *manager, Output &output);

// pause, resume, stop, retry, remove, move, clear, play and list in a running player (operation
// thread). Returns the exit code.
int runLiveCommand(const Invocation &invocation, DownloadManagerInterface *manager,
                   MediaManagerInterface::MediaManager *library, Output &output);

// The same commands without a player, straight on the library (main thread). play is not among
// them: playing needs the player.
int runDirectCommand(const Invocation &invocation, Output &output);

// config get|set. baseDirectory resolves a relative media folder. mediaFolderChanged tells the
// caller to point the running player at the new folder.
int runConfigCommand(const Invocation &invocation, const QString &baseDirectory, Output &output,
                     bool *mediaFolderChanged);

} // namespace Lumora::App
