#pragma once
// One player per home, and the way other lumora commands reach it.
//
// Whoever holds the home's lock file is the only lumora working on that home's library: a player
// (get, run, play) for its whole run, a direct command (list, remove, ...) while it works. A player
// also listens on a local socket whose name comes from the home's path; a second lumora that finds
// the lock taken hands its command over that socket and prints what comes back. A lock left by a
// killed process is stale (its process is gone) and is taken over.
//
// Protocol, one JSON object per line, UTF-8:
//   request   {"args": ["get", "http://..."], "cwd": "/where/it/ran"}
//   replies   {"out": "line"}  {"err": "line"}  {"data": "text"}  ...  {"exit": 0}
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

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace Lumora::Host {

// The home's identity: LUMORA_HOME when set, else the data directory; made absolute and canonical.
QString homeIdentity();
// The local socket name for a home identity: "lumora-" and a hash of it.
QString instanceSocketName(const QString &homeIdentity);

class InstanceGate {
public:
    enum class Role { Owner, Client, Failed };

    InstanceGate();
    ~InstanceGate();

    // Becomes the owner of the home, or connects to the player that owns it. Waits up to timeout
    // while the home is held by a direct command or a player that is still starting.
    Role acquire(std::chrono::milliseconds timeout, QString *error);

    // Client: the connection to the running player (valid after acquire gave Client).
    std::unique_ptr<QLocalSocket> takeConnection() { return std::move(m_socket); }
    QString socketName() const { return m_socketName; }

private:
    QString m_identity;
    QString m_socketName;
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
};

// Sends a command's output back over a hand-over connection. Usable from any thread (the socket
// itself is touched on the main thread only); lines for a client that went away are dropped.
class RemoteOutput : public CommandReply, public std::enable_shared_from_this<RemoteOutput> {
public:
    explicit RemoteOutput(QLocalSocket *socket);
    void message(const QString &line) override;
    void error(const QString &line) override;
    void data(const QString &text) override;
    void finish(int exitCode) override;
    void retryLater() override;

private:
    void send(const char *key, const QJsonValue &value);
    void close();
    QPointer<QLocalSocket> m_socket;
};

class InstanceServer : public QObject {
    Q_OBJECT
public:
    // Called on the main thread for each handed-over command. The handler reports through reply and
    // ends it with finish() or retryLater(); the reply lives until then.
    using Handler = std::function<void(const QStringList &args, const QString &cwd, std::shared_ptr<CommandReply> reply)>;

    explicit InstanceServer(Handler handler, QObject *parent = nullptr);
    // Owner only: removes a socket left by a killed player, then listens.
    bool listen(const QString &socketName, QString *error);
    // The socket's path in the file system.
    QString socketPath() const { return m_server.fullServerName(); }

private:
    void accept();
    void readRequest(QLocalSocket *socket);

    QLocalServer m_server;
    Handler m_handler;
};

// Client side: sends the command, passes what comes back to output, returns the exit code; empty
// when the command was not taken (the player is stopping, or went away before answering) and is
// to be tried again.
std::optional<int> forwardCommand(QLocalSocket *socket, const QStringList &args, Output &output);

} // namespace Lumora::Host
