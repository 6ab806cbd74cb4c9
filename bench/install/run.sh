#!/usr/bin/env bash
# Install benchmark (not part of the tests): our setup.exe against an NSIS installer of the same
# payload, both under Wine in the same prefix, and `stptool extract` of the same package natively.
#
#   bench/install/run.sh [RUNS]        (default 5; work files in $BENCH_DIR, default build/install-bench)
#
# Payload: gen_payload.py large (20 files, 300 MB: 10 text, 10 random). It becomes a product (the
# demo product's strings and images with this payload) whose setup.exe add_setup_executable builds
# (bench/install/CMakeLists.txt); makensis builds the NSIS installer from bench.nsi (per-file zlib).
#
# Each run, in alternating order, into a fresh target folder, after `sync`:
#   ours     setup.exe is walked to page 3 by the wizard driver; then `probe install
#            --timeline-only` posts the Install click and polls (every 10 ms, without messages)
#            the target folder and the Next button until it shows "&Finish". Measured: click to
#            Finish caption, with the performance counter inside Wine. Start-up of setup.exe and
#            the pages before are not counted. Peak memory: VmHWM of the setup.exe process
#            (/proc/PID/status, read on page 4, before it exits).
#   watched  the same install, with the probe also reading the painted progress bar from the
#            screen and its position with PBM_GETPOS (100 ms timeout) at every poll: the figures
#            of the progress bar and of the window's answers. Reading the screen costs CPU time
#            that the install shares, so this run is timed apart.
#   nsis     `probe run installer.exe /S /D=C:\...`: CreateProcess to process end inside Wine, so
#            the installer's start-up (and its CRC check of itself) is counted.
#   silent   `probe run setup.exe /S /D=C:\...`: our unattended install, timed exactly like nsis
#            (start-up, shortcut and uninstall entry included): the one pair that measures the
#            same work on both sides.
#   extract  `stptool extract PACKAGE DIR --quiet`, native, wall time from the shell.
#   wextract (for the profile) `probe run stptool.exe extract PACKAGE C:\... --quiet`: the same
#            extraction code built for Windows, under Wine, timed like nsis.
# Once after the runs, NSIS's peak memory: /usr/bin/time -f %M on `wine installer.exe /S ...`
# (the wine command becomes the Windows process, so this is the installer's own maximum RSS).
#
# Architecture: a benchmark measures speed, so everything runs natively (scripts/win-arch): both
# installers are 32-bit (the shipped programs), unless this machine executes no 32-bit code. There
# the shipped programs run only emulated (scripts/with-i386), which would measure the emulator, so
# our programs are built for x86_64 and the NSIS installer uses NSIS's amd64-unicode stub, and
# everything runs in a 64-bit prefix. The output says which.
#
# Output: the medians, ratios, phases of our install and the progress bar samples, printed and
# written to build/bench/install.txt; raw logs in the work folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
runs=${1:-5}
work=$(mkdir -p "${BENCH_DIR:-build/install-bench}" && cd "${BENCH_DIR:-build/install-bench}" && pwd)
# The payloads are made by our own deterministic generator.
payload_script=${PAYLOAD_SCRIPT:-$root/bench/gen_payload.py}
result=$root/build/bench/install.txt
logs=$work/logs
title="Setup - Tavrel Demo"

step() { echo "-- $*"; }
ms_since() { echo $((($(date +%s%N) - $1) / 1000000)); }

bash scripts/deps

step "payload (gen_payload.py large)"
if ! grep -q '^files=20 bytes=300000000 ' "$work/payload.txt" 2>/dev/null; then
  rm -rf "$work/payload"
  python3 "$payload_script" large "$work/payload" >"$work/payload.txt"
fi
tail -n1 "$work/payload.txt"

step "product folder: the demo product's strings and images, this payload"
product=$work/product
rm -rf "$product"
mkdir -p "$product"
cp -r products/demo/images "$product/"
# Only the displayed space requirement changes.
sed 's/^RequiredSpace *=.*/RequiredSpace = 300 MB/' products/demo/product.ini >"$product/product.ini"
cp -al "$work/payload" "$product/payload"

step "native stptool and the Windows programs"
native=$work/native
cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=Release -DSTP_TESTS=OFF >"$work/native-configure.log"
cmake --build "$native" -j2 --target stptool >"$work/native-build.log"
stptool=$native/tools/stptool
STP_WIN_ARCH=$(bash scripts/win-arch)
export STP_WIN_ARCH
win=$work/win
nsis_target=x86-unicode
if [ "$STP_WIN_ARCH" != i686 ]; then
  win=$work/win-$STP_WIN_ARCH
  nsis_target=amd64-unicode
fi
if [ "$STP_WIN_ARCH" = i686 ]; then
  STP_BENCH_ARCH="i686 (the shipped programs) at native speed"
else
  STP_BENCH_ARCH="$STP_WIN_ARCH at native speed (this machine runs 32-bit code only emulated)"
fi
export STP_BENCH_ARCH
echo "Windows programs: $STP_BENCH_ARCH, NSIS stub: $nsis_target"
cmake -S bench/install -B "$win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw32-win32.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel \
  -DSTPTOOL="$stptool" -DBENCH_PRODUCT_DIR="$product" >"$work/win-configure.log"
cmake --build "$win" -j2 --target setup_bench wizard_driver install_probe stptool \
  >"$work/win-build.log"
setup=$win/setup_bench/setup.exe
# The same payload as a package of its own, for the extraction runs.
package=$work/Setup.stp
"$stptool" pack "$package" "$work/payload" >"$work/pack.log" 2>&1
driver=$win/tests/e2e/driver/driver.exe
probe=$win/probe.exe
stptool_exe=$win/tree/tools/stptool.exe

step "NSIS installer (makensis, SetCompressor zlib)"
nsis=$work/nsis/nsis-bench-setup-$nsis_target.exe
mkdir -p "$work/nsis"
if [[ ! -f $nsis || $nsis -ot "$work/payload.txt" || $nsis -ot bench/install/bench.nsi ]]; then
  makensis -V2 -DPAYLOAD="$work/payload" -DOUTFILE="$nsis" -DTARGET="$nsis_target" \
    bench/install/bench.nsi \
    >"$work/nsis/makensis.log"
fi
printf 'setup.exe %d bytes (package %d), NSIS installer %d bytes\n' \
  "$(stat -c %s "$setup")" "$(stat -c %s "$package")" "$(stat -c %s "$nsis")"

step "Wine prefix"
unset DISPLAY  # our own Xvfb
# shellcheck source=../../scripts/wine-env.sh
source scripts/wine-env.sh "$work/wine"
export LANG=C.UTF-8
rm -rf "$logs"
mkdir -p "$logs"
bench_unix=$WINEPREFIX/drive_c/bench

run_ours() {  # RUN [watched]: installs into C:\bench\ours or C:\bench\watched
  local name=${2:-ours} watch=--timeline-only
  [ "$name" = ours ] || watch=
  local log=$logs/$name-$1 target="C:\\bench\\$name" pid
  rm -rf "${bench_unix:?}/$name"
  sync
  wine "$setup" >"$log.setup" 2>&1 </dev/null &
  pid=$!
  wine "$driver" wait "$title" 120000 click "&Next >" click "I &Agree" type "$target" \
    >"$log.driver1" 2>&1 </dev/null || { cat "$log.driver1"; return 1; }
  sync
  wine "$probe" install $watch "$title" "&Install" "&Finish" "$target" >"$log.probe" 2>&1 </dev/null ||
    { cat "$log.probe"; return 1; }
  # Peak, then the private and the file-backed part of the resident set on page 4.
  awk '$1 == "VmHWM:" || $1 == "RssAnon:" || $1 == "RssFile:" { printf "%s ", $2 }' \
    "/proc/$pid/status" >"$log.hwm"
  # No product program in this payload to start: Launch is unchecked.
  wine "$driver" wait "$title" check "Launch Tavrel Demo" 0 click "&Finish" gone \
    >"$log.driver2" 2>&1 </dev/null || { cat "$log.driver2"; return 1; }
  wait "$pid"
}

run_nsis() {  # RUN
  local log=$logs/nsis-$1
  rm -rf "$bench_unix/nsis"
  sync
  wine "$probe" run "$nsis" /S '/D=C:\bench\nsis' >"$log.probe" 2>&1 </dev/null ||
    { cat "$log.probe"; return 1; }
  grep -qx 'exit 0' "$log.probe" || { cat "$log.probe"; return 1; }
}

run_silent() {  # RUN
  local log=$logs/silent-$1
  rm -rf "$bench_unix/silent"
  sync
  wine "$probe" run "$setup" /S '/D=C:\bench\silent' >"$log.probe" 2>&1 </dev/null ||
    { cat "$log.probe"; return 1; }
  grep -qx 'exit 0' "$log.probe" || { cat "$log.probe"; return 1; }
}

run_extract() {  # RUN
  local log=$logs/extract-$1 start
  rm -rf "$work/extract"
  sync
  start=$(date +%s%N)
  "$stptool" extract "$package" "$work/extract" --quiet >"$log.out" 2>&1
  echo "elapsed $(ms_since "$start")" >>"$log.out"
}

run_wine_extract() {  # RUN
  local log=$logs/wextract-$1
  rm -rf "$bench_unix/wextract"
  sync
  wine "$probe" run "$stptool_exe" extract "Z:${package//\//\\}" 'C:\bench\wextract' --quiet \
    >"$log.probe" 2>&1 </dev/null || { cat "$log.probe"; return 1; }
  grep -qx 'exit 0' "$log.probe" || { cat "$log.probe"; return 1; }
}

same_files() {  # WHAT DIR: the installed tree equals the payload
  # Our setup also installs the demo program and the Uninst.exe that stptool build adds.
  diff -r --exclude=TavrelDemo.exe --exclude=Uninst.exe "$work/payload" "$2" >"$logs/diff-$1" 2>&1 || {
    echo "FAIL: $1 installed something else than the payload (see $logs/diff-$1)" >&2
    return 1
  }
}

for ((i = 1; i <= runs; i++)); do
  step "run $i of $runs"
  if ((i % 2)); then
    run_ours "$i"
    run_nsis "$i"
    run_silent "$i"
  else
    run_silent "$i"
    run_nsis "$i"
    run_ours "$i"
  fi
  run_ours "$i" watched
  run_extract "$i"
  run_wine_extract "$i"
  if ((i == 1)); then
    same_files ours "$bench_unix/ours"
    same_files watched "$bench_unix/watched"
    same_files nsis "$bench_unix/nsis"
    same_files silent "$bench_unix/silent"
    same_files extract "$work/extract"
    same_files wextract "$bench_unix/wextract"
  fi
  echo "ours $(sed -n 's/^finish //p' "$logs/ours-$i.probe") ms," \
    "nsis $(sed -n 's/^elapsed //p' "$logs/nsis-$i.probe") ms," \
    "silent $(sed -n 's/^elapsed //p' "$logs/silent-$i.probe") ms," \
    "watched $(sed -n 's/^finish //p' "$logs/watched-$i.probe") ms," \
    "extract $(sed -n 's/^elapsed //p' "$logs/extract-$i.out") ms," \
    "stptool.exe under Wine $(sed -n 's/^elapsed //p' "$logs/wextract-$i.probe") ms"
done

step "NSIS peak memory (one more silent install)"
rm -rf "$bench_unix/nsis"
/usr/bin/time -f '%M' -o "$logs/nsis-time.txt" wine "$nsis" /S '/D=C:\bench\nsis' \
  >"$logs/nsis-mem.out" 2>&1 </dev/null
wine_env_wait
wine_env_stop
# The installed copies (1.5 GB) are not needed for the figures.
rm -rf "${bench_unix:?}" "$work/extract"

mkdir -p "$(dirname "$result")"
python3 - "$logs" "$runs" "$result" "$setup" "$nsis" "$package" <<'PY'
import os, statistics, sys

logs, runs, result, setup, nsis, package = sys.argv[1], int(sys.argv[2]), sys.argv[3], *sys.argv[4:]


def fields(path, key):
    out = []
    for line in open(path):
        parts = line.split()
        if parts and parts[0] == key:
            out.append([int(p) for p in parts[1:]])
    return out


def one(path, key):
    return fields(path, key)[0][0]


ours = [one(f"{logs}/ours-{i}.probe", "finish") for i in range(1, runs + 1)]
nsis_ms = [one(f"{logs}/nsis-{i}.probe", "elapsed") for i in range(1, runs + 1)]
silent = [one(f"{logs}/silent-{i}.probe", "elapsed") for i in range(1, runs + 1)]
extract = [one(f"{logs}/extract-{i}.out", "elapsed") for i in range(1, runs + 1)]
wextract = [one(f"{logs}/wextract-{i}.probe", "elapsed") for i in range(1, runs + 1)]


def memory(name):  # [VmHWM, RssAnon, RssFile] in KiB per run
    return [[int(v) for v in open(f"{logs}/{name}-{i}.hwm").read().split()]
            for i in range(1, runs + 1)]


ours_mem = memory("ours")
hwm = [m[0] for m in ours_mem]
watched = [one(f"{logs}/watched-{i}.probe", "finish") for i in range(1, runs + 1)]
nsis_kb = int(open(f"{logs}/nsis-time.txt").read().split()[-1])

# Phases of our install, from the probe's timeline.
write, unpack, tail = [], [], []
for i in range(1, runs + 1):
    p = f"{logs}/ours-{i}.probe"
    files, gone, finish = one(p, "files"), one(p, "package-gone"), one(p, "finish")
    write.append(files)
    unpack.append(gone - files)
    tail.append(finish - gone)

med = statistics.median
lines = []
say = lines.append
say(f"install benchmark: 300 MB payload (gen_payload.py large), {runs} runs, medians; "
    f"Windows programs {os.environ['STP_BENCH_ARCH']}")
say(f"  setup.exe {os.path.getsize(setup)} bytes (package {os.path.getsize(package)}), "
    f"NSIS installer {os.path.getsize(nsis)} bytes")
say(f"ours under Wine, Install click to Finish caption: {med(ours):.0f} ms   runs {ours}")
say(f"NSIS /S under Wine, process start to end:         {med(nsis_ms):.0f} ms   runs {nsis_ms}")
say(f"ours /S under Wine, process start to end:         {med(silent):.0f} ms   runs {silent}")
say(f"stptool extract, native:                          {med(extract):.0f} ms   runs {extract}")
say(f"ratio ours / NSIS:            {med(ours) / med(nsis_ms):.2f}   (aim: at most 0.45)")
say(f"ratio ours /S / NSIS /S:      {med(silent) / med(nsis_ms):.2f}   (the same work on both sides)")
say(f"ratio ours / stptool extract: {med(ours) / med(extract):.2f}")
say("our install by phase (probe timeline, medians):")
say(f"  click to first product file (Setup.stp written, manifest read): {med(write):.0f} ms   {write}")
say(f"  first product file to Setup.stp deleted (unpack, 50 ms wait):   {med(unpack):.0f} ms   {unpack}")
say(f"  Setup.stp deleted to Finish caption (shortcut, registry):       {med(tail):.0f} ms   {tail}")
say(f"stptool.exe extract under Wine (same unpack code, Wine file calls): {med(wextract):.0f} ms   {wextract}")
say(f"peak memory: setup.exe VmHWM {med(hwm) / 1024:.1f} MiB (max {max(hwm) / 1024:.1f}); "
    f"NSIS installer max RSS {nsis_kb / 1024:.1f} MiB (/usr/bin/time, one run)")
say(f"  on page 4: private {med([m[1] for m in ours_mem]) / 1024:.1f} MiB, "
    f"file-backed {med([m[2] for m in ours_mem]) / 1024:.1f} MiB")
say(f"watched install (the probe also reads the bar's paint and position every 10 ms): "
    f"{med(watched):.0f} ms {watched}")
paint = fields(f"{logs}/watched-1.probe", "paint")
polls = [line.split() for line in open(f"{logs}/watched-1.probe") if line.startswith("polls ")][0]
say("progress bar in watched run 1, painted fill (ms since click: percent): " +
    " ".join(f"{t}:{v}" for t, v in paint))
say(f"  PBM_GETPOS reads (100 ms timeout) during watched run 1: {polls[1]} made, {polls[3]} answered "
    f"({int(polls[3]) / max(1, int(polls[1])):.0%}; aim: at least 90 %)")
open(result, "w").write("\n".join(lines) + "\n")
print("\n".join(lines))
PY
echo "written to $result"
