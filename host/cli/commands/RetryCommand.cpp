#include "host/cli/CommandArguments.h"
#include "host/cli/CommandDefinition.h"
#include "host/cli/QueueAccess.h"
#include "host/cli/commands/Commands.h"
#include "host/player/Format.h"
#include "plugin/StatusTransition.h"

namespace Lumora::Cli::Commands {

namespace {

// Only a failed download can be retried (plugin/QueueRules.h); false after saying so.
bool retryable(MediaManagerInterface::QueuedFileInterface *item, Output &output)
{
    const DownloadStatusValue status = item->status();
    if (isRetryableStatus(status))
        return true;
    output.error(QStringLiteral("lumora: download %1 is %2; only a failed download can be retried")
                     .arg(itemLabel(item), Host::statusName(status)));
    return false;
}

int retryLive(const Invocation &invocation, const Host::LivePlugins &plugins, Output &output)
{
    ItemPtr item;
    if (!findItem(plugins.library, invocation.id, &item, output) || !retryable(item.get(), output))
        return ExitFailed;
    // Its pause and resume are the download manager's way of doing it, not news for the user.
    Host::retryDownload(plugins, invocation.id);
    output.message(QStringLiteral("retrying %1").arg(itemLabel(item.get())));
    return ExitOk;
}

// Without a player, the queue rules the download manager keeps: Queued again, at the head.
std::optional<int> retryDirect(const Invocation &invocation, Output &output)
{
    const std::unique_ptr<MediaLibrary> library = openLibrary(false, output);
    if (!library)
        return ExitFailed;
    ItemPtr item;
    if (!findItem(library.get(), invocation.id, &item, output) || !retryable(item.get(), output))
        return ExitFailed;
    const PlaylistPtr playlist = queueOf(library.get());
    if (!changeStatus(item.get(), Queued, StatusRoutes::Stored) || !playlist || !playlist->moveItem(0, item->id())) {
        output.error(QStringLiteral("lumora: could not queue %1 again").arg(itemLabel(item.get())));
        return ExitFailed;
    }
    output.message(QStringLiteral("queued %1 again, at the head; it starts with the next \"lumora run\"").arg(itemLabel(item.get())));
    return ExitOk;
}

} // namespace

const CommandDefinition &retry()
{
    static const CommandDefinition definition{
        .name = QStringLiteral("retry"),
        .synopsis = QStringLiteral("retry ID"),
        .summary = QStringLiteral("queue a failed download again, at the head"),
        .help = QStringLiteral("Queues the failed download ID again, at the head of the queue. A running player "
                               "starts it next; otherwise it starts with the next \"lumora run\". A download that "
                               "did not fail is left as it is."),
        .scope = CommandDefinition::Scope::Home,
        .parse = Arguments::oneId,
        .direct = retryDirect,
        .live = retryLive,
    };
    return definition;
}

} // namespace Lumora::Cli::Commands
