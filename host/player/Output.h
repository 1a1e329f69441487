#pragma once
// Where a command's words go: the terminal of the lumora that runs it, or the lumora that handed the
// command over (InstanceChannel.h). Every member is safe to call from any thread: messages come from
// the scheduler thread, the operation thread and the main thread.

#include <QString>

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
};

} // namespace Lumora::Host
