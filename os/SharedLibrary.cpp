#include "os/SharedLibrary.h"

#include <cstdlib>
#include <cstring>

namespace VexoOS {

namespace {

template <class Char>
size_t cappedLength(const Char *text)
{
    for (size_t i = 0; i < kMaxCopyLength; ++i)
        if (text[i] == 0)
            return i;
    return 0;
}

} // namespace

int loadSharedLibrary(const char16_t *path, HMODULE *module)
{
    if (!path || !module)
        return kLibraryNullArgument;
    char *narrow = narrowCopy(path);
    if (!narrow)
        return kLibraryNoNarrowCopy;
    HMODULE loaded = LoadLibraryA(narrow);
    freeNarrowCopy(narrow);
    if (!loaded)
        return kLibrarySystemError;
    *module = loaded;
    return kLibraryOk;
}

int findLibrarySymbol(HMODULE module, const char16_t *symbol, FARPROC *function)
{
    if (!module || !symbol || !function)
        return kLibraryNullArgument;
    char *narrow = narrowCopy(symbol);
    if (!narrow)
        return kLibraryNoNarrowCopy;
    FARPROC found = GetProcAddress(module, narrow);
    freeNarrowCopy(narrow);
    if (!found)
        return kLibrarySystemError;
    *function = found;
    return kLibraryOk;
}

char *narrowCopy(const char16_t *text)
{
    if (!text)
        return nullptr;
    const size_t length = cappedLength(text);
    auto *copy = static_cast<char *>(std::calloc(length + 1, 1));
    if (!copy)
        return nullptr;
    for (size_t i = 0; i < length; ++i)
        copy[i] = static_cast<char>(text[i] & 0xFF);
    return copy;
}

int freeNarrowCopy(char *text)
{
    if (!text)
        return -1;
    std::free(text);
    return 0;
}

int widenCopy(char16_t *destination, const char *text)
{
    if (!destination || !text)
        return kLibraryNullArgument;
    const size_t length = cappedLength(text);
    size_t out = 0;
    for (size_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80)
            destination[out++] = byte;
    }
    destination[out] = 0;
    return 0;
}

} // namespace VexoOS
