#!/bin/sh
# Builds what ships, signed (scripts/sign.sh): build/Quillo.dll (32-bit), build/arm64/Quillo.dll,
# QuilloNote.exe and Quillo-arm64.msix (64-bit ARM, Zig's clang), build/x64/Quillo.dll (64-bit),
# build/x64/Quillo.msix and build/x64/QuilloSetup.exe (which carries all three), with the win32
# thread model. A test tree's preset after it
# (windows32 for build/win32, windows64 for build/win64; --win64 is windows64) is built too.
set -eu
cd "$(dirname "$0")/.."
. scripts/lib.sh
for preset in windows arm64 x64 "$@"; do
  [ "$preset" = --win64 ] && preset=windows64
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
done
