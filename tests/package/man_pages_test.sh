#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Every subcommand that `rizorod --help` lists is in rizorod(1) and has a page of its own.
# usage: man_pages_test.sh TOOL MAN_DIR
set -eu
[ -d "$2" ] || { echo "no man pages in $2: is help2man installed? (scripts/install-deps.sh)"; exit 1; }
names=$("$1" --help | sed -n '/^Subcommands:/,/^$/s/^  \([a-z][-a-z0-9]*\).*/\1/p')
[ -n "$names" ] || { echo "rizorod --help lists no subcommands"; exit 1; }
for name in $names; do
  zcat "$2/rizorod.1.gz" | sed 's/\\-/-/g' | grep -qx "$name" || { echo "rizorod.1 does not list $name"; exit 1; }
  zcat "$2/rizorod-$name.1.gz" | grep -q "^\.SH OPTIONS" || { echo "no page rizorod-$name.1 with options"; exit 1; }
done
