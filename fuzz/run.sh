#!/usr/bin/env bash
# Builds every libFuzzer target with clang into build/fuzz and runs each one, starting from the
# committed seeds (fuzz/seeds/<target>) and the corpus grown by earlier runs
# (build/fuzz/corpus/<target>), with the target's dictionary (fuzz/<target>.dict) when it has one.
#
#   fuzz/run.sh [--runs N] [--time SECONDS] [TARGET...]
#
# --runs N stops each target after N executions (default 200000; a small number makes a smoke
# run); --time SECONDS stops it after that many seconds; with both, whichever comes first. No
# TARGET: every target. At the end a line per target gives executions, executions per second,
# coverage (cov: edges, ft: features), corpus size and findings. An input that makes a target
# fail is kept as build/fuzz/findings/<target>-crash-* (the end of the log is shown); the script
# then goes on with the next target and exits with an error at the end.
set -euo pipefail
# The whole script is one block: bash reads it before running any of it, so editing this file
# during a long run does not change what that run does next.
{
runs=
seconds=
targets=()
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --time) seconds=$2; shift 2 ;;
    -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done
[ -z "$runs" ] && [ -z "$seconds" ] && runs=200000
cd "$(dirname "$0")/.."
build=build/fuzz
instrument="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
# No coverage feedback from code whose paths do not depend on the bytes (see the file).
instrument+=" -fsanitize-coverage-ignorelist=$PWD/fuzz/coverage_ignore.txt"
# The compiler does not track the list as an input: its digest in the flags rebuilds everything
# when the list changes.
instrument+=" -DSTP_COVERAGE_IGNORE_LIST=$(sha1sum fuzz/coverage_ignore.txt | cut -c1-12)"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTP_FUZZ=ON -DSTP_TESTS=OFF \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_C_FLAGS="$instrument" -DCMAKE_CXX_FLAGS="$instrument" >/dev/null
[ ${#targets[@]} -eq 0 ] && mapfile -t targets < "$build/fuzz/targets.txt"
cmake --build "$build" -j2 --target "${targets[@]}"

mkdir -p "$build/findings"
summary=()
failed=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  args=(-max_len=4096 -print_final_stats=1 -artifact_prefix="$build/findings/$target-")
  [ -n "$runs" ] && args+=(-runs="$runs")
  [ -n "$seconds" ] && args+=(-max_total_time="$seconds")
  [ -f "fuzz/$target.dict" ] && args+=(-dict="fuzz/$target.dict")
  dirs=("$corpus")
  [ -d "fuzz/seeds/$target" ] && dirs+=("fuzz/seeds/$target")
  echo "== $target: ${runs:+$runs executions}${runs:+${seconds:+, }}${seconds:+$seconds s}"
  log="$build/$target.log"
  status=0
  start=$(date +%s)
  "$build/fuzz/$target" "${args[@]}" "${dirs[@]}" >"$log" 2>&1 || status=$?
  wall=$(( $(date +%s) - start ))
  stat() { sed -n "s/^stat::$1: *//p" "$log" | tail -n 1; }
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corpus_size=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$last")
  findings=0
  if [ "$status" -ne 0 ]; then
    findings=1
    failed=1
    tail -n 60 "$log" >&2
    echo "$target failed (status $status): log $log, inputs in $build/findings" >&2
  fi
  summary+=("$(printf '%-26s %12s %9s %7s %7s %7s %9s %6s' "$target" "$(stat number_of_executed_units)" \
    "$(stat average_exec_per_sec)" "${cov:-?}" "${ft:-?}" "${corpus_size:-?}" "$findings" "$wall")")
done
printf '%-26s %12s %9s %7s %7s %7s %9s %6s\n' target executions exec/s cov ft corpus findings wall_s
printf '%s\n' "${summary[@]}"
exit "$failed"
}
