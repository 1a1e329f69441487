# The Windows build: the layers that need no Qt (lmtl, platform, os, settings, the engine binding)
# over the system's own registry, mutex and loader calls, and their test suites. ctest starts each
# test program through CMAKE_CROSSCOMPILING_EMULATOR, i.e. under Wine (scripts/test windows sets up
# the Wine prefix and its server around the run).

# libgcc, libstdc++ and winpthread linked in: nothing for Wine to look for beside the programs.
add_link_options(-static)
# GetProcAddress answers one function type for all; the casts to the real ones are deliberate.
add_compile_options(-Wno-cast-function-type)
find_package(Threads REQUIRED)

# The engine's C header alone: the binding loads the engine, which itself is not built here.
add_library(lumora_vdm_headers INTERFACE)
target_include_directories(lumora_vdm_headers INTERFACE ${PROJECT_SOURCE_DIR})

foreach(dir lmtl platform os settings engine)
  add_subdirectory(${dir})
endforeach()

if(NOT LUMORA_BUILD_TESTS)
  return()
endif()

enable_testing()
# Debian ships GoogleTest as sources (googletest); built here with the cross compiler.
set(LUMORA_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build for Windows")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${LUMORA_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

# As tests/CMakeLists.txt's, without the Qt test support. The test programs share one registry (the
# Wine prefix's), so their cases run one at a time; the programs list their cases when ctest starts,
# so that building needs no Wine.
function(lumora_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${ARG_UNPARSED_ARGUMENTS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main ${ARG_LIBS})
  set(props RESOURCE_LOCK lumora-registry)
  if(ARG_LABELS)
    list(APPEND props LABELS "${ARG_LABELS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 PROPERTIES ${props})
endfunction()

foreach(dir lmtl os platform settings engine)
  add_subdirectory(tests/${dir})
endforeach()
