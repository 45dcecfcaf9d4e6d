#!/usr/bin/env bash
# Entries per second of `rizorod decode` over a generated capture of N mixed entries (default
# 1,000,000), with --jobs 1 and --jobs 2, best of three runs each; output goes to /dev/null.
#   bench/tool_throughput.sh [N] [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
n=${1:-1000000}
tool=${2:-$root/build}/tools/rizorod
capture=$(mktemp --suffix=.cap)
trap 'rm -f "$capture"' EXIT
python3 "$root/bench/make_capture.py" "$n" "$capture"
echo "capture: $n entries, $(du -m "$capture" | cut -f1) MiB"
for jobs in 1 2; do
  best=""
  for run in 1 2 3; do
    start=$(date +%s%N)
    "$tool" decode --jobs "$jobs" "$capture" > /dev/null
    end=$(date +%s%N)
    ns=$((end - start))
    if [[ -z "$best" || $ns -lt $best ]]; then best=$ns; fi
  done
  echo "jobs $jobs: $(awk -v n="$n" -v ns="$best" 'BEGIN { printf "%.3f s, %.0f entries/s", ns / 1e9, n / (ns / 1e9) }')"
done
