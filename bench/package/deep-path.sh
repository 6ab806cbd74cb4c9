#!/usr/bin/env bash
# How long `stptool extract` takes to refuse a package whose one row sits LEVELS folders deep
# (folder cell "a\a\...\", 2 characters a level; default 2100 levels, 4,200 characters).
# Windows refuses such a path at once; so must the simulated Windows of the Linux tool.
# usage: bench/package/deep-path.sh [STPTOOL] [LEVELS]   (work files go to $BENCH_DIR)
set -euo pipefail
cd "$(dirname "$0")/../.."
stptool=${1:-build/native/tools/stptool}
levels=${2:-2100}
work=${BENCH_DIR:-build/bench-deep-path}
rm -rf "$work" && mkdir -p "$work/out"
printf 'x' >"$work/x.txt"
folder=$(printf 'a\\%.0s' $(seq "$levels"))
printf '%s\tx.txt\tx.txt\n' "$folder" >"$work/rows.txt"
"$stptool" pack "$work/deep.stp" --rows "$work/rows.txt" >/dev/null 2>&1
start=$(date +%s.%N)
if "$stptool" extract "$work/deep.stp" "$work/out" --quiet 2>"$work/stderr.txt"; then
  status="extracted"
else
  status="refused: $(tr -d '\r' <"$work/stderr.txt" | tail -n1 | cut -c1-100)..."
fi
end=$(date +%s.%N)
echo "levels=$levels $status"
echo "seconds=$(echo "$end - $start" | bc)"
