#include "host/cli/CommandArguments.h"
#include "host/cli/CommandDefinition.h"
#include "host/cli/QueueAccess.h"
#include "host/cli/commands/Commands.h"

namespace Lumora::Cli::Commands {

namespace {

int removeLive(const Invocation &invocation, const Host::LivePlugins &plugins, Output &output)
{
    ItemPtr item;
    if (!findItem(plugins.library, invocation.id, &item, output))
        return ExitFailed;
    const QString what = itemLabel(item.get());
    // The download manager stops a download that is removed while it runs.
    if (!plugins.manager->removeDownload(invocation.id)) {
        output.error(QStringLiteral("lumora: could not remove %1").arg(what));
        return ExitFailed;
    }
    output.message(QStringLiteral("removed %1").arg(what));
    return ExitOk;
}

std::optional<int> removeDirect(const Invocation &invocation, Output &output)
{
    const std::unique_ptr<MediaLibrary> library = openLibrary(false, output);
    if (!library)
        return ExitFailed;
    ItemPtr item;
    if (!findItem(library.get(), invocation.id, &item, output))
        return ExitFailed;
    const QString what = itemLabel(item.get());
    if (!item->remove()) {
        output.error(QStringLiteral("lumora: could not remove %1").arg(what));
        return ExitFailed;
    }
    output.message(QStringLiteral("removed %1").arg(what));
    return ExitOk;
}

} // namespace

const CommandDefinition &remove()
{
    static const CommandDefinition definition{
        .name = QStringLiteral("remove"),
        .synopsis = QStringLiteral("remove ID"),
        .summary = QStringLiteral("remove a download from the queue"),
        .help = QStringLiteral("Takes the download ID out of the queue. A running download is stopped first. A "
                               "finished file stays in the media folder."),
        .scope = CommandDefinition::Scope::Home,
        .parse = Arguments::oneId,
        .direct = removeDirect,
        .live = removeLive,
    };
    return definition;
}

} // namespace Lumora::Cli::Commands
