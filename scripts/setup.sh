#!/bin/sh
# Installs what building and testing Quillo needs, from Debian's packages, through the mirror
# this machine is configured for. Safe to run again. A mirror in the middle of a sync (one index
# of an unexpected size) does not stop it: a failed update is tried three times and then the
# lists it has serve; an install that still fails, because one architecture's index of a suite
# is missing (multiarch needs the same version on both), is tried once more with that suite left
# out, from a copy of the sources. The machine's own sources are never changed, except for the
# backports line that osslsigncode needs.
set -eu
packages="cmake make g++ clang libclang-rt-14-dev llvm googletest g++-mingw-w64-i686 g++-mingw-w64-x86-64 nsis
  mingw-w64-tools wine wine32:i386 wine64 xvfb x11-apps x11-utils xdotool imagemagick fonts-nanum fonts-baekmuk locales qemu-user-static ccache"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The suites (and the reason) of the indexes the last update could not fetch, one a line.
failed_suites=""
failed_why=""
# Usage: apt_update [APT OPTIONS]. Three tries, 10 s apart; false when the last one failed.
apt_update() {
  try=1
  while :; do
    if $sudo apt-get update -qq "$@" >"$work/update.log" 2>&1; then
      failed_suites="" failed_why=""
      return 0
    fi
    failed_why=$(grep -E '^(E|W): ' "$work/update.log" | head -n 1)
    failed_suites=$(sed -n \
      -e "s|.*Failed to fetch [^ ]*/dists/\([^/ ]*\)/.*|\1|p" \
      -e "s|.*The repository '[^ ]* \([^ ]*\) Release' .*|\1|p" "$work/update.log" | sort -u)
    [ "$try" -lt 3 ] || break
    echo "setup: apt-get update failed (try $try of 3): $failed_why" >&2
    try=$((try + 1))
    sleep 10
  done
  echo "setup: apt-get update failed three times for: $(echo $failed_suites); going on with the lists there are" >&2
  return 1
}

# Usage: apt_install [APT OPTIONS --] PACKAGE...
apt_install() {
  $sudo apt-get install -y -qq --no-install-recommends "$@" >"$work/install.log" 2>&1 \
    || { tail -n 15 "$work/install.log" >&2; return 1; }
}

# A copy of the configured sources (both formats) without the suites in $failed_suites, in
# $work/sources; prints the apt options that use it with lists of its own.
sources_without_failed() {
  eval "$(apt-config shell list Dir::Etc::sourcelist/f parts Dir::Etc::sourceparts/d)"
  mkdir -p "$work/sources/parts" "$work/lists/partial"
  skip=$(echo $failed_suites)
  filter() {
    awk -v skip=" $skip " '
      function drop(s) { return index(skip, " " s " ") > 0 }
      # One-line format: "deb [options] URI SUITE COMPONENT..."
      FILENAME ~ /\.list$/ {
        n = split($0, f, " "); i = 2
        if (f[i] ~ /^\[/) while (i <= n && f[i] !~ /\]$/) i++
        if ($1 ~ /^deb/ && drop(f[i + 2])) next
        print; next
      }
      # deb822: stanzas apart by blank lines; a stanza left with no suite goes.
      function flush() { if (keep && stanza != "") printf "%s\n", stanza; stanza = ""; keep = 1 }
      BEGIN { keep = 1 }
      /^[ \t]*$/ { flush(); next }
      /^Suites:/ {
        line = "Suites:"; left = 0
        for (i = 2; i <= NF; i++) if (!drop($i)) { line = line " " $i; left++ }
        if (!left) keep = 0
        stanza = stanza line "\n"; next
      }
      { stanza = stanza $0 "\n" }
      END { flush() }' "$1"
  }
  [ -f "$list" ] && filter "$list" >"$work/sources/sources.list"
  for f in "$parts"*.list "$parts"*.sources; do
    [ -f "$f" ] && filter "$f" >"$work/sources/parts/${f##*/}"
  done
  echo "-o Dir::Etc::sourcelist=$work/sources/sources.list -o Dir::Etc::sourceparts=$work/sources/parts" \
       "-o Dir::State::Lists=$work/lists"
}

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed' || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "setup: installing$missing"
  $sudo dpkg --add-architecture i386
  apt_update || true
  # shellcheck disable=SC2086
  if ! apt_install $missing; then
    [ -n "$failed_suites" ] || { echo "setup: apt-get install failed (see above); run this again" >&2; exit 1; }
    left_out=$(echo $failed_suites)
    echo "setup: the install failed while the index of $left_out was missing; trying once more without $left_out" >&2
    opts=$(sources_without_failed)
    # shellcheck disable=SC2086
    if ! apt_update $opts || ! apt_install $opts $missing; then
      echo "setup: could not install the packages: the index of $left_out failed ($failed_why);" \
           "run 'sh scripts/setup.sh' again when the mirror has synced" >&2
      exit 1
    fi
    echo "setup: installed without $left_out; the machine's sources are unchanged"
  fi
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
  command -v "$p" >/dev/null 2>&1 || { apt_update || true; apt_install "$p"; }
done
osslsigncode_ok() {
  v=$(osslsigncode --version 2>/dev/null | sed -n '1s/^osslsigncode \([0-9]*\)\.\([0-9]*\).*/\1 \2/p')
  [ -n "$v" ] && { [ "${v% *}" -gt 2 ] || { [ "${v% *}" -eq 2 ] && [ "${v#* }" -ge 7 ]; }; }
}
# The mirror this machine takes bookworm from (a local mirror or a proxy keeps working).
bookworm_mirror() {
  apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 2>/dev/null | awk '$2 == "bookworm" { print $1; exit }'
}
if ! osslsigncode_ok; then
  echo "setup: installing osslsigncode from bookworm-backports"
  if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    mirror=$(bookworm_mirror)
    [ -n "$mirror" ] || { echo "setup: no configured source for bookworm to take backports from" >&2; exit 1; }
    echo "deb ${mirror%/} bookworm-backports main" | $sudo tee /etc/apt/sources.list.d/bookworm-backports.list >/dev/null
  fi
  apt_update || true
  apt_install -t bookworm-backports osslsigncode || true
  osslsigncode_ok || { echo "setup: osslsigncode 2.7 or later is still missing; run this again" >&2; exit 1; }
fi
# The ARM64 compiler (Zig, pinned by version and hash), through npm's configured registry
# (a machine's own Node.js may bring npm; Debian's package otherwise).
command -v npm >/dev/null 2>&1 || { apt_update || true; apt_install npm; }
sh "$(dirname "$0")/setup-zig.sh"
