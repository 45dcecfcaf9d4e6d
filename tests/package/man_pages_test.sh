#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Every command that `rizorod --help` lists is in rizorod(1) and has a page of its own; every
# page, as man shows it, has its options, its exit statuses, and each example of its help on a
# line of its own.
# usage: man_pages_test.sh TOOL MAN_DIR
set -eu
[ -d "$2" ] || { echo "no man pages in $2: is help2man installed? (scripts/install-deps.sh)"; exit 1; }
names=$("$1" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z][-a-z0-9]*\).*/\1/p')
[ -n "$names" ] || { echo "rizorod --help lists no commands"; exit 1; }
for name in "" $names; do
  page="$2/rizorod${name:+-$name}.1.gz"
  if [ -n "$name" ]; then
    zcat "$2/rizorod.1.gz" | sed 's/\\-/-/g' | grep -qx "$name" || { echo "rizorod.1 does not list $name"; exit 1; }
  fi
  MANWIDTH=80 man -l "$page" 2>/dev/null > "$2/shown" || { echo "man -l $page failed"; exit 1; }
  for section in OPTIONS 'EXIT STATUS' EXAMPLES; do
    grep -qx "$section" "$2/shown" || { echo "$page has no $section"; exit 1; }
  done
  for status in 0 2 3; do
    awk '/^[^ ]/ { inside = ($0 == "EXIT STATUS"); next } inside' "$2/shown" | grep -qE "^ +$status  " ||
      { echo "$page: no exit status $status"; exit 1; }
  done
  "$1" $name --help | sed -n '/^Examples:$/,/^$/s/^  //p' > "$2/examples"
  [ -s "$2/examples" ] || { echo "rizorod $name --help has no examples"; exit 1; }
  awk '/^[^ ]/ { inside = ($0 == "EXAMPLES"); next } inside && NF { sub(/^ +/, ""); print }' "$2/shown" \
    > "$2/shown-examples"
  cmp -s "$2/examples" "$2/shown-examples" || { echo "$page shows its examples as:"; cat "$2/shown-examples"; exit 1; }
done
