#!/usr/bin/env bash
# End to end: the demo product's Uninst.exe (the shipped 32-bit program, in a 64-bit prefix) under
# Wine, run as Add/Remove Programs runs it (the uninstall entry's UninstallString), its message
# boxes answered by the driver (tests/e2e/driver). The prefix's files and registry (the 32-bit
# view, which the setup writes) are compared with a snapshot taken before the install: nothing of
# the product may be left and nothing else may change. English (code page 1252) and Chinese (936).
set -euo pipefail
# 32-bit programs run natively or emulated (scripts/with-i386; scripts/test runs stages so).
[ -n "${STP_I386:-}" ] || exec bash "$(dirname "$0")/../with-i386" bash "$0" "$@"
cd "${1:-$(dirname "$0")/../..}"
# shellcheck source=/dev/null
source tests/e2e/e2e-lib.sh
unset DISPLAY

e2e_build
# stptool build makes the demo's Uninst.exe from this generic one.
bash scripts/check-xp-imports "$E2E_WIN/stubs/uninst-stub.exe"

run=$E2E_ROOT/build/uninstall-e2e
rm -rf "$run"
mkdir -p "$run/log"
log=$run/log
en="Setup - Tavrel Demo"
zh="安装向导 - 塔维演示"

install_demo() {  # LOG TITLE INSTALL-CAPTION FINISH-CAPTION AGREE NEXT
  local setup
  e2e_start "$1.out" "$E2E_SETUP"
  setup=$E2E_PID
  e2e_drive "$1" wait "$2" 60000 click "$6" click "$5" type "$folder" click "$3" until "$4" 120000 \
    check "$(launch_caption "$2")" 0 click "$4" gone
  e2e_exit_code "$setup" 0 "setup.exe"
}

launch_caption() {
  if [ "$1" = "$en" ]; then echo "Launch Tavrel Demo"; else echo "立即运行软件"; fi
}

# Runs the uninstall entry's UninstallString in the background, as Add/Remove Programs does.
start_uninstall() {  # NAME OEM LOG
  e2e_uninstall_entry "$1" "$2" "$3.reg"
  local command
  command=$(sed -n 's/^ *UninstallString *REG_SZ *//p' "$3.reg")
  # In quotes, as the path holds a space.
  [ "$command" = "\"$folder\\Uninst.exe\"" ] || e2e_fail "UninstallString is '$command'"
  command=${command#\"}
  e2e_start "$3.out" "${command%\"}"
}

# Waits until the copy in the temporary folder has deleted Uninst.exe.
wait_self_removal() {
  e2e_wait_gone "$(e2e_unix_path "$folder")/Uninst.exe"
}

# --- English ---------------------------------------------------------------------------------------
export LANG=C.UTF-8
e2e_prefix "$run/en"
# The folder the setup proposes, so the publisher's folder above it is checked as well.
folder="$E2E_PROGRAM_FILES\\Tavrel Soft\\TavrelDemo"
e2e_snapshot "$run/en-before"

echo "-- English: install, then uninstall through the uninstall entry"
install_demo "$log/en-install" "$en" "&Install" "&Finish" "I &Agree" "&Next >"
installed=$(e2e_unix_path "$folder")
[ -f "$installed/Uninst.exe" ] || e2e_fail "Uninst.exe was not installed"
start_uninstall "Tavrel Demo" CP437 "$log/en-uninstall"
pid=$E2E_PID
e2e_drive "$log/en-uninstall" answer yes 60000 msgbox
e2e_expect "$log/en-uninstall" \
  "msgbox Uninstall - Tavrel Demo|Are you sure you want to completely remove Tavrel Demo and all of its components?"
e2e_expect "$log/en-uninstall" \
  "msgbox Uninstall - Tavrel Demo|Tavrel Demo was successfully removed from your computer."
e2e_exit_code "$pid" 0 "Uninst.exe"
wait_self_removal
[ ! -e "$installed" ] || e2e_fail "$installed is left"
e2e_snapshot "$run/en-after"
e2e_same_as "$run/en-before" "$run/en-after" "install and uninstall"

echo "-- The copy in the temporary folder goes when Windows restarts"
wineboot -r >"$log/reboot.out" 2>&1 </dev/null
wine_env_wait
e2e_snapshot "$run/en-before-temp" with-temp
# Compare the temporary folders only: a restart also refreshes files of Wine's own.
grep -E '/[Tt]emp/' "$run/en-before-temp.files" >"$run/en-temp.files" || true
grep -E '~Uninst' "$run/en-temp.files" && e2e_fail "the uninstaller's copy survived the restart"

echo "-- Install again; a file the user added stays with its folder"
install_demo "$log/en-install2" "$en" "&Install" "&Finish" "I &Agree" "&Next >"
echo "mine" >"$installed/data/notes.txt"
start_uninstall "Tavrel Demo" CP437 "$log/en-user"
pid=$E2E_PID
e2e_drive "$log/en-user" answer yes 60000 msgbox
e2e_expect "$log/en-user" "could not be removed. You can remove them yourself:"
e2e_expect "$log/en-user" "$folder\\data\\"
e2e_exit_code "$pid" 3 "Uninst.exe (user file)"
wait_self_removal
(cd "$installed" && find . | sort) >"$log/en-user.left"
printf '%s\n' . ./data ./data/notes.txt >"$log/en-user.expected"
diff "$log/en-user.expected" "$log/en-user.left" >/dev/null ||
  e2e_fail "left after uninstall with a user file: $log/en-user.left"
e2e_uninstall_entry "Tavrel Demo" CP437 "$log/en-user.reg2"
e2e_reject "$log/en-user.reg2" "UninstallString"

echo "-- A running product stops the uninstall; declining changes nothing"
install_demo "$log/en-install3" "$en" "&Install" "&Finish" "I &Agree" "&Next >"
e2e_snapshot "$run/en-installed"
e2e_start "$log/en-app.out" "$installed/TavrelDemo.exe"
app=$E2E_PID
e2e_drive "$log/en-app" wait "Tavrel Demo"
start_uninstall "Tavrel Demo" CP437 "$log/en-running"
pid=$E2E_PID
e2e_drive "$log/en-running" msgbox 60000
e2e_expect "$log/en-running" "msgbox Uninstall - Tavrel Demo|Tavrel Demo program is running, please close it first."
e2e_exit_code "$pid" 2 "Uninst.exe (product running)"
e2e_drive "$log/en-app-close" wait "Tavrel Demo" close gone
wait "$app" || true
rm -f "$installed/launched.txt"
start_uninstall "Tavrel Demo" CP437 "$log/en-decline"
pid=$E2E_PID
e2e_drive "$log/en-decline" answer no 60000 nomsgbox 1000
e2e_exit_code "$pid" 1 "Uninst.exe (declined)"
wine_env_wait
e2e_snapshot "$run/en-declined"
e2e_same_as "$run/en-installed" "$run/en-declined" "running product and declined uninstall"
wine_env_stop

# --- Chinese ---------------------------------------------------------------------------------------
echo "-- Chinese: install, then uninstall through the uninstall entry"
export LANG=zh_CN.UTF-8
unset DISPLAY  # the English run's Xvfb has ended; the new prefix starts its own
e2e_prefix "$run/zh"
e2e_snapshot "$run/zh-before"
install_demo "$log/zh-install" "$zh" "安 装" "完 成" "我同意" "下一步"
start_uninstall "塔维演示" GBK "$log/zh-uninstall"
pid=$E2E_PID
e2e_drive "$log/zh-uninstall" answer yes 60000 msgbox
e2e_expect "$log/zh-uninstall" "msgbox 卸载 - 塔维演示|您确实要完全移除“塔维演示”及其所有组件吗？"
e2e_expect "$log/zh-uninstall" "msgbox 卸载 - 塔维演示|“塔维演示”已成功地从您的计算机中移除。"
e2e_exit_code "$pid" 0 "Uninst.exe (Chinese)"
wait_self_removal
e2e_snapshot "$run/zh-after"
e2e_same_as "$run/zh-before" "$run/zh-after" "Chinese install and uninstall"
wine_env_stop

echo "uninstall e2e passed"
