#pragma once
// Why a download ended without its file: one of a small closed set of kinds, each with a sentence a
// person understands. The reason is made where the failure is known (the size probe, the engine,
// the worker's disk check and placement, the media library's hand-off), travels with the Failed
// status through the one status path to the item, is stored with it, and is cleared when the item
// is queued or starts again. Hosts read it from the item; the hub's topics carry no reason.
//
//   kind                        made by        detail holds
//   http-status                 probe, engine  the host
//   host-not-found              probe, engine  the host
//   connection-refused          probe, engine  host:port
//   timed-out                   probe, engine  the host
//   connection-lost             engine         the host
//   tls                         probe, engine  the host
//   too-many-redirects          probe, engine  the host
//   credentials-refused         probe, engine  the host
//   size-unknown                probe          the host
//   body-longer-than-announced  engine         the announced size
//   not-enough-space            worker         the folder, needed and free bytes
//   disk-full                   engine         the folder
//   disk-write                  engine, worker what went wrong
//   target-unplaceable          worker         the target path
//   library-refused             worker         the target path
//   engine-unavailable          worker         -
//   unusable-answer             probe, engine  the host

#include <QString>
#include <QStringView>

#include <cstdint>

namespace Lumora {

enum class FailureKind : int32_t {
    None = 0,
    HttpStatus,
    HostNotFound,
    ConnectionRefused,
    TimedOut,
    ConnectionLost,
    Tls,
    TooManyRedirects,
    CredentialsRefused,
    SizeUnknown,
    BodyLongerThanAnnounced,
    NotEnoughSpace,
    DiskFull,
    DiskWrite,
    TargetUnplaceable,
    LibraryRefused,
    EngineUnavailable,
    UnusableAnswer,
};

struct FailureReason {
    FailureKind kind = FailureKind::None;
    int32_t httpStatus = 0;  // the server's answer, where one was the reason
    QString detail;          // what the sentence names (see the table above)
    // For not-enough-space: the bytes needed and free.
    uint64_t neededBytes = 0;
    uint64_t freeBytes = 0;

    bool isSet() const { return kind != FailureKind::None; }
    // "http-status", "host-not-found", ...; empty for None.
    QString kindName() const;
    // The sentence: "404 Not Found (example.org)", "host not found: example.invalid", ...
    QString message() const;
    // A few words for a table: "404 Not Found", "host not found", "disk full", ...
    QString shortMessage() const;

    static FailureKind kindFromName(QStringView name);
    static FailureReason http(int32_t status, const QString &host);
    static FailureReason of(FailureKind kind, const QString &detail = QString());

    friend bool operator==(const FailureReason &, const FailureReason &) = default;
};

// The reason phrase of an HTTP status ("Not Found"); empty for one this list does not name.
QString httpReasonPhrase(int32_t status);
// "1.5 KiB", "12.3 MiB": binary units, three significant digits.
QString formatByteCount(uint64_t bytes);

} // namespace Lumora
