#!/usr/bin/env bash
# A product of its own publisher, made outside the repository (tests/e2e/make-product.sh) with
# every [publisher] and [texts] key, installed and uninstalled under Wine in English and Chinese:
# page 3 proposes Program Files\<Folder>\<program>, page 2 shows the licence file's text, the
# uninstall entry names the product's publisher and web address with the uninstaller's path in
# quotes, and the uninstall run through that entry leaves the drive and the registry as they were,
# the publisher's folder included.
set -euo pipefail
# 32-bit programs run natively or emulated (scripts/with-i386; scripts/test runs stages so).
[ -n "${STP_I386:-}" ] || exec bash "$(dirname "$0")/../with-i386" bash "$0" "$@"
cd "${1:-$(dirname "$0")/../..}"
# shellcheck source=/dev/null
source tests/e2e/e2e-lib.sh
unset DISPLAY

e2e_build
stub_dir=$E2E_WIN/stubs
stptool=$E2E_NATIVE/tools/stptool

run=$E2E_ROOT/build/publisher-e2e
rm -rf "$run"
mkdir -p "$run/log"
log=$run/log
product=$(mktemp -d)/zephyr
trap 'rm -rf "$(dirname "$product")"' EXIT
bash tests/e2e/make-product.sh "$product" "$E2E_APP"

# Licences of about 40,000 characters: tabs, blank lines, LF line ends in English (a BOM too),
# CRLF in Chinese.
python3 - "$product" <<'PY'
import sys
dir = sys.argv[1]
en = ["Zephyr Works End User Licence", "", "\tSection\tone: read carefully."]
en += [f"{n:05d} The software is provided as is; Zephyr Works keeps every right." for n in range(600)]
open(f"{dir}/license-en.txt", "w", encoding="utf-8", newline="").write("\ufeff" + "\n".join(en) + "\n")
cn = ["西风工作室 最终用户许可协议", ""]
cn += [f"{n:05d} 本软件按原样提供，西风工作室保留一切权利，未经许可不得用于商业用途。" for n in range(1000)]
open(f"{dir}/license-cn.txt", "w", encoding="utf-8", newline="").write("\r\n".join(cn))
PY
cat >>"$product/product.ini" <<'INI'
[publisher]
Name = Zephyr Works
NameCn = 西风工作室
Url = https://zephyr.example/
UrlCn = https://zephyr.example/cn/
Folder = Zephyr Works
[texts]
License = license-en.txt
LicenseCn = license-cn.txt
INI
(cd "$product" && "$stptool" build product.ini -o "$run/setup.exe" --stub-dir "$stub_dir" \
  >"$log/build.out" 2>&1) || { cat "$log/build.out"; e2e_fail "stptool build failed"; }
"$stptool" info "$run/setup.exe" >"$log/info.out"
e2e_expect "$log/info.out" "1013	publisher.Name	Zephyr Works"
e2e_expect "$log/info.out" "1017	publisher.Folder	Zephyr Works"
e2e_expect "$log/info.out" "1018	texts.License	"

# The text a dump shows for a licence file: line ends as \n, a BOM dropped, the rest unchanged.
dump_text() {  # FILE
  python3 -c 'import sys; t = open(sys.argv[1], encoding="utf-8-sig", newline="").read()
print(t.replace("\r\n", "\n").replace("\n", "\\n"))' "$1"
}

# The prefix's files (without the temporary folders and Wine's font cache) and its uninstall
# entries.
snapshot() {  # OUT
  {
    (cd "$WINEPREFIX/drive_c" && find . -printf '%p %y\n')
    (cd "$HOME" && find . -printf 'home/%p %y\n')
  } | grep -Ev '/[Tt]emp(/|$)|/windows/(Fonts|system32/(wbem|catroot))' | sort >"$1.files"
  wine reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall' /s >"$1.reg" 2>&1 </dev/null || true
  wine_env_wait
}

walk() {  # LANG-TAG TITLE NEXT AGREE INSTALL FINISH LAUNCH NAME OEM LICENSE PUBLISHER URL
  local tag=$1 title=$2 next=$3 agree=$4 install=$5 finish=$6 launch=$7 name=$8 oem=$9
  local license=${10} publisher=${11} url=${12}
  e2e_prefix "$run/$tag"
  snapshot "$run/$tag-before"
  echo "-- $tag: the wizard"
  e2e_start "$log/$tag-setup.out" "$run/setup.exe"
  local setup=$E2E_PID
  e2e_drive "$log/$tag-2" wait "$title" 60000 click "$next" dump
  e2e_shot "publisher-$tag-2-license"
  # Page 2's licence box holds the file's text, every character.
  dump_text "$product/$license" >"$log/$tag-license.expected"
  grep -E '^control Edit\|vis\|' "$log/$tag-2" | cut -d'|' -f5- >"$log/$tag-license.shown"
  grep -qxF -f "$log/$tag-license.expected" "$log/$tag-license.shown" ||
    e2e_fail "page 2 does not show $license as written: $log/$tag-license.shown"
  e2e_drive "$log/$tag-3" wait "$title" click "$agree" dump
  local folder
  folder=$(grep -E '^control Edit\|vis\|' "$log/$tag-3" | cut -d'|' -f5- | grep -E '^C:\\Program Files' | head -n1)
  [[ $folder == *'\Zephyr Works\Zephyr' ]] || e2e_fail "page 3 proposes '$folder'"
  e2e_drive "$log/$tag-4" wait "$title" click "$install" until "$finish" 120000 \
    check "$launch" 0 click "$finish" gone
  e2e_exit_code "$setup" 0 "setup.exe ($tag)"
  e2e_uninstall_entry "$name" "$oem" "$log/$tag-reg"
  e2e_expect "$log/$tag-reg" "Publisher    REG_SZ    $publisher"
  e2e_expect "$log/$tag-reg" "URLInfoAbout    REG_SZ    $url"
  e2e_expect "$log/$tag-reg" "UninstallString    REG_SZ    \"$folder\\Uninst.exe\""

  echo "-- $tag: uninstall through the entry's UninstallString"
  local command
  command=$(sed -n 's/^ *UninstallString *REG_SZ *//p' "$log/$tag-reg")
  command=${command#\"}
  command=${command%\"}
  e2e_start "$log/$tag-uninstall.out" "$command"
  local pid=$E2E_PID
  e2e_drive "$log/$tag-uninstall" answer yes 60000 msgbox
  e2e_exit_code "$pid" 0 "Uninst.exe ($tag)"
  local installed publisher_dir i
  installed=$(e2e_unix_path "$folder")
  publisher_dir=$(dirname "$installed")
  for ((i = 0; i < 200; i++)); do
    [ -e "$publisher_dir" ] || break
    sleep 0.1
  done
  [ ! -e "$publisher_dir" ] || e2e_fail "the publisher's folder $publisher_dir is left"
  snapshot "$run/$tag-after"
  local part
  for part in files reg; do
    diff "$run/$tag-before.$part" "$run/$tag-after.$part" >"$log/$tag-$part.diff" ||
      e2e_fail "$tag: install and uninstall changed the prefix's $part: $log/$tag-$part.diff"
  done
  wine_env_stop
}

export LANG=C.UTF-8
walk en "Setup - Zephyr Notes" "&Next >" "I &Agree" "&Install" "&Finish" "Launch Zephyr Notes" \
  "Zephyr Notes" CP437 license-en.txt "Zephyr Works" "https://zephyr.example/"
export LANG=zh_CN.UTF-8
unset DISPLAY
walk zh "安装向导 - 西风笔记" "下一步" "我同意" "安 装" "完 成" "立即运行软件" \
  "西风笔记" GBK license-cn.txt "西风工作室" "https://zephyr.example/cn/"
echo "publisher e2e passed; screenshots in $E2E_SHOTS"
