#include "host/lmrlibrary/PubSubHub.h"
#include "plugin/Topics.h"
#include "host/lmrlibrary/UIThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

using Lumora::PubSubHub;

TEST(PubSubHub, deliversToSubscribersInSubscriptionOrder)
{
    std::vector<int> order;
    auto a = PubSubHub::subscribe("T", [&](const QString &, const QVariant &) { order.push_back(1); });
    auto all = PubSubHub::subscribe(QString(), [&](const QString &, const QVariant &) { order.push_back(2); });
    auto b = PubSubHub::subscribe("T", [&](const QString &, const QVariant &) { order.push_back(3); });
    auto other = PubSubHub::subscribe("U", [&](const QString &, const QVariant &) { order.push_back(4); });
    EXPECT_TRUE(PubSubHub::sendMessage("T", QVariant::fromValue<quint64>(7)));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    for (auto id : {a, all, b, other})
        EXPECT_TRUE(PubSubHub::unsubscribe(id));
    EXPECT_FALSE(PubSubHub::unsubscribe(a));
}

TEST(PubSubHub, payloadTypesArriveIntact)
{
    QVariant seen;
    auto id = PubSubHub::subscribe(QLatin1String(Lumora::HubTopics::MediaItemChanged), [&](const QString &, const QVariant &p) { seen = p; });
    PubSubHub::sendMessage(QLatin1String(Lumora::HubTopics::MediaItemChanged), QVariant::fromValue<quint64>(0xFFFFFFFFFFull));
    EXPECT_EQ(seen.typeId(), QMetaType::ULongLong);
    EXPECT_EQ(seen.toULongLong(), 0xFFFFFFFFFFull);
    PubSubHub::unsubscribe(id);
}

TEST(PubSubHub, eachSenderThreadSeesItsOwnMessagesInOrder)
{
    std::mutex mutex;
    std::map<int, std::vector<int>> perSender;
    auto id = PubSubHub::subscribe("Seq", [&](const QString &, const QVariant &p) {
        const auto v = p.toList();
        std::lock_guard lock(mutex);
        perSender[v[0].toInt()].push_back(v[1].toInt());
    });
    std::vector<std::thread> senders;
    for (int s = 0; s < 4; ++s) {
        senders.emplace_back([s] {
            for (int i = 0; i < 2000; ++i)
                PubSubHub::sendMessage("Seq", QVariantList{s, i});
        });
    }
    for (auto &t : senders)
        t.join();
    PubSubHub::unsubscribe(id);
    ASSERT_EQ(perSender.size(), 4u);
    for (auto &[sender, values] : perSender) {
        ASSERT_EQ(values.size(), 2000u) << sender;
        for (int i = 0; i < 2000; ++i)
            ASSERT_EQ(values[i], i);
    }
}

TEST(PubSubHub, unsubscribeWaitsForADeliveryUnderWayOnAnotherThread)
{
    std::atomic<bool> inside{false}, release{false}, finished{false};
    auto id = PubSubHub::subscribe("Slow", [&](const QString &, const QVariant &) {
        inside = true;
        while (!release)
            std::this_thread::yield();
        finished = true;
    });
    std::thread sender([] { PubSubHub::sendMessage("Slow", {}); });
    while (!inside)
        std::this_thread::yield();
    std::thread unsubscriber([&] {
        PubSubHub::unsubscribe(id);
        EXPECT_TRUE(finished.load());  // the callback's state may be destroyed now
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    release = true;
    unsubscriber.join();
    sender.join();
}

TEST(PubSubHub, subscriberMayUnsubscribeAndSubscribeFromItsOwnCallback)
{
    int calls = 0;
    PubSubHub::SubscriptionId id = 0, added = 0;
    id = PubSubHub::subscribe("Once", [&](const QString &, const QVariant &) {
        ++calls;
        PubSubHub::unsubscribe(id);
        added = PubSubHub::subscribe("Other", [](const QString &, const QVariant &) {});
    });
    PubSubHub::sendMessage("Once", {});
    PubSubHub::sendMessage("Once", {});
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(PubSubHub::unsubscribe(added));
}

TEST(UIThread, messagesGoToTheInstalledSinkFromAnyThread)
{
    std::mutex mutex;
    std::vector<QString> texts;
    auto previous = Lumora::UIThread::setMessageSink([&](int icon, const QString &text, const QString &detail) {
        std::lock_guard lock(mutex);
        texts.push_back(QString::number(icon) + text + detail);
    });
    std::thread t([] { Lumora::UIThread::displayMessage(Lumora::UIThread::Warning, "a", "b", true); });
    t.join();
    Lumora::UIThread::setMessageSink(previous);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "2ab");
}
