#include "host/cli/CliSession.h"
#include "host/cli/CommandArguments.h"
#include "host/cli/CommandSpec.h"
#include "host/cli/QueueAccess.h"
#include "host/cli/commands/Commands.h"
#include "host/player/Format.h"
#include "host/player/PlayerCommand.h"

#include <QFileInfo>

namespace Lumora::Cli::Commands {

namespace {

// Not finished and not yet far enough along for playback to start from its source.
bool waitingForThreshold(MediaManagerInterface::QueuedFileInterface *item)
{
    return item->status() != Completed && item->status() != Failed && item->progress() < PlayThresholdPercent;
}

int playLive(const Invocation &invocation, const Host::LivePlugins &plugins, Output &output)
{
    ItemPtr item;
    if (!findItem(plugins.library, invocation.id, &item, output))
        return ExitFailed;
    if (plugins.manager->playDownload(invocation.id)) {
        output.message(QStringLiteral("playing %1").arg(itemLabel(item.get())));
        return ExitOk;
    }
    if (waitingForThreshold(item.get())) {
        output.message(QStringLiteral("%1 plays once %2% of it has arrived").arg(itemLabel(item.get())).arg(PlayThresholdPercent));
        return ExitOk;
    }
    output.error(QStringLiteral("lumora: could not play %1").arg(itemLabel(item.get())));
    return ExitFailed;
}

// A finished file is simply played; anything else needs a player that downloads it.
std::optional<int> playDirect(const Invocation &invocation, Output &output)
{
    if (!libraryExists()) {
        output.error(noSuchDownload(invocation.id));
        return ExitFailed;
    }
    const std::unique_ptr<MediaLibrary> library = openLibrary(true, output);
    if (!library)
        return ExitFailed;
    ItemPtr item;
    if (!findItem(library.get(), invocation.id, &item, output))
        return ExitFailed;
    const QUrl file = item->fileUrl();
    if (item->status() != Completed || !file.isLocalFile() || !QFileInfo::exists(file.toLocalFile()))
        return std::nullopt;
    QString error;
    if (!Host::startPlayer(file, &error)) {
        output.error(QStringLiteral("lumora: ") + error);
        return ExitFailed;
    }
    output.message(QStringLiteral("playing %1 with %2").arg(Host::displayFile(file), Host::configuredPlayerCommand()));
    return ExitOk;
}

// Done once the download plays to its end or cannot play at all.
class PlayGoal : public Goal {
public:
    explicit PlayGoal(uint64_t id) : m_id(id) {}

    void start(CliSession &session) override
    {
        const uint64_t id = m_id;
        session.player().submit([this, &session, id](const Host::LivePlugins &plugins) {
            ItemPtr item;
            const bool known = plugins.library->getItem(id, item.receive()) && item;
            const bool played = known && plugins.manager->playDownload(id);
            const bool waiting = known && !played && waitingForThreshold(item.get());
            session.toMainThread([this, &session, known, played, waiting] { asked(session, known, played, waiting); });
        });
    }

    void idle(CliSession &session, bool pending, bool) override
    {
        const ItemPtr item = session.item(m_id);
        const DownloadStatusValue status = item ? item->status() : Invalid;
        if (m_failed || !item || status == Failed || (m_started && status == Completed))
            session.stop();
        else if (!pending && !m_started)
            session.stop();  // nothing left that could start playback
    }

    void played(CliSession &, bool started) override
    {
        if (started)
            m_started = true;
        else
            m_failed = true;
    }

    int finish(CliSession &) override { return m_started && !m_failed ? ExitOk : ExitFailed; }

private:
    void asked(CliSession &session, bool known, bool played, bool waiting)
    {
        session.watchIdle();
        if (!known) {
            session.console().error(noSuchDownload(m_id));
            m_failed = true;
        } else if (waiting) {
            session.console().message(
                QStringLiteral("download %1 plays once %2% of it has arrived").arg(m_id).arg(PlayThresholdPercent));
        } else if (!played && !m_started) {
            session.console().error(QStringLiteral("lumora: could not play download %1").arg(m_id));
            m_failed = true;
        }
    }

    const uint64_t m_id;
    bool m_started = false;
    bool m_failed = false;
};

std::unique_ptr<Goal> makePlayGoal(const Invocation &invocation)
{
    return std::make_unique<PlayGoal>(invocation.id);
}

} // namespace

const CommandSpec &play()
{
    static const CommandSpec spec{
        .name = QStringLiteral("play"),
        .synopsis = QStringLiteral("play ID"),
        .summary = QStringLiteral("play a download (from its file, or from its source while it arrives)"),
        .help = QStringLiteral("Plays the download ID with the player command (LUMORA_PLAYER_COMMAND, else "
                               "xdg-open). A finished download plays from its file. One still arriving plays from "
                               "its source once enough of it is there; without a running player, play becomes the "
                               "player and downloads it first."),
        .scope = CommandSpec::Scope::Home,
        .parse = Arguments::oneId,
        .direct = playDirect,
        .goal = makePlayGoal,
        .live = playLive,
    };
    return spec;
}

} // namespace Lumora::Cli::Commands
