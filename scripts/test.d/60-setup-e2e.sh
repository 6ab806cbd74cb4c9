#!/usr/bin/env bash
# End to end: the demo product's real setup.exe (the shipped 32-bit program) under Wine, driven from
# outside by clicking its buttons by their captions (tests/e2e/driver). English with the default
# locale (code page 1252), Chinese with zh_CN.UTF-8 (936); Windows 7 in a 64-bit prefix (the
# 32-bit registry view, "Program Files (x86)") and, with winecfg, Windows XP in a 32-bit prefix.
# Screenshots of every page go to build/screenshots/.
set -euo pipefail
# 32-bit programs run natively or emulated (scripts/with-i386; scripts/test runs stages so).
[ -n "${STP_I386:-}" ] || exec bash "$(dirname "$0")/../with-i386" bash "$0" "$@"
cd "${1:-$(dirname "$0")/../..}"
# shellcheck source=/dev/null
source tests/e2e/e2e-lib.sh
# Our own screen (Xvfb) even when the caller has a display: screenshots show only the wizard.
unset DISPLAY

e2e_build
bash scripts/check-xp-imports "$E2E_SETUP" "$E2E_APP"
echo "setup.exe: $(stat -c %s "$E2E_SETUP") bytes"

run=$E2E_ROOT/build/e2e-run
rm -rf "$run"
mkdir -p "$run/log" "$run/app" "$run/damaged" "$E2E_SHOTS"
log=$run/log
# The demo program writes launched.txt beside itself: run a copy, not the build output.
cp "$E2E_APP" "$run/app/"
app=$run/app/TavrelDemo.exe
# A setup whose package is damaged: the first member's deflate data gets an invalid block type.
# The package is the resource StpFile/SETUPPACKAGE, found by walking the resource directory.
python3 - "$E2E_SETUP" "$run/damaged/setup.exe" <<'PY'
import struct, sys
exe = bytearray(open(sys.argv[1], 'rb').read())
u16 = lambda at: struct.unpack_from('<H', exe, at)[0]
u32 = lambda at: struct.unpack_from('<I', exe, at)[0]
pe = u32(60)
opt = pe + 24
sections = [struct.unpack_from('<8sIIII', exe, opt + u16(pe + 20) + 40 * i) for i in range(u16(pe + 6))]
def offset(rva):
    return next(raw + rva - va for _, vsize, va, size, raw in sections if va <= rva < va + size)
data_dirs = opt + (96 if u16(opt) == 0x10B else 112)  # PE32 or PE32+
root = offset(u32(data_dirs + 8 * 2))
def entries(table):
    return [(u32(table + 16 + 8 * i), u32(table + 20 + 8 * i)) for i in range(u16(table + 12) + u16(table + 14))]
def name(key):
    at = root + (key & 0x7FFFFFFF)
    return exe[at + 2:at + 2 + 2 * u16(at)].decode('utf-16-le') if key & 0x80000000 else key
def child(table, wanted):
    return next(root + (target & 0x7FFFFFFF) for key, target in entries(table) if name(key) == wanted)
languages = child(child(root, 'STPFILE'), 'SETUPPACKAGE')
data = root + entries(languages)[0][1]
at = offset(u32(data))
assert exe[at] == 0x78, 'no zlib stream at the package start'
exe[at + 2] = 0xFF
open(sys.argv[2], 'wb').write(exe)
PY

en="Setup - Tavrel Demo"
zh="安装向导 - 塔维演示"

# --- English, Windows 7 ---------------------------------------------------------------------------
e2e_prefix "$run/en"
export LANG=C.UTF-8
echo "-- English wizard, pages 1 to 4"
start=$(date +%s%N)
e2e_start "$log/en-setup.out" "$E2E_SETUP"
setup=$E2E_PID
e2e_drive "$log/en-1" wait "$en" 60000
shown=$(date +%s%N)
e2e_drive "$log/en-1" wait "$en" size dump
e2e_shot en-1-welcome
e2e_expect "$log/en-1" "size 503 398"
e2e_shown "$log/en-1" "Welcome to the Tavrel Demo 1.0 Setup Wizard"
e2e_button "$log/en-1" "vis|ena" "&Next >"
e2e_button "$log/en-1" hid "< &Back"
e2e_button "$log/en-1" "vis|ena" "Cancel"

e2e_drive "$log/en-2" wait "$en" click "&Next >" dump
e2e_shot en-2-license
e2e_shown "$log/en-2" "License Agreement"
e2e_shown "$log/en-2" "End User License Agreement"
e2e_hidden "$log/en-2" "Welcome to the"
e2e_button "$log/en-2" "vis|ena" "I &Agree"
e2e_button "$log/en-2" "vis|ena" "< &Back"
e2e_drive "$log/en-2-back" wait "$en" click "< &Back" dump click "&Next >"
e2e_shown "$log/en-2-back" "Welcome to the Tavrel Demo 1.0 Setup Wizard"
e2e_hidden "$log/en-2-back" "License Agreement"
e2e_button "$log/en-2-back" hid "< &Back"

e2e_drive "$log/en-3" wait "$en" click "I &Agree" dump
e2e_shown "$log/en-3" "Select Destination Location"
proposed="$E2E_PROGRAM_FILES\\Tavrel Soft\\TavrelDemo"
e2e_shown "$log/en-3" "$proposed"
e2e_shown "$log/en-3" "Space available: "
e2e_shown "$log/en-3" "Create a desktop icon"
e2e_hidden "$log/en-3" "Create a Quick Launch icon"
e2e_button "$log/en-3" "vis|ena" "&Install"
# The keyboard reaches the controls inside the panels and the group box.
e2e_drive "$log/en-3-keys" wait "$en" tab 0 tab 1 tab 1
e2e_expect "$log/en-3-keys" "focus Button|&Install"
e2e_expect "$log/en-3-keys" "focus Edit|$proposed"
e2e_expect "$log/en-3-keys" "focus Button|&Browse..."

# Folders that are not on a fixed drive, or not drive + ":\", disable Install.
for folder in 'Q:\Nowhere' 'C:Demo' '\\server\share'; do
  e2e_drive "$log/en-3-bad" wait "$en" type "$folder" dump
  e2e_button "$log/en-3-bad" "vis|dis" "&Install"
  e2e_hidden "$log/en-3-bad" "Space available: "
done
target='C:\Tavrel Test\Demo'
e2e_drive "$log/en-3-typed" wait "$en" type "$target" click "< &Back" click "I &Agree" dump
e2e_shot en-3-folder
e2e_shown "$log/en-3-typed" "$target"
e2e_button "$log/en-3-typed" "vis|ena" "&Install"

echo "-- English install into $target"
e2e_drive "$log/en-4" wait "$en" click "&Install" until "&Finish" 120000 dump
e2e_shot en-4-finish
e2e_shown "$log/en-4" "Completing the Tavrel Demo Setup Wizard"
e2e_shown "$log/en-4" "Launch Tavrel Demo"
e2e_button "$log/en-4" hid "< &Back"
e2e_button "$log/en-4" hid "Cancel"
e2e_expect "$log/en-4" "|pos=100"
# The banner moved onto the completion page.
e2e_expect "$log/en-4" "control Static|vis|ena|0,0,160,308|"

installed=$(e2e_unix_path "$target")
diff -r --exclude=Uninst.exe "$E2E_PAYLOAD" "$installed" >"$log/en-diff" 2>&1 ||
  e2e_fail "installed files differ: $log/en-diff"
[ -s "$installed/Uninst.exe" ] || e2e_fail "stptool build added no Uninst.exe to the payload"
[ ! -e "$installed/Setup.stp" ] || e2e_fail "Setup.stp left in $installed"
lnk=$(find -L "$WINEPREFIX/drive_c/users" "$HOME" -name 'Tavrel Demo.lnk' -path '*Desktop*' 2>/dev/null | head -n1)
[ -n "$lnk" ] || e2e_fail "no desktop shortcut"
lnkinfo "$lnk" >"$log/en-lnk" 2>&1
e2e_expect "$log/en-lnk" 'C:\Tavrel Test\Demo\TavrelDemo.exe'
e2e_uninstall_entry "Tavrel Demo" CP437 "$log/en-reg"
e2e_expect "$log/en-reg" 'DisplayName    REG_SZ    Tavrel Demo'
e2e_expect "$log/en-reg" 'DisplayVersion    REG_SZ    1.0'
e2e_expect "$log/en-reg" 'DisplayIcon    REG_SZ    C:\Tavrel Test\Demo\TavrelDemo.exe'
e2e_expect "$log/en-reg" 'Publisher    REG_SZ    Tavrel Software'
# Quoted: the path holds a space.
e2e_expect "$log/en-reg" 'UninstallString    REG_SZ    "C:\Tavrel Test\Demo\Uninst.exe"'
grep -E 'URLInfoAbout +REG_SZ +https?://[^/]+/$' "$log/en-reg" >/dev/null ||
  e2e_fail "URLInfoAbout is not a bare home page address: $log/en-reg"

echo "-- Finish starts the product and closes the wizard"
e2e_drive "$log/en-5" wait "$en" click "&Finish" gone
e2e_exit_code "$setup" 0 "setup.exe (installed)"
e2e_wait_file "$installed/launched.txt" 20 || e2e_fail "the product was not started on Finish"
e2e_drive "$log/en-app" wait "Tavrel Demo" close gone

echo "-- A second run proposes the first installation's folder; an impossible folder is refused"
e2e_start "$log/en-setup2.out" "$E2E_SETUP"
setup=$E2E_PID
e2e_drive "$log/en-6" wait "$en" click "&Next >" click "I &Agree" dump
e2e_shown "$log/en-6" "$target"
# A file stands where a folder of the path would have to be created.
e2e_drive "$log/en-7" wait "$en" type 'C:\Tavrel Test\Demo\readme.txt\Sub' click "&Install" msgbox dump
e2e_expect "$log/en-7" "msgbox $en|Destination folder can't be created, need to select another folder."
e2e_shown "$log/en-7" "Select Destination Location"
e2e_button "$log/en-7" "vis|ena" "&Install"
e2e_drive "$log/en-8" wait "$en" click "Cancel" gone
e2e_exit_code "$setup" 0 "setup.exe (cancelled)"

echo "-- A damaged package shows the extraction message; the wizard stays usable on page 3"
e2e_start "$log/en-damaged.out" "$run/damaged/setup.exe"
setup=$E2E_PID
e2e_drive "$log/en-9" wait "$en" click "&Next >" click "I &Agree" type 'C:\Tavrel Damaged' \
  click "&Install" msgbox dump
e2e_expect "$log/en-9" "msgbox $en|An error occurred extracting files to the destination folder."
e2e_shown "$log/en-9" "Select Destination Location"
e2e_button "$log/en-9" "vis|ena" "&Install"
e2e_button "$log/en-9" "vis|ena" "< &Back"
e2e_button "$log/en-9" "vis|ena" "Cancel"
e2e_button "$log/en-9" "vis|ena" "&Browse..."
e2e_expect "$log/en-9" "msctls_progress32|hid|"
e2e_drive "$log/en-10" wait "$en" click "< &Back" click "I &Agree" click "Cancel" gone
e2e_exit_code "$setup" 0 "setup.exe (damaged package)"

echo "-- Refusal while the product runs"
e2e_start "$log/en-app2.out" "$app"
app_pid=$E2E_PID
e2e_drive "$log/en-11" wait "Tavrel Demo"
e2e_start "$log/en-refuse.out" "$E2E_SETUP"
setup=$E2E_PID
e2e_drive "$log/en-12" msgbox
e2e_expect "$log/en-12" "msgbox Setup|Tavrel Demo program is running, please close it first."
e2e_exit_code "$setup" 0 "setup.exe (refusal)"
e2e_drive "$log/en-13" wait "Tavrel Demo" close gone
wait "$app_pid" || true

wine_env_stop

# --- Windows XP, 32-bit prefix ------------------------------------------------------------------
echo "-- Windows XP: 385 pixels high, Quick Launch box and shortcut"
unset DISPLAY  # the English run's Xvfb has ended; the new prefix starts its own
e2e_prefix "$run/xp" win32
wine_env_winver winxp
profile_out=$STP_WINE_DIR/logs/profile.out
wine cmd /c 'echo %APPDATA%^|%USERPROFILE%' >"$profile_out" 2>/dev/null </dev/null
IFS='|' read -r appdata profile < <(tr -d '\r' <"$profile_out" | head -n1)
quick=$(e2e_unix_path "$appdata\\Microsoft\\Internet Explorer\\Quick Launch")
mkdir -p "$quick"
e2e_start "$log/xp-setup.out" "$E2E_SETUP"
setup=$E2E_PID
e2e_drive "$log/xp-1" wait "$en" 60000 size click "&Next >" click "I &Agree" dump
e2e_shot xp-3-folder
e2e_expect "$log/xp-1" "size 503 385"
e2e_shown "$log/xp-1" "Create a Quick Launch icon"
e2e_shown "$log/xp-1" "$E2E_PROGRAM_FILES\\Tavrel Soft\\TavrelDemo"
xp_target='C:\Tavrel XP'
e2e_drive "$log/xp-2" wait "$en" type "$xp_target" check "Create a desktop icon" 0 \
  click "&Install" until "&Finish" 120000 check "Launch Tavrel Demo" 0 click "&Finish" gone
e2e_exit_code "$setup" 0 "setup.exe (XP)"
[ -f "$quick/Tavrel Demo.lnk" ] || e2e_fail "no Quick Launch shortcut in $quick"
lnkinfo "$quick/Tavrel Demo.lnk" >"$log/xp-lnk" 2>&1
e2e_expect "$log/xp-lnk" 'C:\Tavrel XP\TavrelDemo.exe'
# The desktop box was unchecked.
desktop=$(e2e_unix_path "$profile\\Desktop")
[ ! -e "$desktop/Tavrel Demo.lnk" ] || e2e_fail "a desktop shortcut was made although unchecked"
sleep 2
[ ! -e "$(e2e_unix_path "$xp_target")/launched.txt" ] || e2e_fail "the product started although unchecked"
# The Quick Launch shortcut wins over a desktop one (the English run's, here with its program)
# when the folder is proposed; the window's close box ends the program at once.
mkdir -p "$desktop" "$(e2e_unix_path 'C:\Tavrel Test\Demo')"
cp "$lnk" "$desktop/"
cp "$app" "$(e2e_unix_path 'C:\Tavrel Test\Demo')/"
e2e_start "$log/xp-setup2.out" "$E2E_SETUP"
setup=$E2E_PID
e2e_drive "$log/xp-3" wait "$en" 60000 click "&Next >" click "I &Agree" dump close gone
e2e_shown "$log/xp-3" "$xp_target"
e2e_exit_code "$setup" 0 "setup.exe (XP, second run)"
wine_env_stop

# --- Chinese, code page 936 ---------------------------------------------------------------------
echo "-- Chinese wizard, pages 1 to 4"
export LANG=zh_CN.UTF-8
unset DISPLAY  # the XP run's Xvfb has ended; the new prefix starts its own
e2e_prefix "$run/zh"
e2e_start "$log/zh-setup.out" "$E2E_SETUP"
setup=$E2E_PID
e2e_drive "$log/zh-1" wait "$zh" 60000 dump
e2e_shot zh-1-welcome
e2e_shown "$log/zh-1" "欢迎使用 塔维演示 V1.0 安装\n向导"
e2e_button "$log/zh-1" "vis|ena" "下一步"
e2e_button "$log/zh-1" hid "上一步"
e2e_button "$log/zh-1" "vis|ena" "取 消"
e2e_reject "$log/zh-1" "Cancel"
e2e_drive "$log/zh-2" wait "$zh" click "下一步" dump
e2e_shot zh-2-license
e2e_shown "$log/zh-2" "在安装之前，请阅读许可协议"
e2e_shown "$log/zh-2" "塔维演示 用户许可协议"
e2e_button "$log/zh-2" "vis|ena" "我同意"
e2e_button "$log/zh-2" "vis|ena" "上一步"
e2e_drive "$log/zh-3" wait "$zh" click "我同意" type 'C:\Tavrel ZH' dump
e2e_shot zh-3-folder
e2e_shown "$log/zh-3" "选择安装位置并设置选项"
e2e_shown "$log/zh-3" "剩余空间: "
e2e_button "$log/zh-3" "vis|ena" "安 装"
e2e_button "$log/zh-3" "vis|ena" "浏览(&S)..."
e2e_drive "$log/zh-4" wait "$zh" click "安 装" until "完 成" 120000 dump
e2e_shot zh-4-finish
e2e_shown "$log/zh-4" "塔维演示 V1.0 安装成功。"
e2e_uninstall_entry "塔维演示" GBK "$log/zh-reg"
e2e_expect "$log/zh-reg" 'DisplayName    REG_SZ    塔维演示'
e2e_expect "$log/zh-reg" 'Publisher    REG_SZ    塔维软件工作室'
grep -E 'URLInfoAbout +REG_SZ +https?://[^/]+/index_chs\.shtml$' "$log/zh-reg" >/dev/null ||
  e2e_fail "URLInfoAbout is not the Chinese home page: $log/zh-reg"
e2e_drive "$log/zh-5" wait "$zh" click "完 成" gone
e2e_exit_code "$setup" 0 "setup.exe (Chinese)"
zh_installed=$(e2e_unix_path 'C:\Tavrel ZH')
e2e_wait_file "$zh_installed/launched.txt" 20 || e2e_fail "the product was not started on Finish"
diff -r --exclude=launched.txt --exclude=Uninst.exe "$E2E_PAYLOAD" "$zh_installed" >"$log/zh-diff" 2>&1 ||
  e2e_fail "installed files differ: $log/zh-diff"
e2e_drive "$log/zh-app" wait "塔维演示" close gone

echo "-- Chinese refusal names the edition that runs"
e2e_start "$log/zh-app2.out" "$app" /title "塔维演示"
app_pid=$E2E_PID
e2e_drive "$log/zh-6" wait "塔维演示"
e2e_start "$log/zh-refuse.out" "$E2E_SETUP"
setup=$E2E_PID
e2e_drive "$log/zh-7" msgbox
e2e_expect "$log/zh-7" "msgbox 安装向导|塔维演示正在运行，请先退出后再进行安装。"
e2e_exit_code "$setup" 0 "setup.exe (Chinese refusal)"
e2e_drive "$log/zh-8" wait "塔维演示" close gone
wait "$app_pid" || true
wine_env_stop

echo "start to wizard under Wine: $(((shown - start) / 1000000)) ms (first start in a fresh prefix)"
echo "setup e2e passed; screenshots in $E2E_SHOTS"
