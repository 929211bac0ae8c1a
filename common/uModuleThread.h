// A thread of Quillo's own that holds the library while it runs, so that neither the host's
// unload check nor the COM runtime can take the code away from under it. Its procedure gets
// the module as its parameter and must end with FreeLibraryAndExitThread(module, code).
#pragma once

#include <windows.h>

// False, and nothing held, when the thread could not be started.
inline bool StartModuleThread(LPTHREAD_START_ROUTINE proc) noexcept {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(proc), &module))
    return false;
  if (HANDLE thread = ::CreateThread(nullptr, 0, proc, module, 0, nullptr)) {
    ::CloseHandle(thread);
    return true;
  }
  ::FreeLibrary(module);
  return false;
}
