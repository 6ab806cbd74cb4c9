#!/usr/bin/env bash
# The progress bar advances while setup.exe installs a large product under Wine.
#
# A product of 120 MB (six text-like and six random files of 10 MB) gets its own setup.exe
# (bench/install/CMakeLists.txt, add_setup_executable). The wizard driver walks it to page 3; the
# install probe (bench/install/probe.cpp) presses Install and, until page 4 shows, samples how much
# of the progress bar is painted as filled: the painted bar is what the user sees and what is
# checked (how often the wizard answers meanwhile is a figure of bench/install/run.sh).
# Passes when the samples never go back, at least three lie strictly between 0 and 100 %, and the
# installed files equal the payload.
set -euo pipefail
# 32-bit programs run natively or emulated (scripts/with-i386; scripts/test runs stages so).
[ -n "${STP_I386:-}" ] || exec bash "$(dirname "$0")/../with-i386" bash "$0" "$@"
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root"
work=$root/build/install-progress
title="Setup - Tavrel Demo"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

stptool=$root/build/native/tools/stptool
if [ ! -x "$stptool" ]; then
  cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build/native -j"$(nproc)" --target stptool >/dev/null
fi

product=$work/product
if [ ! -f "$product/payload.done" ]; then
  rm -rf "$product"
  mkdir -p "$product/payload"
  python3 - "$product/payload" <<'PY'
import os, random, sys

out = sys.argv[1]
rng = random.Random(70)
words = ["".join(rng.choice("etaoinshrdlucmfwyp") for _ in range(rng.randint(2, 9)))
         for _ in range(3000)]
size = 10 * 1000 * 1000
for i in range(6):
    # Text-like: lines of words, deflates about 3:1.
    os.makedirs(f"{out}/text", exist_ok=True)
    lines, total = [], 0
    while total < size:
        line = " ".join(rng.choices(words, k=12)) + "\r\n"
        lines.append(line)
        total += len(line)
    with open(f"{out}/text/part{i}.txt", "w", newline="") as f:
        f.write("".join(lines)[:size])
    # Random: stored at full size.
    os.makedirs(f"{out}/media", exist_ok=True)
    with open(f"{out}/media/blob{i}.bin", "wb") as f:
        f.write(rng.randbytes(size))
PY
  touch "$product/payload.done"
fi
cp products/demo/product.ini "$product/"
cp -r products/demo/images "$product/"

# The shipped 32-bit programs, in a 64-bit prefix.
export STP_WIN_ARCH=i686
win=$work/win
cmake -S bench/install -B "$win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw32-win32.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DSTPTOOL="$stptool" -DBENCH_PRODUCT_DIR="$product" >/dev/null
cmake --build "$win" -j"$(nproc)" --target setup_bench wizard_driver install_probe >/dev/null
setup=$win/setup_bench/setup.exe
driver=$win/tests/e2e/driver/driver.exe
probe=$win/probe.exe

unset DISPLAY  # our own Xvfb: nothing covers the bar
# shellcheck source=../wine-env.sh
source scripts/wine-env.sh "$work/wine"
export LANG=C.UTF-8
log=$work/logs
rm -rf "$log"
mkdir -p "$log"

wine "$setup" >"$log/setup.out" 2>&1 </dev/null &
setup_pid=$!
wine "$driver" wait "$title" 120000 click "&Next >" click "I &Agree" type 'C:\Progress' \
  >"$log/driver1" 2>&1 </dev/null || fail "wizard not on page 3: $(tail -n1 "$log/driver1")"
wine "$probe" install "$title" "&Install" "&Finish" 'C:\Progress' 300000 >"$log/probe" 2>&1 \
  </dev/null || fail "install did not reach page 4: $(tail -n1 "$log/probe")"
wine "$driver" wait "$title" check "Launch Tavrel Demo" 0 click "&Finish" gone \
  >"$log/driver2" 2>&1 </dev/null || fail "wizard did not close: $(tail -n1 "$log/driver2")"
wait "$setup_pid" || fail "setup.exe ended with exit code $?"

samples=$(awk '$1 == "paint" && $3 >= 0 { printf "%s ", $3 }' "$log/probe")
echo "install $(awk '$1 == "finish" { print $2 }' "$log/probe") ms; painted progress: $samples"
python3 - "$samples" <<'PY' || fail "progress bar check (samples in $log/probe)"
import sys
values = [int(v) for v in sys.argv[1].split()]
back = [(a, b) for a, b in zip(values, values[1:]) if b < a]
between = sorted({v for v in values if 0 < v < 100})
if back:
    sys.exit(f"the bar went back: {back}")
if len(between) < 3:
    sys.exit(f"the bar showed {between} between 0 and 100 %, expected at least three positions")
PY
installed=$WINEPREFIX/drive_c/Progress
# The staged payload holds the demo program too; stptool build added Uninst.exe.
diff -r --exclude=Uninst.exe "$win/setup_bench.dir/payload" "$installed" >"$log/diff" 2>&1 ||
  fail "installed files differ: $log/diff"
wine_env_stop
echo "install progress passed"
