// TForm: the window, its layout, its controls' texts and clicks, and its messages.
#include "ui/uForm.h"

#include <algorithm>

#include "common/uError.h"
#include "common/uWide.h"
#include "ui/uFormControl.h"
#include "ui/uIme.h"
#include "ui/uModal.h"

using namespace formparts;

COLORREF ResolveColor(COLORREF c) noexcept {
  return (c & kSystemColor) ? ::GetSysColor(static_cast<int>(c & 0xFF)) : c;
}

TForm::TForm(const TFormDef& def) : def_(def) {}

void TForm::Create(HWND owner) {
  TApplication* app = Application();
  if (!app) throw EQuilloError("windowing not initialised");
  if (handle_) return;
  app->EnsureClass(def_.className, &TForm::FormProc);
  CaptureDefaultKeyboardLayout();
  owner_ = owner;

  {
    TWindowDC screen(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
    windowFont_ = app->Font(def_.font.faces, layout::FontHeightForDpi(def_.font.height, dpi),
                            def_.font.bold);
    int textHeight = def_.designTextHeight;
    if (screen) {
      TSelectObject sel(screen.get(), windowFont_);
      SIZE sz{};
      if (::GetTextExtentPoint32W(screen.get(), L"0", 1, &sz)) textHeight = sz.cy;
    }
    scale_ = layout::TextHeightScale(textHeight, def_.designTextHeight);
    MeasureControls(screen.get());
  }

  int w = layout::Scaled(def_.width, scale_), h = layout::Scaled(def_.height, scale_);
  if (def_.sizeIsClient) {
    RECT r{0, 0, w, h};
    if (::AdjustWindowRectEx(&r, def_.style, FALSE, def_.exStyle)) {
      w = r.right - r.left;
      h = r.bottom - r.top;
    }
  }
  // Made where the first showing will place it, so that showing moves nothing. Without an
  // owner at the system level, so that it has a taskbar button and outlives nothing; the
  // owner only guides placement.
  RECT at{CW_USEDEFAULT, CW_USEDEFAULT, 0, 0};
  RECT ownerRect{};
  if (def_.position == TPosition::ScreenCenter) {
    at.left = layout::CentredOrigin(0, ::GetSystemMetrics(SM_CXSCREEN), w);
    at.top = layout::CentredOrigin(0, ::GetSystemMetrics(SM_CYSCREEN), h);
  } else if (def_.position == TPosition::OwnerFormCenter && owner_ &&
             ::GetWindowRect(owner_, &ownerRect)) {
    at.left = layout::CentredOrigin(ownerRect.left, ownerRect.right - ownerRect.left, w);
    at.top = layout::CentredOrigin(ownerRect.top, ownerRect.bottom - ownerRect.top, h);
  }
  if (!::CreateWindowExW(def_.exStyle, W(def_.className), W(def_.caption), def_.style, at.left,
                         at.top, w, h, nullptr, nullptr, app->Module(), this) ||
      !handle_)
    throw EQuilloError("CreateWindowExW");
  RECT client{};
  ::GetClientRect(handle_, &client);
  Layout(client.right, client.bottom);
  CreateControls();
  app->Add(this);
  FormCreate();
}

// Each control's place for a client area of that size, from the design rectangles.
void TForm::Layout(int clientWidth, int clientHeight) {
  const layout::TRect root{0, 0, clientWidth, clientHeight};
  const int designW = layout::Scaled(def_.clientWidth, scale_);
  const int designH = layout::Scaled(def_.clientHeight, scale_);
  for (auto& c : controls_) {
    const int p = c.def->parent;
    const layout::TRect parent = p < 0 ? root : controls_[static_cast<size_t>(p)].bounds;
    const int pw = p < 0 ? designW : controls_[static_cast<size_t>(p)].base.width;
    const int ph = p < 0 ? designH : controls_[static_cast<size_t>(p)].base.height;
    layout::TRect r;
    switch (c.def->align) {
      case TAlign::Bottom:
        r = {0, parent.height - c.base.height, parent.width, c.base.height};
        break;
      case TAlign::Top:
        r = {0, 0, parent.width, c.base.height};
        break;
      case TAlign::None:
        r = layout::AnchoredRect(c.base, c.def->anchors, parent.width - pw, parent.height - ph);
        break;
    }
    c.bounds = {parent.left + r.left, parent.top + r.top, r.width, r.height};
  }
}

void TForm::Arrange() {
  if (!handle_ || controls_.empty()) return;
  RECT client{};
  ::GetClientRect(handle_, &client);
  std::vector<layout::TRect> before;
  before.reserve(controls_.size());
  for (const auto& c : controls_) before.push_back(c.bounds);
  Layout(client.right, client.bottom);
  int moved = 0;
  for (size_t i = 0; i < controls_.size(); ++i)
    moved += controls_[i].hwnd && !(controls_[i].bounds == before[i]) ? 1 : 0;
  if (moved == 0) return;  // showing, or a label whose new text kept its size
  // One batch, so that the controls move together and each moves once; only those whose
  // place changed (a label taking a new caption moves nothing else).
  HDWP batch = ::BeginDeferWindowPos(moved);
  for (size_t i = 0; i < controls_.size(); ++i) {
    const TControl& c = controls_[i];
    if (!c.hwnd || c.bounds == before[i]) continue;
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    if (batch)
      batch = ::DeferWindowPos(batch, c.hwnd, nullptr, c.bounds.left, c.bounds.top,
                               c.bounds.width, c.bounds.height, flags);
    if (!batch)
      ::SetWindowPos(c.hwnd, nullptr, c.bounds.left, c.bounds.top, c.bounds.width,
                     c.bounds.height, flags);
  }
  if (batch) ::EndDeferWindowPos(batch);
}

TForm* TForm::FromHandle(HWND window) noexcept {
  if (!window || reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(window, GWLP_WNDPROC)) !=
                     &TForm::FormProc)
    return nullptr;
  return reinterpret_cast<TForm*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

int TForm::ControlIndex(const char* name) const noexcept {
  for (int i = 0; i < def_.controlCount; ++i)
    if (name && ::lstrcmpA(def_.controls[i].name, name) == 0) return i;
  return -1;
}

int TForm::IndexOf(HWND control) const noexcept {
  if (!control || ::GetParent(control) != handle_) return -1;
  const int index = ::GetDlgCtrlID(control) - kControlIdBase;
  return ControlHandle(index) == control ? index : -1;
}

HWND TForm::ControlHandle(const char* name) const noexcept {
  return ControlHandle(ControlIndex(name));
}

HWND TForm::ControlHandle(int index) const noexcept {
  return index >= 0 && index < static_cast<int>(controls_.size())
             ? controls_[static_cast<size_t>(index)].hwnd
             : nullptr;
}

std::u16string TForm::ControlText(int index) const {
  HWND h = ControlHandle(index);
  if (!h) return {};
  const LRESULT n = ::SendMessageW(h, WM_GETTEXTLENGTH, 0, 0);
  if (n <= 0) return {};
  std::u16string s(static_cast<size_t>(n) + 1, u'\0');
  const LRESULT got = ::SendMessageW(h, WM_GETTEXT, s.size(), reinterpret_cast<LPARAM>(&s[0]));
  s.resize(got > 0 ? static_cast<size_t>(std::min<LRESULT>(got, n)) : 0);
  return s;
}

void TForm::SetControlText(int index, const std::u16string& text) {
  HWND h = ControlHandle(index);
  if (!h) return;
  ::SendMessageW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  if (def_.controls[index].flags & cfAutoSize) {
    TWindowDC dc(h);
    if (!dc) return;
    TControl& c = controls_[static_cast<size_t>(index)];
    const layout::TRect r = MeasureText(index, text, dc.get());
    if (r == c.base) return;
    c.base = r;
    Arrange();
  }
}

bool TForm::ClickControl(int index) {
  if (index < 0 || index >= def_.controlCount) return false;
  HWND h = ControlHandle(index);
  if (h && (!::IsWindowEnabled(h) || !(::GetWindowLongPtrW(h, GWL_STYLE) & WS_VISIBLE)))
    return false;
  const TControlDef& d = def_.controls[index];
  if (d.modalResult && handle_) SetModalResult(d.modalResult);
  if (d.onClick) (this->*d.onClick)();
  return true;
}

void TForm::FocusControl(int index) {
  if (HWND h = ControlHandle(index)) ::SetFocus(h);
}

void TForm::CommandFromControl(int index, WORD code) {
  const TControl& c = controls_[static_cast<size_t>(index)];
  switch (code) {
    case EN_SETFOCUS:
      activeControl_ = index;
      ImeEnter(c.def->imeName);
      break;
    case EN_KILLFOCUS:
      ImeExit(c.def->imeName);
      break;
    case BN_CLICKED:
    case BN_DOUBLECLICKED:
      if (IsButton(c.def->kind) &&
          (code == BN_CLICKED || c.def->kind == TControlKind::PictureButton))
        ClickControl(index);
      break;
    default:
      break;
  }
}

LRESULT TForm::HandleFormMessage(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (FormMessage(msg, wp, lp, result)) return result;
  switch (msg) {
    case WM_SIZE:
      Arrange();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wp) == WA_INACTIVE) {
        // The focus comes back to the control that had it when the form is active again.
        const int index = IndexOf(::GetFocus());
        if (index >= 0) activeControl_ = index;
      } else {
        // Not a dialog: the focus goes back to that control, not to the frame.
        if (!HIWORD(wp)) FocusControl(activeControl_);
        FormActivate();
      }
      return 0;
    case WM_SETFOCUS:
      FocusControl(activeControl_);
      return 0;
    case WM_CLOSE:
      Close();
      return 0;
    case kReleaseMessage:
      ::DestroyWindow(handle_);
      return 0;
    case WM_COMMAND: {
      const int index = static_cast<int>(LOWORD(wp)) - kControlIdBase;
      if (lp && index >= 0 && index < def_.controlCount &&
          controls_[static_cast<size_t>(index)].hwnd == reinterpret_cast<HWND>(lp))
        CommandFromControl(index, HIWORD(wp));
      return 0;
    }
    case WM_DRAWITEM: {
      const auto* di = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (di && di->CtlType == ODT_BUTTON) {
        DrawPictureButton(*di);
        return TRUE;
      }
      break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN: {
      const int index = ::GetDlgCtrlID(reinterpret_cast<HWND>(lp)) - kControlIdBase;
      if (index < 0 || index >= def_.controlCount) break;
      const TControlDef& d = def_.controls[index];
      HDC dc = reinterpret_cast<HDC>(wp);
      const bool editFace = msg == WM_CTLCOLOREDIT;
      if (msg == WM_CTLCOLORSTATIC && !IsStaticLike(d.kind)) break;  // read-only edits
      const COLORREF color = d.font.faces ? d.font.color : def_.font.color;
      ::SetTextColor(dc, ResolveColor(color));
      ::SetBkColor(dc, ::GetSysColor(editFace ? COLOR_WINDOW : COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(editFace ? COLOR_WINDOW : COLOR_BTNFACE));
    }
    case WM_NCDESTROY: {
      SetModalResult(mrNone);  // a window property: given back before the window goes
      const LRESULT r = ::DefWindowProcW(handle_, msg, wp, lp);
      Destroyed();
      return r;
    }
    default:
      break;
  }
  return ::DefWindowProcW(handle_, msg, wp, lp);
}

