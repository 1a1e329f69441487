#include "tests/medialibrary/LibraryScript.h"

#include "lmtl/RefCountedPtr.h"

#include <algorithm>
#include <random>
#include <set>

namespace LumoraTest {

using Lumora::MediaManagerInterface::QueuedFileInterface;

namespace {

const QString kUrlPrefix = QStringLiteral("http://kill.test/item-");

size_t clampPosition(int64_t position, size_t size)
{
    return position < 0 || static_cast<uint64_t>(position) > size ? size : static_cast<size_t>(position);
}

} // namespace

QString scriptUrl(int ordinal)
{
    return kUrlPrefix + QString::number(ordinal) + QStringLiteral(".mp4");
}

ScriptOp scriptOp(const ScriptState &state, uint64_t seed, int64_t k)
{
    std::mt19937_64 random(seed * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(k));
    auto below = [&](uint64_t n) { return static_cast<int64_t>(random() % n); };
    ScriptOp op;
    if (state.items.empty() || below(10) < 2) {
        op.kind = ScriptOp::Create;
        op.ordinal = state.created + 1;
        return op;
    }
    const std::set<int> queuedOrdinals(state.order.begin(), state.order.end());
    std::vector<int> outside;
    for (const auto &[ordinal, item] : state.items) {
        if (!queuedOrdinals.count(ordinal))
            outside.push_back(ordinal);
    }
    const int64_t size = static_cast<int64_t>(state.order.size());
    if (!outside.empty() && below(3) == 0) {
        op.kind = ScriptOp::Insert;
        op.ordinal = outside[static_cast<size_t>(below(outside.size()))];
        op.position = below(static_cast<uint64_t>(size + 2)) - 1;
        return op;
    }
    auto it = state.items.begin();
    std::advance(it, below(state.items.size()));
    op.ordinal = it->first;
    const int64_t choice = below(10);
    const bool queued = queuedOrdinals.count(op.ordinal) > 0;
    if (choice < 6 || (choice < 8 && !queued) || (choice >= 8 && state.items.size() <= 5)) {
        op.kind = ScriptOp::Update;
        op.values.status = static_cast<int32_t>(1 + below(8));
        op.values.counter = k;
        op.values.progress = static_cast<int32_t>(below(101));
        op.values.title = QStringLiteral("title %1 ünïcödé").arg(k);
    } else if (choice < 8) {
        op.kind = ScriptOp::Move;
        op.position = below(static_cast<uint64_t>(size + 2)) - 1;
    } else {
        op.kind = ScriptOp::Remove;
    }
    return op;
}

void applyToState(ScriptState &state, const ScriptOp &op)
{
    auto &order = state.order;
    switch (op.kind) {
    case ScriptOp::Create:
        state.created = op.ordinal;
        state.items[op.ordinal] = ScriptItem{1, 0, 0, QStringLiteral("item-%1").arg(op.ordinal)};
        break;
    case ScriptOp::Insert:
    case ScriptOp::Move:
        order.erase(std::remove(order.begin(), order.end(), op.ordinal), order.end());
        order.insert(order.begin() + static_cast<ptrdiff_t>(clampPosition(op.position, order.size())), op.ordinal);
        break;
    case ScriptOp::Update:
        state.items[op.ordinal] = op.values;
        break;
    case ScriptOp::Remove:
        state.items.erase(op.ordinal);
        order.erase(std::remove(order.begin(), order.end(), op.ordinal), order.end());
        break;
    }
}

ScriptState replayScript(uint64_t seed, int64_t count)
{
    ScriptState state;
    for (int64_t k = 1; k <= count; ++k)
        applyToState(state, scriptOp(state, seed, k));
    return state;
}

bool applyToLibrary(Lumora::MediaLibrary &library, std::map<int, uint64_t> &ids, const ScriptOp &op)
{
    lmtl::RefCountedPtr<QueuedFileInterface> item;
    if (op.kind != ScriptOp::Create && !library.getItem(ids[op.ordinal], item.receive()))
        return false;
    switch (op.kind) {
    case ScriptOp::Create: {
        const QUrl url(scriptUrl(op.ordinal));
        if (!library.createQueuedItem(url, QStringLiteral("item-%1").arg(op.ordinal), url, item.receive()))
            return false;
        ids[op.ordinal] = item->id();
        return true;
    }
    case ScriptOp::Insert:
        return library.downloadPlaylist()->insertItem(op.position, item.get());
    case ScriptOp::Move:
        return library.downloadPlaylist()->moveItem(op.position, item->id());
    case ScriptOp::Update:
        item->setStatus(op.values.status);
        item->setCounter(op.values.counter);
        item->setProgress(op.values.progress);
        item->setTitle(op.values.title);
        return item->commit();
    case ScriptOp::Remove:
        if (!item->remove())
            return false;
        ids.erase(op.ordinal);
        return true;
    }
    return false;
}

ScriptState readState(Lumora::MediaLibrary &library, std::map<int, uint64_t> *ids)
{
    ScriptState state;
    std::map<uint64_t, int> ordinals;
    for (const auto &item : library.queuedItems()) {
        const QString url = item->sourceUrl().toString();
        const int ordinal = url.mid(kUrlPrefix.size()).section('.', 0, 0).toInt();
        ordinals[item->id()] = ordinal;
        if (ids)
            (*ids)[ordinal] = item->id();
        state.items[ordinal] = ScriptItem{item->status(), item->counter(), item->progress(), item->title()};
        state.created = std::max(state.created, ordinal);
    }
    for (uint64_t id : library.downloadOrder())
        state.order.push_back(ordinals.count(id) ? ordinals[id] : -1);
    return state;
}

} // namespace LumoraTest
