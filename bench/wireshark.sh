#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Wireshark figures, as elapsed time and CPU time (user + system). rizorod export against rizorod
# decode over one generated capture of N mixed entries (default 1,000,000), each writing its
# output to a file in the same folder, best of five alternating runs, with --jobs 1 and 2. Then
# tshark with the generated dissector reads an export of M entries (default 100,000): the packet
# list, the list filtered by a field, and every packet's tree (-V), once each, to /dev/null.
#   bench/wireshark.sh [N] [M] [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
n=${1:-1000000}
m=${2:-100000}
tool=${3:-$root/build}/tools/rizorod
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# "ELAPSED CPU" seconds of a command, its standard output into the file given first.
run() {
  local out=$1 TIMEFORMAT='%R %U %S'
  shift
  { time "$@" > "$out" 2> /dev/null; } 2>&1 | awk '{ printf "%.3f %.3f", $1, $2 + $3 }'
}
# The smaller of two "ELAPSED CPU" pairs, each part on its own.
least() { awk -v a="$1" -v b="$2" 'BEGIN { split(a, x); split(b, y); if (a == "") { print b; exit }
  printf "%.3f %.3f", (x[1] < y[1] ? x[1] : y[1]), (x[2] < y[2] ? x[2] : y[2]) }'; }
sec() { awk -v t="$1" 'BEGIN { split(t, x); printf "%.3f s (CPU %.3f s)", x[1], x[2] }'; }
mib() { echo "$(($(stat -c %s "$1") / 1048576)) MiB"; }

python3 "$root/bench/make_capture.py" "$n" "$work/big.cap"
echo "capture: $n entries, $(mib "$work/big.cap")"
for jobs in 1 2; do
  decode="" export=""
  for _ in 1 2 3 4 5; do
    decode=$(least "$decode" "$(run "$work/big.txt" "$tool" decode --jobs "$jobs" "$work/big.cap")")
    export=$(least "$export" "$(run /dev/null "$tool" export --jobs "$jobs" -o "$work/big.pcapng" "$work/big.cap")")
  done
  echo "jobs $jobs: decode $(sec "$decode") ($(mib "$work/big.txt") of text)," \
       "export $(sec "$export") ($(mib "$work/big.pcapng") of pcapng)," \
       "export/decode $(awk -v e="$export" -v d="$decode" 'BEGIN { split(e, x); split(d, y)
         printf "%.2f (CPU %.2f)", x[1] / y[1], x[2] / y[2] }')"
done

python3 "$root/bench/make_capture.py" "$m" "$work/small.cap"
"$tool" export -o "$work/small.pcapng" "$work/small.cap"
"$tool" dissector > "$work/rizorod.lua"
plugin=(-X "lua_script:$work/rizorod.lua")
echo "tshark $(tshark --version | head -n 1 | cut -d' ' -f3), $m packets:"
echo "  packet list:              $(sec "$(run /dev/null tshark -r "$work/small.pcapng" "${plugin[@]}")")"
echo "  -Y 'rizorod.handle == 0x29': $(sec "$(run /dev/null tshark -r "$work/small.pcapng" "${plugin[@]}" -Y 'rizorod.handle == 0x29')")"
echo "  -V (every tree):          $(sec "$(run /dev/null tshark -r "$work/small.pcapng" "${plugin[@]}" -V)")"
echo "  packet list, no plugin:   $(sec "$(run /dev/null tshark -r "$work/small.pcapng")")"
