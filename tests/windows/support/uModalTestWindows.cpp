#include "support/uModalTestWindows.h"

#include <gtest/gtest.h>

#include "ui/uModal.h"

namespace {

const char kClass[] = "QuilloModalTestWindow";
constexpr UINT_PTR kWatchdog = 1;
// A run that never ends fails its test instead of hanging the suite.
constexpr int kTimedOut = -1;

void RegisterOnce(WNDPROC proc) {
  static bool done = false;
  if (done) return;
  WNDCLASSA wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClass;
  done = ::RegisterClassA(&wc) != 0;
}

}  // namespace

TModalTestWindow::TModalTestWindow(const char* caption, bool visible, int x, int y, int w,
                                   int h) {
  RegisterOnce(&TModalTestWindow::Proc);
  hwnd_ = ::CreateWindowExA(WS_EX_CONTROLPARENT, kClass, caption,
                            WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), x, y, w, h,
                            nullptr, nullptr, ::GetModuleHandleA(nullptr), this);
}

TModalTestWindow::~TModalTestWindow() {
  if (::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
}

HWND TModalTestWindow::AddButton(int id, const char* caption) {
  const int x = 10 + 100 * buttons_++;
  return ::CreateWindowExA(0, "BUTTON", caption,
                           WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, x, 10, 89, 25,
                           hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           ::GetModuleHandleA(nullptr), nullptr);
}

void TModalTestWindow::Script(std::vector<std::function<void()>> steps) {
  steps_ = std::move(steps);
  next_ = 0;
  ::SetTimer(hwnd_, kWatchdog, 20000, nullptr);
  Next();
}

void TModalTestWindow::Next() const { ::PostMessageA(hwnd_, WM_APP, 0, 0); }

LRESULT CALLBACK TModalTestWindow::Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) noexcept {
  try {
    if (m == WM_NCCREATE) {
      auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
      ::SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<TModalTestWindow*>(::GetWindowLongPtrA(w, GWLP_USERDATA));
    if (self) {
      switch (m) {
        case WM_CANCELMODE:
          ++self->cancelModes;
          break;
        case WM_COMMAND:
          if (HIWORD(wp) == BN_CLICKED) SetModalResult(w, LOWORD(wp));
          return 0;
        case WM_CLOSE:
          SetModalResult(w, mrCancel);
          return 0;
        case WM_TIMER:
          if (wp == kWatchdog) {
            ::KillTimer(w, kWatchdog);
            ADD_FAILURE() << "the modal run did not end";
            if (self->onTimeout)
              self->onTimeout();
            else
              SetModalResult(w, kTimedOut);
          }
          return 0;
        case WM_APP:
          ++self->appMessages;
          if (self->next_ < self->steps_.size()) self->steps_[self->next_++]();
          if (self->next_ >= self->steps_.size()) ::KillTimer(w, kWatchdog);
          return 0;
        case WM_NCDESTROY:
          ::SetWindowLongPtrA(w, GWLP_USERDATA, 0);
          self->hwnd_ = nullptr;
          break;
        default:
          break;
      }
    }
  } catch (...) {
    ADD_FAILURE() << "exception in the test window";
    return 0;
  }
  return ::DefWindowProcA(w, m, wp, lp);
}

void PostKey(HWND control, WPARAM key, bool withUp) {
  const LPARAM scan = static_cast<LPARAM>(::MapVirtualKeyA(static_cast<UINT>(key), 0)) << 16;
  ::PostMessageA(control, WM_KEYDOWN, key, scan | 1);
  if (withUp) ::PostMessageA(control, WM_KEYUP, key, scan | 1 | (3u << 30));
}
