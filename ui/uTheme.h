// How the user asked Windows to draw programs: the app mode (light or dark) and high
// contrast, read when a window is made and again when the system says either changed. High
// contrast wins: under it every colour is the system's and dark mode is off.
//
// dwmapi and uxtheme are looked up at run time in the system folder only, so that the library
// still loads on Windows 7 and 8; a function the system lacks simply leaves the window light.
#pragma once

#include <windows.h>

enum class TThemeMode { Light, Dark, HighContrast };

// The mode now: high contrast, else the app mode (AppsUseLightTheme; absent means light).
TThemeMode CurrentThemeMode() noexcept;

// Whether a message a top-level window received may mean another mode: a change of the
// app mode ("ImmersiveColorSet"), of high contrast, or of the system's colours.
bool ThemeMayHaveChanged(UINT msg, WPARAM wp, LPARAM lp) noexcept;

// The DwmSetWindowAttribute attribute that darkens a title bar on a Windows build:
// DWMWA_USE_IMMERSIVE_DARK_MODE is 20 from build 19041, 19 from 17763, none (0) before.
constexpr DWORD DarkTitleBarAttribute(DWORD build) {
  return build >= 19041 ? 20 : build >= 17763 ? 19 : 0;
}
// The running Windows' build number, from ntdll (GetVersionEx would answer what the host's
// manifest lets it see).
DWORD WindowsBuild() noexcept;

// A dark or light title bar for a top-level window (nothing before build 17763).
void ThemeTitleBar(HWND window, bool dark) noexcept;
// Dark or the usual scroll bars for a control that has them.
void ThemeScrollBars(HWND control, bool dark) noexcept;

// Test builds only (QUILLO_TEST_HOOKS): 1 or 0 stands in for the system's answer about high
// contrast (Wine's is always off); -1 asks the system.
extern int TestHookHighContrast;
