#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# The licence line of every source file that git tracks (C and C++ sources and headers, .def,
# .inc, .lua, .py, .sh, .cmake, CMakeLists.txt): "SPDX-License-Identifier: Apache-2.0" in the
# file's comment syntax, as its first line (after a #! line).
#   scripts/spdx.sh --check   lists the files without one; status 1 if there is any, 77 outside a
#                             git checkout (nothing to list)
#   scripts/spdx.sh --add     gives each of them its line
set -eu
cd "$(dirname "$0")/.."
id="SPDX-License-Identifier: Apache-2.0"
git rev-parse --is-inside-work-tree >/dev/null 2>&1 || { echo "spdx: not a git checkout: nothing to check"; exit 77; }

# The line for a file, in its comment syntax: C files (and headers that open with a C comment)
# /* */, C++ //, Lua --, the rest #.
line() {
  case $1 in
    *.c) echo "/* $id */" ;;
    *.h) if head -n 1 "$1" | grep -q '^/\*'; then echo "/* $id */"; else echo "// $id"; fi ;;
    *.cpp|*.def|*.inc) echo "// $id" ;;
    *.lua) echo "-- $id" ;;
    *) echo "# $id" ;;
  esac
}

missing=0
for f in $(git ls-files | grep -E '\.(c|h|cpp|def|inc|lua|py|sh|cmake)$|(^|/)CMakeLists\.txt$'); do
  [ -f "$f" ] || continue
  head -n 2 "$f" | grep -qF "$id" && continue
  case ${1:-} in
    --add)
      if head -n 1 "$f" | grep -q '^#!'; then
        { head -n 1 "$f"; line "$f"; tail -n +2 "$f"; } >"$f.spdx"
      else
        { line "$f"; cat "$f"; } >"$f.spdx"
      fi
      cat "$f.spdx" >"$f" && rm "$f.spdx" ;;  # cat keeps the file's mode
    *) echo "no licence line: $f"; missing=1 ;;
  esac
done
exit $missing
