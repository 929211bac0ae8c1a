#!/bin/sh
# Creates the build tree's private Wine prefix once (it takes a while) and reuses it after.
# It is made under the Korean locale, and serves every other one as well: each Wine process
# takes its ANSI code page from its own LC_ALL, so no prefix is tied to a code page.
# With a DPI, it makes (once) PREFIX-dpiDPI beside it: a copy whose display is at that DPI.
# With a NAME, it makes PREFIX-NAME (at DPI, when one is given too): a copy for tests that run
# beside the prefix's own (tests/windows/wine-lanes.sh).
# Usage: wineprefix.sh WINE PREFIX [DPI [NAME]]
set -eu
wine=$1 prefix=$2 dpi=${3:-} name=${4:-}
export WINEPREFIX="$prefix" WINEDEBUG=-all LC_ALL=ko_KR.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml="
# Bump when the settings below change, so that existing prefixes take them too.
version=3
ready="$prefix/.quillo-ready"
if [ "$(cat "$ready" 2>/dev/null)" != "$version" ]; then
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ "$(cat "$ready" 2>/dev/null)" = "$version" ] && exit 0
[ -f "$prefix/system.reg" ] || "$wine" wineboot -i >/dev/null 2>&1
# The forms ask for Gulim and Dotum, which only Windows ships. Baekmuk's Gulim has Gulim's
# metrics (the digit zero is 12 pixels high at -12), so the windows keep their design sizes;
# the text box's Dotum scales nothing, and Nanum reads better there.
for face in Gulim 굴림 GulimChe; do
  "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "Baekmuk Gulim" /f >/dev/null 2>&1
done
for face in Dotum 돋움 DotumChe; do
  "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d NanumGothic /f >/dev/null 2>&1
done
# Xvfb runs no window manager: Wine then draws the frames itself, and closing a window does
# not wait two seconds for a manager that never answers.
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w 2>/dev/null || true
echo "$version" >"$ready"
exec 9>&-
fi

[ -n "$dpi$name" ] || exit 0
# A copy of the prefix made while no program runs in it (the copy takes seconds; a new prefix,
# minutes); at another scale, with both places Windows keeps the DPI set.
scaled="$prefix"
[ -n "$dpi" ] && scaled="$scaled-dpi$dpi"
[ -n "$name" ] && scaled="$scaled-$name"
[ "$(cat "$scaled/.quillo-ready" 2>/dev/null)" = "$version.$dpi" ] && exit 0
exec 8>"$scaled.lock"
flock 8
[ "$(cat "$scaled/.quillo-ready" 2>/dev/null)" = "$version.$dpi" ] && exit 0
wineserver -w 2>/dev/null || true
rm -rf "$scaled"
cp -a "$prefix" "$scaled"
export WINEPREFIX="$scaled"
if [ -n "$dpi" ]; then
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  "$wine" reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
    /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  wineserver -w 2>/dev/null || true
fi
echo "$version.$dpi" >"$scaled/.quillo-ready"
