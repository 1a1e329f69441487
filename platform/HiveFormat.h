#pragma once
// The text form of a hive: the registry's own export format, so that a hive file can be read,
// edited and merged with the usual tools.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\SOFTWARE\Vexo\Settings]
//   "Name"="text"                       REG_SZ; \\ and \" are the only escapes
//   @="default value"                   the key's unnamed value
//   "Flag"=dword:00000001               REG_DWORD of 4 bytes
//   "Big"=hex(b):ff,ff,ff,ff,ff,ff,ff,ff  REG_QWORD (any type: hex(<type in hex>):)
//   "Blob"=hex:01,02,\                  REG_BINARY; a trailing backslash continues the bytes
//     03,04                             on the next line
//
// We write what the registry editor's own export writes: UTF-16LE after the mark FF FE, CRLF line
// ends. A file without that mark is read as UTF-8 (with or without its mark, CRLF or LF): the form
// hives had before, which their next save turns into the new one. The editor reads a file without
// the mark as ANSI, which garbles every name and value outside ASCII; so UTF-8 is only ever read.
// Lines starting with ';' are comments; "[-path]" and "name"=- delete, as in an import file. A
// REG_SZ whose bytes cannot be written as a quoted string (embedded line breaks or NULs, no
// terminator, an odd length) is written as hex(1) so that every value survives unchanged.

#include "platform/RegistryTree.h"

#include <string>
#include <string_view>

namespace VexoOS::Platform {

inline constexpr std::string_view kHiveHeader = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kUtf16ByteOrderMark = "\xFF\xFE";

// Reads a hive whose sections must all lie below rootName ("HKEY_CURRENT_USER" or
// "HKEY_LOCAL_MACHINE") into root, which should be empty. A file with nothing but blank lines is an
// empty hive. On failure, error says what is wrong and where ("line 12: ...") and root holds
// whatever was read before.
bool parseHive(std::string_view text, std::u16string_view rootName, RegKey &root, std::string &error);

// The file bytes of root's tree. Every name and value the tree can hold has a written form, so this
// does not fail; the result stays for callers that check it.
bool serializeHive(const RegKey &root, std::u16string_view rootName, std::string &out);

} // namespace VexoOS::Platform
