#!/bin/sh
# Runs every Quillo test: the note rules natively (sanitizers, fuzzing), the shipped binaries'
# checks, and the Windows tests under Wine with Xvfb, the setup program's in a fresh 64-bit
# prefix. Prints how long each part took. Exits non-zero when anything fails.
set -u
cd "$(dirname "$0")/.."
. scripts/lib.sh
sh scripts/setup.sh || exit 1
status=0
start=$(date +%s)
part_name="" part_start=$start
# Ends the running part, saying how long it took, and starts the next one (if named).
part() {
  now=$(date +%s)
  [ -n "$part_name" ] && echo "== $part_name took $((now - part_start)) s"
  part_name=${1:-} part_start=$now
  [ -n "$part_name" ] && echo "== $part_name"
}

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo -n"
mounted="" smoke_pid=""
trap 'stop_xvfb; for d in $mounted; do $sudo umount "$d"; done; [ -n "$smoke_pid" ] && kill "$smoke_pid" 2>/dev/null' EXIT
trap 'exit 1' INT TERM  # stopped: end here (Xvfb and the smoke go with the EXIT trap)

# The 64-bit suite's prefixes are made while the shipped trees build (mostly waiting, they
# take a minute or two).
prefixes_pid=""
if ! can_run_32bit; then
  (for prefix in wineprefix setup-prefix-pristine; do
     sh scripts/wineprefix.sh /usr/lib/wine/wine64 "$(pwd)/build/win64/$prefix" &
   done
   wait) >/dev/null 2>&1 &
  prefixes_pid=$!
fi

part "Shipped build (the three Quillo.dll, both QuilloNote.exe and packages, QuilloSetup.exe, signed)"
sh scripts/build.sh >/dev/null || status=1
for tree in build build/arm64 build/x64; do
  ctest --test-dir "$tree" -R '^(dll_imports|dll_exports|note_exe_imports|signatures|msix_package)$' \
    --output-on-failure || status=1
done
for f in build/Quillo.dll build/x64/Quillo.dll build/x64/QuilloNote.exe build/x64/Quillo.msix \
         build/arm64/Quillo.dll build/arm64/QuilloNote.exe build/arm64/Quillo-arm64.msix \
         build/x64/QuilloSetup.exe; do
  [ -f "$f" ] && printf '%-28s %8d bytes\n' "$f" "$(stat -c %s "$f")"
done

# The shipped 32-bit library itself runs once, natively where the machine runs 32-bit programs,
# otherwise in one process emulated by qemu-user: beside the Wine suite, which mostly waits.
# It starts as soon as the shipped DLL is built and runs beside everything after. Emulation is
# registered for the whole machine while it runs, so it starts once the suite's 64-bit
# prefixes are made (made during it, they would take a 32-bit half, slowly).
smoke_log=build/smoke32.log
start_smoke() {
  smoke_start=$(date +%s)
  (unset DISPLAY; exec sh scripts/smoke32.sh) >"$smoke_log" 2>&1 &
  smoke_pid=$!
}
[ -n "$prefixes_pid" ] && wait "$prefixes_pid"
start_smoke

part "Native tests (note rules, ASan + UBSan)"
cmake --preset native >/dev/null && cmake --build --preset native -j"$(nproc)" >/dev/null \
  && ctest --preset native || status=1

part "Fuzzing the note rules"
sh tests/fuzz/run.sh build/native || status=1

# The whole Wine suite on both test trees: the 32-bit one where this machine runs 32-bit
# programs, and always the 64-bit one (the DLL 64-bit Explorer and the package load, the note
# process, the setup program). Each tree's tests run side by side in lanes, one per Wine
# prefix, each lane on an X display of its own (cmake/winelanes.cmake).
start_xvfb || exit 1
# Lanes side by side: the tests mostly wait (for windows, timers, processes), not compute.
lanes=${QUILLO_TEST_LANES:-4}
# Usage: wine_suite TREE PRESET
wine_suite() {
  tree=$1 preset=$2
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j"$(nproc)" >/dev/null \
    || { status=1; return; }
  # A small drive for the saving test of a drive that fills up, where this machine lets us
  # mount one (as root, or with sudo); the test says it is skipped otherwise.
  full_drive="$(pwd)/$tree/full-drive"
  mkdir -p "$full_drive"
  unset QUILLO_FULL_DRIVE
  if mountpoint -q "$full_drive"; then
    export QUILLO_FULL_DRIVE="$full_drive"
  elif $sudo mount -t tmpfs -o size=64k,mode=0777 quillo-full "$full_drive" 2>/dev/null; then
    mounted="$mounted $full_drive"
    export QUILLO_FULL_DRIVE="$full_drive"
  fi
  ctest --test-dir "$tree" -E '^(dll_imports|note_exe_imports)$' --output-on-failure --timeout 600 \
    -j"$lanes" || status=1
  WINEPREFIX="$(pwd)/$tree/wineprefix" wineserver -k 2>/dev/null
}
if can_run_32bit; then
  part "Windows tests under 32-bit Wine (build/win32)"
  wine_suite build/win32 windows32
else
  echo "== This machine cannot run 32-bit programs: the 32-bit suite is left out"
fi
part "Windows tests under 64-bit Wine (build/win64, with the Windows 11 command and the setup program)"
wine_suite build/win64 windows64
part
echo "== The shipped 32-bit Quillo.dll under 32-bit Wine (smoke, beside the 64-bit suite)"
wait "$smoke_pid" || status=1
smoke_pid=""
cat "$smoke_log"
echo "== The smoke took $(($(date +%s) - smoke_start)) s (of which $(($(date +%s) - part_start)) s after the suite)"
stop_xvfb

echo "== Tests took $(($(date +%s) - start)) s; status $status"
exit $status
