// The library's entry: what happens when the host loads and unloads Quillo.dll, and the
// exports through which the COM runtime and regsvr32 reach it (DllInstall: per-user setup).
//
// Loading and unloading touch no window and no window class: the windowing layer lives on the
// note windows' own thread (note/uNoteThread.h), which holds the library while it runs and is
// therefore gone before the library can be unloaded.
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include "note/fQuillo.h"
#include "server/uComServer.h"
#include "uContextMenu.h"
#ifdef _WIN64
#include "note/uNoteProcess.h"
#include "uExplorerCommand.h"
#endif

// libstdc++'s own release of its reserve for exceptions thrown when memory runs out. (libc++,
// the ARM64 build's, keeps its reserve in static storage: nothing to free.)
#ifdef __GLIBCXX__
namespace __gnu_cxx {
void __freeres() noexcept;
}
#endif

namespace {

// An open note window counts as a live object, so that the host's unload check says no
// while one is open (the UI thread's own reference on the library keeps the code loaded in
// any case, until the thread has left it).
void CountNoteWindow(bool opened) noexcept {
  if (TComServer* server = ComServer) server->AdjustObjectCount(opened);
}

void DestroyServer() noexcept {
  TComServer* server = ComServer;
  ComServer = nullptr;  // from here on the exports answer without it
  delete server;        // destroys the factories, each leaving the registry
}

void Unload() noexcept {
  SetNoteWindowCountHook(nullptr);
  DestroyServer();
  DestroyComClassManager();
}

BOOL Load(HINSTANCE module) noexcept {
  try {
    // The automation library is not loaded: nothing of Quillo uses it, and loading it would be
    // most of what a first right-click costs beyond the least any handler must do.
    ComServer = new TComServer(module);
    new TContextMenuFactory(ComServer);  // owned by the server from here on
#ifdef _WIN64
    // Windows 11's command: 64-bit only, as there is no 32-bit Windows 11.
    new TExplorerCommandFactory(ComServer);
#endif
    SetNoteWindowCountHook(&CountNoteWindow);
    return TRUE;
  } catch (...) {
    Unload();
    return FALSE;
  }
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      return Load(module);
    case DLL_PROCESS_DETACH:
      // At process exit (reserved not null) the other threads are already gone, killed where
      // they stood, perhaps holding the locks the unload path takes; the process's memory
      // goes anyway. Nothing to do.
      if (reserved) return TRUE;
      Unload();
      // The statically linked C++ runtime allocates its exception reserve (about 73 KiB) when
      // the library loads and never frees it itself: every unload would leak it into the host.
#ifdef __GLIBCXX__
      __gnu_cxx::__freeres();
#endif
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

STDAPI DllInstall(BOOL install, PCWSTR cmdLine) { return InstallForUser(install != FALSE, cmdLine); }


// QuilloNote.exe's body (the exe only loads this library and calls it), so that the note
// process shows the very window the classic handler shows. The 32-bit library has no note
// process.
extern "C" int WINAPI QuilloNoteMain(const wchar_t* commandLine) {
#ifdef _WIN64
  return RunNoteProcess(commandLine);
#else
  (void)commandLine;
  return 1;
#endif
}
