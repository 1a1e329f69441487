#include "host/cli/CommandArguments.h"
#include "host/cli/CommandSpec.h"
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
    output.data(listing(invocation, readQueue(playlist.get())));
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
    output.data(listing(invocation, readQueue(queueOf(library.get()).get())));
    return ExitOk;
}

} // namespace

const CommandSpec &list()
{
    static const CommandSpec spec{
        .name = QStringLiteral("list"),
        .synopsis = QStringLiteral("list [--json]"),
        .summary = QStringLiteral("the download queue: id, status, progress, size, title, source, file"),
        .help = QStringLiteral("Shows the download queue head first, one download a line: its id, status, "
                               "progress, size, title, source address (with user name and password masked) and "
                               "the file it goes to. --json gives the same as a JSON array for scripts. Reads the "
                               "running player's queue when there is one, else the library of the home."),
        .options = {{QString::fromLatin1(kJson), QStringLiteral("one JSON array, an object per download")}},
        .scope = CommandSpec::Scope::Home,
        .parse = Arguments::none,
        .direct = listDirect,
        .live = listLive,
    };
    return spec;
}

} // namespace Lumora::Cli::Commands
