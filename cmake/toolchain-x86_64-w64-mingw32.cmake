# Cross-build for 64-bit Windows (the shipped DLL with the -win32 file, the 64-bit tests without).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(QUILLO_TRIPLE x86_64-w64-mingw32)
# The test trees take the posix thread model, which gives GoogleTest and the tools std::mutex
# and std::thread; the shipped trees set QUILLO_THREADS to win32 first (the *-win32 toolchain
# files), so that no pthreads layer is linked into the DLL. The runtime is linked statically.
if(NOT QUILLO_THREADS)
  set(QUILLO_THREADS posix)
endif()
set(CMAKE_C_COMPILER   ${QUILLO_TRIPLE}-gcc-${QUILLO_THREADS})
set(CMAKE_CXX_COMPILER ${QUILLO_TRIPLE}-g++-${QUILLO_THREADS})
set(CMAKE_RC_COMPILER  ${QUILLO_TRIPLE}-windres)
set(QUILLO_WIDL        ${QUILLO_TRIPLE}-widl)
set(QUILLO_OBJDUMP     ${QUILLO_TRIPLE}-objdump)
set(QUILLO_WINE        /usr/lib/wine/wine64)
set(CMAKE_FIND_ROOT_PATH /usr/${QUILLO_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
