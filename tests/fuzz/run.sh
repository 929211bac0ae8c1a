#!/bin/sh
# Builds the note-rule fuzzer with clang's libFuzzer and runs it for a fixed number of inputs.
# Usage: run.sh BUILD_DIR [RUNS]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top="$here/../.."
out=$1 runs=${2:-1000000}
mkdir -p "$out"
clang++ -std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$top" "$top/note/uNoteRules.cpp" "$here/fuzz_note_rules.cpp" -o "$out/fuzz_note_rules"
"$out/fuzz_note_rules" -runs="$runs" -max_len=9000 -seed=1 2>"$out/fuzz.log" \
  || { tail -n 30 "$out/fuzz.log"; echo "0 passed, 1 failed"; exit 1; }
grep -E '^Done [0-9]+ runs' "$out/fuzz.log" || tail -n 2 "$out/fuzz.log"
echo "1 passed, 0 failed"
