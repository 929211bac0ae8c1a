// TForm in the mode the user chose (ui/uTheme.h): the title bar, the scroll bars and the
// push buttons follow it, and every colour a control asks for comes from the palette
// (ui/uPalette.h) resolved for it.
#include "ui/uFormControl.h"

using namespace formparts;

void TForm::ApplyTheme() {
  theme_ = CurrentThemeMode();
  const bool dark = theme_ == TThemeMode::Dark;
  ThemeTitleBar(handle_, dark);
  for (const TControl& c : controls_) {
    if (!c.hwnd) continue;
    // Only a change: a control never darkened has nothing to undo, and every call makes the
    // control open its theme data again.
    if (c.def->kind == TControlKind::Memo && dark != darkScrollBars_) ThemeScrollBars(c.hwnd, dark);
    if (c.def->kind == TControlKind::Button) {
      // The system draws no dark push button: on dark this form draws them, as it draws its
      // picture buttons; the caption stays the window's text, for keys and screen readers.
      const DWORD type = dark ? BS_OWNERDRAW : BS_PUSHBUTTON;
      if ((static_cast<DWORD>(::GetWindowLongPtrW(c.hwnd, GWL_STYLE)) & BS_TYPEMASK) != type)
        ::SendMessageW(c.hwnd, BM_SETSTYLE, type, FALSE);
    }
  }
  darkScrollBars_ = dark;
  if (handle_)
    ::RedrawWindow(handle_, nullptr, nullptr,
                   RDW_ERASE | RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
}

bool TForm::ControlColors(UINT msg, HWND control, HDC dc, HBRUSH& brush) const {
  const int index = ::GetDlgCtrlID(control) - kControlIdBase;
  if (index < 0 || index >= def_.controlCount || ControlHandle(index) != control) return false;
  const TControlDef& d = def_.controls[index];
  // Edit boxes on the box colour; labels, frames and read-only boxes on the form's.
  const bool box = msg == WM_CTLCOLOREDIT;
  const COLORREF face = ResolveColor(box ? kClWindow : kClBtnFace, theme_);
  ::SetTextColor(dc, ResolveColor(d.font.faces ? d.font.color : def_.font.color, theme_));
  ::SetBkColor(dc, face);
  if (theme_ == TThemeMode::Dark) {
    TApplication* app = Application();
    brush = app ? app->Brush(face) : nullptr;
  } else {
    brush = ::GetSysColorBrush(box ? COLOR_WINDOW : COLOR_BTNFACE);
  }
  return brush != nullptr;
}
