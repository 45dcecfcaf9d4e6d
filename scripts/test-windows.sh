#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Cross-builds the test suite as Windows programs and runs it under Wine, installing the cross
# compilers and Wine when they are missing:
#   scripts/test-windows.sh [mingw]   the 32-bit DLL, the product: needs a kernel that runs 32-bit
#                                     code, and installs Debian's 32-bit Wine (i386 architecture)
#   scripts/test-windows.sh mingw64   the 64-bit DLL, under Debian's 64-bit Wine
# Where Wine cannot run the programs, the build still completes and ctest reports one skipped test
# that says why.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-mingw}
case "$preset" in
  mingw)
    scripts/install-deps.sh cross
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    printf 'int main(void) { return 0; }\n' > "$scratch/probe.c"
    if gcc -m32 -o "$scratch/probe" "$scratch/probe.c" && "$scratch/probe" 2>/dev/null; then
      scripts/install-deps.sh wine32
    else
      echo "this kernel cannot run 32-bit programs, so no Wine can run the 32-bit Windows tests here"
    fi ;;
  mingw64) scripts/install-deps.sh cross wine ;;
  *) echo "usage: $0 [mingw|mingw64]" >&2; exit 2 ;;
esac
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
