#!/bin/sh
# Runs the smoke program of the shipped 32-bit Quillo.dll (build/, already built) under 32-bit
# Wine. On a machine that cannot run 32-bit programs, qemu-user emulates them for this run
# only: the binfmt_misc entry is registered here and removed again on the way out.
set -u
cd "$(dirname "$0")/.."
. scripts/lib.sh
start=$(date +%s)
prefix="$(pwd)/build/wineprefix"
how=natively
cleanup() {
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null
  stop_i386_emulation
  stop_xvfb
}
trap 'cleanup' EXIT
trap 'exit 130' INT TERM
if ! can_run_32bit; then
  how="emulated by qemu-user"
  start_i386_emulation || { echo "smoke32: cannot emulate 32-bit programs (qemu-user-static)" >&2; exit 1; }
  # A prefix made while nothing emulated 32-bit programs lacks its 32-bit half.
  [ -n "$(ls "$prefix/drive_c/windows/syswow64" 2>/dev/null)" ] || rm -rf "$prefix"
  # Made by 64-bit Wine, which sets up the 32-bit half through the emulation: emulated
  # 32-bit Wine alone does not finish making a prefix in useful time.
  sh scripts/wineprefix.sh /usr/lib/wine/wine64 "$prefix" || exit 1
  echo "smoke32: prefix ready after $(( $(date +%s) - start )) s"
fi
[ -n "${DISPLAY:-}" ] || start_xvfb || exit 1
# A library that hangs the program must still end the run.
timeout -k 30 900 sh tests/windows/wine-run.sh /usr/lib/wine/wine "$prefix" build/smoke_dll.exe
status=$?
echo "smoke32: the 32-bit smoke ($how) took $(( $(date +%s) - start )) s; status $status"
exit $status
