#!/usr/bin/env bash
# Measures how long the demo setup.exe takes under Wine from its start until the wizard window is
# visible. usage: tests/e2e/bench-startup.sh [RUNS]   (default 7; English, Windows 7 prefix)
# The figure includes starting the driver that looks for the window; that overhead is measured
# separately (the driver finding a window that is already open) and printed too.
set -euo pipefail
cd "$(dirname "$0")/../.."
# Speed is measured natively: x86_64 programs where the kernel executes no 32-bit code.
STP_WIN_ARCH=$(bash scripts/win-arch)
export STP_WIN_ARCH
echo "Windows programs: $STP_WIN_ARCH (native speed)"
source tests/e2e/e2e-lib.sh
unset DISPLAY
runs=${1:-7}
e2e_build
e2e_prefix "$E2E_ROOT/build/bench-startup"
export LANG=C.UTF-8
title="Setup - Tavrel Demo"
log=$STP_WINE_DIR/logs
ms() { echo $(($(date +%s%N) / 1000000)); }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
starts=() overheads=()
for ((i = 0; i <= runs; i++)); do
  t0=$(ms)
  e2e_start "$log/setup.out" "$E2E_SETUP"
  setup=$E2E_PID
  e2e_drive "$log/wait" wait "$title" 60000
  t1=$(ms)
  e2e_drive "$log/again" wait "$title"
  t2=$(ms)
  e2e_drive "$log/close" wait "$title" click Cancel gone
  e2e_exit_code "$setup" 0 setup.exe
  # The first start also fills Wine's caches; it is reported apart.
  if ((i == 0)); then
    echo "first start in a fresh prefix: $((t1 - t0)) ms"
  else
    starts+=($((t1 - t0)))
    overheads+=($((t2 - t1)))
  fi
done
echo "start to visible wizard, median of $runs: $(printf '%s\n' "${starts[@]}" | median) ms" \
  "(all: ${starts[*]})"
echo "driver overhead (window already open), median: $(printf '%s\n' "${overheads[@]}" | median) ms"
