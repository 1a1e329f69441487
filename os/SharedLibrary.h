#pragma once
// The shared-library layer: load a library and find a symbol by wide (UTF-16) names, with integer
// status codes, plus the 8-bit/wide name copies it makes.
//
// Names are looked up in their 8-bit form, made by narrowCopy, which keeps the low byte of each
// unit: it is meant for 7-bit names and paths (a path with other characters loads the wrong file
// or none). Nothing here raises an error; out-parameters are written only on success.
// Safe from any thread.

#include "platform/DynamicLibrary.h"

namespace VexoOS {

constexpr int kLibraryOk = 0;
constexpr int kLibrarySystemError = -1;    // the library or symbol was not found; or freeNarrowCopy(null)
constexpr int kLibraryNullArgument = -2;
constexpr int kLibraryNoNarrowCopy = -10;  // the 8-bit copy of the name could not be made

// Strings longer than this (without a terminator in their first kMaxCopyLength units) are taken
// as empty by the copies.
constexpr size_t kMaxCopyLength = 512000;

// Loads path; *module receives the handle (free it with FreeLibrary, or hold it in a ScopedDLL).
int loadSharedLibrary(const char16_t *path, HMODULE *module);

// *function receives the address of symbol in module; cast it to the real type.
int findLibrarySymbol(HMODULE module, const char16_t *symbol, FARPROC *function);

// A new 8-bit string (malloc'ed; give it back with freeNarrowCopy) holding the low byte of each
// unit of text, or null when text is null or memory is short.
char *narrowCopy(const char16_t *text);
// -1 for null, else 0.
int freeNarrowCopy(char *text);

// Copies the 7-bit bytes of text into destination, dropping bytes 0x80 and above (so the result
// may be shorter), and terminates it. destination must hold strlen(text) + 1 units.
// 0, or -2 when either pointer is null.
int widenCopy(char16_t *destination, const char *text);

} // namespace VexoOS
