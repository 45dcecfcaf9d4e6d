#!/usr/bin/env bash
# Wireshark figures. rizorod export against rizorod decode over one generated capture of N mixed
# entries (default 1,000,000), each writing its output to a file in the same folder, best of five
# alternating runs, with --jobs 1 and 2. Then tshark with the generated dissector reads an export
# of M entries (default 100,000): the packet list, the list filtered by a field, and every
# packet's tree (-V), once each, output to /dev/null.
#   bench/wireshark.sh [N] [M] [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
n=${1:-1000000}
m=${2:-100000}
tool=${3:-$root/build}/tools/rizorod
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Nanoseconds that a command takes, its standard output into the file given first.
run() {
  local out=$1 start
  shift
  start=$(date +%s%N)
  "$@" > "$out"
  echo $(($(date +%s%N) - start))
}
sec() { awk -v ns="$1" 'BEGIN { printf "%.3f s", ns / 1e9 }'; }
mib() { echo "$(($(stat -c %s "$1") / 1048576)) MiB"; }

python3 "$root/bench/make_capture.py" "$n" "$work/big.cap"
echo "capture: $n entries, $(mib "$work/big.cap")"
for jobs in 1 2; do
  decode="" export=""
  for _ in 1 2 3 4 5; do
    d=$(run "$work/big.txt" "$tool" decode --jobs "$jobs" "$work/big.cap")
    e=$(run /dev/null "$tool" export --jobs "$jobs" "$work/big.pcapng" "$work/big.cap")
    if [[ -z $decode || $d -lt $decode ]]; then decode=$d; fi
    if [[ -z $export || $e -lt $export ]]; then export=$e; fi
  done
  echo "jobs $jobs: decode $(sec "$decode") ($(mib "$work/big.txt") of text)," \
       "export $(sec "$export") ($(mib "$work/big.pcapng") of pcapng)," \
       "export/decode $(awk -v e="$export" -v d="$decode" 'BEGIN { printf "%.2f", e / d }')"
done

python3 "$root/bench/make_capture.py" "$m" "$work/small.cap"
"$tool" export "$work/small.pcapng" "$work/small.cap"
"$tool" dissector > "$work/rizorod.lua"
plugin=(-X "lua_script:$work/rizorod.lua")
echo "tshark $(tshark --version | head -n 1 | cut -d' ' -f3), $m packets:"
echo "  packet list:              $(sec "$(run /dev/null tshark -r "$work/small.pcapng" "${plugin[@]}")")"
echo "  -Y 'rizorod.handle == 0x29': $(sec "$(run /dev/null tshark -r "$work/small.pcapng" "${plugin[@]}" -Y 'rizorod.handle == 0x29')")"
echo "  -V (every tree):          $(sec "$(run /dev/null tshark -r "$work/small.pcapng" "${plugin[@]}" -V)")"
echo "  packet list, no plugin:   $(sec "$(run /dev/null tshark -r "$work/small.pcapng")")"
