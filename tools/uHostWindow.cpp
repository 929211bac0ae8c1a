// The host's window: the folder's background, where a right-click opens the menu.
#include "tools/uHost.h"

namespace {

constexpr wchar_t kHostClass[] = L"QuilloHostWindow";
constexpr UINT kTimerMs = 1000;
constexpr UINT WM_HOST_SHOWMENU = WM_APP + 1;

}  // namespace

bool THost::CreateHostWindow(bool visible) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &THost::WndProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kHostClass;
  if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  const std::wstring caption = L"QuilloHost - " + folder_.path;
  wnd_ = ::CreateWindowExW(0, kHostClass, caption.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                           CW_USEDEFAULT, 420, 240, nullptr, nullptr, wc.hInstance, this);
  if (!wnd_) return false;
  if (visible) {
    ::ShowWindow(wnd_, SW_SHOWNORMAL);
    ::UpdateWindow(wnd_);
  }
  // A thread timer, so that it outlives the host's window. Failing to set it costs only the
  // unloading of unused libraries and the check for a finished worker.
  timer_ = ::SetTimer(nullptr, 0, kTimerMs, &THost::OnTimer);
  if (!timer_) Say("SetTimer failed (%lu)", ::GetLastError());
  return true;
}

void THost::ShowMenuSoon() { ::PostMessageW(wnd_, WM_HOST_SHOWMENU, 0, 0); }

void THost::Stop() {
  if (timer_) ::KillTimer(nullptr, timer_);
  timer_ = 0;
  if (wnd_) ::DestroyWindow(wnd_);
  wnd_ = nullptr;
}

LRESULT CALLBACK THost::WndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  try {
    if (msg == WM_NCCREATE) {
      auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
      ::SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<THost*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (self) {
      switch (msg) {
        case WM_CONTEXTMENU:
        case WM_HOST_SHOWMENU: {
          POINT at;
          if (msg == WM_CONTEXTMENU && lp != -1) {
            at.x = static_cast<short>(LOWORD(lp));
            at.y = static_cast<short>(HIWORD(lp));
          } else if (!::GetCursorPos(&at)) {
            at = POINT{100, 100};
          }
          const int rc = self->RightClick(nullptr, false, at);
          if (rc != kExitOk) self->exitCode_ = rc;
          return 0;
        }
        case WM_PAINT: {
          TPaintDC dc(wnd);
          RECT r;
          ::GetClientRect(wnd, &r);
          const std::wstring text = L"이 창의 빈 곳을 오른쪽 단추로 누르세요.\n" + self->folder_.path;
          ::SetBkMode(dc.get(), TRANSPARENT);
          ::DrawTextW(dc.get(), text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_WORDBREAK);
          return 0;
        }
        case WM_DESTROY:
          if (self->wnd_ == wnd) self->wnd_ = nullptr;
          return 0;
        default:
          break;
      }
    }
    return ::DefWindowProcW(wnd, msg, wp, lp);
  } catch (...) {
    return 0;
  }
}
