#!/usr/bin/env bash
# Executions per CPU second of one or more builds of a libFuzzer target, measured side by side:
#
#   bench/fuzz/rate.sh [--runs N | --time SECONDS] [--repeat K] TARGET NAME=BINARY...
#
# Each binary runs K times (default 3, in turn, so that the load of the machine falls on all of
# them alike) from a fresh empty corpus plus the committed seeds fuzz/seeds/TARGET, with
# fuzz/TARGET.dict, -seed=1 and -max_len=4096; --runs N (default 20000) or --time SECONDS ends a
# run. The rate is executions / (user + sys CPU seconds), which keeps other processes' load out of
# the figure; the median per binary is printed at the end, with each binary's ratio to the first.
set -euo pipefail
runs=20000
seconds=
repeat=3
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --time) seconds=$2; runs=; shift 2 ;;
    --repeat) repeat=$2; shift 2 ;;
    -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
[ $# -ge 2 ] || { sed -n '2,11p' "$0" >&2; exit 2; }
target=$1; shift
root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

names=()
binaries=()
for pair in "$@"; do
  names+=("${pair%%=*}")
  binaries+=("$(realpath "${pair#*=}")")
done

declare -A rates
for ((round = 1; round <= repeat; round++)); do
  for i in "${!names[@]}"; do
    corpus="$scratch/corpus-$i-$round"
    mkdir -p "$corpus"
    args=(-seed=1 -max_len=4096 -print_final_stats=1 -dict="$root/fuzz/$target.dict")
    [ -n "$runs" ] && args+=(-runs="$runs")
    [ -n "$seconds" ] && args+=(-max_total_time="$seconds")
    log="$scratch/log-$i-$round"
    TIMEFORMAT='%U %S'
    cpu=$( { time (cd "$scratch" && "${binaries[$i]}" "${args[@]}" "$corpus" \
                   "$root/fuzz/seeds/$target" >"$log" 2>&1); } 2>&1 )
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cov=$(grep -E '^#[0-9]+' "$log" | tail -n 1 | sed -n 's/.* cov: \([0-9]*\).*/\1/p')
    rate=$(awk -v e="$executions" -v c="$cpu" 'BEGIN { split(c, t, " "); printf "%.0f", e / (t[1] + t[2]) }')
    rates[$i]+="$rate "
    printf '%-8s round %d: %9s executions, cpu %s s (user sys), cov %s, %s exec/cpu-s\n' \
      "${names[$i]}" "$round" "$executions" "$cpu" "${cov:-?}" "$rate"
  done
done

median() { tr ' ' '\n' <<<"$1" | sed '/^$/d' | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
first=$(median "${rates[0]}")
for i in "${!names[@]}"; do
  m=$(median "${rates[$i]}")
  printf '%-8s median %8s exec/cpu-s  (%s)  ratio to %s: %s\n' "${names[$i]}" "$m" "${rates[$i]% }" \
    "${names[0]}" "$(awk -v a="$m" -v b="$first" 'BEGIN { printf "%.2f", a / b }')"
done
