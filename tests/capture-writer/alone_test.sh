#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# The capture writer's drop-in pair alone in a folder, as a firmware build takes it: it includes
# nothing but itself and <stddef.h>, <stdint.h>, <string.h> (and <emmintrin.h> under its SSE2
# condition), compiles with a firmware compiler's flags, freestanding and hosted, without a
# warning, and defines the two functions alone, needing nothing but the C library's mem*.
# Exit 77 (skipped) when the compiler cannot make code of that width here.
# usage: alone_test.sh CC -m32|-m64 PAIR_DIR WORK_DIR
set -eu
cc=$1 width=$2 pair=$3 work=$4
rm -rf "$work" && mkdir -p "$work"
cp "$pair/rizorod_capture.c" "$pair/rizorod_capture.h" "$work/"
cd "$work"
fail() { echo "alone_test: $*" >&2; exit 1; }

printf '#include <stdint.h>\n#include <string.h>\nint probe;\n' >probe.c
if ! "$cc" "$width" -c probe.c -o probe.o 2>probe.log; then
  echo "skipped: $cc $width cannot compile C here (scripts/install-deps.sh cross installs gcc-multilib): $(head -n 1 probe.log)"
  exit 77
fi
rm -f probe.*

others=$(grep -h '^[[:space:]]*#[[:space:]]*include' rizorod_capture.c rizorod_capture.h |
         grep -v -x -E '#include (<std(def|int)\.h>|<string\.h>|<emmintrin\.h>|"rizorod_capture\.h")') || true
[ -z "$others" ] || fail "the pair includes more: $others"

for flags in "-ffreestanding -Os" "-O2"; do
  # shellcheck disable=SC2086  # the flags are words
  "$cc" "$width" -std=c99 $flags -Wall -Wextra -pedantic -Werror -c rizorod_capture.c -o writer.o ||
    fail "$width $flags: does not compile alone"
  defined=$(nm -g --defined-only writer.o | awk '$3 !~ /^__x86\./ {print $3}' | sort | tr '\n' ' ')
  [ "$defined" = "rizorod_capture rizorod_capture_to " ] || fail "$width $flags: defines $defined"
  needed=$(nm -u writer.o | awk '$2 !~ /^(mem(cpy|set|move|cmp)|_GLOBAL_OFFSET_TABLE_)$/ {print $2}')
  [ -z "$needed" ] || fail "$width $flags: needs $needed"
done
echo "alone_test: the pair compiles alone $width"
