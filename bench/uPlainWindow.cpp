#include "bench/uPlainWindow.h"

namespace {

constexpr char kClass[] = "QuilloPlainWindow";

struct TControl {
  const char* cls;
  const char* text;
  DWORD style;
  DWORD exStyle;
  int x, y, w, h;
};

// The note window's layout, as plain controls: labels, edit boxes and buttons (the picture
// buttons owner-drawn). The button bar is no window of its own: its buttons sit on the form.
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr int kBar = 553;
const TControl kControls[] = {
    {"STATIC", "저장 폴더 : ", kChild, 0, 8, 8, 64, 12},
    {"STATIC", "제목 겸 파일명  ", kChild, 0, 8, 32, 88, 12},
    {"EDIT", "", kChild | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 96, 32, 737, 20},
    {"STATIC", ".txt", kChild, 0, 840, 36, 17, 13},
    {"BUTTON", "첫줄을 제목으로", kChild | WS_TABSTOP | BS_PUSHBUTTON, 0, 720, 8, 113, 22},
    {"EDIT", "", kChild | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                     ES_AUTOHSCROLL | ES_WANTRETURN,
     WS_EX_CLIENTEDGE, 8, 64, 857, 489},
    {"BUTTON", "프로그램 정보", kChild | WS_TABSTOP | BS_OWNERDRAW, 0, 8, kBar + 8, 97, 25},
    {"BUTTON", "Save (&S)", kChild | WS_TABSTOP | BS_OWNERDRAW, 0, 216, kBar + 8, 113, 25},
    {"BUTTON", "만들기", kChild | WS_TABSTOP | BS_OWNERDRAW, 0, 632, kBar + 8, 113, 25},
    {"BUTTON", "취소", kChild | WS_TABSTOP | BS_OWNERDRAW, 0, 760, kBar + 8, 105, 25},
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
  HWND label = nullptr;
  for (const TControl& c : kControls) {
    HWND ctl = ::CreateWindowExA(c.exStyle, c.cls, c.text, c.style, c.x, c.y, c.w, c.h, wnd,
                                 nullptr, inst, nullptr);
    if (!ctl) {
      ::DestroyWindow(wnd);
      return nullptr;
    }
    if (!::lstrcmpiA(c.cls, "EDIT")) ::SendMessageA(ctl, EM_SETLIMITTEXT, 0, 0);
    ::SendMessageA(ctl, WM_SETFONT, reinterpret_cast<WPARAM>(c.y == 64 ? dotum : gulim), FALSE);
    if (!label) label = ctl;
  }
  ::ShowWindow(wnd, SW_SHOWNORMAL);
  ::SetForegroundWindow(wnd);
  ::SetWindowTextA(label, ("저장 폴더: " + folder).c_str());
  return wnd;
}
