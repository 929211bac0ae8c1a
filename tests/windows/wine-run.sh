#!/bin/sh
# CTest's emulator for the Windows test programs: WINE PREFIX PROGRAM [ARGS...]
# Runs the program in the build tree's own prefix. Wine takes the ANSI code page from the
# locale: QUILLO_LOCALE names it, Korean (code page 949) unless told otherwise; en_US.UTF-8
# gives 1252 and hi_IN.UTF-8 gives 65001 (UTF-8). Each process reads its own locale, so one
# prefix and one running wineserver serve all three, one after another or side by side.
wine=$1 prefix=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
# QUILLO_NO_DISPLAY runs it without one, as a host whose desktop cannot make windows (in a
# prefix of its own: a process that joins a wineserver bound to a display makes them after all).
if [ -n "${QUILLO_NO_DISPLAY:-}" ]; then
  unset DISPLAY
elif [ -z "${DISPLAY:-}" ]; then
  echo "wine-run: no DISPLAY; run the tests through scripts/test.sh, which starts Xvfb" >&2
  exit 1
fi
locale=${QUILLO_LOCALE:-ko_KR.UTF-8}
if ! locale -a 2>/dev/null | grep -qix "$(echo "$locale" | sed 's/\.UTF-8$/.utf8/I')"; then
  echo "wine-run: the locale $locale is not generated (scripts/setup.sh makes it)" >&2
  exit 1
fi
# QUILLO_DPI runs it on a display at that DPI, in a copy of the prefix set so.
"$here/../../scripts/wineprefix.sh" "$wine" "$prefix" ${QUILLO_DPI:-} || exit 1
[ -n "${QUILLO_DPI:-}" ] && prefix="$prefix-dpi$QUILLO_DPI"
export WINEPREFIX="$prefix" WINEDEBUG="${WINEDEBUG:--all}" LC_ALL="$locale" \
       WINEDLLOVERRIDES="mscoree,mshtml="
exec "$wine" "$@"
