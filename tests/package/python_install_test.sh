#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# `cmake --install` into a fresh prefix, then the module imported from there alone: from the
# prefix's Python folder, with the shared library it loads found through its RPATH in the
# prefix's library folder (not the build's), by Debian's interpreter started from elsewhere.
# usage: python_install_test.sh CMAKE BUILD_DIR PYTHON PYTHON_DIR WORK
set -eu
cmake=$1 build=$2 python=$3 pydir=$4 work=$5
rm -rf "$work"
mkdir -p "$work"
prefix="$work/prefix with blank"
"$cmake" --install "$build" --prefix "$prefix" > "$work/install.log"
cd "$work"
env -u LD_LIBRARY_PATH PYTHONPATH="$prefix/$pydir" "$python" -c '
import sys, rizorod
entry = rizorod.decode("dm", 0x2004, bytes.fromhex("04201a0000002900338b9e005b00020001"))
assert entry.fields["bd_addr.text"] == "00:02:5B:9E:8B:33", entry.fields
loaded = {line.split(None, 5)[5].strip() for line in open("/proc/self/maps") if "libRizOrodOzido" in line or "_rizorod" in line}
prefix = sys.argv[1]
assert loaded and all(path.startswith(prefix + "/") for path in loaded), loaded
assert rizorod.__file__.startswith(prefix + "/"), rizorod.__file__
print("imported from", prefix, "with", sorted(p[len(prefix):] for p in loaded))
' "$prefix"
