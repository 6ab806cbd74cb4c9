#!/usr/bin/env bash
# Windows stage: builds the product binaries (build/win, 32-bit, win32 thread model) and the Windows
# test binaries (build/wintest, 32-bit, posix thread model) with mingw-w64, checks that the products
# import nothing Windows XP SP3 lacks, and runs the test binaries under Wine in a fresh 64-bit
# prefix, as 32-bit programs meet 64-bit Windows: in English (code page 1252), in Chinese (code
# page 936), and the version test again in a 32-bit prefix reporting Windows XP. The shortcuts the
# tests leave in C:\stp-lnk are read back with lnkinfo; the shipped stptool.exe round-trips a
# package.
set -euo pipefail
# 32-bit programs run natively or emulated (scripts/with-i386; scripts/test runs stages so).
[ -n "${STP_I386:-}" ] || exec bash "$(dirname "$0")/../with-i386" bash "$0" "$@"
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root"
jobs=$(nproc)
export STP_WIN_ARCH=i686

# The setup executables' payloads are packed by the native stptool.
stptool=$root/build/native/tools/stptool
if [ ! -x "$stptool" ]; then
  cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build/native -j"$jobs" --target stptool
fi

echo "-- product binaries (build/win)"
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32-win32.cmake \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_EXE_LINKER_FLAGS_MINSIZEREL=-s -DSTP_TESTS=OFF \
  -DSTPTOOL="$stptool" >/dev/null
cmake --build build/win -j"$jobs"
# The executables the build links (payload folders hold copies and product data files).
mapfile -t products < <(find build/win -name '*.exe' -not -path '*/CMakeFiles/*' \
  -not -path '*/payload/*' | sort)
scripts/check-xp-imports "${products[@]}"
for exe in "${products[@]}"; do
  printf '%10d bytes  %s\n' "$(stat -c %s "$exe")" "$exe"
done
# Size budget: every user downloads the setup program, so the generic setup program and a built
# setup.exe less its package stay within 416 KB (400 KB until the unattended install, /S /D= /LOG
# and their texts, added about 18 KB).
budget=$((416 * 1024))
stub_size=$(stat -c %s build/win/stubs/setup-stub.exe)
demo=build/win/products/setup_demo/setup.exe
package_size=$("$stptool" info "$demo" | awk -F'\t' '$1 == "STPFILE" && $2 == "SETUPPACKAGE" {print $4}')
[ -n "$package_size" ] || { echo "stptool info finds no package in $demo" >&2; exit 1; }
demo_size=$(($(stat -c %s "$demo") - package_size))
echo "size budget $budget bytes: setup-stub.exe $stub_size, demo setup.exe without its package $demo_size"
if ((stub_size > budget || demo_size > budget)); then
  echo "the setup program has outgrown its size budget" >&2
  exit 1
fi

wintest=build/wintest
shipped_stptool=$root/build/win/tools/stptool.exe

echo "-- Windows test binaries ($wintest)"
cmake -S . -B "$wintest" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32-posix.cmake \
  -DCMAKE_BUILD_TYPE=Debug -DSTP_TESTS=ON -DSTPTOOL="$stptool" >/dev/null
# Every test target of the Windows tree is named win32_*_tests.
mapfile -t targets < <(cmake --build "$wintest" --target help |
  sed -n 's/^\.\.\. \(win32_[A-Za-z0-9_]*_tests\)$/\1/p' | sort)
if ((${#targets[@]} == 0)); then
  echo "no Windows test targets" >&2
  exit 1
fi
cmake --build "$wintest" -j"$jobs" --target "${targets[@]}"

echo "-- tests under Wine"
# shellcheck source=../wine-env.sh
source scripts/wine-env.sh "$wintest/wine-run"
failed=0

# run LABEL ENV... -- GTEST_ARGS...: runs every test binary once; output goes to files only.
run() {
  local label=$1
  shift
  local -a env_vars=()
  while (($#)) && [ "$1" != -- ]; do
    env_vars+=("$1")
    shift
  done
  shift
  local t exe log rc
  for t in "${targets[@]}"; do
    exe=$(find "$wintest" -name "$t.exe" -not -path '*/CMakeFiles/*' | head -n1)
    log=$STP_WINE_DIR/logs/$label-$t
    rc=0
    (
      ((${#env_vars[@]} == 0)) || export "${env_vars[@]}"
      wine_env_run "$log" "$exe" --gtest_color=no "$@"
    ) || rc=$?
    echo "[$label] $t: $(grep -E '^\[==========\] [0-9]+ tests? from .* ran' "$log.out" | tail -n1 |
      sed 's/^\[==========\] //') $(grep -E '^\[  PASSED  \]' "$log.out" | tail -n1)"
    if ((rc != 0)); then
      failed=1
      echo "[$label] $t: exit code $rc"
      grep -E '^\[  FAILED  \]|Failure$' "$log.out" || tail -n 20 "$log.out" "$log.err"
    fi
  done
}

run english STP_EXPECT_ACP=1252 STP_EXPECT_WINDOWS_MAJOR=6 --
# Code page 936 comes from the process's locale.
run chinese LANG=zh_CN.UTF-8 STP_EXPECT_ACP=936 -- \
  '--gtest_filter=*CodePage*:*ByteSize*:*Registry*'

echo "-- shortcuts read back with lnkinfo"
links=0
for lnk in "$WINEPREFIX"/drive_c/stp-lnk/*.lnk; do
  [ -e "$lnk" ] || continue
  links=$((links + 1))
  expect=${lnk%.lnk}.expect
  lnkinfo "$lnk" >"$lnk.txt" 2>&1 || { echo "lnkinfo failed on $lnk"; failed=1; continue; }
  # Fields of lnkinfo's "Link information" block: "<tab>Name<tabs>: value".
  field() { awk -v name="$1" -F'\t+: ' '$1 == "\t" name {print $2; exit}' "$lnk.txt"; }
  target=$(sed -n 1p "$expect")
  workdir=$(sed -n 2p "$expect")
  name=$(basename "$lnk")
  if [ "$(field 'Local path')" != "$target" ] || [ "$(field 'Working directory')" != "$workdir" ]; then
    echo "$name: lnkinfo shows target '$(field 'Local path')' in '$(field 'Working directory')'," \
      "expected '$target' in '$workdir'"
    failed=1
  elif grep -q 'Command line arguments' "$lnk.txt"; then
    echo "$name: the shortcut carries arguments"
    failed=1
  else
    echo "$name: target $target, working directory $workdir"
  fi
done
if ((links == 0)); then
  echo "no shortcuts were left for lnkinfo"
  failed=1
fi

echo "-- stptool.exe packs and extracts names outside the ANSI code page"
smoke=$STP_WINE_DIR/stptool-smoke
mkdir -p "$smoke/in/子目录"
printf 'hello\n' >"$smoke/in/a.txt"
printf 'world\n' >"$smoke/in/子目录/安装.txt"
if (cd "$smoke" &&
  wine_env_run "$STP_WINE_DIR/logs/stptool-pack" "$shipped_stptool" pack 包.stp in &&
  wine_env_run "$STP_WINE_DIR/logs/stptool-extract" "$shipped_stptool" \
    extract 包.stp out) && diff -r "$smoke/in" "$smoke/out"; then
  echo "stptool.exe round trip: identical"
else
  echo "stptool.exe round trip failed (logs in $STP_WINE_DIR/logs/stptool-*)"
  failed=1
fi

echo "-- version test in a 32-bit prefix reporting Windows XP"
wine_env_stop
unset DISPLAY  # the last prefix's Xvfb has ended; the new prefix starts its own
source scripts/wine-env.sh "$wintest/wine-run-xp" win32
wine_env_winver winxp
targets=(win32_os_tests)
run winxp STP_EXPECT_WINDOWS_MAJOR=5 -- '--gtest_filter=*VersionLocaleAndErrorTexts*'

wine_env_stop
if ((failed)); then
  echo "Windows stage failed; logs in $STP_WINE_DIR/logs" >&2
  exit 1
fi
echo "Windows stage passed"
