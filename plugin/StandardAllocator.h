#pragma once
// The allocator that framework strings carry with them. A string made in one module and destroyed in
// another gives its memory back through the allocator of the module that made it, so each module has
// its own singleton per character type.

#include <cstddef>
#include <cstdlib>

namespace VSE {

template <class Char>
class StandardAllocator {
public:
    virtual ~StandardAllocator() = default;
    virtual void *allocate(std::size_t size) { return std::malloc(size); }
    virtual void deallocate(void *block) { std::free(block); }

    // This module's singleton, created on first use and destroyed at module unload.
    static StandardAllocator &instance();
};

// Defined in StandardAllocator.cpp for char and unsigned char, so each module that links the frame
// gets exactly one of each.
extern template class StandardAllocator<char>;
extern template class StandardAllocator<unsigned char>;

} // namespace VSE
