#pragma once
// Owns one loaded library handle and frees it when it ends. Move-only.
//
//   VexoOS::ScopedDLL engine;
//   if (VexoOS::loadSharedLibrary(u"libfoo.so", engine.receive()) == VexoOS::kLibraryOk) ...

#include "platform/DynamicLibrary.h"

#include <utility>

namespace VexoOS {

class ScopedDLL {
public:
    ScopedDLL() = default;
    explicit ScopedDLL(HMODULE module) : m_module(module) {}
    virtual ~ScopedDLL() { reset(); }

    ScopedDLL(const ScopedDLL &) = delete;
    ScopedDLL &operator=(const ScopedDLL &) = delete;
    ScopedDLL(ScopedDLL &&other) noexcept : m_module(std::exchange(other.m_module, nullptr)) {}
    ScopedDLL &operator=(ScopedDLL &&other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.m_module, nullptr));
        return *this;
    }

    HMODULE get() const { return m_module; }
    explicit operator bool() const { return m_module != nullptr; }

    // Frees the library held (if any) and holds module instead.
    void reset(HMODULE module = nullptr)
    {
        if (m_module)
            FreeLibrary(m_module);
        m_module = module;
    }
    // The slot for an out-parameter: frees what is held first.
    HMODULE *receive()
    {
        reset();
        return &m_module;
    }
    // Gives up ownership without freeing: the library then stays loaded.
    [[nodiscard]] HMODULE release() { return std::exchange(m_module, nullptr); }

private:
    HMODULE m_module = nullptr;
};

} // namespace VexoOS
