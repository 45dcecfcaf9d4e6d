#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# rizorod decode of a capture compressed with gzip, xz and zstd against the same capture plain:
# a capture of N mixed entries (default 1,000,000; bench/make_capture.py), compressed with each
# program's default level, decoded with --jobs 1 and --jobs 2; elapsed and CPU time (user +
# system), best of RUNS (default 5), the formats taking turns, output to /dev/null; the outputs
# of each format compared with the plain one's once.
#   bench/compressed.sh [N] [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
n=${1:-1000000}
tool=${2:-$root/build}/tools/rizorod
runs=${RUNS:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 "$root/bench/make_capture.py" "$n" "$work/big"
gzip -c "$work/big" > "$work/big.gz"
xz -T1 -c "$work/big" > "$work/big.xz"
zstd -q -c "$work/big" > "$work/big.zst"
echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores; $(uptime | sed 's/.*\(load average\)/\1/')"
for f in big big.gz big.xz big.zst; do
  echo "$f: $(stat -c %s "$work/$f") bytes"
  [[ $f == big ]] || "$tool" decode "$work/$f" | cmp -s - <("$tool" decode "$work/big") || { echo "$f decodes otherwise" >&2; exit 1; }
done

# "ELAPSED CPU" seconds of one run.
measure() {
  local TIMEFORMAT='%3R %3U %3S' t
  t=$( { time "$@" > /dev/null 2> /dev/null; } 2>&1 )
  awk -v t="$t" 'BEGIN { split(t, x); printf "%.3f %.3f\n", x[1], x[2] + x[3] }'
}
for jobs in 1 2; do
  declare -A elapsed=() cpu=()
  for ((r = 0; r < runs; r++)); do
    for f in big big.gz big.xz big.zst; do
      read -r e c < <(measure "$tool" decode --jobs "$jobs" "$work/$f")
      [[ -z ${elapsed[$f]:-} ]] || (($(awk -v a="$e" -v b="${elapsed[$f]}" 'BEGIN { print a < b }'))) && elapsed[$f]=$e
      [[ -z ${cpu[$f]:-} ]] || (($(awk -v a="$c" -v b="${cpu[$f]}" 'BEGIN { print a < b }'))) && cpu[$f]=$c
    done
  done
  for f in big big.gz big.xz big.zst; do
    printf -- '--jobs %s %-8s elapsed %s s (%sx plain), CPU %s s\n' "$jobs" "$f" "${elapsed[$f]}" \
      "$(awk -v a="${elapsed[$f]}" -v b="${elapsed[big]}" 'BEGIN { printf "%.2f", a / b }')" "${cpu[$f]}"
  done
done
