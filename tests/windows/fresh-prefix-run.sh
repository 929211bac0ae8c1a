#!/bin/sh
# Runs a Windows test program in a Wine prefix made afresh for this run: PREFIX becomes a copy
# of PRISTINE, a prefix made once (scripts/wineprefix.sh) in which nothing ever runs. The copy
# has one wineserver for the whole run, so that no process of the test (the program, the ones
# it starts one after another) starts while the server of the one before ends.
# Usage: fresh-prefix-run.sh WINE PRISTINE PREFIX PROGRAM [ARGS...]
wine=$1 pristine=$2 prefix=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
"$here/../../scripts/wineprefix.sh" "$wine" "$pristine" || exit 1
WINEPREFIX="$prefix" wineserver -k 2>/dev/null
rm -rf "$prefix" && cp -a "$pristine" "$prefix" || exit 1
WINEPREFIX="$prefix" wineserver -p </dev/null >/dev/null 2>&1 || exit 1
"$here/wine-run.sh" "$wine" "$prefix" "$@"
status=$?
WINEPREFIX="$prefix" wineserver -k 2>/dev/null
exit $status
