#!/bin/sh
# Builds the note-rule fuzzers with clang's libFuzzer and runs each, side by side, for a fixed
# number of inputs from a small seed corpus made here: fuzz_note_rules checks properties of
# the rules on any UTF-16 text, fuzz_note_cp949 checks them against the old code page 949
# byte rules on every text that code page holds, fuzz_draft_format checks that the drafts
# reader takes nothing but what the writer makes.
# Usage: run.sh BUILD_DIR [RUNS]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top="$here/../.."
out=$1 runs=${2:-500000}  # each, side by side: about a minute on two cores
mkdir -p "$out"
flags="-std=c++17 -O1 -g -fsanitize=address,undefined -fno-sanitize-recover=all -I$top"
# The old rules are only the judge: left out of the coverage, so the fuzzer's time goes to
# the new ones.
clang++ $flags -c "$here/uByteRules.cpp" -o "$out/uByteRules.o"
build() {  # target, extra objects
  name=$1; shift
  clang++ $flags -fsanitize=fuzzer "$top/note/uNoteRules.cpp" "$@" "$here/$name.cpp" \
    -o "$out/$name"
}
build fuzz_note_rules
build fuzz_note_cp949 "$out/uByteRules.o"
clang++ $flags -fsanitize=fuzzer "$top/note/uDraftFormat.cpp" "$here/fuzz_draft_format.cpp" \
  -o "$out/fuzz_draft_format"

# Seeds: Korean lines with CR LF, blanks, the replaced characters, colons and device names;
# for the UTF-16 target also pairs and a lone surrogate.
seed() {  # dir, name, encoding, text (UTF-8)
  printf '%b' "$4" | iconv -f UTF-8 -t "$3" >"$1/$2"
}
for enc in CP949 UTF-16LE; do
  d="$out/seed-$enc"
  rm -rf "$d" && mkdir -p "$d"
  seed "$d" 1 $enc '회의록\r\n본문입니다.\r\n'
  seed "$d" 2 $enc '  /제목/ "인용" <가|나>\\ \r\n\r\n내용'
  seed "$d" 3 $enc '\r\n \t \r\n\t회의 10:30\r\n끝'
  seed "$d" 4 $enc 'nul.한글\r\ncom1 .txt\r\nLpT9'
  seed "$d" 5 $enc '\0343\0200\0200전각 공백\0343\0200\0200 \r\n＼／＂'
done
seed "$out/seed-UTF-16LE" 6 UTF-16LE '\0360\0237\0230\0200 제목/\r\n'
printf '\075\330a\000' >>"$out/seed-UTF-16LE/6"
seed "$out/seed-UTF-16LE" 7 UTF-16LE 'x\0360\0237\0230\0200y'  # a pair across the cut

# A draft of one unit each for folder, title and text (the target mends the checksum), and
# one that says UTF-8.
d="$out/seed-draft"
rm -rf "$d" && mkdir -p "$d"
n=0
for flags in '\0' '\001'; do
  n=$((n + 1))
  printf "QuiloDft\\001\\0\\0\\0$flags\\0\\0\\0\\052\\0\\0\\0\\001\\002\\003\\004\\005\\006\\007\\010" >"$d/$n"
  printf '\001\0\0\0\001\0\0\0\003\0\0\0C\0\354\306a\0\075\330\000\336xxxx' >>"$d/$n"
done

run() {  # target, seed dir, max_len
  "$out/$1" -runs="$runs" -max_len="$3" -seed=1 "$out/$2" 2>"$out/$1.log"
}
run fuzz_note_rules seed-UTF-16LE 9000 & rules=$!
run fuzz_note_cp949 seed-CP949 9000 & cp949=$!
run fuzz_draft_format seed-draft 4096 & draft=$!
passed=0 failed=0
for t in "fuzz_note_rules $rules" "fuzz_note_cp949 $cp949" "fuzz_draft_format $draft"; do
  set -- $t
  if wait "$2"; then
    passed=$((passed + 1))
    echo "$1: $(grep -E '^Done [0-9]+ runs' "$out/$1.log" || tail -n 1 "$out/$1.log")"
  else
    failed=$((failed + 1))
    echo "$1 FAILED:"; tail -n 30 "$out/$1.log"
  fi
done
grep -h '^compared ' "$out/fuzz_note_cp949.log" || true
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
