// The painter of TForm's picture buttons: the shared picture (normal or greyed half) left of
// the caption, both centred together, the transparent colour left out.
#include "common/uWide.h"
#include "ui/uFormControl.h"

using namespace formparts;

void TForm::DrawPictureButton(const DRAWITEMSTRUCT& di) const {
  const int index = static_cast<int>(di.CtlID) - kControlIdBase;
  if (index < 0 || index >= def_.controlCount) return;
  const TControl& c = controls_[static_cast<size_t>(index)];
  HDC dc = di.hDC;
  RECT rc = di.rcItem;
  const bool pushed = di.itemState & ODS_SELECTED;
  const bool disabled = di.itemState & ODS_DISABLED;
  ::DrawFrameControl(dc, &rc, DFC_BUTTON,
                     DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0) | (disabled ? DFCS_INACTIVE : 0));

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
    const int y = rc.top + ((rc.bottom - rc.top) - glyphH) / 2 + shift;
    const int srcX = disabled ? glyphW : 0;
    TMemoryDC src(::CreateCompatibleDC(dc)), mask(::CreateCompatibleDC(dc));
    if (src && mask) {
      TSelectObject s1(src.get(), picture->bitmap.get()), s2(mask.get(), picture->mask.get());
      // Transparent copy without msimg32: xor in, cut the opaque pixels out, xor again.
      const COLORREF oldText = ::SetTextColor(dc, RGB(0, 0, 0));
      const COLORREF oldBk = ::SetBkColor(dc, RGB(255, 255, 255));
      ::BitBlt(dc, x, y, glyphW, glyphH, src.get(), srcX, 0, SRCINVERT);
      ::BitBlt(dc, x, y, glyphW, glyphH, mask.get(), srcX, 0, SRCAND);
      ::BitBlt(dc, x, y, glyphW, glyphH, src.get(), srcX, 0, SRCINVERT);
      ::SetTextColor(dc, oldText);
      ::SetBkColor(dc, oldBk);
    }
    x += glyphW + spacing;
  }
  RECT text{x, rc.top + shift, x + textW, rc.bottom + shift};
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ::GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  ::DrawTextW(dc, W(caption), static_cast<int>(caption.size()), &text, textFlags);
  if ((di.itemState & ODS_FOCUS) && !(di.itemState & ODS_NOFOCUSRECT)) {
    RECT focus = rc;
    ::InflateRect(&focus, -4, -4);
    ::DrawFocusRect(dc, &focus);
  }
}
