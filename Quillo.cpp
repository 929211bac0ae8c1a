// The library's entry: what happens when the host loads and unloads Quillo.dll, and the four
// exports through which the COM runtime and regsvr32 reach it.
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include "note/fQuillo.h"
#include "server/uComServer.h"
#include "ui/uApplication.h"
#include "uContextMenu.h"

// libstdc++'s own release of its reserve for exceptions thrown when memory runs out.
namespace __gnu_cxx {
void __freeres() noexcept;
}

namespace {

HMODULE g_automation = nullptr;

// An open note window holds text nobody has saved yet: it keeps the library loaded just as
// a live COM object does, so that the host's periodic unload check cannot pull the code
// out from under it.
void CountNoteWindow(bool opened) noexcept {
  if (TComServer* server = ComServer) server->AdjustObjectCount(opened);
}

void LoadAutomation() noexcept {
  // A missing OLEAUT32 must not put a system error box in front of Explorer.
  UINT oldMode = ::SetErrorMode(SEM_NOOPENFILEERRORBOX);
  g_automation = ::LoadLibraryA("OLEAUT32.DLL");
  ::SetErrorMode(oldMode);
}

void DestroyServer() noexcept {
  TComServer* server = ComServer;
  ComServer = nullptr;  // from here on the exports answer without it
  delete server;        // destroys the factories, each leaving the registry
}

void Unload(bool processExiting) noexcept {
  DoneWindowing(processExiting);
  SetNoteWindowCountHook(nullptr);
  DestroyServer();
  if (g_automation) ::FreeLibrary(g_automation);
  g_automation = nullptr;
  DestroyComClassManager();
}

BOOL Load(HINSTANCE module) noexcept {
  try {
    LoadAutomation();
    ComServer = new TComServer(module);
    InitWindowing(module);
    new TContextMenuFactory(ComServer);  // owned by the server from here on
    SetNoteWindowCountHook(&CountNoteWindow);
    return TRUE;
  } catch (...) {
    Unload(false);
    return FALSE;
  }
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      return Load(module);
    case DLL_PROCESS_DETACH:
      // A non-null reserved pointer: the process is exiting, and no window may be touched.
      Unload(reserved != nullptr);
      // The statically linked C++ runtime allocates its exception reserve (about 73 KiB) when
      // the library loads and never frees it itself: every unload would leak it into the host.
      if (!reserved) __gnu_cxx::__freeres();
      return TRUE;
    default:
      return TRUE;
  }
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, LPVOID* out) {
  return ComServerGetClassObject(classId, iid, out);
}

STDAPI DllCanUnloadNow() { return ComServerCanUnloadNow(); }

STDAPI DllRegisterServer() { return ComServerRegister(true); }

STDAPI DllUnregisterServer() { return ComServerRegister(false); }

