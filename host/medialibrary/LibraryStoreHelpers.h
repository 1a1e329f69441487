#pragma once
// Small helpers shared by the store's source files.

#include "lmtl/RefCountedPtr.h"

#include <cstdint>

namespace Lumora::LibraryStoreHelpers {

// SQLite keeps 64-bit signed integers; ids and sizes are stored bit for bit.
inline int64_t asStored(uint64_t value)
{
    return static_cast<int64_t>(value);
}

// Gives the caller one reference to object through out; false when there is none.
template <class Interface, class Object>
bool handOut(const lmtl::RefCountedPtr<Object> &object, Interface **out)
{
    if (!object || !out)
        return false;
    object->retain();
    *out = object.get();
    return true;
}

} // namespace Lumora::LibraryStoreHelpers
