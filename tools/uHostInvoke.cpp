// The host's right-click: the menu built, the item chosen, and the command invoked, by default
// as the current file manager does (a worker thread, a second handler, the canonical verb),
// or by offset on the window thread as older ones did.
#include "tools/uHost.h"

#include "tools/uHostMenu.h"

namespace {

std::string Caption(HWND wnd) {
  wchar_t text[256] = {};
  ::GetWindowTextW(wnd, text, 256);
  return Utf8(text);
}

unsigned ProcessWindowCount() {
  return static_cast<unsigned>(VisibleWindows(::GetCurrentProcessId()).size());
}

}  // namespace

THost::~THost() {
  if (worker_) ::WaitForSingleObject(worker_.get(), INFINITE);
}

int THost::RightClick(const std::wstring* scripted, bool listOnly, POINT at) {
  TBackgroundMenu menu;
  const int rc = BuildMenu(folder_, classes_, menu);
  if (rc != kExitOk) return rc;
  if (listOnly) {
    PrintMenu(menu.menu.get(), 0);
    return kExitOk;
  }
  UINT id = 0;
  if (scripted) {
    id = FindMenuItem(menu.menu.get(), *scripted);
    if (!id) {
      Say("no menu item reads \"%s\"; the menu holds:", Utf8(*scripted).c_str());
      PrintMenu(menu.menu.get(), 1);
      return kExitInvoke;
    }
  } else {
    // The menu needs its owner in the foreground to close when the user clicks elsewhere.
    ::SetForegroundWindow(wnd_);
    id = static_cast<UINT>(::TrackPopupMenu(menu.menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                            at.x, at.y, 0, wnd_, nullptr));
    ::PostMessageW(wnd_, WM_NULL, 0, 0);
    if (!id) return kExitOk;  // dismissed
  }
  UINT offset = 0;
  const THandlerRange* owner = menu.Owner(id, offset);
  if (!owner) return kExitOk;  // one of the host's own items: nothing to do here
  if (onWorker_)
    return HandToWorker(owner->handler, offset, MenuItemText(menu.menu.get(), id, MF_BYCOMMAND));
  const HRESULT hr = owner->handler.InvokeOffset(offset, wnd_, folder_.path);
  if (FAILED(hr)) {
    Say("InvokeCommand failed (0x%08lX)", static_cast<unsigned long>(hr));
    return kExitInvoke;
  }
  return kExitOk;
}  // the handlers are released here, once the command has been invoked, as the file manager does

int THost::HandToWorker(const TShellHandler& owner, UINT offset, const std::wstring& text) {
  // One worker at a time: the job it reads is the host's.
  if (worker_) {
    ::WaitForSingleObject(worker_.get(), INFINITE);
    WorkerDone();
  }
  job_ = TShellInvoke();
  job_.classId = owner.ClassId();
  job_.folder = folder_.path;
  job_.pidl = folder_.pidl.get();
  job_.verb = owner.Verb(offset);
  job_.text = text;
  job_.owner = wnd_;
  job_.report = &THost::ReportWorker;
  Say("handing the command to a worker thread (verb \"%s\", text \"%s\")",
      Utf8(job_.verb).c_str(), Utf8(text).c_str());
  worker_ = StartWorker(job_);
  if (!worker_) {
    Say("CreateThread failed (%lu)", ::GetLastError());
    return kExitInvoke;
  }
  return kExitOk;
}

// On the worker thread, while the second handler is still held.
void CALLBACK THost::ReportWorker(const TShellInvoke& job) {
  if (job.step == TShellStep::Apartment) {
    Say("worker: CoInitializeEx failed (0x%08lX)", static_cast<unsigned long>(job.result));
  } else if (job.step != TShellStep::Invoke) {
    Say("worker: the item is not in the worker's menu");
  } else {
    const std::vector<HWND> windows = VisibleWindows(::GetCurrentProcessId());
    Say("worker: InvokeCommand returned 0x%08lX; the process shows %u window(s); the worker "
        "ends now",
        static_cast<unsigned long>(job.result), static_cast<unsigned>(windows.size()));
    for (HWND w : windows) Say("worker:   window \"%s\"", Caption(w).c_str());
  }
}

void THost::WorkerDone() {
  if (!worker_) return;
  ::WaitForSingleObject(worker_.get(), INFINITE);
  worker_.reset();
  Say("worker ended: the process shows %u window(s)", ProcessWindowCount());
  if (FAILED(job_.result)) exitCode_ = kExitInvoke;
}
