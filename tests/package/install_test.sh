#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# The build installed to a prefix as a user would find it: programs built against it with
# pkg-config (C++ and C) run; then the prefix is moved elsewhere, and the tool runs from there
# with nothing set in its environment, finding the library beside itself; only the namespaced
# headers are installed, each compiles alone; a program built with find_package runs.
# usage: install_test.sh BUILD_DIR SOURCE_DIR WORK_DIR
set -eu
build=$1 src=$2 work=$3
rm -rf "$work" && mkdir -p "$work"
fail() { echo "install_test: $*" >&2; exit 1; }
clean() { env -i PATH=/usr/bin:/bin "$@"; }

cmake --install "$build" --prefix "$work/first" >/dev/null
p=$work/first
lib=$(cd "$p" && dirname "$(find . -name libRizOrodOzido.so.0)" | sed 's|^\./||')

# pkg-config files name the prefix they were installed to: their programs are built there.
export PKG_CONFIG_PATH="$p/$lib/pkgconfig"
# shellcheck disable=SC2046  # pkg-config's flags are words
c++ -Wall -Werror "$src/examples/consumer/consumer.cpp" -o "$work/consumer-pc" \
    $(pkg-config --cflags --libs rizorodozido) -Wl,-rpath,"$(pkg-config --variable=libdir rizorodozido)"
printf '#include <stdio.h>\n#include <RizOrodOzido/rizorod.h>\nint main(void) { return puts(rizorod_version()) < 0; }\n' >"$work/c.c"
# shellcheck disable=SC2046
cc -std=c99 -pedantic -Wall -Werror "$work/c.c" -o "$work/consumer-c" \
    $(pkg-config --cflags --libs rizorodozido-c) -Wl,-rpath,"$(pkg-config --variable=libdir rizorodozido-c)"
clean "$work/consumer-pc" | grep -qx DM_ACL_CONNECT_CFM_T || fail "the pkg-config consumer failed"
[ "$(clean "$work/consumer-c")" = "$(clean "$p/bin/rizorod" --version | sed -n '1s/^rizorod //p')" ] ||
  fail "the C consumer prints another version"

mv "$work/first" "$work/prefix"  # an install that runs only where it was made fails below
p=$work/prefix
clean "$p/bin/rizorod" --version | head -n 1 | grep -qx 'rizorod [0-9.]*' || fail "the installed rizorod does not start"
clean ldd "$p/bin/rizorod" | grep -qF "libRizOrodOzido.so.0 => $p/" || fail "rizorod finds another library: $(ldd "$p/bin/rizorod")"
clean "$p/bin/rizorod" decode "$src/examples/session.cap" | cmp -s - "$src/tests/data/session.expected" ||
  fail "the installed rizorod decodes examples/session.cap wrongly"

[ "$(ls "$p/include")" = RizOrodOzido ] || fail "include/ holds more than RizOrodOzido/: $(ls "$p/include")"
for header in "$p"/include/RizOrodOzido/*.h; do
  name=${header##*/}
  echo "#include <RizOrodOzido/$name>" | c++ -std=c++20 -Wall -Wextra -Werror -fsyntax-only -I"$p/include" -x c++ - ||
    fail "<RizOrodOzido/$name> does not compile alone"
done
for name in rizorod.h rizorod_capture.h; do
  echo "#include <RizOrodOzido/$name>" | cc -std=c99 -pedantic -Wall -Werror -fsyntax-only -I"$p/include" -x c - ||
    fail "<RizOrodOzido/$name> is not C99"
done

cmake -S "$src/examples/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$p" >/dev/null
cmake --build "$work/consumer" >/dev/null
clean "$work/consumer/consumer" | grep -qx DM_ACL_CONNECT_CFM_T || fail "the find_package consumer failed"
echo "install_test: $p runs"
