#!/bin/sh
# The Wine suite's lanes: each Wine prefix the tests use is a lane, and lanes run side by side.
#   up WINE MAIN [LANE...]  makes the prefixes, gives each a wineserver that stays up until
#                           `down` and each but MAIN a display of its own.
#   down MAIN [LANE...]     ends them.
# MAIN is the tree's prefix (it keeps the caller's DISPLAY). A LANE is one of
#   copy:[DPI]:[NAME]  a copy of MAIN: MAIN-dpiDPI at that DPI, MAIN-NAME, or MAIN-dpiDPI-NAME
#                      (scripts/wineprefix.sh);
#   display:PREFIX     a prefix that tests/windows/fresh-prefix-run.sh makes afresh for each run
#                      (it starts and ends its server there): here only its display.
# Why one server for the whole suite: a Wine process starts or joins its prefix's wineserver,
# which ends a few seconds after its last process; a process that starts while it shuts down
# can die without a word. Why a display per lane: keyboard focus, the foreground window and
# the clipboard belong to an X display, and programs of two prefixes on one display take them
# from each other.
set -u
here=$(cd "$(dirname "$0")" && pwd)
verb=$1
shift

# The display a prefix's programs use: PREFIX.display holds ":N PID" of its Xvfb.
start_display() {
  fd_file=$(mktemp)
  setsid Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$fd_file" </dev/null \
    >/dev/null 2>&1 &
  pid=$!
  i=0
  while [ ! -s "$fd_file" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  [ -s "$fd_file" ] || { echo "wine-lanes: Xvfb did not start for $1" >&2; rm -f "$fd_file"; return 1; }
  echo ":$(head -n 1 "$fd_file") $pid" >"$1.display"
  rm -f "$fd_file"
}

stop_display() {
  [ -f "$1.display" ] || return 0
  pid=$(cut -d' ' -f2 "$1.display")
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  rm -f "$1.display"
}

# The prefix a LANE names.
lane_prefix() {
  case $1 in
    copy:*)
      copy_dpi=$(echo "$1" | cut -d: -f2) copy_name=$(echo "$1" | cut -d: -f3)
      echo "$main${copy_dpi:+-dpi$copy_dpi}${copy_name:+-$copy_name}"
      ;;
    display:*) echo "${1#display:}" ;;
  esac
}

case $verb in
  up)
    wine=$1 main=$2
    shift 2
    status=0
    # Every prefix is made (or copied) before any server stays up: a copy waits until the
    # server of the prefix it copies has ended.
    WINEPREFIX="$main" wineserver -k 2>/dev/null
    "$here/../../scripts/wineprefix.sh" "$wine" "$main" || exit 1
    for lane in "$@"; do
      case $lane in
        copy:*)
          "$here/../../scripts/wineprefix.sh" "$wine" "$main" "$(echo "$lane" | cut -d: -f2)" \
            "$(echo "$lane" | cut -d: -f3)" || status=1
          ;;
      esac
    done
    for lane in server:"$main" "$@"; do
      case $lane in
        server:*) prefix=${lane#server:} ;;
        *) prefix=$(lane_prefix "$lane"); stop_display "$prefix"; start_display "$prefix" || status=1 ;;
      esac
      case $lane in display:*) continue ;; esac
      # Whatever server is left of an earlier run (ending, or bound to another display) goes.
      WINEPREFIX="$prefix" wineserver -k 2>/dev/null
      WINEPREFIX="$prefix" wineserver -w 2>/dev/null
      WINEPREFIX="$prefix" wineserver -p </dev/null >/dev/null 2>&1 || status=1
    done
    exit $status
    ;;
  down)
    main=$1
    shift
    for prefix in "$main" $(for lane in "$@"; do lane_prefix "$lane"; done); do
      WINEPREFIX="$prefix" wineserver -k 2>/dev/null
      [ "$prefix" != "$main" ] && stop_display "$prefix"
    done
    exit 0
    ;;
  *)
    echo "usage: wine-lanes.sh up WINE MAIN [LANE...] | down MAIN [LANE...]" >&2
    exit 2
    ;;
esac
