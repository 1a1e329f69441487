#pragma once
// Work handed to the main thread from the plugins' threads and the operation thread.
//
// The work waits in a queue of our own, under our own lock, and the main thread's event loop is
// only told to look at it. That keeps everything the work carries visible to ThreadSanitizer: Qt
// is not built with it, and work carried inside Qt's own events would be synchronised out of its
// sight.

#include <functional>
#include <memory>

namespace Lumora::Host::MainThread {

// Sets the queue up; called once on the main thread, after the QCoreApplication is made and before
// any other thread posts.
void initialize();

// Runs work on the application's main thread, after what was posted before it, whichever thread
// posted that. Needs a QCoreApplication; work posted after the last event loop ended never runs.
void post(std::function<void()> work);

// A flag for work that must not outlive its owner: the owner clears it (on the main thread) when it
// goes, and postIfAlive drops the work then.
using Liveness = std::shared_ptr<bool>;
inline Liveness makeLiveness() { return std::make_shared<bool>(true); }
void postIfAlive(const Liveness &alive, std::function<void()> work);

} // namespace Lumora::Host::MainThread
