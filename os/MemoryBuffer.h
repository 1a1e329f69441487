#pragma once
// lmtl::MemoryBuffer<T>: an owned array with its element count, the buffer the registry layer
// reads names and binary values into.
//
// Allocation failure is not an error here: the buffer stays empty (null data, count 0) and the
// caller sees that. The count is 32-bit and so is the byte size: a resize whose byte size would
// not fit in 32 bits leaves the buffer empty too.

#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace lmtl {

template <class T>
class MemoryBuffer {
    static_assert(std::is_trivially_copyable_v<T>, "MemoryBuffer holds plain data only");

public:
    MemoryBuffer() = default;
    explicit MemoryBuffer(uint32_t count, bool zeroFill = false) { resize(count, zeroFill); }
    virtual ~MemoryBuffer() { resize(0); }

    MemoryBuffer(const MemoryBuffer &) = delete;
    MemoryBuffer &operator=(const MemoryBuffer &) = delete;
    MemoryBuffer(MemoryBuffer &&other) noexcept
        : m_data(std::exchange(other.m_data, nullptr)), m_count(std::exchange(other.m_count, 0u)) {}
    MemoryBuffer &operator=(MemoryBuffer &&other) noexcept
    {
        if (this != &other) {
            resize(0);
            m_data = std::exchange(other.m_data, nullptr);
            m_count = std::exchange(other.m_count, 0u);
        }
        return *this;
    }

    // A different count gives fresh storage (old contents are not kept); the same count keeps the
    // storage. zeroFill clears every element afterwards, also when the count did not change.
    void resize(uint32_t count, bool zeroFill = false)
    {
        if (count != m_count) {
            delete[] m_data;
            m_data = nullptr;
            m_count = 0;
            if (count != 0 && uint64_t(count) * sizeof(T) <= UINT32_MAX) {
                m_data = new (std::nothrow) T[count];
                if (m_data)
                    m_count = count;
            }
        }
        if (zeroFill && m_data)
            std::memset(static_cast<void *>(m_data), 0, size_t(m_count) * sizeof(T));
    }

    T *data() { return m_data; }
    const T *data() const { return m_data; }
    uint32_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    T &operator[](uint32_t index) { return m_data[index]; }
    const T &operator[](uint32_t index) const { return m_data[index]; }

private:
    T *m_data = nullptr;
    uint32_t m_count = 0;
};

} // namespace lmtl
