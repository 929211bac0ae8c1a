// What every QuilloBench mode shares: the clock, the handler DLLs and a right-click through
// them, opening and closing note windows, child processes, and the heap in use.
#pragma once

#include "tests/windows/support/uHeapUse.h"

#include <windows.h>
// (after windows.h, which it needs)
#include <shlobj.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "common/uHandles.h"
#include "shellclient/uShellClient.h"

constexpr wchar_t kNoteCaption[] = L"Quillo  Ver1.1";
constexpr int kRuns = 7;

double NowMs();
double Median(std::vector<double> v);
[[noreturn]] void Fail(const char* what, long code = 0);

// A scratch folder for the benchmarks' notes, emptied and removed at the end.
struct TScratch {
  std::wstring path;
  TPidl pidl;
  TScratch();
  ~TScratch();
};

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

// A handler library loaded by path; its class is the floor's when the file is QuilloFloor.dll.
struct THandlerDll {
  TModule module;
  GetClassObjectFn getClassObject = nullptr;
  CanUnloadNowFn canUnloadNow = nullptr;
  CLSID clsid{};
  explicit THandlerDll(const std::string& path);
};

// One right-click: the factory, a new handler, Initialize, QueryContextMenu into a fresh
// menu (or the one given), and every reference let go. The handler is handed out when asked.
HRESULT RightClick(const THandlerDll& dll, PCIDLIST_ABSOLUTE folder, TShellHandler* keep = nullptr,
                   HMENU into = nullptr);

// Delivers this thread's messages until the condition holds; false after the time limit.
template <typename Cond>
bool PumpUntil(Cond cond, DWORD limitMs = 10000) {
  const double end = NowMs() + limitMs;
  MSG msg;
  for (;;) {
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    if (cond()) return true;
    if (NowMs() > end) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

// A visible window of this process with the caption (Quillo's note windows live on its own
// UI thread), other than those given.
HWND ProcessWindow(const wchar_t* caption, const std::vector<HWND>& skip = {});
// A child window of the given class (and, when given, text prefix and multi-line style).
HWND Child(HWND parent, const wchar_t* cls, const wchar_t* textPrefix, bool multiline = false);
// Shown, in front and its folder label set: the window is ready for the user.
bool Ready(HWND w);
// Posts WM_CLOSE and pumps until the window is gone.
void CloseAndWait(HWND w);

// Opens a note window through the handler; the time from InvokeCommand, through the hand-over
// to Quillo's UI thread, until the window is ready, in ms. `open` are note windows already open.
double OpenNote(const THandlerDll& dll, const TScratch& scratch, HWND& window,
                const std::vector<HWND>& open = {});
// The thread of a window, to wait for its end (SYNCHRONIZE access).
TKernelHandle ThreadOf(HWND w);
// Pumps until Quillo's UI thread has ended, which it does once its last note has been gone
// for the library's grace period.
void WaitThreadGone(const TKernelHandle& thread);

// Runs this program again with ARGS; returns what it printed on its standard output.
std::string RunChild(const std::string& args);

void Row(const char* what, double quillo, double floor, const char* unit, const char* target);
