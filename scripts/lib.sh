# Shared pieces of Quillo's scripts (sourced, not run).

# Compiles through ccache where the machine has it (scripts/setup.sh installs it), unless a
# launcher is chosen already: a second build of any clone of this tree, and every tree that
# compiles the same file with the same flags, takes the objects from the cache. Takes effect
# when a tree is configured for the first time.
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}" \
         CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}" \
         CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(pwd)}" CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
fi

# True while binfmt_misc hands 32-bit x86 programs to an emulator (qemu-user): they then start,
# but slowly, so that is not a machine that runs them natively.
i386_emulated() {
  [ "$(cat /proc/sys/fs/binfmt_misc/status 2>/dev/null)" = enabled ] || return 1
  for entry in /proc/sys/fs/binfmt_misc/*; do
    case ${entry##*/} in register|status) continue ;; esac
    [ -r "$entry" ] || continue
    head -n 1 "$entry" | grep -qx enabled || continue
    grep -q '^interpreter .*qemu-i386' "$entry" && return 0
    grep -qi '^magic 7f454c4601010100000000000000000002000300' "$entry" && return 0
  done
  return 1
}

# 32-bit Wine needs a kernel that runs 32-bit programs; some virtual machines do not. Emulated
# execution does not count: the suite would take hours there.
can_run_32bit() {
  ! i386_emulated && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Starts Xvfb on a free display and exports DISPLAY; stop_xvfb ends it.
start_xvfb() {
  fd_file=$(mktemp)
  # Room for the note window at 150 % (1323 x 942).
  Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
  XVFB_PID=$!
  i=0
  while [ ! -s "$fd_file" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  [ -s "$fd_file" ] || { echo "Xvfb did not start" >&2; return 1; }
  DISPLAY=":$(head -n 1 "$fd_file")"
  export DISPLAY
  rm -f "$fd_file"
}

stop_xvfb() {
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null
  XVFB_PID=""
}

# The Wine this machine runs Windows programs with, and the shipped tree of that bitness (its
# preset, its DLL).
pick_shipped_tree() {
  if can_run_32bit; then
    WINE=/usr/lib/wine/wine
    SHIPPED_TREE=build SHIPPED_PRESET=windows
  else
    WINE=/usr/lib/wine/wine64
    SHIPPED_TREE=build/x64 SHIPPED_PRESET=x64
  fi
  SHIPPED_DLL=$SHIPPED_TREE/Quillo.dll
}

# Hands 32-bit x86 programs to qemu-user for this run only (root, machine-wide): registers an
# entry of its own, which stop_i386_emulation removes again. Nothing is done, and nothing will
# be removed, when an emulation is registered already.
I386_ENTRY=""
start_i386_emulation() {
  i386_emulated && return 0
  qemu=$(command -v qemu-i386-static) || { echo "qemu-i386-static is missing" >&2; return 1; }
  binfmt=/proc/sys/fs/binfmt_misc
  [ -w "$binfmt/register" ] || mount binfmt_misc -t binfmt_misc "$binfmt" || return 1
  I386_ENTRY="quillo-i386-$$"
  printf ':%s:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:%s:F\n' \
    "$I386_ENTRY" "$qemu" >"$binfmt/register" || { I386_ENTRY=""; return 1; }
}

stop_i386_emulation() {
  [ -n "$I386_ENTRY" ] && [ -e "/proc/sys/fs/binfmt_misc/$I386_ENTRY" ] \
    && echo -1 >"/proc/sys/fs/binfmt_misc/$I386_ENTRY"
  I386_ENTRY=""
}

# Where scripts/setup-zig.sh puts the ARM64 cross compiler (not in the repository): a folder
# under /opt when that can be written, else under the user's cache.
zig_dir() {
  if [ -n "${QUILLO_ZIG_DIR:-}" ]; then echo "$QUILLO_ZIG_DIR"
  elif [ -w /opt ] || [ -d /opt/quillo/zig-0.11.0 ]; then echo /opt/quillo/zig-0.11.0
  else echo "${XDG_CACHE_HOME:-$HOME/.cache}/quillo/zig-0.11.0"
  fi
}
