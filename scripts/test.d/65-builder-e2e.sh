#!/usr/bin/env bash
# A product made outside the repository, built into a setup by `stptool build` and installed
# under Wine with the same walks as the demo, in English and in Chinese: other names, a Chinese
# display name, nested payload folders and its own pictures (tests/e2e/make-product.sh).
# Also: stptool.exe under Wine builds the same bytes as the Linux stptool (fixed --seed), with
# other numbers of jobs.
set -euo pipefail
# 32-bit programs run natively or emulated (scripts/with-i386; scripts/test runs stages so).
[ -n "${STP_I386:-}" ] || exec bash "$(dirname "$0")/../with-i386" bash "$0" "$@"
cd "${1:-$(dirname "$0")/../..}"
# shellcheck source=/dev/null
source tests/e2e/e2e-lib.sh
unset DISPLAY

e2e_build
cmake --build "$E2E_WIN" -j"$(nproc)" --target setup_stub uninst_stub stptool >/dev/null
stub_dir=$(dirname "$(find "$E2E_WIN" -name setup-stub.exe -not -path '*/CMakeFiles/*' | head -n1)")
stptool=$E2E_NATIVE/tools/stptool
stptool_exe=$E2E_WIN/tools/stptool.exe

run=$E2E_ROOT/build/builder-e2e
rm -rf "$run"
mkdir -p "$run/log"
log=$run/log
# The product folder lies outside the repository; its main program is a copy of the demo program
# (which writes launched.txt beside itself when started).
product=$(mktemp -d)/zephyr
trap 'rm -rf "$(dirname "$product")"' EXIT
# Beside it, a file over 16 MiB (compressed as zlib's stream) and one that does not compress
# (stored blocks), so that the comparison of the two builds below covers both compressors.
extra=$(dirname "$product")/extra
mkdir -p "$extra/media"
seq 1 3000000 >"$extra/media/numbers.txt"  # about 20.9 MB of text, cut to 17,000,000 bytes
truncate -s 17000000 "$extra/media/numbers.txt"
head -c 3000000 /dev/urandom >"$extra/media/noise.bin"
bash tests/e2e/make-product.sh "$product" "$E2E_APP" "$extra"

echo "-- stptool build (Linux) and stptool.exe build (Wine) give the same bytes"
(cd "$product" && "$stptool" build product.ini -o "$run/setup.exe" --stub-dir "$stub_dir" \
  --seed 7 --jobs 1 >"$log/build.out" 2>&1) || { cat "$log/build.out"; e2e_fail "stptool build failed"; }
"$stptool" verify "$run/setup.exe" >"$log/verify.out" || e2e_fail "built setup not sound: $log/verify.out"
e2e_prefix "$run/tool"
wine_env_run "$log/build-wine" "$stptool_exe" build "$product/product.ini" \
  -o "$run/setup-wine.exe" --stub-dir "$stub_dir" --seed 7 --jobs 3 ||
  e2e_fail "stptool.exe build failed: $log/build-wine.err"
wine_env_stop
cmp "$run/setup.exe" "$run/setup-wine.exe" || e2e_fail "stptool.exe under Wine built other bytes"
echo "same $(stat -c %s "$run/setup.exe") bytes from both"

payload=$product/files
en="Setup - Zephyr Notes"
zh="安装向导 - 西风笔记"
app_title="Tavrel Demo"  # the copied demo program keeps its own window title

# --- English ----------------------------------------------------------------------------------
unset DISPLAY  # the tool run's Xvfb has ended; the new prefix starts its own
e2e_prefix "$run/en"
export LANG=C.UTF-8
echo "-- English wizard, pages 1 to 4"
e2e_start "$log/en-setup.out" "$run/setup.exe"
setup=$E2E_PID
e2e_drive "$log/en-1" wait "$en" 60000 dump
e2e_shot builder-en-1-welcome
e2e_shown "$log/en-1" "Welcome to the Zephyr Notes 2.5 Setup Wizard"
e2e_button "$log/en-1" "vis|ena" "&Next >"
e2e_drive "$log/en-2" wait "$en" click "&Next >" dump
e2e_shown "$log/en-2" "License Agreement"
e2e_drive "$log/en-3" wait "$en" click "I &Agree" dump
e2e_shot builder-en-3-folder
e2e_shown "$log/en-3" "Select Destination Location"
e2e_expect "$log/en-3" '\Zephyr'
target='C:\Zephyr Test\Notes'
e2e_drive "$log/en-3-typed" wait "$en" type "$target" dump
e2e_button "$log/en-3-typed" "vis|ena" "&Install"
e2e_drive "$log/en-4" wait "$en" click "&Install" until "&Finish" 120000 dump
e2e_shot builder-en-4-finish
e2e_shown "$log/en-4" "Completing the Zephyr Notes Setup Wizard"
e2e_expect "$log/en-4" "|pos=100"
installed=$(e2e_unix_path "$target")
diff -r --exclude=Uninst.exe "$payload" "$installed" >"$log/en-diff" 2>&1 ||
  e2e_fail "installed files differ: $log/en-diff"
[ -f "$installed/docs/guide/en/start.txt" ] || e2e_fail "the nested payload folder is missing"
lnk=$(find -L "$WINEPREFIX/drive_c/users" "$HOME" -name 'Zephyr Notes.lnk' -path '*Desktop*' 2>/dev/null | head -n1)
[ -n "$lnk" ] || e2e_fail "no desktop shortcut"
lnkinfo "$lnk" >"$log/en-lnk" 2>&1
e2e_expect "$log/en-lnk" 'C:\Zephyr Test\Notes\Zephyr.exe'
e2e_uninstall_entry "Zephyr Notes" CP437 "$log/en-reg"
e2e_expect "$log/en-reg" 'DisplayName    REG_SZ    Zephyr Notes'
e2e_expect "$log/en-reg" 'DisplayVersion    REG_SZ    2.5'
e2e_expect "$log/en-reg" 'DisplayIcon    REG_SZ    C:\Zephyr Test\Notes\Zephyr.exe'
e2e_drive "$log/en-5" wait "$en" click "&Finish" gone
e2e_exit_code "$setup" 0 "setup.exe (installed)"
e2e_wait_file "$installed/launched.txt" 20 || e2e_fail "the product was not started on Finish"
e2e_drive "$log/en-app" wait "$app_title" close gone
wine_env_stop

# --- Chinese, code page 936 -------------------------------------------------------------------
echo "-- Chinese wizard, pages 1 to 4"
export LANG=zh_CN.UTF-8
unset DISPLAY
e2e_prefix "$run/zh"
e2e_start "$log/zh-setup.out" "$run/setup.exe"
setup=$E2E_PID
e2e_drive "$log/zh-1" wait "$zh" 60000 dump
e2e_shot builder-zh-1-welcome
e2e_shown "$log/zh-1" "欢迎使用 西风笔记 V2.5"
e2e_drive "$log/zh-2" wait "$zh" click "下一步" dump
e2e_shown "$log/zh-2" "西风笔记 用户许可协议"
e2e_drive "$log/zh-3" wait "$zh" click "我同意" type 'C:\西风 测试' dump
e2e_button "$log/zh-3" "vis|ena" "安 装"
e2e_drive "$log/zh-4" wait "$zh" click "安 装" until "完 成" 120000 dump
e2e_shot builder-zh-4-finish
e2e_shown "$log/zh-4" "西风笔记 V2.5 安装成功。"
e2e_uninstall_entry "西风笔记" GBK "$log/zh-reg"
e2e_expect "$log/zh-reg" 'DisplayName    REG_SZ    西风笔记'
e2e_drive "$log/zh-5" wait "$zh" click "完 成" gone
e2e_exit_code "$setup" 0 "setup.exe (Chinese)"
zh_installed=$(e2e_unix_path 'C:\西风 测试')
e2e_wait_file "$zh_installed/launched.txt" 20 || e2e_fail "the product was not started on Finish"
diff -r --exclude=launched.txt --exclude=Uninst.exe "$payload" "$zh_installed" >"$log/zh-diff" 2>&1 ||
  e2e_fail "installed files differ: $log/zh-diff"
e2e_drive "$log/zh-app" wait "塔维演示" close gone
wine_env_stop
echo "builder e2e passed; screenshots in $E2E_SHOTS"
