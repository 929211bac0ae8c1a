#include "ui/uPalette.h"

namespace {

struct TRole {
  COLORREF light;
  COLORREF dark;
  COLORREF highContrast;  // a system colour: under high contrast the user's colours only
};

// clang-format off
const TRole kRoles[crRoleCount] = {
  // The dark green reads at 8.0:1 on the dark form (#202020), the light blue at 9.0:1.
  /* crGreen        */ {RGB(0, 128, 0),  RGB(0x6C, 0xCB, 0x5F), kClWindowText},
  /* crNavy         */ {RGB(0, 0, 128),  RGB(0x99, 0xC3, 0xFF), kClWindowText},
  /* crButtonFace   */ {kClBtnFace,      RGB(0x33, 0x33, 0x33), kClBtnFace},
  /* crButtonPushed */ {kClBtnFace,      RGB(0x28, 0x28, 0x28), kClBtnFace},
  /* crButtonEdge   */ {kSystemColor | COLOR_BTNSHADOW, RGB(0x6B, 0x6B, 0x6B), kClWindowText},
  /* crButtonFocus  */ {kClWindowText,   RGB(0xC8, 0xC8, 0xC8), kClWindowText},
};
// clang-format on

// What dark mode paints for the system colours a form asks for; the rest stay the system's.
COLORREF DarkSystemColor(int index) noexcept {
  switch (index) {
    case COLOR_BTNFACE:
    case COLOR_3DLIGHT:
      return RGB(0x20, 0x20, 0x20);  // the form
    case COLOR_WINDOW:
      return RGB(0x19, 0x19, 0x19);  // edit boxes
    case COLOR_WINDOWTEXT:
    case COLOR_BTNTEXT:
      return RGB(0xFF, 0xFF, 0xFF);
    case COLOR_GRAYTEXT:
      return RGB(0x8A, 0x8A, 0x8A);
    default:
      return ::GetSysColor(index);
  }
}

COLORREF System(COLORREF c, TThemeMode mode) noexcept {
  const int index = static_cast<int>(c & 0xFF);
  return mode == TThemeMode::Dark ? DarkSystemColor(index) : ::GetSysColor(index);
}

}  // namespace

COLORREF ResolveColor(COLORREF c, TThemeMode mode) noexcept {
  if (c & kSystemColor) return System(c, mode);
  if (!(c & kPaletteColor)) return c;
  const COLORREF role = c & 0xFF;
  if (role >= crRoleCount) return System(kClWindowText, mode);
  const TRole& r = kRoles[role];
  const COLORREF v = mode == TThemeMode::Dark ? r.dark
                     : mode == TThemeMode::HighContrast ? r.highContrast
                                                         : r.light;
  return (v & kSystemColor) ? System(v, mode) : v;
}
