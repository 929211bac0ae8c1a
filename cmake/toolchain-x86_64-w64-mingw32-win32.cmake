# The shipped 64-bit build: the win32 thread model, so that the DLL carries no pthreads layer.
set(QUILLO_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-x86_64-w64-mingw32.cmake)
