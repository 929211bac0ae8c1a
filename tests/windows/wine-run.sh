#!/bin/sh
# CTest's emulator for the Windows test programs: WINE PREFIX PROGRAM [ARGS...]
# Runs the program in the build tree's own prefix. Wine takes the ANSI code page from the
# locale: QUILLO_LOCALE names it, Korean (code page 949) unless told otherwise; en_US.UTF-8
# gives 1252 and hi_IN.UTF-8 gives 65001 (UTF-8). Each process reads its own locale, so one
# prefix and one running wineserver serve all three, one after another or side by side.
# A program that fails is named with its exit code and what Wine said (its error channel,
# kept aside while it runs and shown only then).
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
# QUILLO_DPI runs it on a display at that DPI, in a copy of the prefix set so; QUILLO_LANE in a
# copy of its own, beside the prefix's other tests (tests/windows/wine-lanes.sh).
"$here/../../scripts/wineprefix.sh" "$wine" "$prefix" "${QUILLO_DPI:-}" "${QUILLO_LANE:-}" || exit 1
[ -n "${QUILLO_DPI:-}" ] && prefix="$prefix-dpi$QUILLO_DPI"
[ -n "${QUILLO_LANE:-}" ] && prefix="$prefix-$QUILLO_LANE"
# A prefix may have a display of its own (PREFIX.display: ":N PID" of its Xvfb), so that the
# programs of prefixes running side by side never take each other's focus or clipboard.
if [ -z "${QUILLO_NO_DISPLAY:-}" ] && [ -s "$prefix.display" ]; then
  read -r lane_display lane_xvfb <"$prefix.display"
  kill -0 "$lane_xvfb" 2>/dev/null && DISPLAY=$lane_display
fi
# Errors only, and only into the log: a passing run prints what the program prints.
export WINEPREFIX="$prefix" WINEDEBUG="${WINEDEBUG:--all,err+all}" LC_ALL="$locale" \
       WINEDLLOVERRIDES="mscoree,mshtml="
[ -n "${DISPLAY:-}" ] && export DISPLAY
log=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX") || exit 1
trap 'rm -f "$log"' EXIT
trap 'exit 143' INT TERM
"$wine" "$@" 2>"$log"
status=$?
# Wine's own channels (0024:err:module:...) stay in the log; the program's own lines do not.
wine_line='^([0-9a-f]+:)?(err|fixme|warn|trace):'
grep -Ev "$wine_line" "$log" >&2
if [ "$status" -ne 0 ]; then
  {
    printf 'wine-run: exit code %d: WINEPREFIX=%s LC_ALL=%s DISPLAY=%s %s' "$status" "$prefix" \
      "$locale" "${DISPLAY:-}" "$wine"
    printf ' %s' "$@"
    printf '\n'
    if grep -Eq "$wine_line" "$log"; then
      echo "wine-run: what Wine said (the last 40 lines of $(grep -Ec "$wine_line" "$log")):"
      grep -E "$wine_line" "$log" | tail -n 40
    else
      echo "wine-run: Wine said nothing"
    fi
  } >&2
fi
exit "$status"
