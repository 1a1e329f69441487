#include "host/player/InstanceChannel.h"

#include "host/player/ExitCode.h"
#include "host/player/MainThread.h"
#include "host/lmrlibrary/OSUtilities.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace Lumora::Host {

namespace {

constexpr int kConnectTimeoutMs = 500;
constexpr int kRetryStepMs = 100;
constexpr int kReplyWaitMs = 1000;
constexpr mode_t kPrivateMode = 0700;
constexpr char kRuntimeFolder[] = "lumora";

QString canonical(const QString &path)
{
    const QString absolute = QDir(path).absolutePath();
    const QString resolved = QFileInfo(absolute).canonicalFilePath();
    return resolved.isEmpty() ? QDir::cleanPath(absolute) : resolved;
}

QByteArray jsonLine(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

bool fitsSocketAddress(const QString &path)
{
    return static_cast<size_t>(QFile::encodeName(path).size()) < sizeof(sockaddr_un::sun_path);
}

QString anotherUser(const QString &socketPath, uint32_t uid)
{
    return QStringLiteral("the player socket %1 answers as another user (uid %2), not as you: lumora hands it "
                          "nothing (remove the socket, or ask who put it there)")
        .arg(socketPath)
        .arg(uid);
}

} // namespace

QString homeIdentity()
{
    const QString home = OSUtilities::homeOverride();
    return canonical(home.isEmpty() ? OSUtilities::dataDirectory() : home);
}

QString instanceSocketName(const QString &identity)
{
    const QByteArray hash = QCryptographicHash::hash(identity.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("lumora-") + QString::fromLatin1(hash.left(24));
}

bool makePrivateFolder(const QString &path, QString *error)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), kPrivateMode) != 0 && errno != EEXIST) {
        if (error)
            *error = QStringLiteral("cannot create %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        if (error)
            *error = QStringLiteral("%1 is not a folder (a link or a file stands there)").arg(path);
        return false;
    }
    if (info.st_uid != ::geteuid()) {
        if (error)
            *error = QStringLiteral("%1 belongs to another user (uid %2)").arg(path).arg(info.st_uid);
        return false;
    }
    if ((info.st_mode & 0777) != kPrivateMode && ::chmod(native.constData(), kPrivateMode) != 0) {
        if (error)
            *error = QStringLiteral("cannot make %1 private to you: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

QString instanceSocketPath(const QString &identity, QString *error)
{
    const QString name = instanceSocketName(identity);
    QStringList folders;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        folders << QDir(runtime).filePath(QLatin1String(kRuntimeFolder));
    folders << OSUtilities::dataDirectory() + QStringLiteral("/run");
    folders << QDir::tempPath() + QStringLiteral("/lumora-%1").arg(::geteuid());

    QString problem;
    for (const QString &folder : folders) {
        const QString path = folder + '/' + name;
        if (!fitsSocketAddress(path))
            continue;
        QDir().mkpath(QFileInfo(folder).path());
        if (makePrivateFolder(folder, &problem))
            return path;
        break;  // a folder someone else holds is reported, never worked around
    }
    if (error)
        *error = problem.isEmpty() ? QStringLiteral("no folder for the player socket has a path short enough") : problem;
    return QString();
}

bool peerIsSameUser(qintptr socketDescriptor, uint32_t *peerUid, int64_t *peerPid)
{
    ucred credentials {};
    socklen_t size = sizeof credentials;
    if (socketDescriptor < 0
        || ::getsockopt(static_cast<int>(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return false;
    if (peerUid)
        *peerUid = credentials.uid;
    if (peerPid)
        *peerPid = credentials.pid;
    return credentials.uid == ::geteuid();
}

QString lockFailure(const QString &dataDirectory, uint64_t freeBytes, bool writable)
{
    const QString lock = dataDirectory + QStringLiteral("/player.lock");
    if (freeBytes == 0)
        return QStringLiteral("the disk that holds %1 is full, so lumora cannot even note that it runs there (%2); "
                              "free some space on it and try again")
            .arg(dataDirectory, lock);
    if (!writable)
        return QStringLiteral("%1 cannot be written (a read-only disk, or a folder of another user), so lumora cannot "
                              "note that it runs there (%2); give lumora a home it may write (--home DIR)")
            .arg(dataDirectory, lock);
    return QStringLiteral("cannot lock %1").arg(lock);
}

InstanceGate::InstanceGate() : m_identity(homeIdentity())
{
    m_socketPath = instanceSocketPath(m_identity, &m_socketError);
}

InstanceGate::~InstanceGate() = default;

InstanceGate::Role InstanceGate::acquire(std::chrono::milliseconds timeout, QString *error)
{
    const QString dataDirectory = OSUtilities::dataDirectory();
    if (!QDir().mkpath(dataDirectory)) {
        if (error)
            *error = QStringLiteral("cannot create %1").arg(dataDirectory);
        return Role::Failed;
    }
    m_lock = std::make_unique<QLockFile>(dataDirectory + QStringLiteral("/player.lock"));
    // A player runs for hours: only a lock whose process is gone is stale, never an old one.
    m_lock->setStaleLockTime(0);

    QDeadlineTimer deadline(timeout);
    for (;;) {
        if (m_lock->tryLock(0))
            return Role::Owner;
        if (m_lock->error() == QLockFile::PermissionError || m_lock->error() == QLockFile::UnknownError) {
            if (error) {
                uint64_t freeBytes = UINT64_MAX;
                OSUtilities::getFreeSpace(dataDirectory, &freeBytes, nullptr);
                const bool writable = ::access(QFile::encodeName(dataDirectory).constData(), W_OK) == 0;
                *error = lockFailure(dataDirectory, freeBytes, writable);
            }
            return Role::Failed;
        }
        if (!m_socketPath.isEmpty()) {
            auto socket = std::make_unique<QLocalSocket>();
            socket->connectToServer(m_socketPath);
            if (socket->waitForConnected(kConnectTimeoutMs)) {
                uint32_t uid = 0;
                if (!peerIsSameUser(socket->socketDescriptor(), &uid)) {
                    if (error)
                        *error = anotherUser(m_socketPath, uid);
                    return Role::Failed;
                }
                m_socket = std::move(socket);
                return Role::Client;
            }
        }
        if (deadline.hasExpired()) {
            if (error)
                *error = m_socketPath.isEmpty()
                             ? QStringLiteral("another lumora holds this home (%1) and cannot be reached: %2")
                                   .arg(m_identity, m_socketError)
                             : QStringLiteral("another lumora holds this home (%1) and does not answer").arg(m_identity);
            return Role::Failed;
        }
        QThread::msleep(kRetryStepMs);
    }
}

RemoteOutput::RemoteOutput(QLocalSocket *socket, bool terminal, int width, int64_t askerPid)
    : m_socket(socket), m_terminal(terminal), m_width(width), m_askerPid(askerPid)
{
    if (socket) {
        QObject::connect(socket, &QLocalSocket::disconnected, socket, [gone = m_gone] { *gone = true; });
        if (socket->state() != QLocalSocket::ConnectedState)
            *m_gone = true;
    }
}

void RemoteOutput::message(const QString &line)
{
    send("out", line);
}

void RemoteOutput::error(const QString &line)
{
    send("err", line);
}

void RemoteOutput::data(const QString &text)
{
    send("data", text);
}

void RemoteOutput::setProgress(const QStringList &lines)
{
    send("progress", QJsonArray::fromStringList(lines));
}

void RemoteOutput::finish(int exitCode)
{
    send("exit", exitCode);
    close();
}

void RemoteOutput::retryLater()
{
    send("retry", true);
    close();
}

void RemoteOutput::close()
{
    MainThread::post([self = shared_from_this()] {
        if (self->m_socket) {
            self->m_socket->flush();
            self->m_socket->disconnectFromServer();
        }
    });
}

void RemoteOutput::send(const char *key, const QJsonValue &value)
{
    QJsonObject object;
    object.insert(QLatin1String(key), value);
    // To the main thread in the order of the calls, whichever thread makes them.
    MainThread::post([self = shared_from_this(), line = jsonLine(object)] {
        if (self->m_socket && self->m_socket->state() == QLocalSocket::ConnectedState)
            self->m_socket->write(line);
    });
}

InstanceServer::InstanceServer(Handler handler, QObject *parent) : QObject(parent), m_handler(std::move(handler))
{
    connect(&m_server, &QLocalServer::newConnection, this, &InstanceServer::accept);
}

bool InstanceServer::listen(const QString &socketPath, QString *error)
{
    // Only the owner of the home's lock gets here, so a socket that exists was left by a player
    // that was killed.
    QLocalServer::removeServer(socketPath);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(socketPath)) {
        if (error)
            *error = QStringLiteral("cannot listen for other lumora commands at %1: %2").arg(socketPath, m_server.errorString());
        return false;
    }
    return true;
}

void InstanceServer::accept()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // Another user's process never gets a word, nor is its request read.
        int64_t pid = 0;
        if (!peerIsSameUser(socket->socketDescriptor(), nullptr, &pid)) {
            ++m_refused;
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setProperty("lumoraAsker", static_cast<qint64>(pid));
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        if (socket->canReadLine())
            readRequest(socket);
    }
}

void InstanceServer::readRequest(QLocalSocket *socket)
{
    if (socket->property("lumoraHandled").toBool() || !socket->canReadLine())
        return;
    socket->setProperty("lumoraHandled", true);
    const QJsonObject request = QJsonDocument::fromJson(socket->readLine()).object();
    QStringList args;
    for (const QJsonValue &value : request.value(QLatin1String("args")).toArray())
        args << value.toString();
    const QString cwd = request.value(QLatin1String("cwd")).toString();
    const bool terminal = request.value(QLatin1String("terminal")).toBool(false);
    const int width = request.value(QLatin1String("width")).toInt(0);
    auto output = std::make_shared<RemoteOutput>(socket, terminal, width > 0 ? width : 80,
                                                 socket->property("lumoraAsker").toLongLong());
    if (args.isEmpty()) {
        output->error(QStringLiteral("lumora: empty request"));
        output->finish(ExitUsage);
        return;
    }
    m_handler(args, cwd, output);
}

std::optional<int> forwardCommand(QLocalSocket *socket, const QStringList &args, Output &output)
{
    uint32_t uid = 0;
    if (!peerIsSameUser(socket->socketDescriptor(), &uid)) {
        output.error(QStringLiteral("lumora: ") + anotherUser(socket->fullServerName(), uid));
        return ExitFailed;
    }
    bool answered = false;
    QJsonObject request;
    request.insert(QLatin1String("args"), QJsonArray::fromStringList(args));
    request.insert(QLatin1String("cwd"), QDir::currentPath());
    request.insert(QLatin1String("terminal"), output.isTerminal());
    request.insert(QLatin1String("width"), output.terminalWidth());
    socket->write(jsonLine(request));
    socket->flush();

    for (;;) {
        while (socket->canReadLine()) {
            const QJsonObject reply = QJsonDocument::fromJson(socket->readLine()).object();
            // Also after some words: a follower whose player stops goes on with its downloads.
            if (reply.contains(QLatin1String("retry"))) {
                output.finishProgress();
                return std::nullopt;
            }
            answered = true;
            if (reply.contains(QLatin1String("exit"))) {
                output.finishProgress();
                return reply.value(QLatin1String("exit")).toInt(ExitFailed);
            }
            if (reply.contains(QLatin1String("out"))) {
                output.message(reply.value(QLatin1String("out")).toString());
            } else if (reply.contains(QLatin1String("err"))) {
                output.error(reply.value(QLatin1String("err")).toString());
            } else if (reply.contains(QLatin1String("data"))) {
                output.data(reply.value(QLatin1String("data")).toString());
            } else if (reply.contains(QLatin1String("progress"))) {
                QStringList lines;
                for (const QJsonValue &line : reply.value(QLatin1String("progress")).toArray())
                    lines << line.toString();
                output.setProgress(lines);
            }
        }
        if (socket->state() != QLocalSocket::ConnectedState && !socket->canReadLine()) {
            // Closed before a word: a player that was going away; the command never ran.
            if (!answered)
                return std::nullopt;
            output.finishProgress();
            output.error(QStringLiteral("lumora: the running player closed the connection"));
            return ExitFailed;
        }
        socket->waitForReadyRead(kReplyWaitMs);
    }
}

} // namespace Lumora::Host
