#pragma once
// Records every message sent on the hub while it lives.

#include "host/lmrlibrary/PubSubHub.h"

#include <QString>
#include <QVariant>

#include <mutex>
#include <vector>

namespace LumoraTest {

class PubSubRecorder {
public:
    struct Message {
        QString topic;
        QVariant payload;
    };

    PubSubRecorder()
    {
        m_id = Lumora::PubSubHub::subscribe(QString(), [this](const QString &topic, const QVariant &payload) {
            std::lock_guard lock(m_mutex);
            m_messages.push_back({topic, payload});
        });
    }
    ~PubSubRecorder() { Lumora::PubSubHub::unsubscribe(m_id); }

    std::vector<Message> messages() const
    {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    std::vector<QString> topics() const
    {
        std::vector<QString> t;
        for (const auto &m : messages())
            t.push_back(m.topic);
        return t;
    }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_messages.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Message> m_messages;
    Lumora::PubSubHub::SubscriptionId m_id = 0;
};

} // namespace LumoraTest
