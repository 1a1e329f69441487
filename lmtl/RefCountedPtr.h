#pragma once
// Intrusive smart pointers over objects with retain()/release().
//
//   RefCountedPtr_STLSafe<T>  holds one reference; copying retains, destruction and reassignment release.
//   RefCountedPtr<T>          the same, and can be filled through an out-parameter: receive() hands
//                             the callee a T** slot whose reference the pointer then owns.
//   RefCountedQIPtr<T>        made from another pointer by a dynamic downcast; empty when the class
//                             does not match.

#include "lmtl/IRefCounted.h"

#include <cstddef>
#include <utility>

namespace lmtl {

template <class T>
class RefCountedPtr_STLSafe {
public:
    RefCountedPtr_STLSafe() = default;
    RefCountedPtr_STLSafe(std::nullptr_t) {}
    // Takes a reference of its own; the caller keeps its reference.
    explicit RefCountedPtr_STLSafe(T *object) : m_object(object)
    {
        if (m_object)
            m_object->retain();
    }
    RefCountedPtr_STLSafe(const RefCountedPtr_STLSafe &other) : RefCountedPtr_STLSafe(other.m_object) {}
    RefCountedPtr_STLSafe(RefCountedPtr_STLSafe &&other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    ~RefCountedPtr_STLSafe() { reset(); }

    RefCountedPtr_STLSafe &operator=(const RefCountedPtr_STLSafe &other)
    {
        reset(other.m_object);
        return *this;
    }
    RefCountedPtr_STLSafe &operator=(RefCountedPtr_STLSafe &&other) noexcept
    {
        if (this != &other) {
            T *old = std::exchange(m_object, std::exchange(other.m_object, nullptr));
            if (old)
                old->release();
        }
        return *this;
    }
    RefCountedPtr_STLSafe &operator=(std::nullptr_t)
    {
        reset();
        return *this;
    }

    // Holds object (retaining it) after dropping what was held before. Retains first, so that
    // resetting to the object already held never frees it.
    void reset(T *object = nullptr)
    {
        if (object)
            object->retain();
        T *old = std::exchange(m_object, object);
        if (old)
            old->release();
    }

    // Takes over a reference the caller owns, without retaining.
    void attach(T *object)
    {
        T *old = std::exchange(m_object, object);
        if (old)
            old->release();
    }

    // Gives the held reference to the caller.
    [[nodiscard]] T *detach() { return std::exchange(m_object, nullptr); }

    T *get() const { return m_object; }
    T *operator->() const { return m_object; }
    T &operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }

    friend bool operator==(const RefCountedPtr_STLSafe &a, const RefCountedPtr_STLSafe &b) { return a.m_object == b.m_object; }
    friend bool operator==(const RefCountedPtr_STLSafe &a, std::nullptr_t) { return a.m_object == nullptr; }

protected:
    T *m_object = nullptr;
};

template <class T>
class RefCountedPtr : public RefCountedPtr_STLSafe<T> {
public:
    using RefCountedPtr_STLSafe<T>::RefCountedPtr_STLSafe;
    using RefCountedPtr_STLSafe<T>::operator=;

    // The slot for an out-parameter: drops what is held, then lets the callee store an object with
    // one reference that this pointer owns from then on.
    T **receive()
    {
        this->reset();
        return &this->m_object;
    }
};

template <class T>
class RefCountedQIPtr : public RefCountedPtr<T> {
public:
    RefCountedQIPtr() = default;
    template <class U>
    explicit RefCountedQIPtr(U *object) : RefCountedPtr<T>(dynamic_cast<T *>(object)) {}
    template <class U>
    explicit RefCountedQIPtr(const RefCountedPtr_STLSafe<U> &other) : RefCountedQIPtr(other.get()) {}
};

// Wraps a freshly created object (count 1) without adding a reference.
template <class T>
RefCountedPtr<T> adopt(T *object)
{
    RefCountedPtr<T> ptr;
    ptr.attach(object);
    return ptr;
}

} // namespace lmtl
