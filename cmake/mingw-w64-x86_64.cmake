# Cross compile for 64-bit Windows with mingw-w64 (Debian package mingw-w64).
#   cmake --preset windows        (build folder build-windows)
# The posix-threads flavour of the compilers gives std::thread and friends.
# Every program and library links the compiler's runtime (libgcc, libstdc++,
# winpthread) statically, so the outputs run on Windows, or under Wine, with
# nothing beside them but the host library libmx.dll.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SIMBLOCKS_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SIMBLOCKS_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SIMBLOCKS_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${SIMBLOCKS_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SIMBLOCKS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A DLL without export list exports all its symbols: --exclude-libs keeps the
# statically linked runtime out of that list (else libmx.dll would export the
# unwinder and clash with each program's own copy).
set(SIMBLOCKS_MINGW_DLL_FLAGS "-static -Wl,--exclude-libs,libgcc.a:libgcc_eh.a:libstdc++.a:libwinpthread.a:libpthread.a")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${SIMBLOCKS_MINGW_DLL_FLAGS}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${SIMBLOCKS_MINGW_DLL_FLAGS}")
# M_PI and friends from <cmath> in strict C++17 mode. muparser is staged as
# a static library (tools/ci-windows.sh): MUPARSER_STATIC keeps its headers
# from declaring its functions as imported from a DLL.
set(CMAKE_C_FLAGS_INIT "-D_USE_MATH_DEFINES")
set(CMAKE_CXX_FLAGS_INIT "-D_USE_MATH_DEFINES -DMUPARSER_STATIC")

# Libraries staged for this target (libcsv, muparser and SUNDIALS' CVODE
# built from source as static libraries, the header-only nlohmann/json):
# tools/ci-windows.sh puts them in build-windows/deps.
if(SIMBLOCKS_WINDOWS_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${SIMBLOCKS_WINDOWS_DEPS})
endif()

# Programs are run under Wine when tests are run from Linux.
find_program(SIMBLOCKS_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/bin NO_CMAKE_FIND_ROOT_PATH)
if(SIMBLOCKS_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SIMBLOCKS_WINE})
endif()
