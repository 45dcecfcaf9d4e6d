#!/usr/bin/env bash
# Cross-builds the test suite as 32-bit Windows programs and runs it under Wine. Installs Wine
# (wine + wine32, with the i386 architecture added) when it is missing; that install can fail on
# a mirror that is mid-sync, or be useless on a kernel that cannot run 32-bit code.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v wine >/dev/null; then
  echo "installing wine and wine32"
  dpkg --add-architecture i386
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq wine wine32 >/dev/null
fi
scripts/install-deps.sh cross
rm -rf build-mingw   # the emulator is chosen when the build folder is configured
cmake --preset mingw
cmake --build --preset mingw
WINEDEBUG=-all ctest --preset mingw
