// The display scale of windows, where the system can tell it per window. Windows 10 1607 and
// later: per monitor, from the window; older Windows: the system's one DPI.
#pragma once

#include <windows.h>

// States per-monitor (v2) DPI awareness for the calling thread, before it makes any window,
// so that its windows are never stretched by the system and hear of every change of scale.
// Where the system cannot (before Windows 10 1703), the thread keeps what the process has.
void BecomePerMonitorDpiAware() noexcept;
// The DPI the window is shown at (the system DPI where the system cannot say per window).
int WindowDpi(HWND window) noexcept;
// The system DPI: that of the primary monitor when the user signed in.
int SystemDpi() noexcept;
// The outer size of a window with that style whose client area is w x h, at that DPI.
SIZE OuterSizeForDpi(int clientW, int clientH, DWORD style, DWORD exStyle, int dpi) noexcept;

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
#ifndef WM_GETDPISCALEDSIZE
#define WM_GETDPISCALEDSIZE 0x02E4
#endif
