# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (posix threads, so std::thread and
# std::mutex work). Programs are linked statically against libgcc, libstdc++ and winpthread and
# need no DLL beyond Windows' own. CTest runs them through Wine.
#
# Libraries built for Windows outside the tree (scripts/build-windows.sh puts them in one prefix)
# are found through CORVEX_WINDOWS_PREFIX, as a cache variable or from the environment; a MinGW
# program using an installed Corvex passes that prefix the same way.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(corvex_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${corvex_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${corvex_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${corvex_mingw}-windres)
# The plugin-aware archivers, so that -flto objects would still link.
find_program(CMAKE_AR ${corvex_mingw}-gcc-ar-posix)
find_program(CMAKE_RANLIB ${corvex_mingw}-gcc-ranlib-posix)

if(NOT CORVEX_WINDOWS_PREFIX AND DEFINED ENV{CORVEX_WINDOWS_PREFIX})
    set(CORVEX_WINDOWS_PREFIX "$ENV{CORVEX_WINDOWS_PREFIX}")
endif()
# try_compile projects read this file again; hand the prefix on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CORVEX_WINDOWS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${corvex_mingw})
if(CORVEX_WINDOWS_PREFIX)
    list(APPEND CMAKE_FIND_ROOT_PATH "${CORVEX_WINDOWS_PREFIX}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# zlib's static library, not its import library: no zlib1.dll to ship.
set(ZLIB_USE_STATIC_LIBS ON)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

find_program(CORVEX_WINE wine)
if(CORVEX_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CORVEX_WINE})
endif()
