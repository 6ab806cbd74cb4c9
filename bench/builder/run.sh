#!/usr/bin/env bash
# Builder benchmarks (not part of the tests).
#   speed:  `stptool build` of a product whose payload is the 300 MB `large` payload of
#           gen_payload.py against `stptool pack` of the same payload, alternating, median of
#           RUNS (default 3);
#           the build (pack, resources, verification) should take at most 1.2x the pack.
#   memory: `stptool build` of a product whose payload holds one 1 GiB file; /usr/bin/time -v
#           gives the peak resident size, which should stay under 64 MiB.
# usage: bench/builder/run.sh [speed|memory|all]   (work files in $BENCH_DIR, default build/bench-builder)
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
what=${1:-all}
work=${BENCH_DIR:-$root/build/bench-builder}
# The generator lives in bench/ once moved there, before that in the shared folder beside the
# repository.
payload_script=${PAYLOAD_SCRIPT:-}
for candidate in bench/gen_payload.py ../shared/bench/gen_payload.py; do
  if [ -z "$payload_script" ] && [ -f "$candidate" ]; then payload_script=$PWD/$candidate; fi
done
[ -n "$payload_script" ] || { echo "no gen_payload.py found" >&2; exit 1; }

# The optimised native tree the tests use (-O2): both commands measured are the same binary.
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j2 --target stptool >/dev/null
stptool=$root/build/native/tools/stptool
runs=${RUNS:-3}
# The generic stubs come from the Windows product tree (32-bit, what ships).
export STP_WIN_ARCH=i686
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32-win32.cmake \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_EXE_LINKER_FLAGS_MINSIZEREL=-s -DSTP_TESTS=OFF \
  -DSTPTOOL="$root/build/native/tools/stptool" >/dev/null
cmake --build build/win -j2 --target setup_stub uninst_stub >/dev/null
stub_dir=$(dirname "$(find "$root/build/win" -name setup-stub.exe -not -path '*/CMakeFiles/*' | head -n1)")
mkdir -p "$work"

seconds() {  # COMMAND...: runs it, prints its wall time in seconds
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  t1=$(date +%s.%N)
  awk -v a="$t1" -v b="$t0" 'BEGIN { printf "%.2f", a - b }'
}
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

if [[ $what == speed || $what == all ]]; then
  echo "== speed: 300 MB payload, stptool build vs stptool pack, median of $runs"
  if [[ ! -d $work/large ]]; then python3 "$payload_script" large "$work/large" >/dev/null; fi
  rm -rf "$work/large-product"
  bash tests/e2e/make-product.sh "$work/large-product" "$stub_dir/setup-stub.exe" "$work/large"
  pack_times=()
  build_times=()
  for ((i = 1; i <= runs; i++)); do
    rm -f "$work/large.stp" "$work/large-setup.exe"
    sync
    pack_times+=("$(seconds "$stptool" pack "$work/large.stp" "$work/large-product/files")")
    sync
    build_times+=("$(seconds "$stptool" build "$work/large-product/product.ini" \
      -o "$work/large-setup.exe" --stub-dir "$stub_dir")")
    echo "run $i: pack ${pack_times[-1]} s, build ${build_times[-1]} s"
  done
  "$stptool" verify "$work/large-setup.exe" >/dev/null
  pack=$(median "${pack_times[@]}")
  built=$(median "${build_times[@]}")
  echo "package $(stat -c %s "$work/large.stp") bytes, setup $(stat -c %s "$work/large-setup.exe") bytes"
  awk -v b="$built" -v p="$pack" 'BEGIN {
    printf "median: pack %.2f s, build %.2f s, ratio %.3f (limit 1.2) %s\n", p, b, b / p,
           (b / p <= 1.2 ? "ok" : "OVER") }'
fi

if [[ $what == memory || $what == all ]]; then
  echo "== memory: a payload file of 1 GiB"
  big=$work/big-payload
  if [[ ! -f $big/huge.dat ]]; then
    rm -rf "$big" && mkdir -p "$big"
    # Random bytes: a file that compresses as little as a program's does; the content does not
    # change what memory the builder needs.
    head -c $((1 << 30)) /dev/urandom >"$big/huge.dat"
  fi
  rm -rf "$work/big-product"
  bash tests/e2e/make-product.sh "$work/big-product" "$stub_dir/setup-stub.exe" "$big"
  rm -f "$work/big-setup.exe"
  /usr/bin/time -v "$stptool" build "$work/big-product/product.ini" -o "$work/big-setup.exe" \
    --stub-dir "$stub_dir" >/dev/null 2>"$work/big-time.txt" ||
    { cat "$work/big-time.txt"; exit 1; }
  grep -E 'Maximum resident set size|Elapsed' "$work/big-time.txt"
  awk '/Maximum resident set size/ { kib = $NF }
       END { printf "peak %.1f MiB (limit 64) %s\n", kib / 1024, (kib < 65536 ? "ok" : "OVER") }' \
    "$work/big-time.txt"
  echo "setup $(stat -c %s "$work/big-setup.exe") bytes"
fi
