#include "ui/uModal.h"

#include <vector>

namespace {

const char kResultProp[] = "Quillo.ModalResult";

// The thread's note that a quit message went through a modal run. A TLS slot rather than
// thread_local: the value dies with its thread and needs nothing run at thread exit, which
// matters for a library the host may unload while its threads live on.
class TQuitNote {
 public:
  TQuitNote() noexcept : index_(::TlsAlloc()) {}
  ~TQuitNote() {
    if (index_ != TLS_OUT_OF_INDEXES) ::TlsFree(index_);
  }
  TQuitNote(const TQuitNote&) = delete;
  TQuitNote& operator=(const TQuitNote&) = delete;

  bool Taken() const noexcept {
    return index_ != TLS_OUT_OF_INDEXES && ::TlsGetValue(index_) != nullptr;
  }
  void Take() noexcept {
    // Without a slot there is no note; the quit message is still passed on.
    if (index_ != TLS_OUT_OF_INDEXES) ::TlsSetValue(index_, reinterpret_cast<void*>(1));
  }

 private:
  DWORD index_;
};

TQuitNote& QuitNote() noexcept {
  static TQuitNote note;
  return note;
}

// The thread's other top-level windows, disabled for the run and enabled again on every way
// out of it.
class TDisabledWindows {
 public:
  explicit TDisabledWindows(HWND except) noexcept : except_(except) {
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
  ~TDisabledWindows() { EnableAgain(); }
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
  std::vector<HWND>* found_ = nullptr;
  std::vector<HWND> windows_;
};

bool IsUsable(HWND w) noexcept { return ::IsWindowEnabled(w) && ::IsWindowVisible(w); }

// What a dialog manager does for a clicked button: tell its parent.
void Click(HWND button) noexcept {
  if (!button || !IsUsable(button)) return;
  ::SendMessageA(::GetParent(button), WM_COMMAND,
                 MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

UINT DialogCode(HWND control, const MSG& msg) noexcept {
  return static_cast<UINT>(::SendMessageA(control, WM_GETDLGCODE, msg.wParam,
                                          reinterpret_cast<LPARAM>(&msg)));
}

// The first control of the dialog, at any depth, for which `match` holds.
using TControlMatch = bool (*)(HWND) noexcept;

struct TSearch {
  TControlMatch match;
  HWND found;
};

BOOL CALLBACK VisitControl(HWND w, LPARAM param) noexcept {
  auto* search = reinterpret_cast<TSearch*>(param);
  if (!search->match(w)) return TRUE;
  search->found = w;
  return FALSE;
}

HWND FindControl(HWND dialog, TControlMatch match) noexcept {
  TSearch search{match, nullptr};
  // The result only says whether the walk was cut short, which is how it finds.
  ::EnumChildWindows(dialog, &VisitControl, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool IsDefaultButton(HWND w) noexcept {
  return IsUsable(w) && (::SendMessageA(w, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) != 0;
}

bool IsCancelControl(HWND w) noexcept { return ::GetDlgCtrlID(w) == IDCANCEL && IsUsable(w); }

// Tab, Enter and Escape for the dialog's controls. True when the key was used up.
bool HandleDialogKey(HWND dialog, const MSG& msg) noexcept {
  if (msg.message != WM_KEYDOWN) return false;
  if (msg.hwnd != dialog && !::IsChild(dialog, msg.hwnd)) return false;
  if (msg.wParam != VK_TAB && msg.wParam != VK_RETURN && msg.wParam != VK_ESCAPE) return false;

  const UINT code = DialogCode(msg.hwnd, msg);
  if (code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) return false;
  switch (msg.wParam) {
    case VK_TAB: {
      if (code & DLGC_WANTTAB) return false;
      const bool back = ::GetKeyState(VK_SHIFT) < 0;
      HWND next = ::GetNextDlgTabItem(dialog, msg.hwnd == dialog ? nullptr : msg.hwnd, back);
      if (next) {
        ::SetFocus(next);
        if (DialogCode(next, msg) & DLGC_HASSETSEL) ::SendMessageA(next, EM_SETSEL, 0, -1);
      }
      return true;
    }
    case VK_RETURN:
      if (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) {
        Click(msg.hwnd);
      } else {
        Click(FindControl(dialog, &IsDefaultButton));
      }
      return true;
    default:  // VK_ESCAPE: only a cancel button answers it
      Click(FindControl(dialog, &IsCancelControl));
      return true;
  }
}

}  // namespace

void SetModalResult(HWND dialog, int result) noexcept {
  if (result == mrNone)
    ::RemovePropA(dialog, kResultProp);
  else
    ::SetPropA(dialog, kResultProp, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(result)));
}

int ModalResult(HWND dialog) noexcept {
  return static_cast<int>(reinterpret_cast<INT_PTR>(::GetPropA(dialog, kResultProp)));
}

int RunModal(HWND dialog, HWND focus, TDialogKeys keys) noexcept {
  try {
    if (!::IsWindow(dialog)) return mrCancel;
    SetModalResult(dialog, mrNone);

    // A drag or a pressed button elsewhere must not go on behind the dialog.
    if (HWND capture = ::GetCapture()) ::SendMessageA(capture, WM_CANCELMODE, 0, 0);
    ::ReleaseCapture();

    const HWND previous = ::GetActiveWindow();
    TDisabledWindows disabled(dialog);

    ::ShowWindow(dialog, SW_SHOW);
    ::SetActiveWindow(dialog);
    if (focus && ::IsChild(dialog, focus)) ::SetFocus(focus);

    TQuitNote& note = QuitNote();
    bool quit = false;
    WPARAM quitCode = 0;
    while (::IsWindow(dialog) && ModalResult(dialog) == mrNone) {
      MSG msg;
      const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
      if (got == 0) {
        quit = true;
        quitCode = msg.wParam;
        note.Take();
        break;
      }
      if (got == -1) break;
      if (keys != TDialogKeys::ByLoop || !HandleDialogKey(dialog, msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
      }
      if (note.Taken()) break;
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
    // The host's loop must still see the quit message, or its thread would never end.
    if (quit) ::PostQuitMessage(static_cast<int>(quitCode));
    return result;
  } catch (...) {
    return mrCancel;
  }
}
