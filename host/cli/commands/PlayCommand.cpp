#include "host/cli/CliSession.h"
#include "host/cli/CommandArguments.h"
#include "host/cli/CommandDefinition.h"
#include "host/cli/QueueAccess.h"
#include "host/cli/commands/Commands.h"
#include "host/player/Format.h"
#include "host/player/PlayerCommand.h"

#include <QFileInfo>

namespace Lumora::Cli::Commands {

namespace {

using PlayAnswer = Host::Player::PlayAnswer;

QString willPlay(MediaManagerInterface::QueuedFileInterface *item)
{
    return QStringLiteral("%1 plays once %2% of it has arrived").arg(itemLabel(item)).arg(PlayThresholdPercent);
}

int playLive(const Invocation &invocation, const Host::LivePlugins &plugins, Output &output)
{
    ItemPtr item;
    if (!findItem(plugins.library, invocation.id, &item, output))
        return ExitFailed;
    switch (Host::playDownload(plugins, invocation.id)) {
    case PlayAnswer::Playing:
        output.message(QStringLiteral("playing %1").arg(itemLabel(item.get())));
        return ExitOk;
    case PlayAnswer::OnceEnoughArrived:
        output.message(willPlay(item.get()));
        return ExitOk;
    case PlayAnswer::NoSuchDownload:
        output.error(noSuchDownload(invocation.id));
        return ExitFailed;
    case PlayAnswer::CannotPlay:
        break;
    }
    output.error(QStringLiteral("lumora: could not play %1 (%2)").arg(itemLabel(item.get()), Host::statusName(item->status())));
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
            const PlayAnswer answer = Host::playDownload(plugins, id);
            session.toMainThread([this, &session, answer] { asked(session, answer); });
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
    void asked(CliSession &session, PlayAnswer answer)
    {
        session.watchIdle();
        if (answer == PlayAnswer::NoSuchDownload) {
            session.console().error(noSuchDownload(m_id));
            m_failed = true;
        } else if (answer == PlayAnswer::OnceEnoughArrived) {
            if (const ItemPtr item = session.item(m_id))
                session.console().message(willPlay(item.get()));
        } else if (answer == PlayAnswer::CannotPlay && !m_started) {
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

const CommandDefinition &play()
{
    static const CommandDefinition definition{
        .name = QStringLiteral("play"),
        .synopsis = QStringLiteral("play ID"),
        .summary = QStringLiteral("play a download (from its file, or from its source while it arrives)"),
        .help = QStringLiteral("Plays the download ID with the player command (LUMORA_PLAYER_COMMAND, else "
                               "xdg-open). A finished download plays from its file. One still arriving plays from "
                               "its source once enough of it is there; without a running player, play becomes the "
                               "player and downloads it first."),
        .scope = CommandDefinition::Scope::Home,
        .parse = Arguments::oneId,
        .direct = playDirect,
        .goal = makePlayGoal,
        .live = playLive,
    };
    return definition;
}

} // namespace Lumora::Cli::Commands
