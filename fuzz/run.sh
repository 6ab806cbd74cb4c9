#!/usr/bin/env bash
# Builds every libFuzzer target with clang into build/fuzz and runs each one for a fixed number
# of executions: fuzz/run.sh [executions] (default 200000; a small number makes a smoke run).
# The corpus grows in build/fuzz/corpus/<target>; an input that makes a target fail is kept as
# build/fuzz/findings/<target>-crash-*, the end of the fuzzer's log is shown and the script
# exits with an error.
set -euo pipefail
runs=${1:-200000}
cd "$(dirname "$0")/.."
build=build/fuzz
instrument="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTP_FUZZ=ON -DSTP_TESTS=OFF \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_C_FLAGS="$instrument" -DCMAKE_CXX_FLAGS="$instrument" >/dev/null
mapfile -t targets < "$build/fuzz/targets.txt"
cmake --build "$build" -j2 --target "${targets[@]}"

mkdir -p "$build/findings"
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  args=(-runs="$runs" -max_len=4096 -print_final_stats=1
        -artifact_prefix="$build/findings/$target-")
  [ -f "fuzz/$target.dict" ] && args+=(-dict="fuzz/$target.dict")
  echo "== $target: $runs executions"
  log="$build/$target.log"
  status=0
  "$build/fuzz/$target" "${args[@]}" "$corpus" >"$log" 2>&1 || status=$?
  grep -E '^(stat::number_of_executed_units|stat::new_units_added|Done)' "$log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log" >&2
    echo "$target failed (status $status): log $log, inputs in $build/findings" >&2
    exit 1
  fi
done
