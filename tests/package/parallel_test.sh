#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# GNU parallel cuts a generated capture into pieces with the --recstart pattern of
# docs/SCALING.md; the pieces, decoded by several processes, give the text of one decoding of the
# whole. Comments, blank lines, indentation and CR LF line ends stand between and inside the
# entries, where a wrong pattern would cut. With --piece K/N the processes give the JSON and the
# messages of one run of the whole too: its file name, its line numbers, its dates (only the first
# entry gives one here).
# usage: parallel_test.sh TOOL SOURCE_DIR WORK_DIR
set -eu
tool=$1 work=$3
command -v parallel >/dev/null || { echo "GNU parallel is not installed (scripts/install-deps.sh)"; exit 1; }
pattern=$(sed -n "s/.*--recstart '\([^']*\)'.*/\1/p" "$2/docs/SCALING.md" | sort -u)
[ -n "$pattern" ] && [ "$(printf '%s\n' "$pattern" | wc -l)" = 1 ] || { echo "SCALING.md must give one pattern"; exit 1; }
mkdir -p "$work"
python3 "$2/bench/make_capture.py" 4000 "$work/plain.cap"
awk '/^@/ { printf " # memory next\r\n \t\r\n  %s # bytes\r\n", $0; next }
     NR > 1 { sub(/^2024-05-14 /, "") } NR % 997 == 0 { print "hci 00 # a bad entry\r" } { printf "\t%s\r\n", $0 }' \
    "$work/plain.cap" >"$work/mixed.cap"
"$tool" decode "$work/mixed.cap" >"$work/whole.txt" 2>/dev/null || true
pieces() {
  parallel "$@" --block 100k -k -j2 --joblog "$work/jobs" --regexp --recend '\n' --recstart "$pattern" \
           "$tool" decode - >"$work/pieces.txt" 2>/dev/null || true
  cmp "$work/whole.txt" "$work/pieces.txt"
  [ "$(wc -l <"$work/jobs")" -gt 3 ] || { echo "$1: fewer than 3 pieces"; exit 1; }  # and a header line
}
pieces --pipe <"$work/mixed.cap"
pieces --pipe-part -a "$work/mixed.cap"

# --piece: the recipe of docs/SCALING.md, JSON and messages byte for byte.
recipe=$(sed -n 's/^\(parallel -k .*--piece {}\/8 .*\) ::: .*/\1/p' "$2/docs/SCALING.md")
[ -n "$recipe" ] || { echo "SCALING.md must give the --piece recipe"; exit 1; }
"$tool" decode -f json "$work/mixed.cap" >"$work/whole.json" 2>"$work/whole.err" && exit 1
(cd "$work" && eval "$(printf '%s' "$recipe" | sed "s|rizorod|$tool|; s|huge.cap|mixed.cap|") ::: \$(seq 8)") \
    >"$work/pieces.json" 2>"$work/pieces.err" && exit 1
sed -i "s|$work/||" "$work/whole.json" "$work/whole.err"
cmp "$work/whole.json" "$work/pieces.json"
cmp "$work/whole.err" "$work/pieces.err"
[ "$(grep -c '"date":"2024-05-14"' "$work/pieces.json")" -gt 3900 ] || { echo "dates not carried into the pieces"; exit 1; }

# Pieces with bad entries: parallel's status counts them (here several, which could read as 3,
# "the output could not be written"); the job-log recipe of SCALING.md gives 1, as one run would.
worst=$(grep "^awk -F '\\\\t' 'NR > 1 && \$7 > worst" "$2/docs/SCALING.md")
[ -n "$worst" ] || { echo "SCALING.md must give the job-log recipe"; exit 1; }
awk 'NR % 100 == 1 { print "hci 00" } { print }' "$work/plain.cap" >"$work/bad.cap"
status=0
parallel --pipe-part -a "$work/bad.cap" --block 40k -k -j2 --joblog "$work/jobs" --regexp --recend '\n' \
         --recstart "$pattern" "$tool" decode - >/dev/null 2>&1 || status=$?
[ "$status" -ge 3 ] || { echo "parallel exits $status: fewer than 3 pieces failed"; exit 1; }
(cd "$work" && sh -c "${worst%pieces.log}jobs") && status=0 || status=$?
[ "$status" = 1 ] || { echo "the recipe gives $status, not 1"; exit 1; }
