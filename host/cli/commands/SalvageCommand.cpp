#include "host/cli/CommandArguments.h"
#include "host/cli/CommandDefinition.h"
#include "host/cli/QueueAccess.h"
#include "host/cli/commands/Commands.h"
#include "host/lmrlibrary/OSUtilities.h"
#include "host/medialibrary/LibraryDatabase.h"
#include "host/medialibrary/LibrarySalvage.h"

#include <QFileInfo>

namespace Lumora::Cli::Commands {

namespace {

// Holds the home, so no player works on the library meanwhile: a damaged library has none anyway,
// since none could open it.
std::optional<int> salvageDirect(const Invocation &, Output &output)
{
    const QString path = OSUtilities::libraryDatabasePath();
    if (!QFileInfo(path).isFile() || QFileInfo(path).size() == 0) {
        output.message(QStringLiteral("there is no library at %1: nothing to salvage").arg(path));
        return ExitOk;
    }
    LibraryOpenOptions options;
    options.databasePath = path;
    options.readOnly = true;
    QString error;
    if (MediaLibrary::open(options, &error)) {
        output.message(QStringLiteral("the library %1 is not damaged: nothing to salvage").arg(path));
        return ExitOk;
    }
    if (!error.contains(QLatin1String(LibraryDamagedMarker))) {
        output.error(QStringLiteral("lumora: %1 cannot be salvaged: %2").arg(path, error));
        return ExitFailed;
    }
    const SalvageReport report = salvageLibrary(path);
    if (!report.ok) {
        output.error(QStringLiteral("lumora: nothing was salvaged: %1").arg(report.error));
        return ExitFailed;
    }
    output.message(QStringLiteral("salvaged %1 download(s) and %2 library file(s) into a new library at %3; the damaged "
                                  "file is kept as %4%5")
                       .arg(report.items)
                       .arg(report.files)
                       .arg(path, report.keptAs,
                            report.queueOrderKept ? QString()
                                                  : QStringLiteral(" (the queue's order was lost: the downloads are "
                                                                   "queued in the order they were added)")));
    return ExitOk;
}

void salvageHandedOver(RunningPlayer &, const Invocation &, const QString &, std::shared_ptr<Host::CommandReply> reply)
{
    reply->error(QStringLiteral("lumora: a player is using the library of this home, so it is not damaged; nothing to "
                                "salvage"));
    reply->finish(ExitOk);
}

} // namespace

const CommandDefinition &salvage()
{
    static const CommandDefinition definition{
        .name = QStringLiteral("salvage"),
        .synopsis = QStringLiteral("salvage"),
        .summary = QStringLiteral("copy what a damaged library still holds into a new one"),
        .help = QStringLiteral("When the media library of the home is damaged (lumora then refuses to use it, and says "
                               "so), copies every download and library entry that can still be read into a new "
                               "library, which takes the old one's place. The damaged file is kept beside it, with "
                               "\".damaged-\" and the date added to its name."),
        .scope = CommandDefinition::Scope::Home,
        .parse = Arguments::none,
        .direct = salvageDirect,
        .handedOver = salvageHandedOver,
    };
    return definition;
}

} // namespace Lumora::Cli::Commands
