#pragma once
// A deterministic sequence of library writes, each exactly one transaction, shared by the writer
// process that a test kills and by the test that checks what survived. Operation k depends only on
// the seed, k and the state after operations 1..k-1, so both sides can replay it.

#include "host/medialibrary/MediaLibrary.h"

#include <QString>

#include <cstdint>
#include <map>
#include <vector>

namespace LumoraTest {

struct ScriptItem {
    int32_t status = 1;
    int64_t counter = 0;
    int32_t progress = 0;
    QString title;
    bool operator==(const ScriptItem &) const = default;
};

// Items by creation ordinal; the playlist as ordinals, head first.
struct ScriptState {
    std::map<int, ScriptItem> items;
    std::vector<int> order;
    int created = 0;  // the last ordinal made; not part of what the library holds
    bool operator==(const ScriptState &other) const { return items == other.items && order == other.order; }
};

struct ScriptOp {
    enum Kind { Create, Insert, Update, Move, Remove } kind = Create;
    int ordinal = 0;
    int64_t position = 0;
    ScriptItem values;
};

QString scriptUrl(int ordinal);
ScriptOp scriptOp(const ScriptState &state, uint64_t seed, int64_t k);
void applyToState(ScriptState &state, const ScriptOp &op);
// The state after operations 1..count.
ScriptState replayScript(uint64_t seed, int64_t count);

// Runs one operation against the library; ids maps ordinals to item ids and is kept up to date.
bool applyToLibrary(Lumora::MediaLibrary &library, std::map<int, uint64_t> &ids, const ScriptOp &op);
// What the library holds, in script terms; ids is filled from the items' addresses.
ScriptState readState(Lumora::MediaLibrary &library, std::map<int, uint64_t> *ids = nullptr);

} // namespace LumoraTest
