#pragma once
// The framework string: interface names, filter names and paths handed to other plugins. It records
// the allocator that owns its text and always frees through it (see StandardAllocator.h).

#include "plugin/StandardAllocator.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

namespace VSE {

template <class Char>
class AllocatedString {
public:
    AllocatedString() = default;

    // A null text gives a null string of length 0 without allocating.
    AllocatedString(const Char *text)
    {
        if (text)
            assign(text, static_cast<int32_t>(std::strlen(reinterpret_cast<const char *>(text))));
    }

    AllocatedString(const Char *text, int32_t length)
    {
        if (text && length >= 0)
            assign(text, length);
    }

    AllocatedString(const AllocatedString &other)
    {
        if (other.m_data)
            assign(other.m_data, other.m_length);
    }

    AllocatedString(AllocatedString &&other) noexcept
        : m_data(std::exchange(other.m_data, nullptr)),
          m_length(std::exchange(other.m_length, 0)),
          m_allocator(other.m_allocator)
    {
    }

    AllocatedString &operator=(const AllocatedString &other)
    {
        if (this != &other) {
            AllocatedString copy(other);
            swap(copy);
        }
        return *this;
    }

    AllocatedString &operator=(AllocatedString &&other) noexcept
    {
        AllocatedString moved(std::move(other));
        swap(moved);
        return *this;
    }

    ~AllocatedString() { clear(); }

    void clear()
    {
        if (m_data) {
            m_allocator->deallocate(m_data);
            m_data = nullptr;
            m_length = 0;
        }
    }

    void swap(AllocatedString &other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_length, other.m_length);
        std::swap(m_allocator, other.m_allocator);
    }

    const Char *data() const { return m_data; }
    int32_t length() const { return m_length; }
    bool isNull() const { return m_data == nullptr; }
    bool isEmpty() const { return m_length == 0; }
    StandardAllocator<Char> *allocator() const { return m_allocator; }
    std::string_view view() const
    {
        return m_data ? std::string_view(reinterpret_cast<const char *>(m_data), static_cast<std::size_t>(m_length))
                      : std::string_view();
    }

    // Byte-for-byte, case-sensitive; a null string equals the empty string.
    friend bool operator==(const AllocatedString &a, const AllocatedString &b) { return a.view() == b.view(); }

private:
    void assign(const Char *text, int32_t length)
    {
        m_allocator = &StandardAllocator<Char>::instance();
        m_data = static_cast<Char *>(m_allocator->allocate(static_cast<std::size_t>(length) + 1));
        if (!m_data) {
            m_length = 0;
            return;
        }
        std::memcpy(m_data, text, static_cast<std::size_t>(length));
        m_data[length] = Char(0);
        m_length = length;
    }

    Char *m_data = nullptr;
    int32_t m_length = 0;
    StandardAllocator<Char> *m_allocator = &StandardAllocator<Char>::instance();
};

} // namespace VSE
