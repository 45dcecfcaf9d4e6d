#!/usr/bin/env bash
# Builds, installs and packages the library as a user or a Debian build would, and checks the
# result from the outside:
#   - a build with Debian's build flags (dpkg-buildflags, all hardening) and the prefix /usr, in
#     build-package/, of the library and the tool alone (the Python module belongs in a package
#     of its own, python3-rizorod, which depends on python3: docs/PYTHON.md);
#   - `cmake --install` into a temporary prefix; only the public headers are installed under
#     include/; examples/consumer is built against it once with find_package and once with
#     pkg-config, and both programs run;
#   - `cpack -G DEB`: dpkg-deb --info and --contents checked (dependencies found, the files that
#     matter there, the same files as the install), the package extracted with dpkg-deb -x and its
#     tool run on the example capture;
#   - lintian on the package, when lintian is installed (scripts/install-deps.sh lintian).
# Usage: scripts/check-package.sh            (from anywhere; needs scripts/install-deps.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
build="build-package"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

echo "== build (Debian's build flags, prefix /usr)"
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
      -DCMAKE_C_FLAGS="$(flags CFLAGS) $(flags CPPFLAGS)" -DCMAKE_CXX_FLAGS="$(flags CXXFLAGS) $(flags CPPFLAGS)" \
      -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" -DCMAKE_SHARED_LINKER_FLAGS="$(flags LDFLAGS)" \
      -DRIZ_BUILD_TESTS=OFF -DRIZ_BUILD_EXAMPLES=OFF -DRIZ_BUILD_BENCHMARKS=OFF -DRIZ_BUILD_PYTHON=OFF >/dev/null
cmake --build "$build" -j2

echo "== install into a temporary prefix, build the consumer both ways"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name 'libRizOrodOzido.so.0')")
# include/RizOrodOzido holds the tree's include/RizOrodOzido, nothing else.
diff -r "$prefix/include" include >/dev/null || fail "the installed headers are not include/ as it is"
cmake -S examples/consumer -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
# shellcheck disable=SC2046  # pkg-config's flags are words
g++ -std=c++20 -Wall -Werror examples/consumer/consumer.cpp -o "$work/consumer-pc" \
    $(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs rizorodozido)
for program in "$work/consumer/consumer" "$work/consumer-pc"; do
  LD_LIBRARY_PATH=$libdir "$program" | grep -x DM_ACL_CONNECT_CFM_T >/dev/null || fail "$program failed"
done

echo "== Debian package"
rm -f "$build"/rizorodozido_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/rizorodozido_*.deb)
dpkg-deb --info "$deb"
depends=$(dpkg-deb --field "$deb" Depends)
for dep in libc6 libstdc++6 libgcc-s1; do
  [[ $depends == *"$dep ("* ]] || fail "Depends lacks $dep: $depends"
done
dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./|/|; s|/$||' | sort >"$work/deb.files"
arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for file in /usr/bin/rizorod /usr/lib/"$arch"/libRizOrodOzido.so.0 /usr/lib/"$arch"/libRizOrodOzido.so \
            /usr/lib/"$arch"/cmake/RizOrodOzido/RizOrodOzidoConfigVersion.cmake \
            /usr/lib/"$arch"/pkgconfig/rizorodozido.pc /usr/include/RizOrodOzido/rizorod.h \
            /usr/include/RizOrodOzido/RizOrodOzido.h /usr/include/RizOrodOzido/rows/dm/prims.def \
            /usr/share/man/man1/rizorod.1.gz /usr/share/doc/rizorodozido/README.md; do
  grep -qxF "$file" "$work/deb.files" || fail "$deb lacks $file"
done
# Everything the install has, the package has, besides Debian's own files.
(cd "$prefix" && find . -mindepth 1 | sed 's|^\.|/usr|' | sort) >"$work/install.files"
missing=$(comm -23 "$work/install.files" "$work/deb.files")
[[ -z $missing ]] || fail "installed but not in the package: $missing"
extra=$(comm -13 "$work/install.files" "$work/deb.files" | grep -vE '^/usr$|/changelog.gz$|/lintian(/|$)') || true
[[ -z $extra ]] || fail "in the package but not installed: $extra"

echo "== the package, extracted, decodes the example capture"
dpkg-deb -x "$deb" "$work/root"
grep -qx 'prefix=/usr' "$work/root/usr/lib/$arch/pkgconfig/rizorodozido.pc" || fail "rizorodozido.pc: prefix is not /usr"
LD_LIBRARY_PATH=$work/root/usr/lib/$arch "$work/root/usr/bin/rizorod" decode examples/session.cap |
  cmp - tests/data/session.expected || fail "the packaged rizorod decodes examples/session.cap wrongly"

if command -v lintian >/dev/null; then
  echo "== lintian"
  lintian --fail-on error,warning --display-info "$deb"
fi
echo "check-package: $deb is good"
