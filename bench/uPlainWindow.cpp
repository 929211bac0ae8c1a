#include "bench/uPlainWindow.h"

namespace {

constexpr wchar_t kClass[] = L"QuilloPlainWindow";

struct TControl {
  const wchar_t* cls;
  const wchar_t* text;
  DWORD style;
  DWORD exStyle;
  int x, y, w, h;
};

// The note window's layout, as plain controls: labels, edit boxes and buttons (the picture
// buttons owner-drawn). The button bar is no window of its own: its buttons sit on the form.
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr int kBar = 553;
const TControl kControls[] = {
    {L"STATIC", L"저장 폴더 : ", kChild, 0, 8, 8, 64, 12},
    {L"STATIC", L"제목 겸 파일명  ", kChild, 0, 8, 32, 88, 12},
    {L"EDIT", L"", kChild | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 96, 32, 737, 20},
    {L"STATIC", L".txt", kChild, 0, 840, 36, 17, 13},
    {L"BUTTON", L"첫줄을 제목으로", kChild | WS_TABSTOP | BS_PUSHBUTTON, 0, 720, 8, 113, 22},
    {L"EDIT", L"", kChild | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                     ES_AUTOHSCROLL | ES_WANTRETURN,
     WS_EX_CLIENTEDGE, 8, 64, 857, 489},
    {L"BUTTON", L"프로그램 정보", kChild | WS_TABSTOP | BS_OWNERDRAW, 0, 8, kBar + 8, 97, 25},
    {L"BUTTON", L"Save (&S)", kChild | WS_TABSTOP | BS_OWNERDRAW, 0, 216, kBar + 8, 113, 25},
    {L"BUTTON", L"만들기", kChild | WS_TABSTOP | BS_OWNERDRAW, 0, 632, kBar + 8, 113, 25},
    {L"BUTTON", L"취소", kChild | WS_TABSTOP | BS_OWNERDRAW, 0, 760, kBar + 8, 105, 25},
};

LRESULT CALLBACK PlainProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DRAWITEM) {
    auto* di = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
    wchar_t text[64] = {};
    ::GetWindowTextW(di->hwndItem, text, 64);
    ::FillRect(di->hDC, &di->rcItem, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    ::DrawTextW(di->hDC, text, -1, &di->rcItem, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    return TRUE;
  }
  if (msg == WM_NCDESTROY) {
    // The fonts belong to the window.
    for (const wchar_t* prop : {L"QuilloPlainFont1", L"QuilloPlainFont2"})
      if (HANDLE f = ::RemovePropW(wnd, prop)) ::DeleteObject(f);
  }
  return ::DefWindowProcW(wnd, msg, wp, lp);
}

}  // namespace

HWND OpenPlainWindow(const std::wstring& folder) noexcept {
  HINSTANCE inst = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = PlainProc;
  wc.hInstance = inst;
  wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClass;
  if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  const int w = 882, h = 628;
  int x = (::GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (::GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  HWND wnd = ::CreateWindowExW(0, kClass, L"QuilloFloor", WS_OVERLAPPEDWINDOW, x < 0 ? 0 : x,
                               y < 0 ? 0 : y, w, h, nullptr, nullptr, inst, nullptr);
  if (!wnd) return nullptr;
  HFONT gulim = ::CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"굴림");
  HFONT dotum = ::CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"돋움");
  ::SetPropW(wnd, L"QuilloPlainFont1", gulim);
  ::SetPropW(wnd, L"QuilloPlainFont2", dotum);
  HWND label = nullptr;
  for (const TControl& c : kControls) {
    HWND ctl = ::CreateWindowExW(c.exStyle, c.cls, c.text, c.style, c.x, c.y, c.w, c.h, wnd,
                                 nullptr, inst, nullptr);
    if (!ctl) {
      ::DestroyWindow(wnd);
      return nullptr;
    }
    if (!::lstrcmpiW(c.cls, L"EDIT")) ::SendMessageW(ctl, EM_SETLIMITTEXT, 0, 0);
    ::SendMessageW(ctl, WM_SETFONT, reinterpret_cast<WPARAM>(c.y == 64 ? dotum : gulim), FALSE);
    if (!label) label = ctl;
  }
  ::ShowWindow(wnd, SW_SHOWNORMAL);
  ::SetForegroundWindow(wnd);
  ::SetWindowTextW(label, (L"저장 폴더: " + folder).c_str());
  return wnd;
}
