#include "host/lmrlibrary/PubSubHub.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace Lumora {

namespace {

struct Subscriber {
    PubSubHub::SubscriptionId id = 0;
    QString topic;
    PubSubHub::Callback callback;

    std::mutex mutex;
    std::condition_variable idle;
    int deliveries = 0;     // under mutex: calls under way
    bool removed = false;   // under mutex
};

struct Registry {
    std::mutex mutex;
    std::vector<std::shared_ptr<Subscriber>> subscribers;  // in subscription order
    PubSubHub::SubscriptionId nextId = 1;
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

// Subscribers whose callback runs on this thread right now, innermost last.
thread_local std::vector<const Subscriber *> deliveringHere;

} // namespace

bool PubSubHub::sendMessage(const QString &topic, const QVariant &payload)
{
    std::vector<std::shared_ptr<Subscriber>> targets;
    {
        Registry &r = registry();
        std::lock_guard lock(r.mutex);
        for (const auto &s : r.subscribers) {
            if (s->topic.isEmpty() || s->topic == topic)
                targets.push_back(s);
        }
    }
    // Deliver outside the registry lock so that subscribers may subscribe and unsubscribe.
    for (const auto &s : targets) {
        {
            std::lock_guard lock(s->mutex);
            if (s->removed)
                continue;
            ++s->deliveries;
        }
        deliveringHere.push_back(s.get());
        s->callback(topic, payload);
        deliveringHere.pop_back();
        {
            std::lock_guard lock(s->mutex);
            --s->deliveries;
        }
        s->idle.notify_all();
    }
    return true;
}

PubSubHub::SubscriptionId PubSubHub::subscribe(const QString &topic, Callback callback)
{
    auto s = std::make_shared<Subscriber>();
    s->topic = topic;
    s->callback = std::move(callback);
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    s->id = r.nextId++;
    r.subscribers.push_back(s);
    return s->id;
}

bool PubSubHub::unsubscribe(SubscriptionId id)
{
    std::shared_ptr<Subscriber> s;
    {
        Registry &r = registry();
        std::lock_guard lock(r.mutex);
        auto it = std::find_if(r.subscribers.begin(), r.subscribers.end(), [id](const auto &e) { return e->id == id; });
        if (it == r.subscribers.end())
            return false;
        s = *it;
        r.subscribers.erase(it);
    }
    // Deliveries from this very thread (the subscriber unsubscribing itself) cannot be waited for.
    const int ownDeliveries = static_cast<int>(std::count(deliveringHere.begin(), deliveringHere.end(), s.get()));
    std::unique_lock lock(s->mutex);
    s->removed = true;
    s->idle.wait(lock, [&] { return s->deliveries <= ownDeliveries; });
    return true;
}

} // namespace Lumora
