// The file manager stand-in for one folder's background: a small window whose right-click
// builds the menu and invokes the choice (uHostWindow.cpp, uHostInvoke.cpp), and the loop of
// the window thread's apartment, which ends once no visible window of the process is left
// (uHostPump.cpp).
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "common/uHandles.h"
#include "shellclient/uShellClient.h"
#include "tools/uHostArgs.h"
#include "tools/uHostOutput.h"

class THost {
 public:
  THost(const TFolder& folder, std::vector<CLSID> classes, bool onWorker)
      : folder_(folder), classes_(std::move(classes)), onWorker_(onWorker) {}
  ~THost();
  THost(const THost&) = delete;
  THost& operator=(const THost&) = delete;

  // The folder's background, shown or not; false when it cannot be made.
  bool CreateHostWindow(bool visible);
  // Opens the menu once by itself, as soon as the loop runs.
  void ShowMenuSoon();
  // Builds the menu, lets the user (or the item's text) choose, and invokes the choice.
  // Returns an exit code.
  int RightClick(const std::wstring* scripted, bool listOnly, POINT at);
  // The thread's loop; returns the exit code once nothing is left to wait for.
  int Run();
  void Stop();

 private:
  int HandToWorker(const TShellHandler& owner, UINT offset, const std::wstring& text);
  void WorkerDone();
  bool Finished();
  static void CALLBACK ReportWorker(const TShellInvoke& job);
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
  static LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);

  const TFolder& folder_;
  std::vector<CLSID> classes_;
  bool onWorker_;
  HWND wnd_ = nullptr;
  UINT_PTR timer_ = 0;
  TKernelHandle worker_;
  TShellInvoke job_;
  int exitCode_ = kExitOk;
};

// --windows11: the folder's background as Windows 11's menu uses Quillo's command (Quillo.dll
// beside the host, the command made by class from it, a view's site for the folder, no item
// array), invoked once; the note opens in QuilloNote.exe, and the host ends at once, as the
// menu does. Returns an exit code.
int RunWindows11Command(const TFolder& folder);
