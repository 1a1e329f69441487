#include "host/player/CompletionNotice.h"

#include "host/player/PlayerSettings.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QVariantMap>

namespace Lumora::Host {

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kInterface[] = "org.freedesktop.Notifications";
constexpr char kMethod[] = "Notify";
constexpr char kApplication[] = "lumora";
constexpr char kCompletedIcon[] = "video-x-generic";
constexpr char kFailedIcon[] = "dialog-error";
// The notification server decides how long a notification stays.
constexpr int32_t kServerDecidesTimeout = -1;

// A session bus is asked for only where one is announced: without this, the bus library may try to
// start one of its own for a player running on a console or in a service.
bool sessionBusAnnounced()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(QDir(runtime).filePath(QStringLiteral("bus")));
}

} // namespace

QProcessEnvironment endingEnvironment(const DownloadEnding &ending, const QProcessEnvironment &base)
{
    QProcessEnvironment environment = base;
    environment.insert(QStringLiteral("LUMORA_ID"), QString::number(ending.id));
    environment.insert(QStringLiteral("LUMORA_STATUS"), QLatin1String(downloadStatusName(ending.status)));
    environment.insert(QStringLiteral("LUMORA_TITLE"), ending.title);
    environment.insert(QStringLiteral("LUMORA_FILE"), ending.file);
    environment.insert(QStringLiteral("LUMORA_SOURCE"), ending.source);
    environment.insert(QStringLiteral("LUMORA_REASON"), ending.reason.isSet() ? ending.reason.message() : QString());
    environment.insert(QStringLiteral("LUMORA_REASON_KIND"), ending.reason.kindName());
    environment.insert(QStringLiteral("LUMORA_HTTP_STATUS"),
                       ending.reason.httpStatus ? QString::number(ending.reason.httpStatus) : QString());
    return environment;
}

CompletionNotice::CompletionNotice(QObject *parent) : QObject(parent) {}

QString CompletionNotice::announce(const DownloadEnding &ending)
{
    if (PlayerSettings::desktopNotifications())
        notifyDesktop(ending);

    const QString command = PlayerSettings::onDownloadComplete();
    if (command.isEmpty())
        return QString();
    QStringList words = QProcess::splitCommand(command);
    if (words.isEmpty())
        return QString();
    QProcess process;
    process.setProgram(words.takeFirst());
    process.setArguments(words);
    process.setProcessEnvironment(endingEnvironment(ending, QProcessEnvironment::systemEnvironment()));
    if (!process.startDetached())
        return QStringLiteral("the %1 command \"%2\" could not be started (%3)")
            .arg(QLatin1String(PlayerSettings::OnDownloadComplete), command, process.errorString());
    return QString();
}

void CompletionNotice::notifyDesktop(const DownloadEnding &ending)
{
    if (!sessionBusAnnounced())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    const bool completed = ending.status == Completed;
    const QString summary = completed ? QStringLiteral("Downloaded %1").arg(ending.title)
                                      : QStringLiteral("Download failed: %1").arg(ending.title);
    const QString body = completed ? ending.file : ending.reason.message();
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                                       QLatin1String(kInterface), QLatin1String(kMethod));
    call << QLatin1String(kApplication) << m_shown
         << QLatin1String(completed ? kCompletedIcon : kFailedIcon) << summary << body << QStringList() << QVariantMap()
         << kServerDecidesTimeout;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *finished) {
        const QDBusPendingReply<uint32_t> reply = *finished;
        if (!reply.isError())
            m_shown = reply.value();
        finished->deleteLater();
    });
}

} // namespace Lumora::Host
