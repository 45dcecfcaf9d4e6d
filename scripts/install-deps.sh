#!/usr/bin/env bash
# Installs what the build needs on a fresh Debian machine (run as root). Packages already present
# are left alone, so this is quick on a machine that has them.
#   scripts/install-deps.sh          the native build, tests and benchmarks
#   scripts/install-deps.sh cross    also the 32-bit Linux and Windows cross builds
#   scripts/install-deps.sh fuzz     also clang and libFuzzer for the fuzz preset
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev googletest
          tshark python3)
for extra in "$@"; do
  case "$extra" in
    # qemu-user runs the i386 tests on kernels built without 32-bit support.
    cross) packages+=(g++-multilib g++-mingw-w64-i686 qemu-user binutils-mingw-w64-i686) ;;
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    *) echo "unknown extra: $extra (cross, fuzz)" >&2; exit 2 ;;
  esac
done
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
