#!/bin/sh
# Quillo.dll must load on a bare Windows: it may import only DLLs that every Windows has,
# and its exports must carry their plain names. With --shipped it must also carry no pthreads
# layer (the test trees' posix thread model leaves winpthreads' source paths in the file).
# With --exe (QuilloNote.exe) only the imports are checked: it exports nothing.
# Usage: check-dll.sh OBJDUMP DLL [--shipped | --exe]
set -u
objdump=$1 dll=$2 shipped=${3:-}
dump=$($objdump -p "$dll") || { echo "cannot read $dll"; exit 1; }
fail=0
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
for name in $(sed -n 's/^[[:space:]][[:space:]]*\([A-Za-z][A-Za-z]*\).*/\1/p' "$(dirname "$0")/../Quillo.def"); do
  printf '%s\n' "$dump" | grep -Eq "[[:space:]]$name\$" || { echo "FAIL: $name not exported"; fail=1; }
done
if [ "$shipped" = --shipped ] && grep -aq 'winpthreads' "$dll"; then
  echo "FAIL: carries the pthreads layer (built with the posix thread model?)"; fail=1
fi
[ $fail -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $fail
