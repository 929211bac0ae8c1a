// TForm: the window, its layout, its controls' texts and clicks, and its messages.
#include "ui/uForm.h"

#include <algorithm>

#include "common/uError.h"
#include "common/uWide.h"
#include "ui/uAccessible.h"
#include "ui/uDpi.h"
#include "ui/uFormControl.h"
#include "ui/uIme.h"
#include "ui/uModal.h"

using namespace formparts;

TForm::TForm(const TFormDef& def) : def_(def) {}

void TForm::Create(HWND owner) {
  TApplication* app = Application();
  if (!app) throw EQuilloError("windowing not initialised");
  if (handle_) return;
  app->EnsureClass(def_.className, &TForm::FormProc);
  CaptureDefaultKeyboardLayout();
  owner_ = owner;

  // A dialog opens at its owner's scale; a form of its own on the primary monitor, where it
  // is placed, whose DPI the system DPI is.
  ApplyDpi(owner_ ? WindowDpi(owner_) : SystemDpi());

  int w = layout::Scaled(def_.width, scale_), h = layout::Scaled(def_.height, scale_);
  if (def_.sizeIsClient) {
    const SIZE outer = OuterSizeForDpi(w, h, def_.style, def_.exStyle, dpi_);
    w = outer.cx;
    h = outer.cy;
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
  ::SetLastError(ERROR_SUCCESS);  // a refusal (a hook, a failed WM_CREATE) may set none
  if (!::CreateWindowExW(def_.exStyle, W(def_.className), W(def_.caption), def_.style, at.left,
                         at.top, w, h, nullptr, nullptr, app->Module(), this))
    ThrowLastError("CreateWindowExW");
  if (!handle_) throw EQuilloError("CreateWindowExW");
  // A primary monitor whose scale changed since the user signed in shows the window at
  // another DPI than the system's: the form follows the window's, keeping its place.
  const int shownAt = WindowDpi(handle_);
  if (shownAt != dpi_) {
    ApplyDpi(shownAt);
    SIZE size{};
    if (ScaledSizeForDpi(dpi_, size))
      ::SetWindowPos(handle_, nullptr, 0, 0, size.cx, size.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  RECT client{};
  ::GetClientRect(handle_, &client);
  Layout(client.right, client.bottom);
  CreateControls();
  ApplyTheme();
  app->Add(this);
  FormCreate();
}

// The window font at a DPI, and the scale of every design measure that goes with it: the
// window font's text height (the height of '0') against the design's, measured on the
// screen's DC that the caller holds.
layout::TScale TForm::ScaleAtDpi(int dpi, HDC screen, HFONT& windowFont) const {
  TApplication* app = Application();
  if (!app) throw EQuilloError("windowing not initialised");
  windowFont = app->Font(def_.font.faces, layout::FontHeightForDpi(def_.font.height, dpi),
                         def_.font.bold);
  int textHeight = layout::ForDpi(def_.designTextHeight, dpi);
  TSelectObject sel(screen, windowFont);
  SIZE sz{};
  if (::GetTextExtentPoint32W(screen, L"0", 1, &sz)) textHeight = sz.cy;
  return layout::TextHeightScale(textHeight, def_.designTextHeight);
}

namespace {

// The screen's DC, for measuring text: a form cannot be laid out without it.
HDC ScreenForMeasuring(const TWindowDC& screen) {
  if (!screen) throw EQuilloError("GetDC");  // it sets no error code
  return screen.get();
}

}  // namespace

// Fonts, scale, pictures and measured sizes for a DPI, always from the design values, so
// that any sequence of changes ends where a form made at the last DPI would be.
void TForm::ApplyDpi(int dpi) {
  if (dpi <= 0) dpi = 96;
  TWindowDC screen(nullptr);
  HDC dc = ScreenForMeasuring(screen);
  HFONT font = nullptr;
  scale_ = ScaleAtDpi(dpi, dc, font);
  dpi_ = dpi;
  windowFont_ = font;
  MeasureControls(dc);
}

bool TForm::ScaledSizeForDpi(int dpi, SIZE& size) const {
  if (!handle_ || dpi <= 0) return false;
  TWindowDC screen(nullptr);
  HFONT font = nullptr;
  const layout::TScale next = ScaleAtDpi(dpi, ScreenForMeasuring(screen), font);
  // Measured as the form is designed, outer or client size; what the user added to (or took
  // from) the design size keeps its share at the new scale, and a window at its design size
  // gets exactly the design size there, as if made at that DPI.
  RECT now{};
  if (!(def_.sizeIsClient ? ::GetClientRect(handle_, &now) : ::GetWindowRect(handle_, &now)))
    return false;
  const auto rescale = [&](int extra) {
    return layout::MulDivRound(layout::MulDivRound(extra, next.num, next.den), scale_.den,
                               scale_.num);
  };
  const int w = layout::Scaled(def_.width, next) +
                rescale(now.right - now.left - layout::Scaled(def_.width, scale_));
  const int h = layout::Scaled(def_.height, next) +
                rescale(now.bottom - now.top - layout::Scaled(def_.height, scale_));
  size = def_.sizeIsClient ? OuterSizeForDpi(w, h, def_.style, def_.exStyle, dpi) : SIZE{w, h};
  return true;
}

void TForm::ChangeDpi(int dpi, const RECT* suggested) {
  if (!handle_) return;
  ApplyDpi(dpi);
  for (const TControl& c : controls_)
    if (c.hwnd) ::SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(c.font), FALSE);
  if (suggested)
    ::SetWindowPos(handle_, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  Arrange();  // also when the size did not change: the measures did
  ::RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// Each control's place for a client area of that size, from the design rectangles.
void TForm::Layout(int clientWidth, int clientHeight) {
  std::vector<layout::TPlacement> rows;
  rows.reserve(controls_.size());
  for (const auto& c : controls_) rows.push_back({c.def->parent, c.def->anchors, c.def->align, c.base});
  std::vector<layout::TRect> places(controls_.size());
  layout::PlaceAll(rows.data(), rows.size(), clientWidth, clientHeight,
                   layout::Scaled(def_.clientWidth, scale_), layout::Scaled(def_.clientHeight, scale_),
                   places.data());
  for (size_t i = 0; i < controls_.size(); ++i) controls_[i].bounds = places[i];
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
    case WM_DPICHANGED:
      // The suggested rectangle keeps the window where the user is looking.
      ChangeDpi(HIWORD(wp), reinterpret_cast<const RECT*>(lp));
      return 0;
    case WM_GETDPISCALEDSIZE: {
      auto* size = reinterpret_cast<SIZE*>(lp);
      return size && ScaledSizeForDpi(static_cast<int>(LOWORD(wp)), *size) ? TRUE : FALSE;
    }
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
        DrawOwnerButton(*di);
        return TRUE;
      }
      break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN: {
      HBRUSH brush = nullptr;
      if (ControlColors(msg, reinterpret_cast<HWND>(lp), reinterpret_cast<HDC>(wp), brush))
        return reinterpret_cast<LRESULT>(brush);
      break;
    }
    case WM_ERASEBKGND:
      // The class's brush is the system's face; dark mode paints its own.
      if (theme_ == TThemeMode::Dark) {
        RECT r{};
        ::GetClientRect(handle_, &r);
        if (TApplication* app = Application())
          ::FillRect(reinterpret_cast<HDC>(wp), &r, app->Brush(ResolveColor(kClBtnFace, theme_)));
        return TRUE;
      }
      break;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
      if (ThemeMayHaveChanged(msg, wp, lp)) ApplyTheme();
      break;
    case WM_DESTROY:
      // Annotations live with the controls' windows: taken away before those go.
      for (int i = 0; i < def_.controlCount; ++i)
        if (def_.controls[i].accessibleName && controls_[static_cast<size_t>(i)].hwnd)
          (void)AnnotateAccessibleName(controls_[static_cast<size_t>(i)].hwnd, nullptr);
      break;
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

