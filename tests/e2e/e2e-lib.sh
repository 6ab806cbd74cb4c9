# Helpers for running the demo product's setup.exe under Wine, shared by the end-to-end stage
# (scripts/test.d/60-setup-e2e.sh) and scripts/demo. Source from bash with the repository as the
# current folder.
#
#   e2e_build               native stptool, then the Windows product tree (setup.exe, the demo
#                           program, the driver); sets E2E_SETUP E2E_DRIVER E2E_APP E2E_PAYLOAD
#   e2e_prefix DIR [win32]  a fresh Wine prefix in DIR (scripts/wine-env.sh), 64-bit unless win32
#                           is given (Windows XP runs), made ready for the wizard: fonts, Chinese
#                           font fallback (e2e_fonts), a virtual desktop; sets E2E_PROGRAM_FILES,
#                           the Program Files folder the programs see there
#   e2e_drive LOG STEPS...  runs the driver (tests/e2e/driver) with STEPS; output in LOG
#   e2e_shot NAME           screenshot of the virtual desktop to build/screenshots/NAME.png
#   e2e_expect LOG TEXT     fails unless LOG holds a line containing TEXT
#   e2e_reject LOG TEXT     fails if LOG holds a line containing TEXT
#   e2e_snapshot OUT        the prefix's files and registry, for e2e_same_as BEFORE AFTER WHAT
#   e2e_wait_gone PATH      waits (20 s at most) until PATH (Unix) is removed, e.g. by the
#                           uninstaller's copy in the temporary folder, then for the prefix to idle

#
# The programs are the shipped 32-bit ones; a benchmark may set STP_WIN_ARCH=x86_64 first
# (scripts/win-arch). 32-bit programs need scripts/with-i386 around the caller where the kernel
# executes no 32-bit code (scripts/wine-env.sh says so otherwise).

E2E_ROOT=$PWD
export STP_WIN_ARCH=${STP_WIN_ARCH:-i686}
E2E_NATIVE=${E2E_NATIVE:-$E2E_ROOT/build/native}
# The 32-bit tree keeps its old name; a 64-bit one has its own.
if [ "$STP_WIN_ARCH" = i686 ]; then
  E2E_WIN=${E2E_WIN:-$E2E_ROOT/build/win32-setup}
else
  E2E_WIN=${E2E_WIN:-$E2E_ROOT/build/win-setup-$STP_WIN_ARCH}
fi
E2E_SHOTS=$E2E_ROOT/build/screenshots
E2E_DESKTOP=800x600

e2e_fail() {
  echo "FAIL: $*" >&2
  exit 1
}

e2e_build() {
  local jobs
  jobs=$(nproc)
  cmake -S "$E2E_ROOT" -B "$E2E_NATIVE" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$E2E_NATIVE" -j"$jobs" --target stptool >/dev/null
  # Small product binaries: size-optimised. (Per-function sections make this binary larger:
  # the unwind tables keep every function alive, so the linker drops nothing.)
  cmake -S "$E2E_ROOT" -B "$E2E_WIN" \
    -DCMAKE_TOOLCHAIN_FILE="$E2E_ROOT/cmake/toolchain-mingw32-win32.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DSTP_TESTS=OFF \
    -DCMAKE_C_FLAGS= -DCMAKE_CXX_FLAGS= \
    -DSTPTOOL="$E2E_NATIVE/tools/stptool" >/dev/null
  cmake --build "$E2E_WIN" -j"$jobs" --target setup_demo demo_app wizard_driver >/dev/null
  E2E_SETUP=$E2E_WIN/products/setup_demo/setup.exe
  E2E_DRIVER=$E2E_WIN/tests/e2e/driver/driver.exe
  E2E_APP=$E2E_WIN/products/demo/app/TavrelDemo.exe
  # The payload as stptool build packed it, apart from the Uninst.exe it adds.
  E2E_PAYLOAD=$E2E_WIN/products/setup_demo.dir/payload
}

e2e_prefix() {
  # shellcheck source=/dev/null
  source "$E2E_ROOT/scripts/wine-env.sh" "$1" "${2:-win64}"
  # A 32-bit program on 64-bit Windows is given the 32-bit Program Files folder.
  E2E_PROGRAM_FILES='C:\Program Files'
  if [ "$WINEARCH" = win64 ] && [ "$STP_WIN_ARCH" = i686 ]; then
    E2E_PROGRAM_FILES='C:\Program Files (x86)'
  fi
  # Every program of the prefix in one virtual desktop: windows get frames for the screenshots,
  # and the driver sees the wizard's windows.
  e2e_fonts '[HKEY_CURRENT_USER\Software\Wine\Explorer]' '"Desktop"="Default"' \
    '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]' "\"Default\"=\"$E2E_DESKTOP\""
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}

# The fonts the wizard is drawn with, in the current prefix; further registry lines (REGEDIT
# text) go in with them.
e2e_fonts() {
  # Wine's Tahoma and Marlett (caption buttons) from fonts-wine, as every Windows has them.
  cp /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf \
    /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  # A Chinese Windows has SimSun ("宋体"), to which Tahoma links for Chinese characters; here the
  # WenQuanYi font stands in for it.
  e2e_reg_import fonts '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"SimSun"="WenQuanYi Micro Hei"' '"宋体"="WenQuanYi Micro Hei"' "$@"
}

# Imports registry lines (REGEDIT text: "[key]" and "name"="value" lines) into the current prefix
# with one reg process: where 32-bit programs run emulated, every start of one counts.
e2e_reg_import() {  # NAME LINES...
  local file=$STP_WINE_DIR/logs/$1.reg
  shift
  { printf '\xff\xfe'
    { printf 'Windows Registry Editor Version 5.00\r\n\r\n'; printf '%s\r\n' "$@"; } |
      iconv -f UTF-8 -t UTF-16LE; } >"$file"
  wine reg import "$file" >>"$STP_WINE_DIR/logs/reg.log" 2>&1 </dev/null
}

e2e_drive() {
  local log=$1
  shift
  local rc=0
  wine "$E2E_DRIVER" "$@" >"$log" 2>"$log.err" </dev/null || rc=$?
  if ((rc != 0)); then
    echo "driver failed ($rc) in $log:" >&2
    tail -5 "$log" >&2
    return "$rc"
  fi
}

e2e_shot() {
  mkdir -p "$E2E_SHOTS"
  import -window root -crop "${E2E_DESKTOP}+0+0" +repage "$E2E_SHOTS/$1.png"
}

e2e_expect() {
  grep -qF -- "$2" "$1" || e2e_fail "$1 lacks: $2"
}

e2e_reject() {
  if grep -qF -- "$2" "$1"; then e2e_fail "$1 has: $2"; fi
}

# A push button with the given state and caption in a dump (lines class|vis|ena|bounds|caption).
e2e_button() {  # LOG STATE CAPTION, STATE one of vis|ena vis|dis hid
  grep -E "^control Button\|$2\|" "$1" | awk -F'|' -v c="$3" '$NF == c { f = 1 } END { exit !f }' ||
    e2e_fail "$1: no $2 button $3"
}

# A control shown (or hidden) with text starting with TEXT; visibility counts the parents too.
e2e_shown() {
  grep -E '^control [^|]+\|vis\|' "$1" | grep -qF -- "|$2" || e2e_fail "$1: nothing visible shows $2"
}

e2e_hidden() {
  if grep -E '^control [^|]+\|vis\|' "$1" | grep -qF -- "|$2"; then
    e2e_fail "$1: visible: $2"
  fi
}

# Starts a Windows program in the background; its pid in E2E_PID.
e2e_start() {  # LOG PROGRAM ARGS...
  local log=$1
  shift
  wine "$@" >"$log" 2>&1 </dev/null &
  E2E_PID=$!
}

# Waits for a program started by e2e_start and checks its exit code.
e2e_exit_code() {  # PID EXPECTED WHAT
  local rc=0
  wait "$1" || rc=$?
  ((rc == $2)) || e2e_fail "$3 ended with exit code $rc, expected $2"
}

# Unix path of a Windows path in the current prefix. Paths on C: are mapped here (drive_c, names
# as they stand); others are asked of winepath.
e2e_unix_path() {
  if [[ $1 == [Cc]:\\* ]]; then
    local rest=${1:3}
    echo "$WINEPREFIX/drive_c/${rest//\\//}"
    return
  fi
  local out=$STP_WINE_DIR/logs/winepath.out
  winepath -u "$1" >"$out" 2>/dev/null </dev/null
  head -n1 "$out"
}

# The uninstall entry of a display name, as UTF-8 text (reg prints in the OEM code page).
e2e_uninstall_entry() {  # NAME OEM_CODEPAGE OUT
  local raw=$STP_WINE_DIR/logs/reg-query.raw
  wine reg query "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$1" \
    >"$raw" 2>&1 </dev/null || true
  iconv -f "$2" -t UTF-8 "$raw" | tr -d '\r' >"$3"
}

# Waits up to SECONDS for a file to appear.
e2e_wait_file() {  # FILE SECONDS
  local i
  for ((i = 0; i < $2 * 10; i++)); do
    [ -e "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

# The prefix as the comparison sees it: every file below drive_c and the user's home (where the
# desktop lives) with its size, and the exported HKLM\SOFTWARE and HKCU. The temporary folders
# are left out while Windows has not restarted: the uninstaller's copy waits there for the next
# start. Wine's own cache of fonts changes with every program start and is left out too.
e2e_wait_gone() {  # UNIX-PATH
  local i
  for ((i = 0; i < 200; i++)); do
    [ -e "$1" ] || break
    sleep 0.1
  done
  [ ! -e "$1" ] || e2e_fail "$1 was not removed"
  wine_env_wait
}

e2e_snapshot() {  # OUT [with-temp]
  local out=$1 exclude='/[Tt]emp(/|$)'
  [ "${2:-}" = with-temp ] && exclude='^$'
  {
    (cd "$WINEPREFIX/drive_c" && find . -printf '%p %y %s\n') | grep -Ev "$exclude"
    (cd "$HOME" && find . -printf 'home/%p %y %s\n') | grep -Ev "$exclude"
  } | grep -Ev '/windows/(Fonts|system32/(wbem|catroot))' | sort >"$out.files"
  wine reg export 'HKLM\SOFTWARE' "$out.hklm.raw" /y >/dev/null 2>&1 </dev/null
  wine reg export 'HKCU' "$out.hkcu.raw" /y >/dev/null 2>&1 </dev/null
  local hive
  for hive in hklm hkcu; do
    # UTF-16 exports. Wine keeps keys of its own that come and go with its helper programs: the
    # session's display settings ("Temporary System Parameters") and the console defaults that
    # its console host writes when a console program first runs. Those sections are left out.
    iconv -f UTF-16LE -t UTF-8 "$out.$hive.raw" | tr -d '\r' |
      awk '/^\[/ { skip = index($0, "\\Software\\Wine\\Temporary System Parameters") > 0 ||
                         index($0, "[HKEY_CURRENT_USER\\Console") == 1 }
           !skip' >"$out.$hive"
  done
  wine_env_wait
}

e2e_same_as() {  # BEFORE AFTER WHAT
  local part
  for part in files hklm hkcu; do
    if ! diff "$1.$part" "$2.$part" >"$2.$part.diff"; then
      e2e_fail "$3: $part changed (see $2.$part.diff)"
    fi
  done
}
