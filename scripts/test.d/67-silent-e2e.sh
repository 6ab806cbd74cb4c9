#!/usr/bin/env bash
# End to end: the unattended install and removal under Wine. setup.exe /S is started and watched
# by the driver (tests/e2e/driver, step "run"): no window of its process may ever be visible, the
# exit code tells the outcome, the files equal the payload, the log lists them; Uninst.exe /S then
# leaves the prefix's files and registry exactly as they were before the install, the folders the
# setup created above the install folder included. Windows 7 in a 64-bit prefix, and Windows XP in
# a 32-bit one.
set -euo pipefail
[ -n "${STP_I386:-}" ] || exec bash "$(dirname "$0")/../with-i386" bash "$0" "$@"
cd "${1:-$(dirname "$0")/../..}"
# shellcheck source=/dev/null
source tests/e2e/e2e-lib.sh
unset DISPLAY

e2e_build

run=$E2E_ROOT/build/silent-e2e
rm -rf "$run"
mkdir -p "$run/log"
log=$run/log

# Runs a Windows program with its arguments (one string, as typed at a prompt) under the driver's
# watch and checks its exit code and that no window of it appeared.
silent_run() {  # LOG EXPECTED-EXIT PROGRAM(unix) ARGUMENTS
  local program
  program=$(winepath -w "$3" 2>/dev/null </dev/null)
  e2e_drive "$1" run 180000 "$program" "$4"
  e2e_expect "$1" "exit $2"
  e2e_reject "$1" "process-window"
}

export LANG=C.UTF-8
e2e_prefix "$run/en"
e2e_snapshot "$run/before"

echo "-- setup.exe /S /LOG=C:\\s.log \"/D=C:\\Silent Target\""
target='C:\Silent Target'
silent_run "$log/install" 0 "$E2E_SETUP" '/S /LOG=C:\s.log "/D=C:\Silent Target"'
installed=$(e2e_unix_path "$target")
diff -r --exclude=Uninst.exe "$E2E_PAYLOAD" "$installed" >"$log/diff" 2>&1 ||
  e2e_fail "installed files differ: $log/diff"
[ -s "$installed/Uninst.exe" ] || e2e_fail "no Uninst.exe installed"
[ ! -e "$installed/Setup.stp" ] || e2e_fail "Setup.stp left in $installed"
sleep 2
[ ! -e "$installed/launched.txt" ] || e2e_fail "the silent install started the product"
lnk=$(find -L "$WINEPREFIX/drive_c/users" "$HOME" -name 'Tavrel Demo.lnk' -path '*Desktop*' 2>/dev/null | head -n1)
[ -n "$lnk" ] || e2e_fail "no desktop shortcut"
lnkinfo "$lnk" >"$log/lnk" 2>&1
e2e_expect "$log/lnk" 'C:\Silent Target\TavrelDemo.exe'
e2e_uninstall_entry "Tavrel Demo" CP437 "$log/reg"
e2e_expect "$log/reg" 'DisplayName    REG_SZ    Tavrel Demo'
e2e_expect "$log/reg" 'UninstallString    REG_SZ    "C:\Silent Target\Uninst.exe"'
e2e_expect "$log/reg" 'QuietUninstallString    REG_SZ    "C:\Silent Target\Uninst.exe" /S'
e2e_expect "$log/reg" 'CreatedFolder    REG_SZ    C:\Silent Target'
# The log: UTF-8 with a byte order mark, CRLF, every file with its size, the outcome.
setup_log=$(e2e_unix_path 'C:\s.log')
head -c3 "$setup_log" | od -An -tx1 | grep -q 'ef bb bf' || e2e_fail "the log has no byte order mark"
tr -d '\r' <"$setup_log" >"$log/setup.log"
[ "$(grep -c $'\r$' "$setup_log")" = "$(wc -l <"$setup_log")" ] || e2e_fail "a log line lacks CR"
(cd "$installed" && find . -type f ! -name launched.txt -printf '%P %s\n') | sort >"$log/files"
while read -r path size; do
  e2e_expect "$log/setup.log" "File: $target\\${path//\//\\} ($size bytes)"
done <"$log/files"
e2e_expect "$log/setup.log" "Exit code: 0"

echo "-- The product running: exit code 2; a missing drive: exit code 3; nothing written"
# Taken while no program runs (a snapshot waits for Wine's server to go idle); the product
# writes launched.txt when it starts, which is removed again before the comparison.
e2e_snapshot "$run/installed"
e2e_start "$log/app.out" "$installed/TavrelDemo.exe"
app=$E2E_PID
e2e_drive "$log/app" wait "Tavrel Demo"
silent_run "$log/running" 2 "$E2E_SETUP" '/S "/D=C:\Silent Other"'
e2e_drive "$log/app-close" wait "Tavrel Demo" close gone
wait "$app" || true
rm -f "$installed/launched.txt"
silent_run "$log/no-drive" 3 "$E2E_SETUP" '/S /D=Q:\x'
e2e_snapshot "$run/refused"
e2e_same_as "$run/installed" "$run/refused" "refused silent installs"

echo "-- Uninst.exe /S leaves the prefix as before the install"
silent_run "$log/uninstall" 0 "$installed/Uninst.exe" '/S'
e2e_wait_gone "$installed"
rm -f "$setup_log"  # the administrator's own file
e2e_snapshot "$run/after"
e2e_same_as "$run/before" "$run/after" "silent install and uninstall"

echo "-- Windows XP: Quick Launch shortcut; folders created above the folder go with it"
# XP is 32-bit Windows: a 32-bit prefix of its own, as the wizard's XP run has.
wine_env_stop
e2e_prefix "$run/xp" win32
wine_env_winver winxp
appdata_out=$STP_WINE_DIR/logs/appdata.out
wine cmd /c 'echo %APPDATA%' >"$appdata_out" 2>/dev/null </dev/null
appdata=$(tr -d '\r' <"$appdata_out" | head -n1)
quick=$(e2e_unix_path "$appdata\\Microsoft\\Internet Explorer\\Quick Launch")
mkdir -p "$quick"
e2e_snapshot "$run/xp-before"
silent_run "$log/xp-install" 0 "$E2E_SETUP" '/s /D=C:\Silent Tools\New\Demo'
lnkinfo "$quick/Tavrel Demo.lnk" >"$log/xp-lnk" 2>&1 || e2e_fail "no Quick Launch shortcut in $quick"
e2e_expect "$log/xp-lnk" 'C:\Silent Tools\New\Demo\TavrelDemo.exe'
e2e_uninstall_entry "Tavrel Demo" CP437 "$log/xp-reg"
e2e_expect "$log/xp-reg" 'CreatedFolder    REG_SZ    C:\Silent Tools'
xp_installed=$(e2e_unix_path 'C:\Silent Tools\New\Demo')
silent_run "$log/xp-uninstall" 0 "$xp_installed/Uninst.exe" '/S'
e2e_wait_gone "$(e2e_unix_path 'C:\Silent Tools')"
e2e_snapshot "$run/xp-after"
e2e_same_as "$run/xp-before" "$run/xp-after" "XP silent install and uninstall"
wine_env_stop

echo "silent e2e passed"
