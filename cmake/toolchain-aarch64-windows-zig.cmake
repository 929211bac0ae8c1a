# Cross-build for 64-bit ARM Windows (the arm64 preset, a shipped tree only). Debian's mingw-w64
# has no aarch64 target: Zig 0.11 (clang 16, libc++, the mingw-w64 runtime built from source on
# first use and kept in ~/.cache/zig) compiles and links, installed by scripts/setup-zig.sh.
# The runtime is linked statically, as everywhere; no pthreads layer (libc++ on Win32 threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
set(QUILLO_TRIPLE aarch64-w64-mingw32)
set(QUILLO_ZIG_TOOLS ${CMAKE_CURRENT_LIST_DIR}/zig)
set(CMAKE_C_COMPILER   ${QUILLO_ZIG_TOOLS}/cc)
set(CMAKE_CXX_COMPILER ${QUILLO_ZIG_TOOLS}/c++)
set(CMAKE_AR           ${QUILLO_ZIG_TOOLS}/ar CACHE FILEPATH "")
set(CMAKE_RANLIB       ${QUILLO_ZIG_TOOLS}/ranlib CACHE FILEPATH "")
# The link-time optimiser's archives hold LLVM 16 bitcode: Zig's archiver, not the host's LLVM.
foreach(lang C CXX)
  set(CMAKE_${lang}_COMPILER_AR     ${QUILLO_ZIG_TOOLS}/ar CACHE FILEPATH "")
  set(CMAKE_${lang}_COMPILER_RANLIB ${QUILLO_ZIG_TOOLS}/ranlib CACHE FILEPATH "")
endforeach()
# No libraries behind every link: each target names its own. (Zig takes uuid and the like
# for a reason to link the C runtime, which QuilloNote.exe does without.)
foreach(lang C CXX)
  set(CMAKE_${lang}_STANDARD_LIBRARIES "" CACHE STRING "")
endforeach()
# Resources: cmake/zig/windres (binutils cannot write an ARM64 object; it can write a .res).
set(CMAKE_RC_COMPILER ${QUILLO_ZIG_TOOLS}/windres)
set(QUILLO_WIDL        x86_64-w64-mingw32-widl)
set(QUILLO_OBJDUMP     llvm-objdump)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
