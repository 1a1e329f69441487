#include "host/cli/CommandArguments.h"
#include "host/cli/CommandDefinition.h"
#include "host/cli/QueueAccess.h"
#include "host/cli/QueueListing.h"
#include "host/cli/commands/Commands.h"

namespace Lumora::Cli::Commands {

namespace {

constexpr char kJson[] = "--json";

QString listing(const Invocation &invocation, const std::vector<QueueRow> &rows)
{
    return invocation.hasFlag(kJson) ? queueJson(rows) : queueTable(rows);
}

int listLive(const Invocation &invocation, const Host::LivePlugins &plugins, Output &output)
{
    const PlaylistPtr playlist = queueOf(plugins.library);
    Host::Player *player = plugins.player;
    const TransferLookup transfers = [player](uint64_t id) {
        return player ? player->transfer(id) : std::nullopt;
    };
    output.data(listing(invocation, readQueue(playlist.get(), transfers, true)));
    return ExitOk;
}

std::optional<int> listDirect(const Invocation &invocation, Output &output)
{
    if (!libraryExists()) {
        // Nothing was ever queued on this home; listing must not create a library.
        output.data(listing(invocation, {}));
        return ExitOk;
    }
    const std::unique_ptr<MediaLibrary> library = openLibrary(true, output);
    if (!library)
        return ExitFailed;
    // No player runs while this lumora holds the home: a download still marked as running was
    // interrupted by a player that is gone.
    output.data(listing(invocation, readQueue(queueOf(library.get()).get(), {}, false)));
    return ExitOk;
}

} // namespace

const CommandDefinition &list()
{
    static const CommandDefinition definition{
        .name = QStringLiteral("list"),
        .synopsis = QStringLiteral("list [--json]"),
        .summary = QStringLiteral("the download queue: id, status, progress, size, title, source, file"),
        .help = QStringLiteral(
            "Shows the download queue head first, one download a line: its id, status (with the short reason of "
            "a failure, or \"interrupted\" for a download a player left running when it was killed; it is "
            "queued and goes on at the next run), progress, size, title, source address (with user name and "
            "password masked) and the file it goes to. --json gives a JSON array for scripts, an object per "
            "download with id, status, progress, size, received (bytes), speed (bytes per second) and eta "
            "(seconds) while it runs, added and finished (UTC), title, source, file, interrupted, and for a "
            "failed download error: {kind, message, httpStatus}. Reads the running player's queue when there is "
            "one, else the library of the home."),
        .options = {{QString::fromLatin1(kJson), QStringLiteral("one JSON array, an object per download")}},
        .scope = CommandDefinition::Scope::Home,
        .parse = Arguments::none,
        .direct = listDirect,
        .live = listLive,
    };
    return definition;
}

} // namespace Lumora::Cli::Commands
