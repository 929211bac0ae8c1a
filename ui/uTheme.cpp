#include "ui/uTheme.h"

#include "common/uHandles.h"

#ifdef QUILLO_TEST_HOOKS
int TestHookHighContrast = -1;
#endif

namespace {

using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
using TDwmSetWindowAttribute = HRESULT(WINAPI*)(HWND, DWORD, const void*, DWORD);
using TSetWindowTheme = HRESULT(WINAPI*)(HWND, const wchar_t*, const wchar_t*);

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
constexpr DWORD LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x00000800;
#endif

// A function of a system DLL, loaded from the system folder for the call and let go after.
// Windows 7 without KB2533623 refuses the flag: there is no dark mode to ask for then.
template <typename F, typename... Args>
bool CallSystem(const wchar_t* dll, const char* name, Args... args) noexcept {
  TModule module(::LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (!module) return false;
  const auto f = reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module.get(), name)));
  return f && SUCCEEDED(f(args...));
}

bool HighContrastOn() noexcept {
#ifdef QUILLO_TEST_HOOKS
  if (TestHookHighContrast >= 0) return TestHookHighContrast != 0;
#endif
  HIGHCONTRASTW hc{};
  hc.cbSize = sizeof hc;
  return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) &&
         (hc.dwFlags & HCF_HIGHCONTRASTON);
}

bool AppsUseDarkMode() noexcept {
  DWORD light = 1, size = sizeof light, type = 0;
  TRegKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER,
                      L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize", 0,
                      KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
    return false;
  if (::RegQueryValueExW(key.get(), L"AppsUseLightTheme", nullptr, &type,
                         reinterpret_cast<BYTE*>(&light), &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof light)
    return false;
  return light == 0;
}

}  // namespace

TThemeMode CurrentThemeMode() noexcept {
  if (HighContrastOn()) return TThemeMode::HighContrast;
  return AppsUseDarkMode() ? TThemeMode::Dark : TThemeMode::Light;
}

bool ThemeMayHaveChanged(UINT msg, WPARAM wp, LPARAM lp) noexcept {
  if (msg == WM_SYSCOLORCHANGE || msg == WM_THEMECHANGED) return true;
  if (msg != WM_SETTINGCHANGE) return false;
  if (wp == SPI_SETHIGHCONTRAST) return true;
  // The area's name, copied into this process by the system; compared within its bounds.
  const auto* area = reinterpret_cast<const wchar_t*>(lp);
  if (!area) return false;
  static const wchar_t kImmersive[] = L"ImmersiveColorSet";
  for (size_t i = 0;; ++i) {
    if (area[i] != kImmersive[i]) return false;
    if (!area[i]) return true;
  }
}

DWORD WindowsBuild() noexcept {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  const auto get = ntdll ? reinterpret_cast<TRtlGetVersion>(reinterpret_cast<void*>(
                               ::GetProcAddress(ntdll, "RtlGetVersion")))
                         : nullptr;
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof v;
  return get && get(&v) == 0 ? v.dwBuildNumber : 0;
}

void ThemeTitleBar(HWND window, bool dark) noexcept {
  const DWORD attribute = DarkTitleBarAttribute(WindowsBuild());
  if (!attribute) return;
  const BOOL on = dark ? TRUE : FALSE;
  (void)CallSystem<TDwmSetWindowAttribute>(L"dwmapi.dll", "DwmSetWindowAttribute", window,
                                           attribute, static_cast<const void*>(&on),
                                           static_cast<DWORD>(sizeof on));
}

void ThemeScrollBars(HWND control, bool dark) noexcept {
  // Null gives the control back its usual theme.
  (void)CallSystem<TSetWindowTheme>(L"uxtheme.dll", "SetWindowTheme", control,
                                    dark ? L"DarkMode_Explorer" : nullptr,
                                    static_cast<const wchar_t*>(nullptr));
}
