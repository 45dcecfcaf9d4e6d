# SPDX-License-Identifier: Apache-2.0
# Cross-builds a 64-bit Windows DLL with Debian's MinGW-w64: the one whose tests run under
# Debian's 64-bit Wine on a kernel that cannot run 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
