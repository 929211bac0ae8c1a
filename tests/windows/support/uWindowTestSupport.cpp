#include "support/uWindowTestSupport.h"

#include <algorithm>
#include <cmath>

#include "support/uTestSupport.h"
#include "ui/uMessageLoop.h"

bool PumpUntil(const std::function<bool()>& done, DWORD ms) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DeliverMessage(msg);
    if (done()) return true;
    if (::GetTickCount() - start > ms) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

TKeysDown::TKeysDown(std::initializer_list<int> keys) {
  ::GetKeyboardState(saved_);
  BYTE state[256];
  ::GetKeyboardState(state);
  for (int k : keys) state[k] |= 0x80;
  ::SetKeyboardState(state);
}

TKeysDown::~TKeysDown() { ::SetKeyboardState(saved_); }

void PressKey(HWND target, UINT vk, bool alt) {
  const UINT scan = ::MapVirtualKeyW(vk, 0);
  const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16) | (alt ? (1 << 29) : 0);
  const LPARAM up = down | (1u << 30) | (1u << 31);
  ::PostMessageW(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, down);
  ::PostMessageW(target, alt ? WM_SYSKEYUP : WM_KEYUP, vk, up);
  PumpUntil([] { return true; }, 0);
}

void TypeChar(HWND target, wchar_t ch) {
  ::PostMessageW(target, WM_CHAR, static_cast<WPARAM>(ch), 1);
  PumpUntil([] { return true; }, 0);
}

std::string WindowText(HWND w) {
  const int length = ::GetWindowTextLengthW(w);
  if (length <= 0) return {};
  std::wstring buf(static_cast<size_t>(length) + 1, L'\0');
  const int n = ::GetWindowTextW(w, &buf[0], length + 1);
  buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return Utf8(buf);
}

RECT ChildRect(HWND child) {
  RECT r{};
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

TBoxWatcher::TBoxWatcher(const std::string& caption)
    : TBoxWatcher(caption, ::GetCurrentProcessId()) {}

TBoxWatcher::TBoxWatcher(const std::string& caption, DWORD processId)
    : caption_(caption), processId_(processId) {
  ::InitializeCriticalSection(&lock_);
  thread_ = ::CreateThread(nullptr, 0, &TBoxWatcher::Run, this, 0, nullptr);
}

TBoxWatcher::~TBoxWatcher() {
  ::InterlockedExchange(&stop_, 1);
  if (thread_) {
    ::WaitForSingleObject(thread_, INFINITE);
    ::CloseHandle(thread_);
  }
  ::DeleteCriticalSection(&lock_);
}

std::vector<TSeenBox> TBoxWatcher::Take() {
  ::EnterCriticalSection(&lock_);
  std::vector<TSeenBox> r;
  r.swap(seen_);
  ::LeaveCriticalSection(&lock_);
  return r;
}

BOOL CALLBACK TBoxWatcher::Visit(HWND w, LPARAM lp) {
  auto* me = reinterpret_cast<TBoxWatcher*>(lp);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(w, &pid);
  wchar_t cls[64] = {};
  ::GetClassNameW(w, cls, 64);
  if (pid != me->processId_ || lstrcmpW(cls, L"#32770") != 0 ||
      !::IsWindowVisible(w) || WindowText(w) != me->caption_)
    return TRUE;
  // A box stays up until its thread takes the posted OK: note it once.
  for (HWND h : me->handled_)
    if (h == w) return TRUE;
  me->handled_.push_back(w);
  wchar_t text[1024] = {};
  ::GetDlgItemTextW(w, 0xFFFF, text, 1024);
  ::EnterCriticalSection(&me->lock_);
  me->seen_.push_back({Utf8(std::wstring(text)), ::GetWindow(w, GW_OWNER)});
  ::LeaveCriticalSection(&me->lock_);
  if (me->answer_ == kPressEnter) {
    // As the keyboard gives it: to the focused button of the box's own thread.
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    HWND focus = ::GetGUIThreadInfo(::GetWindowThreadProcessId(w, nullptr), &gui) && gui.hwndFocus
                     ? gui.hwndFocus
                     : w;
    ::PostMessageW(focus, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    ::PostMessageW(focus, WM_KEYUP, VK_RETURN, static_cast<LPARAM>(0xC01C0001u));
  } else {
    ::PostMessageW(w, WM_COMMAND, static_cast<WPARAM>(me->answer_), 0);
  }
  return TRUE;
}

DWORD WINAPI TBoxWatcher::Run(void* p) {
  auto* self = static_cast<TBoxWatcher*>(p);
  while (!self->stop_) {
    std::vector<HWND> alive;
    for (HWND h : self->handled_)
      if (::IsWindow(h)) alive.push_back(h);
    self->handled_.swap(alive);
    ::EnumWindows(&TBoxWatcher::Visit, reinterpret_cast<LPARAM>(self));
    ::Sleep(10);
  }
  return 0;
}

void SetAppMode(TAppMode mode, bool broadcast) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER,
                        L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize", 0,
                        nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return;
  const DWORD light = mode == kModeLight ? 1 : 0;
  if (mode == kModeAbsent)
    ::RegDeleteValueW(key, L"AppsUseLightTheme");
  else
    ::RegSetValueExW(key, L"AppsUseLightTheme", 0, REG_DWORD,
                     reinterpret_cast<const BYTE*>(&light), sizeof light);
  ::RegCloseKey(key);
  if (!broadcast) return;
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                        reinterpret_cast<LPARAM>(L"ImmersiveColorSet"), SMTO_ABORTIFHUNG, 2000,
                        &ignored);
  PumpUntil([] { return false; }, 50);
}

COLORREF ScreenPixel(HWND w, int x, int y) {
  ::RedrawWindow(w, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  PumpUntil([] { return false; }, 50);
  POINT p{x, y};
  ::ClientToScreen(w, &p);
  HDC screen = ::GetDC(nullptr);
  const COLORREF c = ::GetPixel(screen, p.x, p.y);
  ::ReleaseDC(nullptr, screen);
  return c;
}

double ContrastRatio(COLORREF a, COLORREF b) {
  auto channel = [](int v) {
    const double c = v / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  auto luminance = [&](COLORREF c) {
    return 0.2126 * channel(GetRValue(c)) + 0.7152 * channel(GetGValue(c)) +
           0.0722 * channel(GetBValue(c));
  };
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}
