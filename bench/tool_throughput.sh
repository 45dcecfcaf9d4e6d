#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The speed figures of the rizorod tool and of the library, in one run, each beside its baseline:
#   - rizorod decode of a generated capture of N mixed entries (default 1,000,000;
#     bench/make_capture.py) with --jobs 1 and --jobs 2, and the output of both compared;
#   - decode --format json, stats and export against text decoding, all with --jobs 1;
#   - peak resident memory with 1, 2, 4 and 16 jobs;
#   - the library's 11-line DM_ACL_CONNECT_CFM_T decoding (build/decode_bench: the public
#     operation with the wall clock read, against its plain snprintf rendering) and its allocations;
#   - the yardstick: btmon -r (Debian's bluez) on a btsnoop file of N HCI packets
#     (bench/make_btsnoop.py), entries per second of both and the ratio;
#   - the count of `rep movs` and `rep stos` instructions in the library (none is wanted: they are
#     slow for short copies on some processors).
# Times are elapsed, best of RUNS (default 5) with output to /dev/null; btmon runs once (it takes
# about a minute for 10^6 packets). With BASELINE_BUILD_DIR, every rizorod and library figure is
# measured for that build too (the rizorod runs of the two builds taking turns).
#   bench/tool_throughput.sh [N] [BUILD_DIR] [BASELINE_BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
n=${1:-1000000}
builds=("${2:-$root/build}")
[[ -n "${3:-}" ]] && builds+=("$3")
runs=${RUNS:-5}
command -v btmon > /dev/null || { echo "btmon not found: scripts/install-deps.sh bench" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 "$root/bench/make_capture.py" "$n" "$work/big.cap"
python3 "$root/bench/make_btsnoop.py" "$n" "$work/big.btsnoop"
echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores; $(uptime | sed 's/.*\(load average\)/\1/')"
echo "capture: $n entries, $(($(stat -c %s "$work/big.cap") / 1048576)) MiB; btsnoop: $n packets, $(($(stat -c %s "$work/big.btsnoop") / 1048576)) MiB"

# "ELAPSED CPU" nanoseconds (CPU: user + system) of one run of a command, its output to /dev/null.
measure() {
  local TIMEFORMAT='%3R %3U %3S' t
  t=$( { time "$@" > /dev/null 2> /dev/null; } 2>&1 )
  awk -v t="$t" 'BEGIN { split(t, x); printf "%.0f %.0f", x[1] * 1e9, (x[2] + x[3]) * 1e9 }'
}
elapsed() { measure "$@" | cut -d' ' -f1; }
rate() { awk -v n="$n" -v ns="$1" -v what="${2:-entries}" 'BEGIN { printf "%.3f s, %.3g M %s/s", ns / 1e9, n / (ns / 1e9) / 1e6, what }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# best[build index, case]: best of `runs` elapsed times, builds taking turns; cpu[...]: the least
# CPU time of those runs.
declare -A best cpu
cases=("decode --jobs 1" "decode --jobs 2" "decode --format json --jobs 1" "stats --jobs 1" "export --jobs 1")
for ((r = 0; r < runs; ++r)); do
  for c in "${cases[@]}"; do
    for b in "${!builds[@]}"; do
      tool=${builds[$b]}/tools/rizorod
      read -ra words <<< "$c"
      if [[ ${words[0]} == export ]]; then
        read -r t u <<< "$(measure "$tool" "${words[@]}" /dev/null "$work/big.cap")"
      else
        read -r t u <<< "$(measure "$tool" "${words[@]}" "$work/big.cap")"
      fi
      if [[ -z "${best[$b,$c]:-}" || $t -lt ${best[$b,$c]} ]]; then best[$b,$c]=$t; fi
      if [[ -z "${cpu[$b,$c]:-}" || $u -lt ${cpu[$b,$c]} ]]; then cpu[$b,$c]=$u; fi
    done
  done
done

for b in "${!builds[@]}"; do
  build=${builds[$b]}
  tool=$build/tools/rizorod
  echo
  echo "build $build"
  j1=${best[$b,decode --jobs 1]}
  j2=${best[$b,decode --jobs 2]}
  echo "  decode --jobs 1:              $(rate "$j1")"
  same=$("$tool" decode --jobs 1 "$work/big.cap" | md5sum | cut -c1-32)
  other=$("$tool" decode --jobs 2 "$work/big.cap" | md5sum | cut -c1-32)
  echo "  decode --jobs 2:              $(rate "$j2"), $(ratio "$j1" "$j2")x --jobs 1, output $([[ $same == "$other" ]] && echo identical || echo DIFFERENT)"
  c1=${cpu[$b,decode --jobs 1]}
  c2=${cpu[$b,decode --jobs 2]}
  echo "  CPU time, user + system:      --jobs 1 $(awk -v c="$c1" 'BEGIN { printf "%.3f", c / 1e9 }') s, --jobs 2 $(awk -v c="$c2" 'BEGIN { printf "%.3f", c / 1e9 }') s ($(ratio "$c2" "$c1")x)"
  t=${best[$b,decode --format json --jobs 1]}
  echo "  decode --format json:         $(rate "$t"), $(ratio "$j1" "$t") of text's speed"
  t=${best[$b,stats --jobs 1]}
  echo "  stats:                        $(rate "$t"), $(ratio "$j1" "$t") of text's speed"
  t=${best[$b,export --jobs 1]}
  echo "  export:                       $(rate "$t"), $(ratio "$j1" "$t") of text's speed"
  memory=""
  for jobs in 1 2 4 16; do
    kb=$( { /usr/bin/time -f %M "$tool" decode --jobs "$jobs" "$work/big.cap" > /dev/null; } 2>&1 | tail -n 1)
    memory+=" $jobs: $(awk -v kb="$kb" 'BEGIN { printf "%.1f", kb / 1024 }') MiB,"
  done
  echo "  peak resident memory (jobs):${memory%,}"
  if command -v objdump > /dev/null; then
    lib=$(readlink -f "$build/libRizOrodOzido.so")
    echo "  rep movs / rep stos in $(basename "$lib"): $(objdump -d "$lib" | grep -c 'rep movs\|rep stos' || true)"
  fi
  if [[ -x $build/decode_bench ]]; then
    "$build/decode_bench" --benchmark_filter='^(library|baseline)/acl_connect_cfm_11_lines$' \
      --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_min_time=0.2 \
      --benchmark_format=csv 2> /dev/null | awk -F, '
        /library\/.*_median/ { lib = $3; allocs = $11 }
        /baseline\/.*_median/ { plain = $3 }
        END { printf "  DM_ACL_CONNECT_CFM_T, 11 lines: %.1f ns (plain snprintf %.0f ns, %.0fx), %g allocation(s)\n",
                     lib, plain, plain / lib, allocs }'
  fi
done

echo
# The yardstick at its best: btmon looks up every address's maker in udev's hardware database,
# which costs it about two thirds of its time here; as root, that file is hidden from it (an empty
# file bound over it in a mount namespace of its own), as on a system without the database.
hwdb=()
for f in /etc/udev/hwdb.bin /usr/lib/udev/hwdb.bin /lib/udev/hwdb.bin; do [[ -e $f ]] && hwdb+=("$f"); done
if ((${#hwdb[@]} == 0)); then
  btmon_how="no hardware database on this machine"
  btmon_ns=$(elapsed btmon -r "$work/big.btsnoop")
elif unshare -m sh -c 'for f; do mount --bind /dev/null "$f" || exit 1; done' sh "${hwdb[@]}" 2> /dev/null; then
  btmon_how="udev's hardware database hidden"
  btmon_ns=$(elapsed env BTSNOOP="$work/big.btsnoop" unshare -m \
             sh -c 'for f; do mount --bind /dev/null "$f"; done; exec btmon -r "$BTSNOOP"' sh "${hwdb[@]}")
else
  btmon_how="with udev's hardware database (it can be hidden only by root)"
  btmon_ns=$(elapsed btmon -r "$work/big.btsnoop")
fi
j1=${best[0,decode --jobs 1]}
j2=${best[0,decode --jobs 2]}
echo "btmon -r $(btmon --version), $btmon_how: $(rate "$btmon_ns" packets); rizorod decode $(ratio "$btmon_ns" "$j1")x as fast with --jobs 1, $(ratio "$btmon_ns" "$j2")x with --jobs 2"
echo "after: $(uptime | sed 's/.*\(load average\)/\1/')"
