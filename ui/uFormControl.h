// What the parts of TForm (uForm.cpp, uFormLifetime.cpp, uFormControls.cpp, uFormKeys.cpp,
// uPictureButton.cpp) share: not for the forms themselves.
#pragma once

#include <windows.h>

#include "ui/uApplication.h"
#include "ui/uForm.h"

namespace formparts {

// A control's identifier is its row in the table plus this.
constexpr int kControlIdBase = 100;
// Private to the form classes of this layer: delivered by the loop, it destroys the form.
constexpr UINT kReleaseMessage = WM_USER + 0x51;

inline bool IsButton(TControlKind k) {
  return k == TControlKind::Button || k == TControlKind::PictureButton;
}
inline bool IsEdit(TControlKind k) { return k == TControlKind::Edit || k == TControlKind::Memo; }
// Mnemonics and their keys compare by ASCII letters only: the locale must not change them.
constexpr char16_t UpperAscii(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

inline bool IsStaticLike(TControlKind k) {
  return k == TControlKind::Label || k == TControlKind::Image || k == TControlKind::GroupBox;
}

}  // namespace formparts

struct TForm::TControl {
  const TControlDef* def = nullptr;
  HWND hwnd = nullptr;
  layout::TRect base;    // scaled design rectangle (auto sizes applied), relative to the parent
  layout::TRect bounds;  // where it is now, in the form's client area
  HFONT font = nullptr;  // shared; the window font unless the row names its own
  const TPicture* picture = nullptr;  // PictureButton: shared, null when it has none
  char16_t mnemonic = 0;
};
