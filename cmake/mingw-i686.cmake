# SPDX-License-Identifier: Apache-2.0
# Cross-builds the 32-bit Windows DLL, the product, with Debian's MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
