#!/usr/bin/env bash
# Hostile surroundings and packages under Wine.
#
# DLL planting: comctl32.dll, version.dll and uxtheme.dll built from tests/e2e/planted (each
# leaves NAME.dll.loaded beside itself when loaded) lie beside setup.exe and stptool.exe in a
# download folder, and Wine is told to prefer such native copies for those names. The wizard is
# walked through an install started from that folder, and stptool.exe is run there: no marker may
# appear, and the install must still work (its progress bar is comctl32's, from the system folder).
#
# Traversal: packages whose rows try to leave the target or the system folder (climbing system
# rows, "$" cells without their token, "..") are extracted with stptool.exe
# from a working folder of their own: each is refused, and nothing appears outside the target and
# system folders. A row 2,100 folders deep is refused without making a folder. A sound package
# extracts into both; without --system-dir it is refused.
set -euo pipefail
# 32-bit programs run natively or emulated (scripts/with-i386; scripts/test runs stages so).
[ -n "${STP_I386:-}" ] || exec bash "$(dirname "$0")/../with-i386" bash "$0" "$@"
cd "${1:-$(dirname "$0")/../..}"
# shellcheck source=/dev/null
source tests/e2e/e2e-lib.sh
unset DISPLAY  # our own screen

e2e_build
cmake --build "$E2E_WIN" -j"$(nproc)" --target stptool >/dev/null
stptool_native=$E2E_NATIVE/tools/stptool
run=$E2E_ROOT/build/hostile-run
rm -rf "$run"
mkdir -p "$run/log" "$run/planted"
log=$run/log
for name in comctl32 version uxtheme; do
  "$STP_WIN_ARCH-w64-mingw32-gcc" -shared -O2 -Wall -Wextra -o "$run/planted/$name.dll" \
    tests/e2e/planted/planted_dll.c -Wl,--kill-at
done

e2e_prefix "$run/wine"
export LANG=C.UTF-8
drive_c=$WINEPREFIX/drive_c
downloads=$drive_c/Downloads
mkdir -p "$downloads"
cp "$E2E_SETUP" "$E2E_WIN/tools/stptool.exe" "$run/planted/"*.dll "$downloads/"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;comctl32,version,uxtheme=n,b"

# Wine's own user32.dll imports version.dll, and Wine 8 keeps no known DLLs: every program that
# imports user32 loads a planted version.dll with the process, before its first instruction. On
# Windows user32 imports no version.dll (and XP lists version.dll among its known DLLs), so that
# one load is Wine's and is let pass, only while Wine's user32 does import it.
wine_dlls=i386-windows
[ "$STP_WIN_ARCH" = i686 ] || wine_dlls=$STP_WIN_ARCH-windows
wine_user32=$(find /usr/lib -path "*$wine_dlls/user32.dll" 2>/dev/null | head -n1)
wine_loads_version=0
if [ -n "$wine_user32" ] &&
  "$STP_WIN_ARCH-w64-mingw32-objdump" -p "$wine_user32" | grep -i 'DLL Name: version.dll' >/dev/null; then
  wine_loads_version=1
fi

markers() {
  local found
  found=$(find "$downloads" \( -name '*.dll.static' -o -name '*.dll.dynamic' \) -printf '%f\n' |
    sort | tr '\n' ' ')
  if ((wine_loads_version)); then found=${found/version.dll.static /}; fi
  [ -z "$found" ] || e2e_fail "planted DLLs were loaded ($1): $found"
  rm -f "$downloads"/*.dll.static "$downloads"/*.dll.dynamic
}

echo "-- setup.exe started from a folder with planted DLLs"
en="Setup - Tavrel Demo"
target='C:\Planted Test'
cd "$downloads"
e2e_start "$log/setup.out" "$downloads/setup.exe"
setup=$E2E_PID
cd "$E2E_ROOT"
e2e_drive "$log/setup-1" wait "$en" 60000 click "&Next >" click "I &Agree" type "$target" \
  click "&Install" until "&Finish" 120000 dump
# The progress bar's class is comctl32's: it exists, so comctl32 came from the system folder.
e2e_expect "$log/setup-1" "control msctls_progress32|"
e2e_drive "$log/setup-2" wait "$en" check "Launch Tavrel Demo" 0 click "&Finish" gone
e2e_exit_code "$setup" 0 "setup.exe beside planted DLLs"
diff -r --exclude=Uninst.exe "$E2E_PAYLOAD" "$(e2e_unix_path "$target")" >"$log/setup-diff" 2>&1 ||
  e2e_fail "installed files differ: $log/setup-diff"
markers setup.exe
echo "setup.exe installed; no planted DLL was loaded"

# stptool.exe ARGS...: run from the download folder (its working folder is CWD when set).
stptool() {
  (cd "${CWD:-$downloads}" && wine_env_run "$log/stptool-$label" "$downloads/stptool.exe" "$@")
}
label=help
stptool extract --help || e2e_fail "stptool.exe --help failed"
markers stptool.exe
echo "stptool.exe ran; no planted DLL was loaded"

echo "-- traversal packages extracted with stptool.exe"
work=$drive_c/stp-trav
mkdir -p "$work/pkgs" "$work/cwd"
printf 'evil' >"$work/pkgs/evil.txt"
printf 'good' >"$work/pkgs/good.txt"
cases=(
  '$System$..\..\'
  '$Third$\..\..\'
  '$System$sub/../../'
  '$System$...\'
  '$SYSTEM$\'
  '$system$'
  '$x$..\..\'
  '..\..\'
)
# Every path of the prefix's drive except the target and system folders, the packages and the
# download folder (where the planted DLLs' markers are checked on their own).
snapshot() {
  find "$drive_c" \( -path "$work/target" -o -path "$work/system" -o -path "$work/pkgs" -o \
    -path "$downloads" \) -prune -o -print | sort >"$1"
}
snapshot "$run/before"
for i in "${!cases[@]}"; do
  printf '%s\tevil%d.txt\tevil.txt\n' "${cases[$i]}" "$i" >"$work/pkgs/case$i.tsv"
  "$stptool_native" pack "$work/pkgs/case$i.stp" --rows "$work/pkgs/case$i.tsv" >/dev/null 2>&1
  label=case$i
  rc=0
  CWD=$work/cwd stptool extract "C:\\stp-trav\\pkgs\\case$i.stp" 'C:\stp-trav\target' \
    --system-dir 'C:\stp-trav\system' --quiet || rc=$?
  ((rc == 1)) || e2e_fail "case $i (${cases[$i]:0:20}) was not refused (exit $rc)"
done
snapshot "$run/after"
outside=$(comm -13 "$run/before" "$run/after")
[ -z "$outside" ] || e2e_fail "extraction wrote outside its folders: $outside"
markers "stptool.exe extract"
[ -z "$(find "$drive_c" -name 'evil*.txt' -not -path "$work/pkgs/*")" ] ||
  e2e_fail "a refused row was written"
echo "${#cases[@]} traversal packages refused; nothing written outside the two folders"

echo "-- a row 2,100 folders deep is refused before anything of it is made"
# Wine enforces no path limit: without the extraction's own check this made 2,015 nested folders
# and failed after minutes.
printf '%s\tdeep.txt\tgood.txt\n' "$(printf 'a\\%.0s' $(seq 2100))" >"$work/pkgs/deep.tsv"
"$stptool_native" pack "$work/pkgs/deep.stp" --rows "$work/pkgs/deep.tsv" >/dev/null 2>&1
label=deep
rc=0
started=$SECONDS
stptool extract 'C:\stp-trav\pkgs\deep.stp' 'C:\stp-trav\deep' --quiet || rc=$?
((rc == 1)) || e2e_fail "the 2,100-level row was not refused (exit $rc)"
e2e_expect "$log/stptool-deep.err" "characters, more than the 259 Windows takes for a path"
[ -z "$(find "$work/deep" -mindepth 1)" ] || e2e_fail "the refused row made folders: $work/deep"
echo "refused in $((SECONDS - started)) s: $(grep -o "(row.*" "$log/stptool-deep.err" | tr -d "\r")"

printf '$System$sub\\\tsys.dll\tgood.txt\n\tgood.txt\tgood.txt\n' >"$work/pkgs/good.tsv"
"$stptool_native" pack "$work/pkgs/good.stp" --rows "$work/pkgs/good.tsv" >/dev/null 2>&1
label=good-no-system-dir
rc=0
stptool extract 'C:\stp-trav\pkgs\good.stp' 'C:\stp-trav\good' --quiet || rc=$?
((rc == 1)) || e2e_fail "a package with system-folder rows extracted without --system-dir"
e2e_expect "$log/stptool-$label.err" "--system-dir"
label=good
stptool extract 'C:\stp-trav\pkgs\good.stp' 'C:\stp-trav\good' --system-dir 'C:\stp-trav\sys' \
  --quiet || e2e_fail "the sound package was refused: $log/stptool-$label.err"
[ "$(cat "$work/good/good.txt")" = good ] && [ "$(cat "$work/sys/sub/sys.dll")" = good ] ||
  e2e_fail "the sound package did not land in its two folders"
echo "sound package extracted into the target and system folders; refused without --system-dir"
wine_env_stop
echo "hostile input stage passed"
