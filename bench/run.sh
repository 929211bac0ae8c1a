#!/bin/sh
# Runs Quillo's benchmarks and prints their figures (medians, each against its floor).
# Usage: sh bench/run.sh      (not part of the tests; takes a few minutes)
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/lib.sh
sh scripts/setup.sh
build_wine_tree bench >/dev/null
echo "bench: machine: $(nproc) CPU(s), $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1); $("$WINE" --version)"
# The shipped DLLs (win32 thread model): targets 160 KiB (x86) and 140 KiB (x64).
for dll in build/Quillo.dll:163840 build/x64/Quillo.dll:143360; do
  f=${dll%:*}
  [ -f "$f" ] && printf 'size of %-24s %8d bytes (target <= %d)\n' "$f" "$(stat -c %s "$f")" "${dll#*:}"
done

prefix="$root/$WINE_TREE/bench-prefix"
sh scripts/wineprefix.sh "$WINE" "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all LC_ALL=ko_KR.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml="
# Always on a private Xvfb, so that the figures do not depend on a desktop.
start_xvfb
trap 'wineserver -k 2>/dev/null || true; stop_xvfb' EXIT INT TERM
"$WINE" "$root/$WINE_TREE/QuilloBench.exe" "$("$WINE" winepath.exe -w "$root/$WINE_TREE")"
