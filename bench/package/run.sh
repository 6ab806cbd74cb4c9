#!/usr/bin/env bash
# Package benchmarks (not part of the tests).
#   (a) memory: extract a package holding one 1 GiB compressible file and one 256 MiB random file;
#       /usr/bin/time -v gives the peak resident size of `stptool extract`.
#   (b) speed: `stptool extract` of the 300 MB payload of gen_payload.py against
#       `stptool extract --decoder zlib` (every member through zlib's streaming inflate) and
#       package_baseline (plain reads, zlib inflate, plain writes) in the same run, rotating the
#       order, median of 5.
#   (c) check: the CPU time of the whole-member path's stream check over the members of the same
#       payload, next to libdeflate's and zlib's decode of them (package_check_cost, fastest of 5).
# usage: bench/package/run.sh [memory|speed|check|all]   (work files go to $BENCH_DIR, default build/bench-package)
set -euo pipefail
cd "$(dirname "$0")/../.."
what=${1:-all}
build=build/bench
work=${BENCH_DIR:-build/bench-package}
# The payloads are made by our own deterministic generator.
payload_script=${PAYLOAD_SCRIPT:-$PWD/bench/gen_payload.py}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DSTP_BENCH=ON -DSTP_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target stptool package_baseline package_check_cost >/dev/null
stptool=$PWD/$build/tools/stptool
baseline=$(find "$PWD/$build" -name package_baseline -type f -perm -u+x | head -n1)
mkdir -p "$work"

if [[ $what == memory || $what == all ]]; then
  echo "== memory: 1 GiB compressible + 256 MiB random"
  src=$work/mem-src
  if [[ ! -f $src/random.bin ]]; then
    rm -rf "$src" && mkdir -p "$src"
    # Compressible: a 1 MiB block of text lines repeated 1024 times.
    python3 - "$src/text.txt" <<'PY'
import random, sys
rng = random.Random(1)
words = ["setup", "package", "member", "zlib", "row", "folder", "file", "tail", "stream"]
block = "".join(" ".join(rng.choice(words) for _ in range(12)) + "\r\n" for _ in range(20000))
block = (block.encode() * 20)[:1 << 20]
with open(sys.argv[1], "wb") as f:
    for _ in range(1024):
        f.write(block)
PY
    head -c $((256 << 20)) /dev/urandom >"$src/random.bin"
  fi
  "$stptool" pack "$work/mem.stp" "$src" --level 6
  rm -rf "$work/mem-out"
  /usr/bin/time -v "$stptool" extract "$work/mem.stp" "$work/mem-out" --quiet 2>"$work/mem-time.txt"
  grep -E 'Maximum resident set size|Elapsed' "$work/mem-time.txt"
  cmp "$src/text.txt" "$work/mem-out/text.txt" && cmp "$src/random.bin" "$work/mem-out/random.bin"
  echo "output identical to the source"
  rm -rf "$work/mem-out"
fi

if [[ $what == speed || $what == all ]]; then
  echo "== speed: 300 MB payload, stptool extract (libdeflate) vs --decoder zlib vs baseline, median of 5"
  if [[ ! -d $work/large ]]; then python3 "$payload_script" large "$work/large" >/dev/null; fi
  "$stptool" pack "$work/large.stp" "$work/large" --level 6
  # CPU seconds too: on a machine that others share they vary far less than wall time (the check
  # of large members runs on a second thread, so it costs wall time only without a free core).
  run() {  # prints "wall_seconds/cpu_seconds" of one run
    local out=$1; shift
    rm -rf "$out"; sync
    /usr/bin/time -o "$work/time.txt" -f "%e %U %S" "$@" >/dev/null 2>&1
    awk '{ printf "%.3f/%.3f", $1, $2 + $3 }' "$work/time.txt"
  }
  tool_times=(); zlib_times=(); base_times=()
  # The order rotates, so that no program always runs while another's writes drain.
  for i in 1 2 3 4 5; do
    for k in 0 1 2; do
      case $(((i + k) % 3)) in
        0) base_times+=("$(run "$work/out-base" "$baseline" "$work/large.stp" "$work/out-base")") ;;
        1) tool_times+=("$(run "$work/out-tool" "$stptool" extract "$work/large.stp" "$work/out-tool" --quiet)") ;;
        2) zlib_times+=("$(run "$work/out-zlib" "$stptool" extract "$work/large.stp" "$work/out-zlib" --quiet --decoder zlib)") ;;
      esac
    done
  done
  diff -r "$work/large" "$work/out-tool" >/dev/null && echo "stptool output identical to the payload"
  diff -r "$work/large" "$work/out-zlib" >/dev/null && echo "stptool --decoder zlib output identical to the payload"
  # median FIELD TIMES...: FIELD 1 is the wall time, 2 the CPU time.
  median() { local f=$1; shift; printf '%s\n' "$@" | cut -d/ -f"$f" | sort -g | sed -n 3p; }
  echo "runs (wall/CPU s): baseline ${base_times[*]}"
  echo "                   stptool ${tool_times[*]}"
  echo "                   stptool --decoder zlib ${zlib_times[*]}"
  for f in 1 2; do
    tm=$(median $f "${tool_times[@]}"); zm=$(median $f "${zlib_times[@]}"); bm=$(median $f "${base_times[@]}")
    awk -v t="$tm" -v z="$zm" -v b="$bm" -v what="$([ $f = 1 ] && echo wall || echo CPU)" 'BEGIN {
      printf "median %s: baseline %.3f s, stptool %.3f s, stptool --decoder zlib %.3f s; ", what, b, t, z
      printf "stptool / baseline %.3f, stptool / zlib %.3f (aim: at most 0.6)\n", t / b, t / z }'
  done
  rm -rf "$work/out-base" "$work/out-tool" "$work/out-zlib" "$work/time.txt"
fi

if [[ $what == check || $what == all ]]; then
  echo "== check: CPU time of the stream check over the 300 MB payload's members (level 6)"
  if [[ ! -d $work/large ]]; then python3 "$payload_script" large "$work/large" >/dev/null; fi
  "$(find "$PWD/$build" -name package_check_cost -type f -perm -u+x | head -n1)" "$work/large" 5
fi
