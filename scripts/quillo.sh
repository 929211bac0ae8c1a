#!/bin/sh
# The main job: installs what is needed, builds Quillo.dll, registers it with Wine's own
# regsvr32 in a Wine prefix of its own, and opens the file manager stand-in (QuilloHost) on a
# folder, the current one unless one is given.
#   With a display: right-click the host's window, choose "Quillo 파일 만들기", write a note,
#   press 만들기 and find the .txt in the folder.
#   Without one: runs on Xvfb, chooses the item by its text, writes a short note into the
#   window, saves a screenshot of it to build/quillo-note.png, saves the note into the folder
#   (Ctrl+S) as quillo-note-<date>.txt and closes the window.
# Usage: sh scripts/quillo.sh [FOLDER]
# QUILLO_LOCALE picks the Windows whose code page Wine plays (default ko_KR.UTF-8, 949;
# en_US.UTF-8 is English Windows, 1252; hi_IN.UTF-8 the UTF-8 option, 65001).
set -eu
folder=${1:-$(pwd)}
if [ ! -d "$folder" ]; then
  printf 'quillo: no such folder: %s\n' "$folder" >&2
  exit 2
fi
folder=$(cd "$folder" && pwd)
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/lib.sh

sh scripts/setup.sh
# Only what runs: the shipped DLL of the bitness this machine's Wine runs, and the stand-in
# host beside it (nothing of the tests).
pick_shipped_tree
[ "$SHIPPED_TREE" = build/x64 ] \
  && echo "quillo: this machine cannot run 32-bit programs: using the 64-bit Quillo.dll with 64-bit Wine" >&2
prefix="$root/$SHIPPED_TREE/run-prefix"
# The prefix is made (once; a minute or so) while the build runs: it needs nothing built.
sh scripts/wineprefix.sh "$WINE" "$prefix" &
prefix_pid=$!
cmake --preset "$SHIPPED_PRESET" >/dev/null
cmake --build --preset "$SHIPPED_PRESET" -j"$(nproc)" --target Quillo QuilloHost
wait "$prefix_pid" || { echo "quillo: could not make the Wine prefix $prefix" >&2; exit 1; }
printf 'quillo: Wine prefix %s\n' "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG="${WINEDEBUG:--all}" LC_ALL="${QUILLO_LOCALE:-ko_KR.UTF-8}" \
       WINEDLLOVERRIDES="mscoree,mshtml="

# Without a display everything runs on Xvfb, started before the first Wine program: the
# prefix's desktop belongs to the display its first program found.
host_pid=""
headless=""
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  start_xvfb
  cleanup() {
    set +e  # a failure here must not keep Xvfb running
    [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null
    wineserver -k 2>/dev/null
    stop_xvfb
  }
  trap cleanup EXIT INT TERM
fi
wineserver -k 2>/dev/null || true  # a server left from an earlier run may hold another display

# Wine's own regsvr32 (the one of this prefix's bitness) loads the shipped DLL of that bitness
# and calls its export.
dll=$("$WINE" winepath.exe -w "$root/$SHIPPED_DLL")
"$WINE" regsvr32 /s "$dll" || { printf 'quillo: regsvr32 could not register %s\n' "$dll" >&2; exit 1; }
printf 'quillo: registered %s\n' "$dll"

host="$root/$SHIPPED_TREE/QuilloHost.exe"
winfolder=$("$WINE" winepath.exe -w "$folder")
printf 'quillo: opening %s\n' "$winfolder"

if [ -z "$headless" ]; then
  echo "quillo: right-click the host's window and choose \"Quillo 파일 만들기\""
  "$WINE" "$host" "$winfolder"
  exit $?
fi

# No display: scripted. The host reads its arguments wide, as Wine converts them from this
# locale's UTF-8.
"$WINE" "$host" --invoke "Quillo 파일 만들기" "$winfolder" &
host_pid=$!

caption="Quillo  Ver1.1"
wid=""
i=0
while [ -z "$wid" ] && [ $i -lt 300 ] && kill -0 "$host_pid" 2>/dev/null; do
  sleep 0.1
  i=$((i + 1))
  wid=$(xdotool search --onlyvisible --name "^$caption\$" 2>/dev/null | head -n 1) || wid=""
done
if [ -z "$wid" ]; then
  echo "quillo: the note window did not appear" >&2
  exit 1
fi
sleep 1  # let it paint
xdotool windowfocus "$wid" 2>/dev/null || true

# Write a short note as a user would (the text box has the focus, Tab goes to the title) and
# save it with Ctrl+S, under a title that names no file already in the folder.
title="quillo-note-$(date +%Y%m%d-%H%M%S)"
while [ -e "$folder/$title.txt" ]; do title="$title-1"; done
xdotool type --delay 30 "A note written by scripts/quillo.sh in the Quillo note window."
xdotool key Return
xdotool type --delay 30 "Saved into this folder as $title.txt."
xdotool key Tab
xdotool type --delay 30 "$title"
sleep 0.3
mkdir -p "$root/build"
import -window "$wid" "$root/build/quillo-note.png" 2>/dev/null \
  || import -window root "$root/build/quillo-note.png"
echo "quillo: the note window is open; screenshot in build/quillo-note.png"
xdotool key ctrl+s
i=0
while [ ! -f "$folder/$title.txt" ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
if [ -f "$folder/$title.txt" ]; then
  printf 'quillo: saved %s\n' "$folder/$title.txt"
else
  echo "quillo: the note was not saved" >&2
fi

# Close it as a user would (Alt+F4); the host then finds no window left and ends by itself.
xdotool windowfocus "$wid" 2>/dev/null || true
xdotool key alt+F4
i=0
while kill -0 "$host_pid" 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
if kill -0 "$host_pid" 2>/dev/null; then
  echo "quillo: the host did not end after the note window was closed" >&2
  exit 1
fi
status=0
wait "$host_pid" || status=$?
host_pid=""
echo "quillo: note window closed; host exited with $status"
[ -f "$folder/$title.txt" ] || status=1
exit $status
