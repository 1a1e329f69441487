#pragma once
// The player's publish/subscribe hub. sendMessage delivers synchronously, on the sending thread, to
// every subscriber of the topic in the order they subscribed. It may be called from any thread at
// once. A subscriber must not call back into the sender synchronously (the download manager sends
// while it holds its own locks); one that needs to act hands the message to its own thread.
//
// unsubscribe() returns only when no delivery to that subscriber is under way on another thread,
// so a subscriber's state may be destroyed right after it. A subscriber may unsubscribe itself from
// inside its own callback.

#include "host/lmrlibrary/LMRLibraryExport.h"

#include <QString>
#include <QVariant>

#include <cstdint>
#include <functional>

namespace Lumora {

class LMRLIBRARY_EXPORT PubSubHub {
public:
    using Callback = std::function<void(const QString &topic, const QVariant &payload)>;
    using SubscriptionId = uint64_t;

    // Always true: delivery has no failure the sender could act on.
    static bool sendMessage(const QString &topic, const QVariant &payload);

    // An empty topic subscribes to every topic. Returns an id for unsubscribe (never 0).
    static SubscriptionId subscribe(const QString &topic, Callback callback);
    static bool unsubscribe(SubscriptionId id);
};

} // namespace Lumora
