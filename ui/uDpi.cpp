#include "ui/uDpi.h"

#include "common/uHandles.h"

namespace {

// Looked up at run time, each time (rarely): Windows 7 and 8 have none of them.
using TSetThreadDpiAwarenessContext = HANDLE(WINAPI*)(HANDLE);
using TGetDpiForWindow = UINT(WINAPI*)(HWND);
using TAdjustWindowRectExForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));

template <typename F>
F User32(const char* name) noexcept {
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  return user32 ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(user32, name)))
                : nullptr;
}

}  // namespace

void BecomePerMonitorDpiAware() noexcept {
  const auto set = User32<TSetThreadDpiAwarenessContext>("SetThreadDpiAwarenessContext");
  // Refused before Windows 10 1703, which has no v2; the thread then keeps the process's.
  if (set) (void)set(kPerMonitorAwareV2);
}

int SystemDpi() noexcept {
  TWindowDC screen(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
  return dpi > 0 ? dpi : 96;
}

int WindowDpi(HWND window) noexcept {
  const auto get = User32<TGetDpiForWindow>("GetDpiForWindow");
  const UINT dpi = get && window ? get(window) : 0;
  return dpi ? static_cast<int>(dpi) : SystemDpi();
}

SIZE OuterSizeForDpi(int clientW, int clientH, DWORD style, DWORD exStyle, int dpi) noexcept {
  const auto adjust = User32<TAdjustWindowRectExForDpi>("AdjustWindowRectExForDpi");
  RECT r{0, 0, clientW, clientH};
  const BOOL ok = adjust ? adjust(&r, style, FALSE, exStyle, static_cast<UINT>(dpi))
                         : ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
  if (!ok) return SIZE{clientW, clientH};
  return SIZE{r.right - r.left, r.bottom - r.top};
}
