#pragma once
// Where a command's words go: the terminal of the lumora that runs it, or the lumora that handed the
// command over (InstanceChannel.h). Every member is safe to call from any thread: messages come from
// the scheduler thread, the operation thread and the main thread.

#include <QString>
#include <QStringList>

namespace Lumora::Host {

class Output {
public:
    virtual ~Output() = default;
    // A line for the user about what happens (standard output).
    virtual void message(const QString &line) = 0;
    // A line about something that went wrong or needs attention (standard error).
    virtual void error(const QString &line) = 0;
    // Text a script reads (lists, JSON), written as given (standard output).
    virtual void data(const QString &text) = 0;

    // The progress of running downloads. On a terminal a block of lines redrawn in place (empty
    // lines clear it); elsewhere nothing is redrawn and progressLine prints one line as it comes.
    virtual bool isTerminal() const { return false; }
    virtual int terminalWidth() const { return 80; }
    virtual void setProgress(const QStringList &lines) {}
    virtual void progressLine(const QString &line) { message(line); }
    // Leaves the progress block on screen as ordinary output (at the end of a run).
    virtual void finishProgress() {}
};

} // namespace Lumora::Host
