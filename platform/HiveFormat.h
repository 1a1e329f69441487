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
// We write UTF-8 without a byte-order mark and LF line ends, and read UTF-8 (with or without the
// mark) as well as UTF-16LE with its mark, which is what the registry editor itself exports. Lines
// starting with ';' are comments; "[-path]" and "name"=- delete, as in an import file. A REG_SZ
// whose bytes cannot be written as a quoted string (embedded line breaks or NULs, no terminator,
// an odd length, unpaired surrogates) is written as hex(1) so that every value survives unchanged.

#include "platform/RegistryTree.h"

#include <string>
#include <string_view>

namespace VexoOS::Platform {

inline constexpr std::string_view kHiveHeader = "Windows Registry Editor Version 5.00";

// Reads a hive whose sections must all lie below rootName ("HKEY_CURRENT_USER" or
// "HKEY_LOCAL_MACHINE") into root, which should be empty. A file with nothing but blank lines is an
// empty hive. On failure, error says what is wrong and where ("line 12: ...") and root holds
// whatever was read before.
bool parseHive(std::string_view text, std::u16string_view rootName, RegKey &root, std::string &error);

// The text of root's tree. False only when a name cannot be encoded, which the checks on every
// created name rule out.
bool serializeHive(const RegKey &root, std::u16string_view rootName, std::string &out);

} // namespace VexoOS::Platform
