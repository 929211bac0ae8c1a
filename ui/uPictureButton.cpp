// The painter of TForm's owner-drawn buttons: the picture buttons always, the push buttons on
// dark. The shared picture (normal or greyed half) left of the caption, both centred
// together, the transparent colour left out; under high contrast the picture's shape in the
// button's text colour.
#include "common/uWide.h"
#include "ui/uFormControl.h"

using namespace formparts;

void TForm::DrawButtonPicture(HDC dc, const TPicture& picture, int x, int y, bool disabled,
                              COLORREF ink) const {
  const int w = picture.width / 2, h = picture.height;
  const int srcX = disabled ? w : 0;
  TMemoryDC src(::CreateCompatibleDC(dc)), mask(::CreateCompatibleDC(dc));
  if (!src || !mask) return;
  TSelectObject s1(src.get(), picture.bitmap.get()), s2(mask.get(), picture.mask.get());
  // The mask reaches the screen as white where transparent, black where the picture is.
  const COLORREF oldText = ::SetTextColor(dc, RGB(0, 0, 0));
  const COLORREF oldBk = ::SetBkColor(dc, RGB(255, 255, 255));
  if (theme_ == TThemeMode::HighContrast) {
    // The screen where the mask is white, the ink's brush where it is black: (S & D) | (~S & P).
    TGdiObject brush(::CreateSolidBrush(ink));
    if (brush) {
      TSelectObject b(dc, brush.get());
      ::BitBlt(dc, x, y, w, h, mask.get(), srcX, 0, 0x00B8074A);
    }
  } else {
    // Transparent copy without msimg32: xor in, cut the opaque pixels out, xor again.
    ::BitBlt(dc, x, y, w, h, src.get(), srcX, 0, SRCINVERT);
    ::BitBlt(dc, x, y, w, h, mask.get(), srcX, 0, SRCAND);
    ::BitBlt(dc, x, y, w, h, src.get(), srcX, 0, SRCINVERT);
  }
  ::SetTextColor(dc, oldText);
  ::SetBkColor(dc, oldBk);
}

void TForm::DrawOwnerButton(const DRAWITEMSTRUCT& di) const {
  const int index = static_cast<int>(di.CtlID) - kControlIdBase;
  if (index < 0 || index >= def_.controlCount) return;
  const TControl& c = controls_[static_cast<size_t>(index)];
  HDC dc = di.hDC;
  RECT rc = di.rcItem;
  const bool pushed = di.itemState & ODS_SELECTED;
  const bool disabled = di.itemState & ODS_DISABLED;
  const bool focused = (di.itemState & ODS_FOCUS) && !(di.itemState & ODS_NOFOCUSRECT);
  TApplication* app = Application();
  if (theme_ == TThemeMode::Dark && app) {
    ::FillRect(dc, &rc, app->Brush(ResolveColor(pushed ? kClButtonPushed : kClButtonFace, theme_)));
    ::FrameRect(dc, &rc, app->Brush(ResolveColor(focused ? kClButtonFocus : kClButtonEdge, theme_)));
  } else {
    ::DrawFrameControl(dc, &rc, DFC_BUTTON,
                       DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0) | (disabled ? DFCS_INACTIVE : 0));
  }
  const COLORREF ink = ResolveColor(disabled ? kClGrayText : kClBtnText, theme_);

  const std::u16string caption = ControlText(index);
  TSelectObject font(dc, c.font);
  UINT textFlags = DT_SINGLELINE | DT_VCENTER | DT_LEFT;
  if (di.itemState & ODS_NOACCEL) textFlags |= DT_HIDEPREFIX;
  RECT measure{0, 0, 0, 0};
  ::DrawTextW(dc, W(caption), static_cast<int>(caption.size()), &measure,
              DT_CALCRECT | DT_SINGLELINE);
  const int textW = measure.right - measure.left;

  const TPicture* picture = c.picture;
  const int glyphW = picture ? picture->width / 2 : 0, glyphH = picture ? picture->height : 0;
  const int spacing = picture && textW > 0 ? 4 : 0;
  const int shift = pushed ? 1 : 0;
  int x = rc.left + ((rc.right - rc.left) - (glyphW + spacing + textW)) / 2 + shift;
  if (picture) {
    DrawButtonPicture(dc, *picture, x, rc.top + ((rc.bottom - rc.top) - glyphH) / 2 + shift,
                      disabled, ink);
    x += glyphW + spacing;
  }
  RECT text{x, rc.top + shift, x + textW, rc.bottom + shift};
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ink);
  ::DrawTextW(dc, W(caption), static_cast<int>(caption.size()), &text, textFlags);
  if (focused) {
    RECT focus = rc;
    ::InflateRect(&focus, -4, -4);
    ::DrawFocusRect(dc, &focus);
  }
}
