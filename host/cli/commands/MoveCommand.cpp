#include "host/cli/CommandArguments.h"
#include "host/cli/CommandDefinition.h"
#include "host/cli/QueueAccess.h"
#include "host/cli/commands/Commands.h"
#include "plugin/QueueRules.h"

namespace Lumora::Cli::Commands {

namespace {

// The position that stands for the end of the queue (plugin/QueueRules.h: any negative one).
constexpr int64_t kEnd = -1;

bool parseMove(const QStringList &args, Invocation &invocation, QString *error)
{
    if (args.size() != 2) {
        *error = QStringLiteral("\"move\" needs a download id and a position");
        return false;
    }
    if (!Arguments::parseId(args[0], &invocation.id)) {
        *error = Arguments::notAnId(args[0]);
        return false;
    }
    const QString &position = args[1];
    if (position == QLatin1String("end") || position == QLatin1String("last")) {
        invocation.position = kEnd;
        return true;
    }
    bool ok = false;
    const qlonglong value = position.toLongLong(&ok, 10);
    if (!ok || value < 0) {
        *error = QStringLiteral("\"%1\" is not a position: give 0 for the head, 1, 2, ... or \"end\"").arg(position);
        return false;
    }
    invocation.position = value;
    return true;
}

// Where the item went, read back from the queue: a position past the end, or the download
// manager keeping finished items last, puts it elsewhere than asked.
QString moved(MediaManagerInterface::PlaylistInterface *playlist, MediaManagerInterface::QueuedFileInterface *item)
{
    const int64_t count = playlist ? playlist->count() : 0;
    int64_t index = -1;
    for (int64_t i = 0; i < count && index < 0; ++i) {
        ItemPtr at;
        if (playlist->itemAt(i, at.receive()) && at && at->id() == item->id())
            index = i;
    }
    if (index < 0)
        return QStringLiteral("moved %1").arg(itemLabel(item));
    QString where = QStringLiteral("moved %1 to position %2").arg(itemLabel(item)).arg(index);
    if (index == 0)
        where += QStringLiteral(", the head of the queue");
    else if (index == count - 1)
        where += QStringLiteral(", the end of the queue");
    return where;
}

int moveLive(const Invocation &invocation, const Host::LivePlugins &plugins, Output &output)
{
    ItemPtr item;
    if (!findItem(plugins.library, invocation.id, &item, output))
        return ExitFailed;
    if (!plugins.manager->moveDownload(invocation.id, invocation.position)) {
        output.error(QStringLiteral("lumora: could not move %1").arg(itemLabel(item.get())));
        return ExitFailed;
    }
    output.message(moved(queueOf(plugins.library).get(), item.get()));
    return ExitOk;
}

std::optional<int> moveDirect(const Invocation &invocation, Output &output)
{
    const std::unique_ptr<MediaLibrary> library = openLibrary(false, output);
    if (!library)
        return ExitFailed;
    ItemPtr item;
    if (!findItem(library.get(), invocation.id, &item, output))
        return ExitFailed;
    const PlaylistPtr playlist = queueOf(library.get());
    if (!playlist || !playlist->moveItem(QueueRules::resolvePosition(playlist.get(), invocation.position), item->id())) {
        output.error(QStringLiteral("lumora: could not move %1").arg(itemLabel(item.get())));
        return ExitFailed;
    }
    output.message(moved(playlist.get(), item.get()));
    return ExitOk;
}

} // namespace

const CommandDefinition &move()
{
    static const CommandDefinition definition{
        .name = QStringLiteral("move"),
        .synopsis = QStringLiteral("move ID POS"),
        .summary = QStringLiteral("move a download to position POS (0 is the head, \"end\" the end)"),
        .help = QStringLiteral("Moves the download ID to position POS of the queue: 0 is the head, which the "
                               "player starts next; \"end\" (or \"last\") is the end. A position past the end "
                               "is the end. Says where the download went."),
        .scope = CommandDefinition::Scope::Home,
        .parse = parseMove,
        .direct = moveDirect,
        .live = moveLive,
    };
    return definition;
}

} // namespace Lumora::Cli::Commands
