#!/bin/sh
# Creates the build tree's private Wine prefix once (it takes a while) and reuses it after.
# Usage: wineprefix.sh WINE PREFIX
set -eu
wine=$1 prefix=$2
export WINEPREFIX="$prefix" WINEDEBUG=-all LC_ALL=ko_KR.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$prefix/.quillo-ready" ] && exit 0
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.quillo-ready" ] && exit 0
"$wine" wineboot -i >/dev/null 2>&1
# The note window asks for Gulim and Dotum, which only Windows ships: show them with Nanum.
for face in Gulim Dotum 굴림 돋움 GulimChe DotumChe; do
  "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d NanumGothic /f >/dev/null 2>&1
done
# Xvfb runs no window manager: Wine then draws the frames itself, and closing a window does
# not wait two seconds for a manager that never answers.
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w 2>/dev/null || true
touch "$prefix/.quillo-ready"
