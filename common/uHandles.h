// One-line owners for the Windows handles Quillo holds: each closes its handle exactly once,
// on every path out of the scope that took it.
#pragma once

#include <windows.h>

#include <utility>

template <typename H, typename Traits>
class TUniqueHandle {
 public:
  TUniqueHandle() noexcept = default;
  explicit TUniqueHandle(H h) noexcept : h_(h) {}
  TUniqueHandle(const TUniqueHandle&) = delete;
  TUniqueHandle& operator=(const TUniqueHandle&) = delete;
  TUniqueHandle(TUniqueHandle&& o) noexcept : h_(o.release()) {}
  TUniqueHandle& operator=(TUniqueHandle&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ~TUniqueHandle() { reset(); }

  H get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return h_ != Traits::Invalid(); }
  H release() noexcept { return std::exchange(h_, Traits::Invalid()); }
  void reset(H h = Traits::Invalid()) noexcept {
    H old = std::exchange(h_, h);
    if (old != Traits::Invalid()) Traits::Close(old);
  }
  // For out-parameters: the old handle is closed first.
  H* put() noexcept {
    reset();
    return &h_;
  }

 private:
  H h_ = Traits::Invalid();
};

// CloseHandle, FindClose and the rest report failures we cannot act on while letting go;
// the owners ignore them on purpose.
struct TFileHandleTraits {
  static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) noexcept { ::CloseHandle(h); }
};
struct TKernelHandleTraits {
  static HANDLE Invalid() noexcept { return nullptr; }
  static void Close(HANDLE h) noexcept { ::CloseHandle(h); }
};
struct TFindHandleTraits {
  static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) noexcept { ::FindClose(h); }
};
struct TRegKeyTraits {
  static HKEY Invalid() noexcept { return nullptr; }
  static void Close(HKEY h) noexcept { ::RegCloseKey(h); }
};
struct TGdiObjectTraits {
  static HGDIOBJ Invalid() noexcept { return nullptr; }
  static void Close(HGDIOBJ h) noexcept { ::DeleteObject(h); }
};
struct TMenuTraits {
  static HMENU Invalid() noexcept { return nullptr; }
  static void Close(HMENU h) noexcept { ::DestroyMenu(h); }
};
struct TModuleTraits {
  static HMODULE Invalid() noexcept { return nullptr; }
  static void Close(HMODULE h) noexcept { ::FreeLibrary(h); }
};
struct TMemoryDCTraits {
  static HDC Invalid() noexcept { return nullptr; }
  static void Close(HDC h) noexcept { ::DeleteDC(h); }
};
struct TWindowTraits {
  static HWND Invalid() noexcept { return nullptr; }
  static void Close(HWND h) noexcept { ::DestroyWindow(h); }
};

using TFileHandle = TUniqueHandle<HANDLE, TFileHandleTraits>;    // CreateFile
using TKernelHandle = TUniqueHandle<HANDLE, TKernelHandleTraits>;  // events, threads
using TFindHandle = TUniqueHandle<HANDLE, TFindHandleTraits>;    // FindFirstFile
using TRegKey = TUniqueHandle<HKEY, TRegKeyTraits>;
using TGdiObject = TUniqueHandle<HGDIOBJ, TGdiObjectTraits>;      // fonts, bitmaps, brushes
using TMenu = TUniqueHandle<HMENU, TMenuTraits>;
using TModule = TUniqueHandle<HMODULE, TModuleTraits>;           // LoadLibrary
using TWindow = TUniqueHandle<HWND, TWindowTraits>;
using TMemoryDC = TUniqueHandle<HDC, TMemoryDCTraits>;          // CreateCompatibleDC

// Selects a GDI object into a DC for a scope and puts the old one back. Without a DC or an
// object it selects nothing (what is drawn or measured then fails on its own).
class TSelectObject {
 public:
  TSelectObject(HDC dc, HGDIOBJ obj) noexcept
      : dc_(dc), old_(dc && obj ? ::SelectObject(dc, obj) : nullptr) {}
  TSelectObject(const TSelectObject&) = delete;
  TSelectObject& operator=(const TSelectObject&) = delete;
  ~TSelectObject() {
    if (old_ && old_ != HGDI_ERROR) ::SelectObject(dc_, old_);
  }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A DC from GetDC, given back with ReleaseDC.
class TWindowDC {
 public:
  explicit TWindowDC(HWND wnd) noexcept : wnd_(wnd), dc_(::GetDC(wnd)) {}
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
  ~TWindowDC() {
    if (dc_) ::ReleaseDC(wnd_, dc_);
  }
  HDC get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

 private:
  HWND wnd_;
  HDC dc_;
};

// BeginPaint / EndPaint for one WM_PAINT.
class TPaintDC {
 public:
  explicit TPaintDC(HWND wnd) noexcept : wnd_(wnd), dc_(::BeginPaint(wnd, &ps_)) {}
  TPaintDC(const TPaintDC&) = delete;
  TPaintDC& operator=(const TPaintDC&) = delete;
  ~TPaintDC() { ::EndPaint(wnd_, &ps_); }
  HDC get() const noexcept { return dc_; }
  const PAINTSTRUCT& paint() const noexcept { return ps_; }

 private:
  HWND wnd_;
  PAINTSTRUCT ps_{};
  HDC dc_;
};
