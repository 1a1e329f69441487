#include "host/cli/Demo.h"

#include "host/cli/CliSession.h"
#include "host/cli/CommandDefinition.h"
#include "host/cli/DemoServer.h"
#include "host/cli/QueueListing.h"
#include "host/player/Format.h"
#include "host/player/Home.h"
#include "host/player/InstanceChannel.h"
#include "host/lmrlibrary/OSUtilities.h"
#include "host/medialibrary/MediaLibrary.h"
#include "plugin/AcceptedEndings.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>
#include <map>

namespace Lumora::Cli {

namespace {

constexpr char kKeep[] = "--keep";
// How long the demo waits for its home: a home of its own is free at once.
constexpr std::chrono::seconds kGateWait{2};

QByteArray sha256Of(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

// Loopback never goes through a proxy, whatever the environment says.
void bypassProxies()
{
    for (const char *name : {"no_proxy", "NO_PROXY"}) {
        QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            value += ',';
        value += "127.0.0.1,localhost";
        ::setenv(name, value.constData(), 1);
    }
}

} // namespace

QString demoClipFolder()
{
    const QString configured = qEnvironmentVariable("LUMORA_DEMO_CLIPS");
    if (!configured.isEmpty())
        return configured;
    // An installation carries them in share/lumora/clips; the build takes the source tree's.
    const QString installed = QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/lumora/clips"));
    if (QFileInfo(installed).isDir())
        return installed;
    return QStringLiteral(LUMORA_SOURCE_DIR "/tests/data");
}

int runDemo(const Invocation &invocation, Console &console)
{
    const QString clipFolder = demoClipFolder();
    QStringList videoFiles;
    for (const QString &ending : AcceptedEndings::endings())
        videoFiles << QStringLiteral("*.") + ending;
    const QStringList clips = QDir(clipFolder).entryList(videoFiles, QDir::Files | QDir::Readable, QDir::Name);
    if (clips.isEmpty()) {
        console.error(QStringLiteral("lumora: no clips to serve in %1 (LUMORA_DEMO_CLIPS names another folder)").arg(clipFolder));
        return ExitFailed;
    }

    // A home of its own, unless the user chose one: the demo never touches the user's library.
    std::unique_ptr<QTemporaryDir> temporary;
    QString home = OSUtilities::homeOverride();
    if (invocation.home.isEmpty()) {
        temporary = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/lumora-demo-XXXXXX"));
        if (!temporary->isValid()) {
            console.error(QStringLiteral("lumora: cannot create a temporary home"));
            return ExitFailed;
        }
        temporary->setAutoRemove(!invocation.hasFlag(kKeep));
        home = temporary->path();
        QString error;
        if (!Host::applyHome(home, &error)) {
            console.error(QStringLiteral("lumora: ") + error);
            return ExitFailed;
        }
    }
    bypassProxies();

    DemoServer server;
    QString error;
    if (!server.start(clipFolder, &error)) {
        console.error(QStringLiteral("lumora: ") + error);
        return ExitFailed;
    }
    console.message(QStringLiteral("demo: serving %1 clips from %2 at http://127.0.0.1:%3/")
                        .arg(clips.size())
                        .arg(clipFolder)
                        .arg(server.port()));
    console.message(QStringLiteral("demo: home %1 (library, settings, media folder, temporary downloads)").arg(home));

    Host::InstanceGate gate;
    if (gate.acquire(kGateWait, &error) != Host::InstanceGate::Role::Owner) {
        console.error(QStringLiteral("lumora: another lumora is using %1; the demo needs a home of its own").arg(home));
        return ExitFailed;
    }

    Invocation get = invocation;
    get.command = findCommand(QStringLiteral("get"));
    get.flags.clear();
    std::map<QString, QString> sourceOf;  // address -> clip file
    for (const QString &clip : clips) {
        const QString url = server.url(clip);
        get.addresses << url;
        sourceOf[QUrl(url).path()] = QDir(clipFolder).absoluteFilePath(clip);
    }
    int code = ExitFailed;
    {
        CliSession session(get, get.command->goal(get), console, gate.socketPath());
        code = session.exec();
    }
    server.stop();

    // The result, as the library keeps it, and the files checked against what was served.
    LibraryOpenOptions options;
    options.databasePath = OSUtilities::libraryDatabasePath();
    options.readOnly = true;
    std::unique_ptr<MediaLibrary> library = MediaLibrary::open(options, &error);
    if (!library) {
        console.error(QStringLiteral("lumora: cannot read the library: ") + error);
        return ExitFailed;
    }
    const std::vector<QueueRow> rows = readQueue(library->downloadPlaylist().get());
    console.message(QString());
    console.data(queueTable(rows));
    console.message(QString());

    int identical = 0;
    for (const QueueRow &row : rows) {
        const auto source = sourceOf.find(row.source.path());
        if (source == sourceOf.end() || row.status != Completed)
            continue;
        const QString target = row.file.toLocalFile();
        const QByteArray served = sha256Of(source->second);
        const QByteArray landed = sha256Of(target);
        const bool same = !served.isEmpty() && served == landed;
        identical += same ? 1 : 0;
        console.message(QStringLiteral("demo: %1 -> %2: %3 (%4, sha256 %5)")
                            .arg(QFileInfo(source->second).fileName(), target,
                                 same ? QStringLiteral("identical") : QStringLiteral("DIFFERENT"),
                                 Host::formatBytes(static_cast<uint64_t>(QFileInfo(target).size())),
                                 QString::fromLatin1(landed.left(16))));
    }
    const bool allIdentical = identical == clips.size();
    console.message(allIdentical ? QStringLiteral("demo: all %1 clips downloaded and identical to the originals").arg(clips.size())
                                 : QStringLiteral("demo: %1 of %2 clips arrived intact").arg(identical).arg(clips.size()));
    if (temporary && invocation.hasFlag(kKeep))
        console.message(QStringLiteral("demo: kept the home; look around with: lumora --home %1 list").arg(home));
    else if (temporary)
        console.message(QStringLiteral("demo: the temporary home is removed now (\"lumora demo --keep\" keeps it)"));
    if (code == ExitOk && !allIdentical)
        code = ExitFailed;
    return code;
}

} // namespace Lumora::Cli
