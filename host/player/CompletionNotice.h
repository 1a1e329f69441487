#pragma once
// What the player does when a download ends, besides showing it: a desktop notification through
// the freedesktop notification service on the session bus (when there is a bus and the setting is
// on; silently nothing otherwise), and the user's own command (the OnDownloadComplete setting).
//
// The command is started directly, never through a shell, and learns about the download from its
// environment alone, so no address or title ever becomes part of a command line:
//   LUMORA_ID           the download's id
//   LUMORA_STATUS       Completed or Failed
//   LUMORA_TITLE        its title
//   LUMORA_FILE         the file it went to (empty when there is none)
//   LUMORA_SOURCE       the address, user name and password masked
//   LUMORA_REASON       why it failed, as a sentence (empty when it completed)
//   LUMORA_REASON_KIND  the reason's kind ("http-status", "disk-full", ...)
//   LUMORA_HTTP_STATUS  the server's answer when that was the reason
//
// Main thread: the notification's reply comes back through its event loop.

#include "plugin/DownloadStatus.h"
#include "plugin/FailureReason.h"

#include <QObject>
#include <QProcessEnvironment>
#include <QString>

#include <cstdint>

namespace Lumora::Host {

struct DownloadEnding {
    uint64_t id = 0;
    DownloadStatusValue status = 0;  // Completed or Failed
    QString title;
    QString file;    // local path; empty when none
    QString source;  // credentials masked
    FailureReason reason;
};

// The environment the OnDownloadComplete command runs in: base and the variables above.
QProcessEnvironment endingEnvironment(const DownloadEnding &ending, const QProcessEnvironment &base);

class CompletionNotice : public QObject {
public:
    explicit CompletionNotice(QObject *parent = nullptr);

    // Reads the settings afresh (a change applies to the next ending), runs the command and sends
    // the notification. Returns what the user should hear about (the command could not be started);
    // empty when all went well.
    QString announce(const DownloadEnding &ending);
    // The id the notification service gave the last notification shown; 0 before any.
    uint32_t lastNotification() const { return m_shown; }

private:
    void notifyDesktop(const DownloadEnding &ending);

    // The notification this player showed last: the next replaces it instead of piling up.
    uint32_t m_shown = 0;
};

} // namespace Lumora::Host
