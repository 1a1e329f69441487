#include "plugin/StandardAllocator.h"

namespace VSE {

template <class Char>
StandardAllocator<Char> &StandardAllocator<Char>::instance()
{
    static StandardAllocator<Char> allocator;
    return allocator;
}

template class StandardAllocator<char>;
template class StandardAllocator<unsigned char>;

} // namespace VSE
