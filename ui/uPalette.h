// Every colour a form paints with, as data: a system colour (kSystemColor and its index) or a
// role of the palette (kPaletteColor and its role), resolved when painting for the mode the
// window is drawn in (ui/uTheme.h), so that a change of mode or of the system's colours is
// followed.
//
// Light is the system's colours (and the roles' own light colours); dark stands in its own
// colours for the few system colours a form paints; high contrast is the system's colours
// only, the roles included.
#pragma once

#include <windows.h>

#include "ui/uTheme.h"

constexpr COLORREF kSystemColor = 0x80000000u;
constexpr COLORREF kPaletteColor = 0x40000000u;

enum TColorRole : COLORREF {
  crGreen,         // the folder label: green on light, a green that reads on dark
  crNavy,          // the About dialog's headings: navy on light, a light blue on dark
  crButtonFace,    // owner-drawn buttons on dark: face, face while pushed, edge, focused edge
  crButtonPushed,
  crButtonEdge,
  crButtonFocus,
  crRoleCount,
};

constexpr COLORREF kClWindowText = kSystemColor | COLOR_WINDOWTEXT;
constexpr COLORREF kClWindow = kSystemColor | COLOR_WINDOW;
constexpr COLORREF kClBtnFace = kSystemColor | COLOR_BTNFACE;
constexpr COLORREF kClBtnText = kSystemColor | COLOR_BTNTEXT;
constexpr COLORREF kClGrayText = kSystemColor | COLOR_GRAYTEXT;
constexpr COLORREF kClGreen = kPaletteColor | crGreen;
constexpr COLORREF kClNavy = kPaletteColor | crNavy;
constexpr COLORREF kClButtonFace = kPaletteColor | crButtonFace;
constexpr COLORREF kClButtonPushed = kPaletteColor | crButtonPushed;
constexpr COLORREF kClButtonEdge = kPaletteColor | crButtonEdge;
constexpr COLORREF kClButtonFocus = kPaletteColor | crButtonFocus;

// The RGB value of a colour in a mode; a plain RGB value is itself.
COLORREF ResolveColor(COLORREF c, TThemeMode mode = TThemeMode::Light) noexcept;
