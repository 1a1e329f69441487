#pragma once
// The size probe: asks the server how large a file is before the engine is given it.
//
// A probe sends an HTTP HEAD request, follows redirects by hand (ten requests at most, the first one
// included), and answers the "Content-Length" of the first successful (2xx) answer, or 0 when it
// learns nothing, with the reason it learnt nothing. Credentials travel only when the address carries
// both a user name and a password, and only to the address's own origin (scheme, host and port),
// redirects to that origin included. A passing fault (a time-out, a lost connection, 408, 429, 500,
// 502, 503, 504) is asked again after a pause that doubles from one second and honours Retry-After,
// as long as the probe's own time allows.
//
// The helper owns a thread with its own event loop; every request lives there. probe() blocks its
// caller (any thread but the helper's own) and never depends on the caller running an event loop, so
// a host whose main thread is busy cannot hold a probe up. Each probe is bounded: one request may go
// unanswered for WorkerTiming::probeRequest, the whole probe lasts at most probeOverall, and a stop
// flag ends it at once. Every request is tagged with the probe that asked for it; answers that come in
// after their probe has ended are dropped, so they can neither set the size of a later probe nor keep
// it waiting.
//
// A probe may also be asked ahead: while one download transfers, the next one's address is probed on
// a thread of the helper's own (lookAhead). A successful answer is kept for a short while and is what
// the next examine() of that same address returns, without asking again; a failed one is forgotten
// and asked again then, retries and all. A probe that wants the helper for another address ends the
// look-ahead at once.
//
// Qt needs an application object for any event loop to run, the helper's own included: the player
// creates one at start (it need not run its loop). Without one every probe answers 0 at once.

#include "plugin/FailureReason.h"
#include "worker/WorkerTiming.h"

#include <QObject>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

class QAbstractEventDispatcher;
class QNetworkAccessManager;
class QNetworkReply;
class QThread;

namespace Lumora {

class HttpHelper : public QObject {
    Q_OBJECT
public:
    // Requests per probe, redirects included: a chain of nine redirects is followed to its answer,
    // a tenth redirect is not.
    static constexpr int MaxRequests = 10;

    struct Result {
        uint64_t size = 0;       // 0 when unknown
        FailureReason failure;   // why the size is unknown; unset after a stop
    };

    explicit HttpHelper(const WorkerTiming &timing = {});
    ~HttpHelper() override;

    // The content length of url, and why it is 0 when it is. Returns early (with 0 unless the size was
    // already known) as soon as *stop is true; interrupt() wakes it to look. Never on the helper's
    // thread.
    Result examine(const QUrl &url, const std::atomic<bool> *stop = nullptr);
    uint64_t probe(const QUrl &url, const std::atomic<bool> *stop = nullptr) { return examine(url, stop).size; }
    void interrupt();

    // Probes url in the background, once, for the examine() that is expected to follow. Returns at
    // once; a later call replaces an address not yet asked.
    void lookAhead(const QUrl &url);
    // How long an answer asked ahead stands in for a probe of its own.
    static constexpr std::chrono::seconds LookAheadLifetime{30};

    // "Content-Length" as an unsigned 64-bit decimal; nullopt for anything else (empty, signed,
    // not a number, too large).
    static std::optional<uint64_t> parseContentLength(std::string_view text);

signals:
    // Starts one request of the probe numbered probeId. Emitted and received on the helper's thread.
    void go(const QUrl &url, quint64 probeId);

private slots:
    void goSlot(const QUrl &url, quint64 probeId);
    // The reply's metaDataChanged and finished; the reply is the sender.
    void replyHeaderReceived();
    void replyFinished();

private:
    void responseHeaderReceived(QNetworkReply *resp);
    void complete(QNetworkReply *resp);
    struct Request {
        quint64 probeId = 0;
        bool headerSeen = false;
    };
    // Work handed to the helper's thread through m_mutex, never through Qt's queued calls, so that
    // every hand-over between threads is one this code can see and reason about.
    struct Command {
        std::string url;    // the address as text, parsed again on the helper's thread; empty: abandon
        quint64 probeId = 0;
    };

    void runLoop();                 // the helper's thread
    void runLookAhead();            // the look-ahead thread
    // The size asked ahead for url, when there is a fresh one; waits for a look-ahead of url that
    // is under way, and ends one of another address.
    std::optional<uint64_t> takeAskedAhead(const QByteArray &url, const std::atomic<bool> *stop);
    void abandon(quint64 probeId);  // the helper's thread
    void post(Command command);
    bool finishedLocked() const;
    // One round of requests, until the deadline at the latest.
    Result askOnce(const QUrl &url, const std::atomic<bool> *stop, std::chrono::steady_clock::time_point deadline);
    Result resultLocked(bool timedOut) const;

    const WorkerTiming m_timing;
    std::thread m_thread;
    QNetworkAccessManager *m_network = nullptr;     // the helper's thread only
    std::map<QNetworkReply *, Request> m_requests;  // the helper's thread only

    std::mutex m_probeMutex;     // one probe at a time
    mutable std::mutex m_mutex;  // guards everything below
    std::condition_variable m_changed;
    QAbstractEventDispatcher *m_dispatcher = nullptr;  // the helper thread's, once it runs
    QThread *m_helperThread = nullptr;
    bool m_loopStarted = false;
    bool m_moved = false;
    bool m_quit = false;
    std::vector<Command> m_commands;
    quint64 m_lastProbeId = 0;
    quint64 m_currentProbe = 0;  // 0 between probes: every answer is late then
    uint64_t m_contentLength = 0;
    bool m_lengthKnown = false;
    bool m_started = false;
    int m_pending = 0;
    int m_requestCount = 0;
    // What the round learnt besides the size, for its reason.
    int m_lastStatus = 0;             // the last answer that was neither success nor redirect
    int m_lastNetworkError = 0;       // QNetworkReply::NetworkError of a request that got no answer
    QString m_lastHost;               // host (and port) of the request those came from
    std::optional<int> m_retryAfterSeconds;
    // Where the address's credentials may go: its origin, and the credentials themselves.
    QString m_credentialOrigin;
    QString m_user;
    QString m_password;

    // The look-ahead. Lock order: m_aheadMutex is never held while m_probeMutex or m_mutex is taken.
    std::thread m_aheadThread;  // started by the first lookAhead()
    std::mutex m_aheadMutex;     // guards the members below
    std::condition_variable m_aheadChanged;
    QByteArray m_aheadWanted;    // to be asked next; empty: nothing
    QByteArray m_aheadAsking;    // being asked now; empty: nothing
    std::atomic<bool> m_aheadCancel{false};
    bool m_aheadQuit = false;
    struct AskedAhead {
        QByteArray url;
        uint64_t size = 0;
        std::chrono::steady_clock::time_point at;
    };
    std::optional<AskedAhead> m_askedAhead;
};

} // namespace Lumora
