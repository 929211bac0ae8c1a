// Plain Win32 windows for driving modal runs from inside their own loop.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

// A top-level window of a plain class: it counts WM_CANCELMODE, gives WM_COMMAND's button
// identifier to SetModalResult and ends the run with mrCancel on WM_CLOSE. Every WM_APP it
// receives runs the next of its steps, so a test can act and look from inside the loop.
class TModalTestWindow {
 public:
  // Visible or not, at the given outer rectangle, with the given caption.
  TModalTestWindow(const char* caption, bool visible, int x = 100, int y = 100, int w = 300,
                   int h = 200);
  ~TModalTestWindow();
  TModalTestWindow(const TModalTestWindow&) = delete;
  TModalTestWindow& operator=(const TModalTestWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  // A push button with the identifier, tab stop, at the next free place.
  HWND AddButton(int id, const char* caption);
  // Steps run one per WM_APP; the first WM_APP is posted now. A watchdog runs until the last
  // step has run.
  void Script(std::vector<std::function<void()>> steps);
  // Posts the WM_APP that runs the next step, after whatever was posted before it.
  void Next() const;
  std::size_t StepsRun() const { return next_; }
  // Runs when a script has not finished within 20 s, after the failure is recorded; by
  // default it ends this window's own run.
  std::function<void()> onTimeout;
  int cancelModes = 0;
  int appMessages = 0;

 private:
  static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) noexcept;
  HWND hwnd_ = nullptr;
  int buttons_ = 0;
  std::vector<std::function<void()>> steps_;
  std::size_t next_ = 0;
};

// Posts a key press (down, and up when asked) to a control, as the keyboard would.
void PostKey(HWND control, WPARAM key, bool withUp = false);
