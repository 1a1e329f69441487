#include "host/window/QueueOperations.h"

#include "host/window/QueueMoves.h"
#include "host/window/QueueReader.h"


namespace Lumora::Window {

namespace {

std::vector<uint64_t> orderOf(MediaManagerInterface::MediaManager *library)
{
    std::vector<uint64_t> ids;
    for (const ItemPtr &item : QueueReader::readQueue(library))
        ids.push_back(item->id());
    return ids;
}

void applyMoves(const Host::LivePlugins &plugins, const std::vector<QueueMoves::Move> &moves)
{
    for (const QueueMoves::Move &move : moves)
        plugins.manager->moveDownload(move.id, move.position);
}

using PlayAnswer = Host::Player::PlayAnswer;

// The player keeps the promise to play a download once enough of it has arrived; without one (unit
// tests) the download manager refuses, and the item tells whether too little has arrived yet.
PlayAnswer playAnswer(const Host::LivePlugins &plugins, MediaManagerInterface::QueuedFileInterface *item)
{
    const PlayAnswer answer = Host::playDownload(plugins, item->id());
    if (!plugins.player && answer == PlayAnswer::CannotPlay && !isFinishedStatus(item->status()) &&
        item->progress() < PlayThresholdPercent)
        return PlayAnswer::OnceEnoughArrived;
    return answer;
}

} // namespace

QueueOperations::QueueOperations(Submit submit, QObject *parent) : QObject(parent), m_submit(std::move(submit)) {}

QueueOperations::~QueueOperations()
{
    *m_alive = false;
}

// Runs on the operation thread: the object is reached only on the main thread, while it lives.
void QueueOperations::reportProblem(const Host::MainThread::Liveness &alive, const QString &sentence)
{
    Host::MainThread::postIfAlive(alive, [this, sentence] { emit problem(sentence); });
}

void QueueOperations::add(const std::vector<QUrl> &addresses)
{
    if (addresses.empty())
        return;
    m_submit([this, alive = m_alive, addresses](const Host::LivePlugins &plugins) {
        QList<Host::IntakeOutcome> outcomes;
        Host::intakeAddresses(addresses, plugins.receiver, plugins.manager,
                              [&outcomes](const Host::IntakeOutcome &outcome) { outcomes << outcome; },
                              [&plugins](uint64_t id) { Host::retryDownload(plugins, id); }, plugins.libraryHost);
        Host::MainThread::postIfAlive(alive, [this, outcomes] { emit intakeReported(outcomes); });
    });
}

void QueueOperations::pauseAll()
{
    m_submit([](const Host::LivePlugins &plugins) { plugins.manager->pauseAll(); });
}

void QueueOperations::resumeAll()
{
    m_submit([](const Host::LivePlugins &plugins) { plugins.manager->resumeAll(); });
}

void QueueOperations::stopCurrent()
{
    m_submit([](const Host::LivePlugins &plugins) { plugins.manager->stopCurrentDownload(); });
}

void QueueOperations::retry(const std::vector<uint64_t> &ids)
{
    m_submit([ids](const Host::LivePlugins &plugins) {
        // The download manager puts each retried download at the head: the last one asked for first
        // ends up first, so go from the last to keep the table's order.
        for (auto it = ids.rbegin(); it != ids.rend(); ++it)
            Host::retryDownload(plugins, *it);
    });
}

void QueueOperations::remove(const std::vector<uint64_t> &ids)
{
    m_submit([this, alive = m_alive, ids](const Host::LivePlugins &plugins) {
        for (uint64_t id : ids) {
            ItemPtr item;
            if (!plugins.library || !plugins.library->getItem(id, item.receive()) || !item)
                continue;
            const QString title = item->title();
            item = nullptr;
            // The download manager discards what the engine kept of the download, too.
            if (!plugins.manager->removeDownload(id))
                reportProblem(alive, tr("“%1” could not be removed from the queue.").arg(title));
        }
    });
}

void QueueOperations::moveUp(const std::vector<uint64_t> &ids)
{
    m_submit([ids](const Host::LivePlugins &plugins) { applyMoves(plugins, QueueMoves::up(orderOf(plugins.library), ids)); });
}

void QueueOperations::moveDown(const std::vector<uint64_t> &ids)
{
    m_submit([ids](const Host::LivePlugins &plugins) { applyMoves(plugins, QueueMoves::down(orderOf(plugins.library), ids)); });
}

void QueueOperations::moveToTop(const std::vector<uint64_t> &ids)
{
    moveTo(ids, 0);
}

void QueueOperations::moveTo(const std::vector<uint64_t> &ids, int64_t beforeRow)
{
    m_submit([ids, beforeRow](const Host::LivePlugins &plugins) {
        applyMoves(plugins, QueueMoves::toPlace(orderOf(plugins.library), ids, beforeRow));
    });
}

void QueueOperations::clearCompleted()
{
    m_submit([](const Host::LivePlugins &plugins) { plugins.manager->clearCompletedDownloads(); });
}

void QueueOperations::play(uint64_t id)
{
    m_submit([this, alive = m_alive, id](const Host::LivePlugins &plugins) {
        ItemPtr item;
        if (!plugins.library || !plugins.library->getItem(id, item.receive()) || !item)
            return;
        const QString title = item->title();
        switch (playAnswer(plugins, item.get())) {
        case PlayAnswer::Playing:         // the player's answer comes as the played event
        case PlayAnswer::NoSuchDownload:
            return;
        case PlayAnswer::OnceEnoughArrived:
            Host::MainThread::postIfAlive(alive, [this, title] { emit playDeferred(title); });
            return;
        case PlayAnswer::CannotPlay:
            reportProblem(alive, tr("“%1” could not be played.").arg(title));
            return;
        }
    });
}

void QueueOperations::askPaused()
{
    m_submit([this, alive = m_alive](const Host::LivePlugins &plugins) {
        const bool paused = plugins.manager->isPaused();
        Host::MainThread::postIfAlive(alive, [this, paused] { emit pausedKnown(paused); });
    });
}


} // namespace Lumora::Window
