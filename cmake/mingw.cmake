# SPDX-License-Identifier: Apache-2.0
# The MinGW-w64 cross build for CMAKE_SYSTEM_PROCESSOR (i686 or x86_64), with Debian's -posix
# compilers (std::thread is there for the tests). The DLL and the programs link the toolchain's
# runtime DLLs (libgcc, libstdc++, winpthread), which the build copies next to them: one C++
# runtime in the process, so that exceptions and standard library objects pass between the DLL
# and the programs that use its C++ API (docs/ARCHITECTURE.md).
set(CMAKE_SYSTEM_NAME Windows)
set(RIZ_MINGW_TRIPLE ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${RIZ_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RIZ_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${RIZ_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${RIZ_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The test programs run under Wine when this machine can run them (cmake/windows-tests.cmake).
find_program(WINE_PROGRAM NAMES wine)
if(WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
endif()
