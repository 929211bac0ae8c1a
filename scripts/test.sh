#!/bin/sh
# Runs every Quillo test: the note rules natively (sanitizers, fuzzing) and the Windows
# tests under Wine with Xvfb. Exits non-zero when anything fails.
set -u
cd "$(dirname "$0")/.."
. scripts/lib.sh
sh scripts/setup.sh || exit 1
status=0
start=$(date +%s)

echo "== Native tests (note rules, ASan + UBSan)"
cmake --preset native >/dev/null && cmake --build --preset native -j"$(nproc)" >/dev/null \
  && ctest --preset native || status=1

echo "== Fuzzing the note rules"
sh tests/fuzz/run.sh build/native || status=1

echo "== Windows build (Quillo.dll, 32-bit)"
cmake --preset windows >/dev/null && cmake --build --preset windows -j"$(nproc)" >/dev/null || status=1
ctest --test-dir build -R '^dll_imports$' --output-on-failure || status=1

pick_wine_tree
if [ "$WINE_TREE" != build ]; then
  echo "== This machine cannot run 32-bit programs: testing the 64-bit build of the same sources"
  cmake --preset windows64 >/dev/null && cmake --build --preset windows64 -j"$(nproc)" >/dev/null || status=1
fi
echo "== Windows tests under Wine ($WINE_TREE)"
start_xvfb || exit 1
trap 'stop_xvfb' EXIT INT TERM
ctest --test-dir "$WINE_TREE" -E '^dll_imports$' --output-on-failure --timeout 300 || status=1
WINEPREFIX="$(pwd)/$WINE_TREE/wineprefix" wineserver -k 2>/dev/null
if [ "$WINE_TREE" != build ]; then
  # The shipped library itself still runs once, in one emulated process.
  echo "== The shipped 32-bit Quillo.dll under emulated 32-bit Wine (smoke)"
  sh scripts/smoke32.sh || status=1
fi
stop_xvfb

echo "== Tests took $(( $(date +%s) - start )) s; status $status"
exit $status
