#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs what the build needs on a fresh Debian machine (run as root). Packages already present
# are left alone, so this is quick on a machine that has them.
#   scripts/install-deps.sh          the native build, tests, benchmarks, the Python module (its
#                                    development files, and pandas, Dask, dask.distributed and
#                                    pytest for its tests) and the Python example, the man pages
#                                    (help2man), the GNU parallel test, and what
#                                    scripts/check-package.sh needs (pkg-config, dpkg-dev, file)
#   scripts/install-deps.sh cross    also the 32-bit Linux and the 32-/64-bit Windows cross builds
#   scripts/install-deps.sh wine     also Wine for 64-bit Windows programs (the mingw64 tests)
#   scripts/install-deps.sh wine32   also Wine for 32-bit Windows programs (the mingw tests); adds
#                                    Debian's i386 architecture, and needs a kernel that runs 32-bit code
#   scripts/install-deps.sh fuzz     also clang and libFuzzer for the fuzz preset
#   scripts/install-deps.sh package  also debhelper, dh-python and lintian, with which scripts/check-package.sh
#                                    builds the Debian packages and checks them (about 50 s to install)
#   scripts/install-deps.sh bench    also btmon (bluez), the yardstick of bench/tool_throughput.sh,
#                                    and valgrind for its profiles
#   scripts/install-deps.sh browser  also chromium, which the report test runs headless to check
#                                    the HTML report in a real browser (large: about 300 MB)
set -euo pipefail
# zlib1g-dev, liblzma-dev and libzstd-dev let the tool read gzip, xz and zstd captures, whose
# programs (gzip, xz-utils, zstd) make them for its tests; strace and time serve the tool's checks
# (a read error injected midway, peak memory), tshark the Wireshark tests, jq the JSON checks,
# help2man the man pages, parallel, pkg-config, dpkg-dev and file the packaging and scale-out
# checks. python3-dev builds the Python module for Debian's interpreter, whose pandas, Dask and
# pytest its tests use.
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev googletest python3
          zlib1g-dev liblzma-dev libzstd-dev gzip xz-utils zstd
          strace time tshark jq help2man parallel pkg-config dpkg-dev file
          python3-dev python3-pandas python3-dask python3-distributed python3-pytest)
for extra in "$@"; do
  case "$extra" in
    # qemu-user runs the i386 tests on kernels built without 32-bit support.
    cross) packages+=(g++-multilib qemu-user g++-mingw-w64-i686 binutils-mingw-w64-i686
                      g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64) ;;
    wine) packages+=(wine wine64) ;;
    wine32)
      if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
      fi
      packages+=(wine wine32:i386) ;;
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    package) packages+=(debhelper dh-python lintian) ;;
    bench) packages+=(bluez valgrind) ;;
    browser) packages+=(chromium) ;;
    *) echo "unknown extra: $extra (cross, wine, wine32, fuzz, package, bench, browser)" >&2; exit 2 ;;
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
