#include "ui/uModal.h"

#include <vector>

#include "ui/uMessageLoop.h"

namespace {

const wchar_t kResultProp[] = L"Quillo.ModalResult";

// The thread's other top-level windows, disabled for the run and enabled again on every way
// out of it; the innermost run on the layer's thread is known, so that a window shown while
// it runs joins it.
class TDisabledWindows;
TDisabledWindows* g_innermost = nullptr;

class TDisabledWindows {
 public:
  explicit TDisabledWindows(HWND except) noexcept : except_(except), outer_(g_innermost) {
    g_innermost = this;
    std::vector<HWND> found;
    found_ = &found;
    // The result only says whether the callback stopped early; a partial list still works.
    ::EnumThreadWindows(::GetCurrentThreadId(), &TDisabledWindows::Visit,
                        reinterpret_cast<LPARAM>(this));
    found_ = nullptr;
    try {
      windows_.reserve(found.size());
    } catch (...) {
      return;  // without room to remember them, none is disabled
    }
    // A window's WM_ENABLE may hide or enable another one: look at each again just before.
    for (HWND w : found) {
      if (!::IsWindowVisible(w) || !::IsWindowEnabled(w)) continue;
      windows_.push_back(w);
      ::EnableWindow(w, FALSE);
    }
  }
  ~TDisabledWindows() {
    EnableAgain();
    g_innermost = outer_;
  }

  void Join(HWND w) noexcept {
    if (w == except_ || !::IsWindowEnabled(w)) return;
    try {
      windows_.push_back(w);
    } catch (...) {
      return;  // left enabled: better than disabled for good
    }
    ::EnableWindow(w, FALSE);
  }
  TDisabledWindows(const TDisabledWindows&) = delete;
  TDisabledWindows& operator=(const TDisabledWindows&) = delete;

  void EnableAgain() noexcept {
    for (HWND w : windows_)
      if (::IsWindow(w)) ::EnableWindow(w, TRUE);
    windows_.clear();
  }

 private:
  static BOOL CALLBACK Visit(HWND w, LPARAM param) noexcept {
    auto* self = reinterpret_cast<TDisabledWindows*>(param);
    if (w == self->except_ || !::IsWindowVisible(w) || !::IsWindowEnabled(w)) return TRUE;
    try {
      self->found_->push_back(w);
    } catch (...) {
      return FALSE;
    }
    return TRUE;
  }

  HWND except_;
  TDisabledWindows* outer_;
  std::vector<HWND>* found_ = nullptr;
  std::vector<HWND> windows_;
};

}  // namespace

void JoinModalRun(HWND window) noexcept {
  if (g_innermost && window) g_innermost->Join(window);
}

void SetModalResult(HWND dialog, int result) noexcept {
  if (result == mrNone)
    ::RemovePropW(dialog, kResultProp);
  else
    ::SetPropW(dialog, kResultProp, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(result)));
}

int ModalResult(HWND dialog) noexcept {
  return static_cast<int>(reinterpret_cast<INT_PTR>(::GetPropW(dialog, kResultProp)));
}

int RunModal(HWND dialog, HWND focus) noexcept {
  try {
    if (!::IsWindow(dialog)) return mrCancel;
    SetModalResult(dialog, mrNone);

    // A drag or a pressed button elsewhere must not go on behind the dialog.
    if (HWND capture = ::GetCapture()) ::SendMessageW(capture, WM_CANCELMODE, 0, 0);
    ::ReleaseCapture();

    const HWND previous = ::GetActiveWindow();
    TDisabledWindows disabled(dialog);

    ::ShowWindow(dialog, SW_SHOW);
    ::SetActiveWindow(dialog);
    if (focus && ::IsChild(dialog, focus)) ::SetFocus(focus);

    while (::IsWindow(dialog) && ModalResult(dialog) == mrNone) {
      MSG msg;
      const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0) break;  // a quit message: see RunModal's description
      if (got == -1) break;
      DeliverMessage(msg);
    }

    const bool alive = ::IsWindow(dialog) != FALSE;
    int result = alive ? ModalResult(dialog) : mrNone;
    if (result == mrNone) result = mrCancel;
    const bool wasActive = alive && ::GetActiveWindow() == dialog;
    // Enabled before the dialog goes away, so that hiding it hands the activation to one of
    // the thread's own windows rather than to another program's.
    disabled.EnableAgain();
    if (alive) {
      ::ShowWindow(dialog, SW_HIDE);
      SetModalResult(dialog, mrNone);
    }
    if (wasActive && previous && ::IsWindow(previous)) ::SetActiveWindow(previous);
    return result;
  } catch (...) {
    return mrCancel;
  }
}
