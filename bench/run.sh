#!/bin/sh
# Runs Quillo's benchmarks and prints their figures (medians, each against its floor), the
# sizes of both shipped DLLs, and the heap over long runs. Usage: sh bench/run.sh [--stability]
# (not part of the tests; takes several minutes; --stability runs only the heap figures).
#
# Always the 64-bit build under 64-bit Wine, whatever this machine could run: the DLL timed is
# the shipped build/x64/Quillo.dll (win32 thread model); QuilloBench.exe and QuilloFloor.dll
# come from the 64-bit test tree (build/win64), the only one that builds them.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/lib.sh
sh scripts/setup.sh
WINE=/usr/lib/wine/wine64
for preset in windows x64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)" >/dev/null
done
cmake --preset windows64 >/dev/null
cmake --build --preset windows64 -j"$(nproc)" --target QuilloBench >/dev/null

echo "bench: machine: $(nproc) CPU(s), $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1); $("$WINE" --version); load average $(cut -d' ' -f1-3 /proc/loadavg)"
# The shipped DLLs (win32 thread model): targets 168 KiB (x86) and 150 KiB (x64, with the
# Windows 11 command), both with their manifests and dark drawing; QuilloNote.exe 8 KiB.
for dll in build/Quillo.dll:172032 build/x64/Quillo.dll:153600 build/x64/QuilloNote.exe:8192; do
  f=${dll%:*}
  printf 'size of %-24s %8d bytes (target <= %d)\n' "$f" "$(stat -c %s "$f")" "${dll#*:}"
done

prefix="$root/build/win64/bench-prefix"
sh scripts/wineprefix.sh "$WINE" "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all LC_ALL=ko_KR.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml="
# Always on a private Xvfb, so that the figures do not depend on a desktop.
start_xvfb
trap 'wineserver -k 2>/dev/null || true; stop_xvfb' EXIT INT TERM
tree=$("$WINE" winepath.exe -w "$root/build/win64")
dll=$("$WINE" winepath.exe -w "$root/build/x64/Quillo.dll")
if [ "${1:-}" = --stability ]; then
  "$WINE" "$root/build/win64/QuilloBench.exe" --stability "$dll"
else
  "$WINE" "$root/build/win64/QuilloBench.exe" "$tree" "$dll"
fi
echo "bench: done, load average $(cut -d' ' -f1-3 /proc/loadavg)"
