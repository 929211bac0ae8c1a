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

part "Native tests (note rules, ASan + UBSan)"
cmake --preset native >/dev/null && cmake --build --preset native -j"$(nproc)" >/dev/null \
  && ctest --preset native || status=1

part "Fuzzing the note rules"
sh tests/fuzz/run.sh build/native || status=1

part "Shipped build (both Quillo.dll, build/x64/Quillo.msix and QuilloSetup.exe, signed)"
sh scripts/build.sh >/dev/null || status=1
for tree in build build/x64; do
  ctest --test-dir "$tree" -R '^(dll_imports|dll_exports|signatures|msix_package)$' --output-on-failure || status=1
done
for f in build/Quillo.dll build/x64/Quillo.dll build/x64/Quillo.msix build/x64/QuilloSetup.exe; do
  [ -f "$f" ] && printf '%-28s %8d bytes\n' "$f" "$(stat -c %s "$f")"
done

pick_wine_tree
part "Windows tests under Wine ($WINE_TREE)"
if [ "$WINE_TREE" != build/win32 ]; then
  echo "== This machine cannot run 32-bit programs: testing the 64-bit build of the same sources"
fi
cmake --preset "$WINE_PRESET" >/dev/null && cmake --build --preset "$WINE_PRESET" -j"$(nproc)" >/dev/null \
  || status=1
start_xvfb || exit 1
# A small drive for the saving test of a drive that fills up, where this machine lets us
# mount one (as root, or with sudo); the test says it is skipped otherwise.
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo -n"
full_drive="$(pwd)/$WINE_TREE/full-drive"
mkdir -p "$full_drive"
if mountpoint -q "$full_drive" ||
   $sudo mount -t tmpfs -o size=64k,mode=0777 quillo-full "$full_drive" 2>/dev/null; then
  export QUILLO_FULL_DRIVE="$full_drive"
fi
trap 'stop_xvfb; mountpoint -q "$full_drive" && $sudo umount "$full_drive"' EXIT
trap 'exit 1' INT TERM  # stopped: end here (Xvfb goes with the EXIT trap)
ctest --test-dir "$WINE_TREE" -E '^dll_imports$' --output-on-failure --timeout 600 || status=1
WINEPREFIX="$(pwd)/$WINE_TREE/wineprefix" wineserver -k 2>/dev/null
# The setup program is 64-bit, and the shipped 64-bit DLL is checked from the 64-bit tree.
if [ "$WINE_TREE" != build/win64 ]; then
  part "Setup program and shipped 64-bit DLL under 64-bit Wine (build/win64)"
  cmake --preset windows64 >/dev/null && cmake --build --preset windows64 -j"$(nproc)" >/dev/null \
    && ctest --test-dir build/win64 -R '^(test_setup|test_typelib|test_com_dll)$' \
         --output-on-failure --timeout 600 || status=1
  WINEPREFIX="$(pwd)/build/win64/wineprefix" wineserver -k 2>/dev/null
fi
# The shipped 32-bit library itself runs once, natively where the machine runs 32-bit
# programs, otherwise in one process emulated by qemu-user.
part "The shipped 32-bit Quillo.dll under 32-bit Wine (smoke)"
sh scripts/smoke32.sh || status=1
stop_xvfb
part

echo "== Tests took $(($(date +%s) - start)) s; status $status"
exit $status
