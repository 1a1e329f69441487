// Hive files are written by people and other programs. Whatever the bytes, the parser must answer
// without crashing, and a hive it accepts must survive our own writer: writing it and reading it
// back gives the same tree.

#include "platform/HiveFormat.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace VexoOS::Platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    for (std::u16string_view rootName : {std::u16string_view(u"HKEY_CURRENT_USER"), std::u16string_view(u"HKEY_LOCAL_MACHINE")}) {
        RegKey tree;
        std::string error;
        if (!parseHive(bytes, rootName, tree, error)) {
            if (error.empty())
                std::abort(); // a refusal must say why
            continue;
        }
        std::string text;
        if (!serializeHive(tree, rootName, text))
            std::abort();
        RegKey again;
        if (!parseHive(text, rootName, again, error))
            std::abort();
        if (!(again == tree))
            std::abort();
        std::string textAgain;
        if (!serializeHive(again, rootName, textAgain) || textAgain != text)
            std::abort();
    }
    return 0;
}
