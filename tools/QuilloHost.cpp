// QuilloHost: plays the file manager's part for one folder's background, through the public
// shell-extension contract only. It finds the background menu handlers in the registry, makes
// each with CoCreateInstance (so the COM runtime reads their registration), initialises them
// with the folder, lets them fill a popup menu, invokes the chosen command, lets them go, and
// then pumps its apartment thread until no visible window of its process is left.
//
//   QuilloHost [--invoke TEXT] [--invoke-on-window-thread] [--list] [FOLDER]
//   QuilloHost --windows11 [FOLDER]
//
// Without --invoke the folder's background is a small window: the menu opens at the cursor
// (once at the start, and on every right-click). With --invoke the item whose text is TEXT
// is chosen without showing anything. --list prints the menu and exits. Everything is wide:
// the arguments are read as UTF-16 whatever the system's code page, menus and the folder's
// path too; what the host prints goes to a console as UTF-16, and anywhere else (a pipe, a
// file) as UTF-8.
//
// --windows11 plays Windows 11's menu instead: Quillo's IExplorerCommand, made by class from
// the Quillo.dll beside the host (the package, not the registry, names it there), given a site
// for the folder and invoked; the note opens in QuilloNote.exe and the host ends at once.
//
// The chosen command is invoked as the current file manager does: the item's canonical verb
// is read (GCS_VERBW), and a worker thread with its own apartment creates a second handler,
// initialises it, fills a menu, invokes the verb (CMINVOKECOMMANDINFOEX, Unicode and ANSI
// verb), lets everything go, uninitialises COM and ends at once; without a verb the item is
// found again by its text and invoked by its offset. --invoke-on-window-thread invokes the
// first handler by offset on the window thread instead, as older file managers did.
//
// Exit codes: 0 done, 1 usage or COM start-up, 2 folder missing or without a file-system path,
// 3 no handler registered, 4 the item was not found or its command failed.
//
// The shell contract itself is shellclient/'s; the host's own pieces: the command line
// and the folder (uHostArgs), the menu (uHostMenu), the window (uHostWindow), invoking
// (uHostInvoke), the loop (uHostPump) and what it prints (uHostOutput).
#include <windows.h>

#include "shellclient/uShellClient.h"
#include "tools/uHost.h"
#include "tools/uHostArgs.h"
#include "tools/uHostOutput.h"

namespace {

int HostMain() {
  THostOptions options;
  int rc = ReadArguments(options);
  if (rc != kExitOk) return rc;

  const TApartmentScope ole(true);
  if (FAILED(ole.Result())) {
    Say("OleInitialize failed (0x%08lX)", static_cast<unsigned long>(ole.Result()));
    return kExitUsage;
  }
  {
    TFolder folder;
    if ((rc = OpenFolder(options.folder, folder)) != kExitOk) return rc;
    if (options.windows11) return RunWindows11Command(folder);
    std::vector<CLSID> classes = BackgroundHandlers();
    if (classes.empty()) {
      Say("no context menu handler is registered for folder backgrounds (HKCR\\%s)",
          Utf8(kBackgroundHandlersKey).c_str());
      return kExitNoHandler;
    }
    THost host(folder, std::move(classes), options.onWorker);
    if (!host.CreateHostWindow(!options.scripted && !options.listOnly)) {
      Say("cannot create the host window (%lu)", ::GetLastError());
      return kExitUsage;
    }
    if (options.listOnly || options.scripted) {
      // The host's window stays hidden in these modes; it still owns what the command opens.
      rc = host.RightClick(options.scripted ? &options.invokeText : nullptr, options.listOnly,
                           POINT{0, 0});
      if (rc != kExitOk || options.listOnly) {
        host.Stop();
        return rc;
      }
    } else {
      host.ShowMenuSoon();  // the menu opens once by itself
    }
    rc = host.Run();
    host.Stop();
  }
  ::CoFreeUnusedLibrariesEx(0, 0);
  return rc;
}

}  // namespace

int main() {
  try {
    return HostMain();
  } catch (...) {
    Say("failed unexpectedly");
    return kExitUsage;
  }
}
