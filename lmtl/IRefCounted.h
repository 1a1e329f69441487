#pragma once
// Reference counting shared by every object that crosses a plugin boundary: library items, playlists,
// settings objects. Whoever receives an object through an out-parameter owns one reference and gives
// it back with release(); the smart pointers in RefCountedPtr.h do that bookkeeping.

#include <atomic>
#include <cstdint>

namespace lmtl {

class IRefCounted {
public:
    virtual ~IRefCounted() = default;
    // Both return the count after the change. release() deletes the object when it reaches 0.
    virtual int32_t retain() = 0;
    virtual int32_t release() = 0;
    virtual int32_t getRefCount() const = 0;
};

// The usual implementation of IRefCounted (or of an interface derived from it). The count is atomic:
// the scheduler thread and host threads take and drop references to the same items concurrently,
// and a lost update would free a live object. A new object starts with one reference, its creator's.
template <class Interface = IRefCounted>
class RefCountedImpl : public Interface {
public:
    using Interface::Interface;

    int32_t retain() override { return m_refCount.fetch_add(1, std::memory_order_relaxed) + 1; }

    int32_t release() override
    {
        const int32_t count = m_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (count == 0)
            delete this;
        return count;
    }

    int32_t getRefCount() const override { return m_refCount.load(std::memory_order_relaxed); }

protected:
    ~RefCountedImpl() override = default;

private:
    std::atomic<int32_t> m_refCount{1};
};

} // namespace lmtl
