#pragma once
// What the window's actions ask of the download manager. Every call that can wait on the plugin's
// locks is handed to the player's operation thread through submit; what comes of it returns to the
// main thread as a signal. Positions for moves are worked out there too, on the queue's order as it
// is when the moves are made.
//
// Made and used on the main thread.

#include "host/player/AddressIntake.h"
#include "host/player/MainThread.h"
#include "host/player/Player.h"

#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>
#include <vector>

namespace Lumora::Window {

class QueueOperations : public QObject {
    Q_OBJECT
public:
    // Player::submit, or a stand-in in tests.
    using Submit = std::function<void(Host::Player::Operation operation)>;

    explicit QueueOperations(Submit submit, QObject *parent = nullptr);
    ~QueueOperations() override;

    void add(const std::vector<QUrl> &addresses);
    void pauseAll();
    void resumeAll();
    void stopCurrent();
    void retry(const std::vector<uint64_t> &ids);
    // The downloads leave the queue; what a download that did not complete had received goes too.
    void remove(const std::vector<uint64_t> &ids);
    void moveUp(const std::vector<uint64_t> &ids);
    void moveDown(const std::vector<uint64_t> &ids);
    void moveToTop(const std::vector<uint64_t> &ids);
    // In front of the download at that row of the queue (the end when past it).
    void moveTo(const std::vector<uint64_t> &ids, int64_t beforeRow);
    void clearCompleted();
    void play(uint64_t id);
    // Asks whether the queue is paused; the answer comes as pausedKnown.
    void askPaused();

signals:
    void intakeReported(const QList<Lumora::Host::IntakeOutcome> &outcomes);
    void pausedKnown(bool paused);
    // Something did not happen as asked, in a sentence for the user.
    void problem(const QString &sentence);
    // Playback was not handed to the player: it starts once enough has arrived.
    void playDeferred(const QString &title);

private:
    void reportProblem(const Host::MainThread::Liveness &alive, const QString &sentence);

    Host::MainThread::Liveness m_alive = Host::MainThread::makeLiveness();
    Submit m_submit;
};


} // namespace Lumora::Window
