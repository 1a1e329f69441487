# Cross-compiling for 64-bit Windows with mingw-w64's posix-threads compilers (std::thread and
# std::mutex need them). The programs run here under Wine: ctest starts each one through it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(LUMORA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${LUMORA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LUMORA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${LUMORA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${LUMORA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(LUMORA_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${LUMORA_WINE})
