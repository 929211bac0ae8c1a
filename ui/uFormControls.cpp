// The control factory of TForm: from the table's rows to measured rectangles, and from those
// to real controls made at their final place and size, in their final stacking order.
#include <algorithm>

#include "common/uError.h"
#include "common/uWide.h"
#include "ui/uAccessible.h"
#include "ui/uFormControl.h"

using namespace formparts;

namespace {

char16_t MnemonicOf(const char16_t* caption) {
  for (const char16_t* p = caption; p && *p; ++p) {
    if (*p != u'&') continue;
    if (p[1] == u'&') {
      ++p;
      continue;
    }
    return UpperAscii(p[1]);
  }
  return 0;
}

struct TWindowClass {
  const wchar_t* name;
  DWORD style;
  DWORD exStyle;
};

TWindowClass ClassOf(TControlKind kind) {
  switch (kind) {
    case TControlKind::Label:
      return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
    case TControlKind::Image:
      return {L"STATIC", SS_LEFT, 0};
    case TControlKind::Edit:
      return {L"EDIT", WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case TControlKind::Memo:
      return {L"EDIT",
              WS_TABSTOP | ES_LEFT | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                  ES_WANTRETURN | WS_VSCROLL | WS_HSCROLL,
              WS_EX_CLIENTEDGE};
    case TControlKind::Button:
      return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0};
    case TControlKind::PictureButton:
      return {L"BUTTON", WS_TABSTOP | BS_OWNERDRAW, 0};
    case TControlKind::GroupBox:
      return {L"BUTTON", BS_GROUPBOX, 0};
    case TControlKind::Panel:
      break;  // a container only: nothing to paint, so no window
  }
  return {nullptr, 0, 0};
}

}  // namespace

// Everything about the controls that needs no window: rectangles at scale, shared fonts and
// pictures, and the sizes that follow text, measured on the screen. Measured again at each
// change of scale; the controls made by then are kept.
void TForm::MeasureControls(HDC screen) {
  TApplication* app = Application();
  if (!app) throw EQuilloError("windowing not initialised");
  const bool first = controls_.size() != static_cast<size_t>(def_.controlCount);
  if (first) {
    controls_.clear();
    controls_.resize(static_cast<size_t>(def_.controlCount));
  }
  for (int i = 0; i < def_.controlCount; ++i) {
    const TControlDef& d = def_.controls[i];
    if (d.parent >= i) throw EQuilloError("a container must come before its controls");
    TControl& c = controls_[static_cast<size_t>(i)];
    c.def = &d;
    c.base = layout::ScaledRect(d.rect, scale_);
    c.mnemonic = MnemonicOf(d.caption);
    c.font = d.font.faces
                 ? app->Font(d.font.faces, layout::Scaled(d.font.height, scale_), d.font.bold)
                 : windowFont_;
    if (d.kind == TControlKind::PictureButton && d.picture)
      c.picture = app->Picture(d.picture, layout::Scaled(kPictureDesignSize, scale_));
    if (!screen) continue;
    if ((d.flags & cfAutoHeight) && IsEdit(d.kind)) {
      TSelectObject sel(screen, c.font);
      TEXTMETRICW tm{};
      if (::GetTextMetricsW(screen, &tm))
        c.base.height = tm.tmHeight + 8 * ::GetSystemMetrics(SM_CYBORDER);
    }
    // A label that took another caption since is measured with it.
    if (d.flags & cfAutoSize)
      c.base = MeasureText(i, c.hwnd ? ControlText(i) : std::u16string(d.caption ? d.caption : u""),
                           screen);
  }
  if (!first) return;
  // The first control of the tab order has the focus when the form is first activated.
  int firstInTab = -1;
  for (int i = 0; i < def_.controlCount; ++i) {
    const int t = def_.controls[i].tabOrder;
    if (t >= 0 && def_.controls[i].kind != TControlKind::Panel &&
        (firstInTab < 0 || t < def_.controls[firstInTab].tabOrder))
      firstInTab = i;
  }
  activeControl_ = firstInTab;
}

// A label's rectangle when it holds `text`: its place, the text's width and line height.
layout::TRect TForm::MeasureText(int index, const std::u16string& text, HDC dc) const {
  const TControl& c = controls_[static_cast<size_t>(index)];
  layout::TRect r = c.base;
  TSelectObject sel(dc, c.font);
  SIZE sz{};
  TEXTMETRICW tm{};
  if (::GetTextExtentPoint32W(dc, W(text), static_cast<int>(text.size()), &sz) &&
      ::GetTextMetricsW(dc, &tm)) {
    r.width = sz.cx;
    r.height = tm.tmHeight;
  }
  return r;
}

void TForm::SortByTabOrder(std::vector<int>& rows) const {
  // A handful of rows: an insertion sort keeps equals in table order without pulling the
  // library's merge machinery into the DLL.
  for (size_t i = 1; i < rows.size(); ++i)
    for (size_t k = i; k > 0 && def_.controls[rows[k - 1]].tabOrder > def_.controls[rows[k]].tabOrder; --k)
      std::swap(rows[k - 1], rows[k]);
}

void TForm::CreateControls() {
  TApplication* app = Application();
  // Children stack in the order they are made, the first on top: controls of the tab order
  // in that order (so that any dialog navigation agrees with ours), then labels and pictures,
  // which run on beneath buttons as if drawn on the form, then frames, beneath what they hold.
  // A labelled control has its label just above it, where screen readers look for its name.
  std::vector<int> tabbed, order;
  for (int i = 0; i < def_.controlCount; ++i)
    if (def_.controls[i].tabOrder >= 0) tabbed.push_back(i);
  SortByTabOrder(tabbed);
  for (int i : tabbed) {
    if ((def_.controls[i].flags & cfLabelled) && i > 0 &&
        def_.controls[i - 1].kind == TControlKind::Label && def_.controls[i - 1].tabOrder < 0)
      order.push_back(i - 1);
    order.push_back(i);
  }
  for (int i = 0; i < def_.controlCount; ++i)
    if (def_.controls[i].tabOrder < 0 && def_.controls[i].kind != TControlKind::GroupBox &&
        std::find(order.begin(), order.end(), i) == order.end())
      order.push_back(i);
  for (int i = 0; i < def_.controlCount; ++i)
    if (def_.controls[i].tabOrder < 0 && def_.controls[i].kind == TControlKind::GroupBox)
      order.push_back(i);

  for (int i : order) {
    TControl& c = controls_[static_cast<size_t>(i)];
    const TControlDef& d = *c.def;
    const TWindowClass cls = ClassOf(d.kind);
    if (!cls.name) continue;
    ::SetLastError(ERROR_SUCCESS);  // a refusal may set none
    c.hwnd = ::CreateWindowExW(
        cls.exStyle, cls.name, W(d.caption ? d.caption : u""),
        WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | cls.style, c.bounds.left, c.bounds.top,
        c.bounds.width, c.bounds.height, handle_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlIdBase + i)), app->Module(), nullptr);
    if (!c.hwnd) ThrowLastError("CreateWindowExW (control)");
    ::SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(c.font), FALSE);
    if (IsEdit(d.kind)) ::SendMessageW(c.hwnd, EM_SETLIMITTEXT, 0, 0);  // the control's maximum
    // A refusal (no annotation service) leaves the control as the system names it.
    if (d.accessibleName) (void)AnnotateAccessibleName(c.hwnd, d.accessibleName);
  }
}
