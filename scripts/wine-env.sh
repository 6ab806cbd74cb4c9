# Sets up a fresh, private Wine environment for running Windows programs of this project.
#
# Source it from bash:   source scripts/wine-env.sh [RUN_DIR [win64|win32]]
#
# The programs are the shipped 32-bit ones (STP_WIN_ARCH=i686, the default) unless STP_WIN_ARCH
# says x86_64 (benchmarks on machines that execute no 32-bit code, scripts/win-arch). They run
# as most users meet them: in a 64-bit prefix (64-bit Windows: the registry's 32-bit view,
# "Program Files (x86)"; Wine's helper processes are 64-bit and run natively). A 32-bit prefix
# (win32) is for Windows XP runs. 32-bit programs need scripts/with-i386 around the caller
# wherever the kernel executes no 32-bit code (scripts/test runs every stage so).
#
# RUN_DIR (default: build/wine-run-$$ under the repository) is emptied and receives:
#   prefix/     a new WINEPREFIX made by `wineboot -i` (reports Windows 7 until changed)
#   home/       the HOME of the run (Wine links the desktop folder into it)
#   logs/       wineboot, Xvfb and winecfg output
#   bin/        for a 64-bit prefix only: `wine` starts the loader of STP_WIN_ARCH; wineboot,
#               winecfg and winepath start 64-bit Wine (Debian's own commands start the 32-bit
#               loader whenever wine32 is installed)
# Exported: WINEPREFIX WINEARCH (win64 or win32) WINEDEBUG=-all WINEDLLOVERRIDES HOME DISPLAY
#   STP_WIN_ARCH, plus STP_WINE_DIR (RUN_DIR, absolute) and STP_WINE_ORIG_HOME (the caller's HOME);
#   PATH starts with bin/ for a 64-bit prefix (and no longer holds an earlier run's bin/).
#   `wine reg` and `wine cmd` are the builtins of the programs' architecture, so reg sees the
#   registry view the programs write.
# If DISPLAY is unset, an Xvfb server is started on a free display (1024x768x24).
# An EXIT trap (chained after any existing one) ends the prefix's wineserver and stops that Xvfb;
# wine_env_stop does the same on demand.
#
# Helpers:
#   wine_env_run LOG PROGRAM ARGS...   runs `wine PROGRAM ARGS` with stdout to LOG.out and stderr
#                                      to LOG.err; returns the program's exit code.
#   wine_env_winver winxp|win7|...     makes the prefix report that Windows version.
#   wine_env_wait                      waits until every process of the prefix has ended.
#
# Never pipe a wine command's output or run it inside $(...): Wine's helper processes inherit the
# first process's stdout and keep a pipe open for ever. Redirect to files and read the files.
# For Chinese runs set LANG=zh_CN.UTF-8 before starting programs (ANSI code page 936).

if [ -z "${BASH_VERSION:-}" ]; then
  echo "wine-env.sh: source this from bash" >&2
  return 1 2>/dev/null || exit 1
fi

_stp_wine_setup() {
  local repo dir
  repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  dir=${1:-$repo/build/wine-run-$$}
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  # Stop anything a previous run left in this folder before wiping it.
  if [ -d "$dir/prefix" ]; then
    WINEPREFIX="$dir/prefix" wineserver -k >/dev/null 2>&1 || true
  fi
  rm -rf "$dir/prefix" "$dir/home" "$dir/logs" "$dir/bin"
  mkdir -p "$dir/home" "$dir/logs"

  export STP_WINE_DIR=$dir
  export STP_WINE_ORIG_HOME=${STP_WINE_ORIG_HOME:-$HOME}
  export WINEPREFIX=$dir/prefix
  export STP_WIN_ARCH=${STP_WIN_ARCH:-i686}
  export WINEARCH=${2:-win64}
  case "$WINEARCH" in
    win64 | win32) ;;
    *) echo "wine-env.sh: prefix architecture $WINEARCH: win64 or win32 expected" >&2; return 1 ;;
  esac
  if [ "$WINEARCH" = win32 ] && [ "$STP_WIN_ARCH" != i686 ]; then
    echo "wine-env.sh: a 32-bit prefix runs no $STP_WIN_ARCH programs" >&2
    return 1
  fi
  if [ "$STP_WIN_ARCH" = i686 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "wine-env.sh: 32-bit Wine cannot start here: run the command through scripts/with-i386" \
      "(scripts/test and scripts/demo do)" >&2
    return 1
  fi
  # An earlier run's commands must not answer for this prefix.
  if [ -n "${_stp_wine_bin:-}" ]; then
    PATH=$(printf '%s' ":$PATH:" | sed "s#:$_stp_wine_bin:#:#g; s#^:##; s#:\$##")
  fi
  _stp_wine_bin=
  unset WINELOADER
  if [ "$WINEARCH" = win64 ]; then
    export WINELOADER=/usr/lib/wine/wine64
    local tool loader=/usr/lib/wine/wine64
    [ "$STP_WIN_ARCH" = x86_64 ] || loader=/usr/lib/wine/wine
    mkdir -p "$dir/bin"
    printf '#!/bin/sh\nexec %s "$@"\n' "$loader" >"$dir/bin/wine"
    for tool in wineboot winecfg winepath; do
      printf '#!/bin/sh\nexec %s %s.exe "$@"\n' "$WINELOADER" "$tool" >"$dir/bin/$tool"
    done
    chmod +x "$dir/bin/"*
    _stp_wine_bin=$dir/bin
    export PATH=$dir/bin:$PATH
  fi
  export WINEDEBUG=-all
  # Without this, shortcuts on the Windows desktop turn into .desktop files in $HOME.
  export WINEDLLOVERRIDES="winemenubuilder.exe=d"
  export HOME=$dir/home

  _stp_wine_xvfb_pid=
  if [ -z "${DISPLAY:-}" ]; then
    # -displayfd lets Xvfb pick a free display itself, so parallel runs do not collide.
    : >"$dir/logs/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
      3>"$dir/logs/display" >"$dir/logs/xvfb.log" 2>&1 &
    _stp_wine_xvfb_pid=$!
    local i
    for ((i = 0; i < 100; i++)); do
      [ -s "$dir/logs/display" ] && break
      if ! kill -0 "$_stp_wine_xvfb_pid" 2>/dev/null; then break; fi
      sleep 0.1
    done
    if [ ! -s "$dir/logs/display" ]; then
      echo "wine-env.sh: Xvfb did not start (see $dir/logs/xvfb.log)" >&2
      kill "$_stp_wine_xvfb_pid" 2>/dev/null || true
      _stp_wine_xvfb_pid=
      return 1
    fi
    export DISPLAY=":$(tr -dc 0-9 <"$dir/logs/display")"
  fi

  if ! wineboot -i >"$dir/logs/wineboot.log" 2>&1; then
    echo "wine-env.sh: wineboot failed (see $dir/logs/wineboot.log)" >&2
    return 1
  fi
  wineserver -w >/dev/null 2>&1 || true
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-env.sh: no prefix was made in $WINEPREFIX" >&2
    return 1
  fi
}

wine_env_wait() {
  wineserver -w >/dev/null 2>&1 || true
}

wine_env_run() {
  local log=$1
  shift
  local rc=0
  wine "$@" >"$log.out" 2>"$log.err" </dev/null || rc=$?
  return "$rc"
}

wine_env_winver() {
  local version=$1
  # A 64-bit prefix knows Windows XP only as its 64-bit edition (5.2): XP runs use a 32-bit one.
  if [ "$WINEARCH" = win64 ] && [ "$version" = winxp ]; then version=winxp64; fi
  winecfg -v "$version" >"$STP_WINE_DIR/logs/winecfg-$1.log" 2>&1 </dev/null
  wineserver -w >/dev/null 2>&1 || true
}

wine_env_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k >/dev/null 2>&1 || true
  fi
  if [ -n "${_stp_wine_xvfb_pid:-}" ]; then
    kill "$_stp_wine_xvfb_pid" 2>/dev/null || true
    wait "$_stp_wine_xvfb_pid" 2>/dev/null || true
    _stp_wine_xvfb_pid=
  fi
}

# Chain the cleanup after whatever EXIT trap the caller already has.
_stp_wine_prev_trap=$(trap -p EXIT | sed -E "s/^trap -- '(.*)' EXIT$/\1/")
if [ -n "$_stp_wine_prev_trap" ]; then
  trap "wine_env_stop; $_stp_wine_prev_trap" EXIT
else
  trap wine_env_stop EXIT
fi
unset _stp_wine_prev_trap

_stp_wine_setup "$@"
