#include "host/app/LumoraMain.h"

#include "host/app/CommandLine.h"
#include "host/app/Commands.h"
#include "host/app/Demo.h"
#include "host/app/Format.h"
#include "host/app/InstanceChannel.h"
#include "host/app/PlayerCommand.h"
#include "host/app/PlayerSession.h"
#include "host/lmrlibrary/OSUtilities.h"
#include "host/medialibrary/MediaLibrary.h"
#include "lmtl/RefCountedPtr.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cstdlib>

namespace Lumora::App {

namespace {

// How long a command waits for a home held by another lumora that is starting or working directly.
constexpr std::chrono::seconds kHomeWait{15};

// play without a running player: a finished file is simply played; anything else needs a player
// that downloads it. Returns -1 when a player has to run.
int playFinished(uint64_t id, Console &console)
{
    LibraryOpenOptions options;
    options.databasePath = OSUtilities::libraryDatabasePath();
    options.readOnly = true;
    if (!QFileInfo::exists(options.databasePath)) {
        console.error(QStringLiteral("lumora: there is no download %1 (see \"lumora list\")").arg(id));
        return ExitFailed;
    }
    QString error;
    std::unique_ptr<MediaLibrary> library = MediaLibrary::open(options, &error);
    if (!library) {
        console.error(QStringLiteral("lumora: cannot open the library %1: %2").arg(options.databasePath, error));
        return ExitFailed;
    }
    lmtl::RefCountedPtr<MediaManagerInterface::QueuedFileInterface> item;
    if (!library->getItem(id, item.receive()) || !item) {
        console.error(QStringLiteral("lumora: there is no download %1 (see \"lumora list\")").arg(id));
        return ExitFailed;
    }
    const QUrl file = item->fileUrl();
    if (item->status() != Completed || !file.isLocalFile() || !QFileInfo::exists(file.toLocalFile()))
        return -1;
    if (!startPlayer(file, &error)) {
        console.error(QStringLiteral("lumora: ") + error);
        return ExitFailed;
    }
    console.message(QStringLiteral("playing %1 with %2").arg(displayFile(file), configuredPlayerCommand()));
    return ExitOk;
}

} // namespace

bool applyHome(const QString &home, QString *error)
{
    const QString absolute = QDir::cleanPath(QDir(home).absolutePath());
    if (!QDir().mkpath(absolute)) {
        if (error)
            *error = QStringLiteral("cannot create the home folder %1").arg(absolute);
        return false;
    }
    ::setenv("LUMORA_HOME", QFile::encodeName(absolute).constData(), 1);
    // --home is the one switch: registry hives named elsewhere by the environment would leave the
    // settings of this home in someone else's.
    ::setenv("VEXO_REGISTRY_DIR", QFile::encodeName(absolute + QStringLiteral("/registry")).constData(), 1);
    return true;
}

int runLumora(const QStringList &arguments, Console &console)
{
    const ParseResult parsed = parseCommandLine(arguments);
    if (!parsed.invocation) {
        console.error(QStringLiteral("lumora: ") + parsed.error);
        console.error(QStringLiteral("Run \"lumora --help\" for the commands."));
        return ExitUsage;
    }
    const Invocation &invocation = *parsed.invocation;
    if (invocation.command == Command::Help) {
        console.data(usageText());
        return ExitOk;
    }
    if (invocation.command == Command::Version) {
        console.data(versionText());
        return ExitOk;
    }

    QString error;
    if (!invocation.home.isEmpty() && !applyHome(invocation.home, &error)) {
        console.error(QStringLiteral("lumora: ") + error);
        return ExitFailed;
    }
    if (invocation.command == Command::Demo)
        return runDemo(invocation, console);

    // Addresses are checked before anything is loaded or handed over: a typo costs nothing.
    bool badAddress = false;
    for (const QString &text : invocation.addresses) {
        QUrl url;
        QString reason;
        if (!checkAddress(text, &url, &reason)) {
            console.error(QStringLiteral("lumora: %1: %2").arg(text, reason));
            badAddress = true;
        }
    }
    if (badAddress)
        return ExitUsage;

    // A player that is stopping sends its askers away; they wait for the home and ask again, and
    // may become the player themselves.
    InstanceGate gate;
    const QDeadlineTimer deadline(kHomeWait);
    for (;;) {
        const auto left = std::chrono::milliseconds(std::max<qint64>(deadline.remainingTime(), 0));
        const InstanceGate::Role role = gate.acquire(left, &error);
        if (role == InstanceGate::Role::Failed) {
            console.error(QStringLiteral("lumora: ") + error);
            return ExitFailed;
        }
        if (role == InstanceGate::Role::Owner)
            break;
        const std::unique_ptr<QLocalSocket> connection = gate.takeConnection();
        if (const std::optional<int> code = forwardCommand(connection.get(), invocation.commandArguments, console))
            return *code;
        if (deadline.hasExpired()) {
            console.error(QStringLiteral("lumora: the player of this home did not take the command; try again"));
            return ExitFailed;
        }
        QThread::msleep(100);
    }

    switch (invocation.command) {
    case Command::ConfigGet:
    case Command::ConfigSet:
        return runConfigCommand(invocation, QDir::currentPath(), console, nullptr);
    case Command::Play: {
        const int played = playFinished(invocation.id, console);
        if (played >= 0)
            return played;
        break;
    }
    default:
        break;
    }
    if (startsPlayer(invocation.command)) {
        PlayerSession session(invocation, console, gate.socketName());
        return session.exec();
    }
    return runDirectCommand(invocation, console);
}

} // namespace Lumora::App
