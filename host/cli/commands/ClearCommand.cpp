#include "host/cli/CommandArguments.h"
#include "host/cli/CommandDefinition.h"
#include "host/cli/QueueAccess.h"
#include "host/cli/QueueListing.h"
#include "host/cli/commands/Commands.h"
#include "plugin/QueueRules.h"

#include <algorithm>

namespace Lumora::Cli::Commands {

namespace {

QString cleared(qsizetype removed)
{
    return QStringLiteral("removed %1 completed download(s) from the queue; their files stay").arg(removed);
}

int clearLive(const Invocation &, const Host::LivePlugins &plugins, Output &output)
{
    const std::vector<QueueRow> before = readQueue(queueOf(plugins.library).get());
    const auto completed = std::count_if(before.begin(), before.end(), [](const QueueRow &r) { return r.status == Completed; });
    plugins.manager->clearCompletedDownloads();
    output.message(cleared(completed));
    return ExitOk;
}

std::optional<int> clearDirect(const Invocation &, Output &output)
{
    const std::unique_ptr<MediaLibrary> library = openLibrary(false, output);
    if (!library)
        return ExitFailed;
    const PlaylistPtr playlist = queueOf(library.get());
    const std::vector<ItemPtr> completed = QueueRules::completedForClearing(playlist.get());
    int removed = 0;
    for (const ItemPtr &entry : completed)
        removed += entry->remove() ? 1 : 0;
    output.message(cleared(removed));
    return removed == static_cast<int>(completed.size()) ? ExitOk : ExitFailed;
}

} // namespace

const CommandDefinition &clear()
{
    static const CommandDefinition definition{
        .name = QStringLiteral("clear"),
        .synopsis = QStringLiteral("clear"),
        .summary = QStringLiteral("remove the completed downloads from the queue"),
        .help = QStringLiteral("Takes every completed download out of the queue. Their files stay in the media "
                               "folder; failed and waiting downloads stay queued."),
        .scope = CommandDefinition::Scope::Home,
        .parse = Arguments::none,
        .direct = clearDirect,
        .live = clearLive,
    };
    return definition;
}

} // namespace Lumora::Cli::Commands
