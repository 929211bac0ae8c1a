// The loop of the host's apartment thread: it runs until no visible window of the process is
// left, whichever thread made it (a handler may keep its windows on a thread of its own), and
// frees unused libraries as it goes, as the file manager does.
#include "tools/uHost.h"

#include <objbase.h>

namespace {

constexpr DWORD kUnloadDelayMs = 1000;

bool ProcessShowsWindows() { return !VisibleWindows(::GetCurrentProcessId()).empty(); }

}  // namespace

int THost::Run() {
  MSG msg;
  while (!Finished()) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) break;  // WM_QUIT
    if (got == -1) {
      Say("GetMessage failed (%lu)", ::GetLastError());
      return kExitUsage;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return exitCode_;
}

// Called after every message and on every tick. A closing window may still wait for its
// posted release, so the queue is drained before the host calls it done.
bool THost::Finished() {
  if (worker_ && ::WaitForSingleObject(worker_.get(), 0) == WAIT_OBJECT_0) WorkerDone();
  if (worker_) return false;
  if (ProcessShowsWindows()) return false;
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) return true;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return !ProcessShowsWindows() && !worker_;
}

void CALLBACK THost::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
  try {
    ::CoFreeUnusedLibrariesEx(kUnloadDelayMs, 0);
  } catch (...) {
  }
}
