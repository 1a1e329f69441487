#pragma once
// What the window's tests share: running the event loop until something holds, and a player stand-in
// whose operation "thread" is the test's own (operations run at once, on the main thread).

#include "host/player/Player.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <functional>

namespace LumoraTest {

inline bool spinUntil(const std::function<bool()> &done, int timeoutMs = 30000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Runs what the main thread was handed (results of operations), without waiting for more.
inline void drainEvents()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

inline std::function<void(Lumora::Host::Player::Operation)> runAtOnce(const Lumora::Host::LivePlugins &plugins)
{
    return [plugins](Lumora::Host::Player::Operation operation) { operation(plugins); };
}

} // namespace LumoraTest
