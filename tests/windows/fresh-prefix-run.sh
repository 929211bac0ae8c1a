#!/bin/sh
# Runs a Windows test program in a Wine prefix made afresh for this run: PREFIX is a copy of
# PREFIX-pristine, a prefix made once (scripts/wineprefix.sh) in which nothing else ever runs.
# Usage: fresh-prefix-run.sh WINE PREFIX PROGRAM [ARGS...]
wine=$1 prefix=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
"$here/../../scripts/wineprefix.sh" "$wine" "$prefix-pristine" || exit 1
WINEPREFIX="$prefix" wineserver -k 2>/dev/null
rm -rf "$prefix" && cp -a "$prefix-pristine" "$prefix" || exit 1
"$here/wine-run.sh" "$wine" "$prefix" "$@"
status=$?
WINEPREFIX="$prefix" wineserver -k 2>/dev/null
exit $status
