#!/bin/sh
# CTest's emulator for the Windows test programs: WINE PREFIX PROGRAM [ARGS...]
# Runs the program in the build tree's own prefix with the Korean ANSI code page (949).
wine=$1 prefix=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${DISPLAY:-}" ]; then
  echo "wine-run: no DISPLAY; run the tests through scripts/test.sh, which starts Xvfb" >&2
  exit 1
fi
"$here/../../scripts/wineprefix.sh" "$wine" "$prefix" || exit 1
export WINEPREFIX="$prefix" WINEDEBUG="${WINEDEBUG:--all}" LC_ALL=ko_KR.UTF-8 \
       WINEDLLOVERRIDES="mscoree,mshtml="
exec "$wine" "$@"
