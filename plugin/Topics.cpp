#include "plugin/Topics.h"

#include "host/lmrlibrary/PubSubHub.h"

namespace Lumora::HubTopics {

void sendId(const char *topic, uint64_t id)
{
    PubSubHub::sendMessage(QString::fromLatin1(topic), QVariant::fromValue<quint64>(id));
}

void sendFlag(const char *topic, bool flag)
{
    PubSubHub::sendMessage(QString::fromLatin1(topic), QVariant(flag));
}

void sendEmpty(const char *topic)
{
    PubSubHub::sendMessage(QString::fromLatin1(topic), QVariant());
}

} // namespace Lumora::HubTopics
