#!/bin/sh
# Builds the shipped 32-bit Quillo.dll into build/ (and, with --win64, the 64-bit tree).
set -eu
cd "$(dirname "$0")/.."
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc)"
if [ "${1:-}" = "--win64" ]; then
  cmake --preset windows64 >/dev/null
  cmake --build --preset windows64 -j"$(nproc)"
fi
