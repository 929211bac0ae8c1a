// Driving real windows from the Wine tests: pumping, keys with a keyboard state, and a
// watcher thread that reads and dismisses message boxes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Delivers this thread's messages (as Quillo's own loops do) until the condition holds or
// about `ms` have passed.
bool PumpUntil(const std::function<bool()>& done, DWORD ms = 3000);

// Holds the given keys down in this thread's keyboard state; puts the old state back.
class TKeysDown {
 public:
  explicit TKeysDown(std::initializer_list<int> keys);
  ~TKeysDown();
  TKeysDown(const TKeysDown&) = delete;
  TKeysDown& operator=(const TKeysDown&) = delete;

 private:
  BYTE saved_[256];
};

// Posts a key-down (WM_SYSKEYDOWN when alt) and its key-up to the window and pumps them
// through the loop step of Quillo's own loops.
void PressKey(HWND target, UINT vk, bool alt = false);
// Posts one character message (a UTF-16 unit) and pumps it.
void TypeChar(HWND target, wchar_t ch);

// A window's text, read wide, as UTF-8.
std::string WindowText(HWND w);
// A window's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);

// The app mode the windows read (AppsUseLightTheme): kModeAbsent, kModeLight or kModeDark.
// The value is set (or taken away) for this test's user; with `broadcast`, every top-level
// window then hears "ImmersiveColorSet", as when the user changes it in Settings.
enum TAppMode { kModeAbsent = -1, kModeDark = 0, kModeLight = 1 };
void SetAppMode(TAppMode mode, bool broadcast = false);
// What the screen shows at a point of a window's client area, after it has painted.
COLORREF ScreenPixel(HWND w, int x, int y);
// WCAG's contrast ratio of two colours (1 to 21).
double ContrastRatio(COLORREF a, COLORREF b);

struct TSeenBox {
  std::string text;
  HWND owner;
};

// While alive, a second thread dismisses every visible message box of this process whose
// caption is `caption`, after noting its text and owner; a question is answered with
// `answer` (IDOK, the notices' only button, answers a Yes/No question as No would), or with
// the Enter key when the answer is kPressEnter: then the box's default button decides.
class TBoxWatcher {
 public:
  static constexpr int kPressEnter = -1;
  explicit TBoxWatcher(const std::string& caption);
  // The same for the boxes of another process, such as a host the test started.
  TBoxWatcher(const std::string& caption, DWORD processId);
  void SetAnswer(int answer) { answer_ = answer; }
  ~TBoxWatcher();
  TBoxWatcher(const TBoxWatcher&) = delete;
  TBoxWatcher& operator=(const TBoxWatcher&) = delete;
  std::vector<TSeenBox> Take();

 private:
  static DWORD WINAPI Run(void* self);
  static BOOL CALLBACK Visit(HWND w, LPARAM self);
  std::string caption_;
  DWORD processId_;
  volatile LONG answer_ = IDOK;
  CRITICAL_SECTION lock_;
  std::vector<TSeenBox> seen_;
  std::vector<HWND> handled_;  // the watcher thread's own
  volatile LONG stop_ = 0;
  HANDLE thread_ = nullptr;
};
