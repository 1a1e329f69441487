#include "host/player/InstanceChannel.h"

#include "host/player/ExitCode.h"
#include "host/player/MainThread.h"
#include "host/lmrlibrary/OSUtilities.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

namespace Lumora::Host {

namespace {

constexpr int kConnectTimeoutMs = 500;
constexpr int kRetryStepMs = 100;

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

InstanceGate::InstanceGate() : m_identity(homeIdentity()), m_socketName(instanceSocketName(m_identity)) {}

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
            if (error)
                *error = QStringLiteral("cannot lock %1/player.lock").arg(dataDirectory);
            return Role::Failed;
        }
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(m_socketName);
        if (socket->waitForConnected(kConnectTimeoutMs)) {
            m_socket = std::move(socket);
            return Role::Client;
        }
        if (deadline.hasExpired()) {
            if (error)
                *error = QStringLiteral("another lumora holds this home (%1) and does not answer").arg(m_identity);
            return Role::Failed;
        }
        QThread::msleep(kRetryStepMs);
    }
}

RemoteOutput::RemoteOutput(QLocalSocket *socket) : m_socket(socket) {}

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

bool InstanceServer::listen(const QString &socketName, QString *error)
{
    // Only the owner of the home's lock gets here, so a socket that exists was left by a player
    // that was killed.
    QLocalServer::removeServer(socketName);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(socketName)) {
        if (error)
            *error = QStringLiteral("cannot listen for other lumora commands: %1").arg(m_server.errorString());
        return false;
    }
    return true;
}

void InstanceServer::accept()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
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
    auto output = std::make_shared<RemoteOutput>(socket);
    if (args.isEmpty()) {
        output->error(QStringLiteral("lumora: empty request"));
        output->finish(ExitUsage);
        return;
    }
    m_handler(args, cwd, output);
}

std::optional<int> forwardCommand(QLocalSocket *socket, const QStringList &args, Output &output)
{
    bool answered = false;
    QJsonObject request;
    request.insert(QLatin1String("args"), QJsonArray::fromStringList(args));
    request.insert(QLatin1String("cwd"), QDir::currentPath());
    socket->write(jsonLine(request));
    socket->flush();

    for (;;) {
        while (socket->canReadLine()) {
            const QJsonObject reply = QJsonDocument::fromJson(socket->readLine()).object();
            if (reply.contains(QLatin1String("retry")) && !answered)
                return std::nullopt;
            answered = true;
            if (reply.contains(QLatin1String("exit")))
                return reply.value(QLatin1String("exit")).toInt(ExitFailed);
            if (reply.contains(QLatin1String("out")))
                output.message(reply.value(QLatin1String("out")).toString());
            else if (reply.contains(QLatin1String("err")))
                output.error(reply.value(QLatin1String("err")).toString());
            else if (reply.contains(QLatin1String("data")))
                output.data(reply.value(QLatin1String("data")).toString());
        }
        if (socket->state() != QLocalSocket::ConnectedState && !socket->canReadLine()) {
            // Closed before a word: a player that was going away; the command never ran.
            if (!answered)
                return std::nullopt;
            output.error(QStringLiteral("lumora: the running player closed the connection"));
            return ExitFailed;
        }
        socket->waitForReadyRead(1000);
    }
}

} // namespace Lumora::Host
