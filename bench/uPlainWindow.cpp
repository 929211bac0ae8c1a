#include "bench/uPlainWindow.h"

namespace {

constexpr char kClass[] = "QuilloPlainWindow";

struct TControl {
  const char* cls;
  const char* text;
  DWORD style;
  DWORD exStyle;
  int x, y, w, h;
  bool inPanel;
};

// The note window's layout, as plain controls (the picture buttons as owner-drawn buttons).
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
const TControl kControls[] = {
    {"STATIC", "저장 폴더 : ", kChild, 0, 8, 8, 64, 12, false},
    {"STATIC", "제목 겸 파일명  ", kChild, 0, 8, 32, 88, 12, false},
    {"EDIT", "", kChild | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 96, 32, 737, 20, false},
    {"STATIC", ".txt", kChild, 0, 840, 36, 17, 13, false},
    {"BUTTON", "첫줄을 제목으로", kChild | WS_TABSTOP | BS_PUSHBUTTON, 0, 720, 8, 113, 22, false},
    {"EDIT", "", kChild | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                     ES_AUTOHSCROLL | ES_WANTRETURN,
     WS_EX_CLIENTEDGE, 8, 64, 857, 489, false},
    {kClass, "", kChild, 0, 0, 553, 874, 41, false},  // the button bar draws its buttons
    {"BUTTON", "프로그램 정보", kChild | WS_TABSTOP | BS_OWNERDRAW, 0, 8, 8, 97, 25, true},
    {"BUTTON", "Save (&S)", kChild | WS_TABSTOP | BS_OWNERDRAW, 0, 216, 8, 113, 25, true},
    {"BUTTON", "만들기", kChild | WS_TABSTOP | BS_OWNERDRAW, 0, 632, 8, 113, 25, true},
    {"BUTTON", "취소", kChild | WS_TABSTOP | BS_OWNERDRAW, 0, 760, 8, 105, 25, true},
};

LRESULT CALLBACK PlainProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DRAWITEM) {
    auto* di = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
    char text[64] = {};
    ::GetWindowTextA(di->hwndItem, text, sizeof text);
    ::FillRect(di->hDC, &di->rcItem, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    ::DrawTextA(di->hDC, text, -1, &di->rcItem, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    return TRUE;
  }
  if (msg == WM_NCDESTROY) {
    // The fonts belong to the window.
    for (const char* prop : {"QuilloPlainFont1", "QuilloPlainFont2"})
      if (HANDLE f = ::RemovePropA(wnd, prop)) ::DeleteObject(f);
  }
  return ::DefWindowProcA(wnd, msg, wp, lp);
}

}  // namespace

HWND OpenPlainWindow(const std::string& folder) noexcept {
  HINSTANCE inst = ::GetModuleHandleA(nullptr);
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = PlainProc;
  wc.hInstance = inst;
  wc.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClass;
  if (!::RegisterClassExA(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  const int w = 882, h = 628;
  int x = (::GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (::GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  HWND wnd = ::CreateWindowExA(0, kClass, "QuilloFloor", WS_OVERLAPPEDWINDOW, x < 0 ? 0 : x,
                               y < 0 ? 0 : y, w, h, nullptr, nullptr, inst, nullptr);
  if (!wnd) return nullptr;
  HFONT gulim = ::CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "굴림");
  HFONT dotum = ::CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "돋움");
  ::SetPropA(wnd, "QuilloPlainFont1", gulim);
  ::SetPropA(wnd, "QuilloPlainFont2", dotum);
  HWND panel = nullptr, label = nullptr;
  for (const TControl& c : kControls) {
    HWND parent = c.inPanel ? panel : wnd;
    HWND ctl = ::CreateWindowExA(c.exStyle, c.cls, c.text, c.style, c.x, c.y, c.w, c.h, parent,
                                 nullptr, inst, nullptr);
    if (!ctl) {
      ::DestroyWindow(wnd);
      return nullptr;
    }
    ::SendMessageA(ctl, WM_SETFONT, reinterpret_cast<WPARAM>(c.y == 64 ? dotum : gulim), FALSE);
    if (!label) label = ctl;
    if (c.y == 553) panel = ctl;
  }
  ::ShowWindow(wnd, SW_SHOWNORMAL);
  ::SetForegroundWindow(wnd);
  ::SetWindowTextA(label, ("저장 폴더: " + folder).c_str());
  return wnd;
}
