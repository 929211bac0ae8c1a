#!/bin/sh
# Quillo.dll must load on a bare Windows: it may import only DLLs that every Windows has,
# and its exports must carry their plain names and be exactly Quillo.def's (a runtime linked in
# may bring exports of its own: the ARM64 build's unwinder did). With --shipped it must also
# carry no pthreads layer (the test trees' posix thread model leaves winpthreads' source paths
# in the file). With --exe (QuilloNote.exe) only the imports are checked: it exports nothing.
# With --machine=HEX the file's machine type must be HEX (8664 x64, aa64 ARM64, 14c x86).
# OBJDUMP is binutils' or LLVM's (the only one that reads ARM64 files here).
# Usage: check-dll.sh OBJDUMP DLL [--shipped | --exe] [--machine=HEX]
set -u
objdump=$1 dll=$2
shift 2
shipped="" machine=""
for option in "$@"; do
  case $option in
    --machine=*) machine=${option#--machine=} ;;
    *) shipped=$option ;;
  esac
done
dump=$($objdump -p "$dll") || { echo "cannot read $dll"; exit 1; }
fail=0
if [ -n "$machine" ]; then
  # The PE header's offset is at 0x3C; its machine field follows the 4-byte signature.
  pe=$(od -An -tu4 -j60 -N4 "$dll" | tr -d ' ')
  found=$(od -An -tx2 -j$((pe + 4)) -N2 "$dll" | tr -d ' ')
  if [ "$found" = "$machine" ]; then
    echo "machine 0x$found"
  else
    echo "FAIL: machine 0x$found, not 0x$machine"; fail=1
  fi
fi
allowed='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|shell32|shlwapi|comctl32|imm32|msvcrt|uxtheme|version)\.dll$'
for dll_name in $(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z'); do
  if printf '%s\n' "$dll_name" | grep -Eq "$allowed"; then
    echo "imports $dll_name"
  else
    echo "FAIL: imports $dll_name, which a bare Windows does not have"; fail=1
  fi
done
[ "$shipped" = --exe ] && { [ $fail -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"; exit $fail; }
if printf '%s\n' "$dump" | grep -Eq '\[[[:space:]]*[0-9]+\].*(Dll|Quillo)[A-Za-z]+@[0-9]+'; then
  echo "FAIL: decorated export names"; fail=1
fi
# The exported names: binutils lists them as "[   n] Name" in the name pointer table, LLVM as
# "ordinal 0xRVA Name" under "Export Table:".
exported=$(printf '%s\n' "$dump" | sed -n \
  -e '/\[Ordinal\/Name Pointer\] Table/,/^$/ s/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*\([^[:space:]]*\)$/\1/p' \
  -e '/^Export Table:/,/^$/ s/^[[:space:]]*[0-9][0-9]*[[:space:]][[:space:]]*0x[0-9a-fA-F]*[[:space:]][[:space:]]*\([^[:space:]]*\)$/\1/p' \
  | sort)
wanted=$(sed -n 's/^[[:space:]][[:space:]]*\([A-Za-z][A-Za-z]*\).*/\1/p' "$(dirname "$0")/../Quillo.def" | sort)
for name in $wanted; do
  printf '%s\n' "$exported" | grep -qx "$name" || { echo "FAIL: $name not exported"; fail=1; }
done
for name in $exported; do
  printf '%s\n' "$wanted" | grep -qx "$name" || { echo "FAIL: exports $name, which Quillo.def does not name"; fail=1; }
done
if [ "$shipped" = --shipped ] && grep -aq 'winpthreads' "$dll"; then
  echo "FAIL: carries the pthreads layer (built with the posix thread model?)"; fail=1
fi
[ $fail -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $fail
