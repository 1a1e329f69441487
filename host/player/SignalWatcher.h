#pragma once
// SIGINT, SIGTERM and SIGHUP (the terminal was closed) for the player. The first one is handed to
// the main thread's event loop (through a pipe written from the handler, the only async-signal-safe
// way in) so that the player can shut the download manager down in order: the running download ends
// Queued, its status stored, and resumes at the next run. A second one ends the process at once,
// for a user who does not want to wait.

#include <QObject>

class QSocketNotifier;

namespace Lumora::Host {

class SignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

    // Installs the handlers. One watcher per process.
    bool install();
    // A file the hard exit removes on its way out (the player's local socket); empty for none.
    static void setLeftoverFile(const QByteArray &path);

signals:
    void shutdownRequested(int signalNumber);

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace Lumora::Host
