#!/usr/bin/env bash
# Builder benchmarks (not part of the tests).
#   speed:  for each payload of gen_payload.py (PAYLOADS, default "small large"), in alternating
#           rounds (RUNS, default 3): makensis (NSIS, SetCompressor zlib, the i686 stub) of the
#           payload; `stptool build` of a product holding it as it builds by default (libdeflate
#           at its default level, one job per processor); the same with --zlib --jobs 1 (zlib level
#           9 on one thread, how it built before); `stptool pack` of the payload. Prints wall and
#           CPU (user + system) seconds of each round and their medians, and the compressed size
#           of the payload: the members of the package (the Uninst.exe that build adds apart),
#           and NSIS's install data.
#           Targets: build at most 0.35x makensis's wall time on `large`, its members no larger
#           than NSIS's data; on `large`, build at most 1.2x pack (resources and verification cost
#           little).
#   levels: `stptool pack` of each payload at every libdeflate level and with zlib 9, once each:
#           wall and CPU seconds and the members' size (CPU time is the figure to compare on a
#           busy machine).
#   memory: `stptool build` of a product whose payload holds one 1 GiB file, with --jobs 1, 2 and
#           8; /usr/bin/time -v gives the peak resident size, which should stay under 64 MiB.
# usage: bench/builder/run.sh [speed|levels|memory|all]
#        (work files in $BENCH_DIR, default build/bench-builder; the payloads there too, or in
#        $PAYLOAD_DIR)
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
what=${1:-all}
work=${BENCH_DIR:-$root/build/bench-builder}
payloads=${PAYLOADS:-small large}
# The generator lives in bench/ once moved there, before that in the shared folder beside the
# repository.
payload_script=${PAYLOAD_SCRIPT:-}
for candidate in bench/gen_payload.py ../shared/bench/gen_payload.py; do
  if [ -z "$payload_script" ] && [ -f "$candidate" ]; then payload_script=$PWD/$candidate; fi
done
[ -n "$payload_script" ] || { echo "no gen_payload.py found" >&2; exit 1; }

# The optimised native tree the tests use (-O2): every stptool command measured is this binary.
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
echo "machine: $(nproc) processors; $(uptime)"

timed() {  # OUT COMMAND...: runs it, writes "wall cpu" seconds to OUT
  local out=$1
  shift
  /usr/bin/time -f '%e %U %S' -o "$out.time" "$@" >"$out.log" 2>&1 || { cat "$out.log"; exit 1; }
  awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }' "$out.time" >"$out"
}
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
members() {  # PACKAGE-OR-SETUP: the sum of the members' compressed sizes, but for the Uninst.exe
  # that the builder adds (NSIS's installer of the payload has no uninstaller)
  "$stptool" list "$1" |
    awk -F'\t' 'seen && !($1 == "" && $2 == "Uninst.exe") { sum += $3 } $1 == "folder" { seen = 1 }
                 END { print sum }'
}
payload() {  # NAME: the payload's folder, generated once (in $PAYLOAD_DIR when set)
  local dir=${PAYLOAD_DIR:-$work}/$1
  if [[ ! -d $dir ]]; then python3 "$payload_script" "$1" "$dir" >/dev/null; fi
  echo "$dir"
}

if [[ $what == speed || $what == all ]]; then
  for name in $payloads; do
    files=$(payload "$name")
    echo "== speed: payload $name ($(du -sb "$files" | cut -f1) bytes), $runs alternating rounds"
    rm -rf "$work/$name-product"
    bash tests/e2e/make-product.sh "$work/$name-product" "$stub_dir/setup-stub.exe"
    # Hard links, the payload's files in place of the product's own of the same name.
    cp -rl --remove-destination "$files"/. "$work/$name-product/files/"
    declare -A wall=() cpu=()
    for ((i = 1; i <= runs; i++)); do
      rm -f "$work/$name-nsis.exe" "$work/$name-setup.exe" "$work/$name-zlib.exe" "$work/$name.stp"
      sync
      timed "$work/t-nsis" makensis -V4 -DPAYLOAD="$work/$name-product/files" \
        -DOUTFILE="$work/$name-nsis.exe" -DTARGET=x86-unicode bench/install/bench.nsi
      cp "$work/t-nsis.log" "$work/$name-makensis.log"
      sync
      timed "$work/t-build" "$stptool" build "$work/$name-product/product.ini" \
        -o "$work/$name-setup.exe" --stub-dir "$stub_dir" --seed 1
      sync
      timed "$work/t-zlib" "$stptool" build "$work/$name-product/product.ini" \
        -o "$work/$name-zlib.exe" --stub-dir "$stub_dir" --seed 1 --zlib --jobs 1
      sync
      timed "$work/t-pack" "$stptool" pack "$work/$name.stp" "$work/$name-product/files"
      line="round $i:"
      for k in nsis build zlib pack; do
        read -r w c <"$work/t-$k"
        wall[$k]+="$w "
        cpu[$k]+="$c "
        line+=" $k $w s (cpu $c)"
      done
      echo "$line"
    done
    "$stptool" verify "$work/$name-setup.exe" >/dev/null
    "$stptool" verify "$work/$name-zlib.exe" >/dev/null
    declare -A med=() medcpu=()
    for k in nsis build zlib pack; do
      # shellcheck disable=SC2086
      med[$k]=$(median ${wall[$k]})
      # shellcheck disable=SC2086
      medcpu[$k]=$(median ${cpu[$k]})
    done
    echo "median wall (cpu) s: makensis ${med[nsis]} (${medcpu[nsis]}), build ${med[build]}" \
      "(${medcpu[build]}), build --zlib --jobs 1 ${med[zlib]} (${medcpu[zlib]}), pack ${med[pack]} (${medcpu[pack]})"
    awk -v b="${med[build]}" -v n="${med[nsis]}" -v z="${med[zlib]}" -v p="${med[pack]}" 'BEGIN {
      printf "build / makensis %.3f (target 0.35) %s; build --zlib / makensis %.3f; build / pack %.3f (limit 1.2 on large) %s\n",
             b / n, (b / n <= 0.35 ? "ok" : "OVER"), z / n, b / p, (b / p <= 1.2 ? "ok" : "OVER") }'
    nsis_data=$(awk '/^Install data:/ { print $3 }' "$work/$name-makensis.log")
    ours=$(members "$work/$name-setup.exe")
    echo "compressed: build $ours bytes, build --zlib $(members "$work/$name-zlib.exe") bytes," \
      "NSIS install data $nsis_data bytes (with 4 bytes per file of its own) $( ((ours <= nsis_data)) && echo ok || echo LARGER)"
    echo "files: setup $(stat -c %s "$work/$name-setup.exe"), setup --zlib $(stat -c %s "$work/$name-zlib.exe")," \
      "NSIS $(stat -c %s "$work/$name-nsis.exe") bytes"
  done
fi

if [[ $what == levels || $what == all ]]; then
  for name in $payloads; do
    files=$(payload "$name")
    echo "== levels: stptool pack of payload $name"
    printf '%-12s %14s %8s %8s\n' level members wall cpu
    for level in zlib-9 $(seq 0 12); do
      if [[ $level == zlib-9 ]]; then args=(--zlib --level 9); else args=(--level "$level"); fi
      rm -f "$work/levels.stp"
      timed "$work/t-level" "$stptool" pack "$work/levels.stp" "$files" "${args[@]}"
      read -r w c <"$work/t-level"
      printf '%-12s %14s %8s %8s\n' "$level" "$(members "$work/levels.stp")" "$w" "$c"
    done
  done
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
  for jobs in 1 2 8; do
    rm -f "$work/big-setup.exe"
    /usr/bin/time -v "$stptool" build "$work/big-product/product.ini" -o "$work/big-setup.exe" \
      --stub-dir "$stub_dir" --jobs "$jobs" >/dev/null 2>"$work/big-time.txt" ||
      { cat "$work/big-time.txt"; exit 1; }
    awk -v jobs="$jobs" '/Maximum resident set size/ { kib = $NF } /Elapsed/ { wall = $NF }
         END { printf "--jobs %d: peak %.1f MiB (limit 64) %s, %s\n", jobs, kib / 1024,
                      (kib < 65536 ? "ok" : "OVER"), wall }' "$work/big-time.txt"
  done
  echo "setup $(stat -c %s "$work/big-setup.exe") bytes"
fi
echo "machine after: $(uptime)"
