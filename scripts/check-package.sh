#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the project as a packager or a user without the test tools would, and checks the result
# from the outside:
#   - configured with -DBUILD_TESTING=OFF -DRIZ_BUILD_BENCHMARKS=OFF while GoogleTest and Google
#     Benchmark cannot be found: no CMake warning, neither is looked for;
#   - the Debian packages (the library, its development files, the tool, the Python module),
#     built by `dpkg-buildpackage -us -uc -b` from a copy of the tree in a temporary folder
#     (nothing is written beside the checkout) and moved to build-package/; that build (tests and
#     benchmarks off, its Build-Depends a compiler, CMake, Ninja, CLI11, help2man, python3-dev,
#     dh-python and the gzip, xz and zstd libraries) has no CMake warning and does not look for GoogleTest or Google Benchmark
#     either; each package's files, the library's shlibs (>=), the tool's and the module's
#     dependencies, no RPATH; the packages' dependencies resolved by apt against this Debian
#     system; the packages unpacked into a throwaway root, whose tool and Python module decode
#     the example capture and against which examples/consumer builds with find_package and with
#     pkg-config, and runs;
#   - lintian on the packages: no error, no warning, and no overrides.
# Usage: scripts/check-package.sh      (needs scripts/install-deps.sh and scripts/install-deps.sh package)
set -euo pipefail
cd "$(dirname "$0")/.."
out="build-package"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }
for tool in dpkg-buildpackage dh lintian; do
  command -v "$tool" >/dev/null || fail "$tool is missing: run scripts/install-deps.sh package"
done

echo "== configure without tests and benchmarks, GoogleTest and Google Benchmark hidden"
arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
hidden="/usr/lib/$arch/cmake/GTest;/usr/lib/$arch/cmake/benchmark;/usr/src/googletest;/usr/include/gtest;/usr/include/benchmark"
cmake -S . -B "$work/bare" -G Ninja -DBUILD_TESTING=OFF -DRIZ_BUILD_BENCHMARKS=OFF -DCMAKE_IGNORE_PATH="$hidden" \
      >"$work/bare.log" 2>&1 || { cat "$work/bare.log"; fail "does not configure"; }
! grep -q 'CMake Warning' "$work/bare.log" || { cat "$work/bare.log"; fail "CMake warns"; }
! grep -qiE '^(GTEST|GMOCK|benchmark)[A-Za-z_]*(:|_DIR)' "$work/bare/CMakeCache.txt" ||
  fail "GoogleTest or Google Benchmark was looked for: $(grep -iE '^(GTEST|GMOCK|benchmark)' "$work/bare/CMakeCache.txt")"

echo "== Debian packages (dpkg-buildpackage -us -uc -b in a copy of the tree)"
version=$(awk '/^#define RIZOROD_VERSION_(MAJOR|MINOR|PATCH) / {v = v (v == "" ? "" : ".") $3} END {print v}' \
          include/RizOrodOzido/rizorod.h)
[[ $(dpkg-parsechangelog -SVersion) == "$version" ]] ||
  fail "debian/changelog is at $(dpkg-parsechangelog -SVersion), the project at $version"
mkdir "$work/src"
git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' f; do [[ -e $f ]] && printf '%s\0' "$f"; done |
  tar -c --null -T - | tar -x -C "$work/src"
(cd "$work/src" && dpkg-buildpackage -us -uc -b -j2 >"$work/dpkg-buildpackage.log" 2>&1) ||
  { tail -n 40 "$work/dpkg-buildpackage.log"; fail "dpkg-buildpackage failed"; }
# That build, configured with tests and benchmarks off, built the library and the tool with
# CLI11 alone: no warning, and no look for GoogleTest or Google Benchmark.
! grep -B2 -A8 'CMake Warning' "$work/dpkg-buildpackage.log" || fail "CMake warns in the package build"
! grep -qiE '^(GTEST|GMOCK|benchmark)' "$work/src/debian/build/CMakeCache.txt" || fail "the package build looked for GoogleTest"
rm -rf "$out" && mkdir -p "$out"
shopt -s nullglob
mv "$work"/*.deb "$work"/*.ddeb "$work"/*.changes "$work"/*.buildinfo "$out/"
shopt -u nullglob
deb() { echo "$out/${1}_${version}_$(dpkg-architecture -qDEB_HOST_ARCH).deb"; }
lib=$(deb librizorodozido0) dev=$(deb librizorodozido-dev) tool=$(deb rizorod) py=$(deb python3-rizorod)
for package in "$lib" "$dev" "$tool" "$py"; do [[ -f $package ]] || fail "no $package"; done

contents() { dpkg-deb --contents "$1" | awk '{print $6}' | sed 's|^\./|/|; s|/$||'; }
# package|file it must hold (a shell pattern)
while IFS='|' read -r package file; do
  contents "$package" | grep -x "$file" >/dev/null || fail "$package lacks $file"
done <<EOF
$lib|/usr/lib/$arch/libRizOrodOzido.so.0
$lib|/usr/lib/$arch/libRizOrodOzido.so.$version
$lib|/usr/share/doc/librizorodozido0/copyright
$dev|/usr/lib/$arch/libRizOrodOzido.so
$dev|/usr/include/RizOrodOzido/RizOrodOzido.h
$dev|/usr/include/RizOrodOzido/rizorod_capture.h
$dev|/usr/include/RizOrodOzido/rows/dm/prims.def
$dev|/usr/lib/$arch/cmake/RizOrodOzido/RizOrodOzidoConfigVersion.cmake
$dev|/usr/lib/$arch/pkgconfig/rizorodozido.pc
$dev|/usr/lib/$arch/pkgconfig/rizorodozido-c.pc
$dev|/usr/share/doc/librizorodozido-dev/examples/consumer/consumer.cpp
$tool|/usr/bin/rizorod
$tool|/usr/share/man/man1/rizorod.1.gz
$tool|/usr/share/man/man1/rizorod-writer-source.1.gz
$tool|/usr/lib/$arch/wireshark/plugins/rizorod.lua
$tool|/usr/share/rizorod/capture-writer/rizorod_capture.c
$tool|/usr/share/rizorod/capture-writer/rizorod_capture.h
$tool|/usr/share/doc/rizorod/docs/CAPTURE-FORMAT.md
$tool|/usr/share/doc/rizorod/copyright
$py|/usr/lib/python3/dist-packages/rizorod/__init__.py
$py|/usr/lib/python3/dist-packages/rizorod/__init__.pyi
$py|/usr/lib/python3/dist-packages/rizorod/dask.py
$py|/usr/lib/python3/dist-packages/rizorod/_rizorod\.cpython-.*\.so
$py|/usr/share/doc/python3-rizorod/copyright
EOF
# The library alone in the library package, no header or .c file outside the -dev package.
! contents "$lib" | grep -E '\.(h|c|so)$' || fail "$lib holds development files"
! contents "$tool" | grep -E '^/usr/include|\.so' || fail "$tool holds development files"
dpkg-deb --info "$lib" shlibs | grep -qxF "libRizOrodOzido 0 librizorodozido0 (>= $version)" ||
  fail "the library's shlibs: $(dpkg-deb --info "$lib" shlibs)"
depends=$(dpkg-deb --field "$tool" Depends)
for dep in "librizorodozido0 (>= $version)" "libc6 (" "libstdc++6 (" "libgcc-s1 (" "zlib1g (" "liblzma5 (" "libzstd1 ("; do
  [[ $depends == *"$dep"* ]] || fail "rizorod's Depends lacks $dep: $depends"
done
[[ $(dpkg-deb --field "$dev" Depends) == *"librizorodozido0 (= $version)"* ]] || fail "the -dev package's Depends"
# The module: for the interpreter it was built for, the library by its shlibs.
depends=$(dpkg-deb --field "$py" Depends)
for dep in "python3 (<< " "python3 (>= " "librizorodozido0 (>= $version)"; do
  [[ $depends == *"$dep"* ]] || fail "python3-rizorod's Depends lacks $dep: $depends"
done
apt-get install --simulate -qq "./$lib" "./$dev" "./$tool" "./$py" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "the packages' dependencies do not resolve"; }

echo "== the packages unpacked into a throwaway root"
root=$work/root
for package in "$lib" "$dev" "$tool" "$py"; do dpkg-deb -x "$package" "$root"; done
readelf -d "$root/usr/bin/rizorod" "$root/usr/lib/$arch/libRizOrodOzido.so.$version" \
  "$root"/usr/lib/python3/dist-packages/rizorod/_rizorod.*.so | grep -E 'RPATH|RUNPATH' &&
  fail "a packaged binary has an RPATH"
grep -qx 'prefix=/usr' "$root/usr/lib/$arch/pkgconfig/rizorodozido.pc" || fail "rizorodozido.pc: prefix is not /usr"
export LD_LIBRARY_PATH=$root/usr/lib/$arch
"$root/usr/bin/rizorod" decode examples/session.cap | cmp -s - tests/data/session.expected ||
  fail "the packaged rizorod decodes examples/session.cap wrongly"
cmake -S examples/consumer -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$root/usr" >/dev/null
cmake --build "$work/consumer" >/dev/null
# shellcheck disable=SC2046  # pkg-config's flags are words
g++ -Wall -Werror examples/consumer/consumer.cpp -o "$work/consumer-pc" \
    $(PKG_CONFIG_SYSROOT_DIR=$root PKG_CONFIG_LIBDIR=$root/usr/lib/$arch/pkgconfig pkg-config --cflags --libs rizorodozido)
for program in "$work/consumer/consumer" "$work/consumer-pc"; do
  "$program" | grep -qx DM_ACL_CONNECT_CFM_T || fail "$program failed"
  ldd "$program" | grep -qF "$root/usr/lib/$arch/libRizOrodOzido.so.0" || fail "$program did not use the packaged library"
done
# The packaged module, by Debian's interpreter, decodes the example as the tool does, with the
# packaged library.
(cd "$work" && PYTHONPATH=$root/usr/lib/python3/dist-packages /usr/bin/python3 -c '
import sys, rizorod
sys.stdout.write("".join(entry.text for entry in rizorod.open(sys.argv[1])))
assert any("'"$root"'/usr/lib/" in line and "libRizOrodOzido" in line for line in open("/proc/self/maps"))
' "$OLDPWD/examples/session.cap") | cmp -s - tests/data/session.expected ||
  fail "the packaged Python module decodes examples/session.cap wrongly, or not with the packaged library"
unset LD_LIBRARY_PATH

echo "== lintian"
find "$root" -path '*/lintian/overrides*' | grep . && fail "the packages hold lintian overrides"
lintian --fail-on error,warning "$out"/*.changes
echo "check-package: $(cd "$out" && echo *.deb) are good"
