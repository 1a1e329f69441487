#pragma once
// One player per home, and the way other lumora commands reach it.
//
// Whoever holds the home's lock file is the only lumora working on that home's library: a player
// (get, run, play) for its whole run, a direct command (list, remove, ...) while it works. A player
// also listens on a local socket; a second lumora that finds the lock taken hands its command over
// that socket and prints what comes back. A lock left by a killed process is stale (its process is
// gone) and is taken over.
//
// The channel carries what the user typed, credentials in addresses included, so it is the user's
// alone: the socket lives in a folder only its user can enter ($XDG_RUNTIME_DIR/lumora, else
// "run" in the home's data folder, both made 0700 and checked to be the user's own), and each side
// checks with the kernel (SO_PEERCRED) that the other runs as the same user before it says a word.
//
// Protocol, one JSON object per line, UTF-8:
//   request   {"args": ["get", "http://..."], "cwd": "/where/it/ran", "terminal": true, "width": 120}
//   replies   {"out": "line"}  {"err": "line"}  {"data": "text"}  {"progress": ["line", ...]}  ...
//             then {"exit": 0}
//             or {"retry": true}: the player is stopping; the asker waits for the home and tries
//             again (it may become the player itself)
// The connection closes after "exit" or "retry".

#include "host/player/Output.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace Lumora::Host {

// The home's identity: LUMORA_HOME when set, else the data directory; made absolute and canonical.
QString homeIdentity();
// The local socket's file name for a home identity: "lumora-" and a hash of it.
QString instanceSocketName(const QString &homeIdentity);
// Where the socket of a home lives: the user's runtime folder, else the home's data folder, else
// (when those paths are too long for a socket) a folder of the user's own in the temporary folder.
// Makes the folder (0700) when missing; empty, with the reason, when the folder is not the user's
// alone and cannot be made so.
QString instanceSocketPath(const QString &homeIdentity, QString *error);

// Makes path a folder only its user can enter: created 0700, or an existing one checked to be a real
// folder (no link) owned by this user, its mode narrowed to 0700. False with the reason otherwise.
bool makePrivateFolder(const QString &path, QString *error);

// Whether the process at the other end of a connected local socket runs as this process's user;
// peerUid and peerPid (when given) receive who it is.
bool peerIsSameUser(qintptr socketDescriptor, uint32_t *peerUid = nullptr, int64_t *peerPid = nullptr);

// Why the home's lock cannot be taken, as a sentence with the next step: the disk that holds it is
// full, or the folder cannot be written.
QString lockFailure(const QString &dataDirectory, uint64_t freeBytes, bool writable);

class InstanceGate {
public:
    enum class Role { Owner, Client, Failed };

    InstanceGate();
    ~InstanceGate();

    // Becomes the owner of the home, or connects to the player that owns it. Waits up to timeout
    // while the home is held by a direct command or a player that is still starting. A socket that
    // answers as another user is never spoken to: Failed, with the reason.
    Role acquire(std::chrono::milliseconds timeout, QString *error);

    // Client: the connection to the running player (valid after acquire gave Client).
    std::unique_ptr<QLocalSocket> takeConnection() { return std::move(m_socket); }
    // Where this home's player listens; empty when no private place could be made for it
    // (socketError() says why).
    QString socketPath() const { return m_socketPath; }
    QString socketError() const { return m_socketError; }

private:
    QString m_identity;
    QString m_socketPath;
    QString m_socketError;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLocalSocket> m_socket;
};

// The answer to a handed-over command: its words, then exactly one of finish() and retryLater().
class CommandReply : public Output {
public:
    // Sends the exit code and closes the connection.
    virtual void finish(int exitCode) = 0;
    // Tells the asker to try again once this player has gone, and closes the connection.
    virtual void retryLater() = 0;
    // Whether the asker is still there to read what is sent.
    virtual bool isConnected() const { return true; }
    // The asking process, as the kernel named it; 0 when unknown.
    virtual int64_t askerPid() const { return 0; }
};

// Sends a command's output back over a hand-over connection. Usable from any thread (the socket
// itself is touched on the main thread only); lines for a client that went away are dropped.
class RemoteOutput : public CommandReply, public std::enable_shared_from_this<RemoteOutput> {
public:
    // terminal and width: what the asker's own output is, so that progress is drawn for it.
    RemoteOutput(QLocalSocket *socket, bool terminal, int width, int64_t askerPid);
    void message(const QString &line) override;
    void error(const QString &line) override;
    void data(const QString &text) override;
    bool isTerminal() const override { return m_terminal; }
    int terminalWidth() const override { return m_width; }
    void setProgress(const QStringList &lines) override;
    void finish(int exitCode) override;
    void retryLater() override;
    bool isConnected() const override { return !m_gone->load(); }
    int64_t askerPid() const override { return m_askerPid; }

private:
    void send(const char *key, const QJsonValue &value);
    void close();
    QPointer<QLocalSocket> m_socket;
    const bool m_terminal;
    const int m_width;
    const int64_t m_askerPid;
    // Set on the main thread when the asker disconnects; read from any thread.
    std::shared_ptr<std::atomic<bool>> m_gone = std::make_shared<std::atomic<bool>>(false);
};

class InstanceServer : public QObject {
    Q_OBJECT
public:
    // Called on the main thread for each handed-over command. The handler reports through reply and
    // ends it with finish() or retryLater(); the reply lives until then.
    using Handler = std::function<void(const QStringList &args, const QString &cwd, std::shared_ptr<CommandReply> reply)>;

    explicit InstanceServer(Handler handler, QObject *parent = nullptr);
    // Owner only: removes a socket left by a killed player, then listens at socketPath (a full path,
    // or a bare name in the temporary folder).
    bool listen(const QString &socketPath, QString *error);
    // The socket's path in the file system.
    QString socketPath() const { return m_server.fullServerName(); }
    // Connections refused because they came from another user.
    int refusedPeers() const { return m_refused; }

private:
    void accept();
    void readRequest(QLocalSocket *socket);

    QLocalServer m_server;
    Handler m_handler;
    int m_refused = 0;
};

// Client side: checks that the player is this user's, sends the command, passes what comes back to
// output, returns the exit code; empty when the command was not taken (the player is stopping, or
// went away before answering) and is to be tried again. A player of another user is never sent the
// command: ExitFailed, after saying so.
std::optional<int> forwardCommand(QLocalSocket *socket, const QStringList &args, Output &output);

} // namespace Lumora::Host
