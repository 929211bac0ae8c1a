#!/bin/sh
# Installs what building and testing Quillo needs, from Debian's packages. Safe to run again.
set -eu
packages="cmake make g++ clang libclang-rt-14-dev googletest g++-mingw-w64-i686 g++-mingw-w64-x86-64 nsis
  mingw-w64-tools wine wine32:i386 wine64 xvfb x11-apps x11-utils xdotool imagemagick fonts-nanum fonts-baekmuk locales qemu-user-static"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed' || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "setup: installing$missing"
  $sudo dpkg --add-architecture i386
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi
# Wine takes the ANSI code page from the locale, and names non-ASCII files only in one that
# exists: Korean for 949 (the tests' default), and for the tests under other code pages
# en_US for 1252 and hi_IN for 65001 (UTF-8).
generate=""
for name in ko_KR en_US hi_IN; do
  locale -a 2>/dev/null | grep -qi "^$name\.utf-\?8$" && continue
  $sudo sed -i "s/^# *$name.UTF-8 UTF-8/$name.UTF-8 UTF-8/" /etc/locale.gen
  grep -q "^$name.UTF-8 UTF-8" /etc/locale.gen || echo "$name.UTF-8 UTF-8" | $sudo tee -a /etc/locale.gen >/dev/null
  generate=1
done
[ -z "$generate" ] || $sudo locale-gen >/dev/null
# Signing (scripts/sign.sh) needs openssl, python3 (the package's packer) and osslsigncode 2.7
# or later, the first that signs MSIX packages; Debian 12's own is 2.5, its backports carry 2.9.
for p in openssl python3; do
  command -v "$p" >/dev/null 2>&1 || {
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$p" >/dev/null
  }
done
osslsigncode_ok() {
  v=$(osslsigncode --version 2>/dev/null | sed -n '1s/^osslsigncode \([0-9]*\)\.\([0-9]*\).*/\1 \2/p')
  [ -n "$v" ] && { [ "${v% *}" -gt 2 ] || { [ "${v% *}" -eq 2 ] && [ "${v#* }" -ge 7 ]; }; }
}
if ! osslsigncode_ok; then
  echo "setup: installing osslsigncode from bookworm-backports"
  list=/etc/apt/sources.list.d/bookworm-backports.list
  if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    echo "deb http://deb.debian.org/debian bookworm-backports main" | $sudo tee "$list" >/dev/null
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    -t bookworm-backports osslsigncode >/dev/null
  osslsigncode_ok || { echo "setup: osslsigncode 2.7 or later is still missing" >&2; exit 1; }
fi
