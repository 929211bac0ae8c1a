#include "ui/uForm.h"

#include <algorithm>
#include <cctype>

#include "common/uError.h"
#include "ui/uApplication.h"
#include "ui/uIme.h"
#include "ui/uModal.h"

namespace {

constexpr int kControlIdBase = 100;
// Private to the form classes of this layer: delivered by the loop, it destroys the form.
constexpr UINT kReleaseMessage = WM_USER + 0x51;
const char kFormProp[] = "Quillo.Form";

struct TDCTraits {
  static HDC Invalid() noexcept { return nullptr; }
  static void Close(HDC h) noexcept { ::DeleteDC(h); }
};
using TMemoryDC = TUniqueHandle<HDC, TDCTraits>;

bool IsButton(TControlKind k) {
  return k == TControlKind::Button || k == TControlKind::PictureButton;
}
bool IsEdit(TControlKind k) { return k == TControlKind::Edit || k == TControlKind::Memo; }
bool IsStaticLike(TControlKind k) {
  return k == TControlKind::Label || k == TControlKind::Image || k == TControlKind::GroupBox;
}

char MnemonicOf(const char* caption) {
  for (const char* p = caption; p && *p; ++p) {
    if (*p != '&') continue;
    if (p[1] == '&') {
      ++p;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(p[1]);
    return c < 0x80 ? static_cast<char>(std::toupper(c)) : 0;
  }
  return 0;
}

unsigned ShiftState(LPARAM keyData) {
  unsigned s = ssNone;
  if (::GetKeyState(VK_SHIFT) < 0) s |= ssShift;
  if (::GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
  if (keyData & (1 << 29)) s |= ssAlt;
  return s;
}

HFONT MakeFont(const char* face, int height, bool bold) {
  LOGFONTA lf{};
  lf.lfHeight = height;
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  ::lstrcpynA(lf.lfFaceName, face ? face : "", LF_FACESIZE);
  HFONT f = ::CreateFontIndirectA(&lf);
  if (!f) throw EQuilloError("CreateFontIndirectA");
  return f;
}

}  // namespace

COLORREF ResolveColor(COLORREF c) noexcept {
  return (c & kSystemColor) ? ::GetSysColor(static_cast<int>(c & 0xFF)) : c;
}

struct TForm::TControl {
  const TControlDef* def = nullptr;
  HWND hwnd = nullptr;
  layout::TRect base;    // scaled design rectangle, relative to the parent
  layout::TRect bounds;  // where it is now, in the form's client area
  TGdiObject font;       // its own font; none: the window font
  TGdiObject picture;    // PictureButton: normal and greyed image side by side
  TGdiObject mask;       // 1 where the picture is transparent
  WNDPROC oldProc = nullptr;
  char mnemonic = 0;

  HFONT Font(HGDIOBJ windowFont) const {
    return static_cast<HFONT>(font ? font.get() : windowFont);
  }
};

TForm::TForm(const TFormDef& def) : def_(def) {}

TForm::~TForm() {
  if (handle_) {
    // Destroyed from outside its window's own life (a failed creation): cut the window off
    // from this object before it goes.
    for (auto& c : controls_) {
      if (c.hwnd && c.oldProc) {
        ::SetWindowLongPtrA(c.hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(c.oldProc));
        ::RemovePropA(c.hwnd, kFormProp);
      }
    }
    ::SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
    ::DestroyWindow(handle_);
    handle_ = nullptr;
  }
  if (TApplication* app = Application()) app->Remove(this);
}

void TForm::Create(HWND owner) {
  TApplication* app = Application();
  if (!app) throw EQuilloError("windowing not initialised");
  if (handle_) return;
  app->EnsureClass(def_.className, &TForm::FormProc);
  CaptureDefaultKeyboardLayout();
  owner_ = owner;
  CreateFonts();

  int w = layout::Scaled(def_.width, scale_), h = layout::Scaled(def_.height, scale_);
  if (def_.sizeIsClient) {
    RECT r{0, 0, w, h};
    if (::AdjustWindowRectEx(&r, def_.style, FALSE, def_.exStyle)) {
      w = r.right - r.left;
      h = r.bottom - r.top;
    }
  }
  // The window is made without an owner at the system level, so that it has a taskbar
  // button and outlives nothing; the owner only guides placement.
  if (!::CreateWindowExA(def_.exStyle, def_.className, def_.caption, def_.style, CW_USEDEFAULT,
                         CW_USEDEFAULT, w, h, nullptr, nullptr, app->Module(), this) ||
      !handle_)
    throw EQuilloError("CreateWindowExA");
  CreateControls();
  OrderControls();
  Arrange();
  app->Add(this);
  FormCreate();
}

void TForm::CreateFonts() {
  TWindowDC screen(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
  windowFont_.reset(MakeFont(def_.font.face, layout::FontHeightForDpi(def_.font.height, dpi),
                             def_.font.bold));
  int textHeight = def_.designTextHeight;
  if (screen) {
    TSelectObject sel(screen.get(), windowFont_.get());
    SIZE sz{};
    if (::GetTextExtentPoint32A(screen.get(), "0", 1, &sz)) textHeight = sz.cy;
  }
  scale_ = layout::TextHeightScale(textHeight, def_.designTextHeight);
}

void TForm::CreateControls() {
  TApplication* app = Application();
  controls_.clear();
  controls_.resize(static_cast<size_t>(def_.controlCount));
  for (int i = 0; i < def_.controlCount; ++i) {
    const TControlDef& d = def_.controls[i];
    if (d.parent >= i) throw EQuilloError("a container must come before its controls");
    TControl& c = controls_[static_cast<size_t>(i)];
    c.def = &d;
    c.base = layout::ScaledRect(d.rect, scale_);
    c.mnemonic = MnemonicOf(d.caption);
    if (d.font.face) c.font.reset(MakeFont(d.font.face, layout::Scaled(d.font.height, scale_),
                                           d.font.bold));
    const char* cls = nullptr;
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, ex = 0;
    switch (d.kind) {
      case TControlKind::Label:
        cls = "STATIC";
        style |= SS_LEFT | SS_NOPREFIX;
        break;
      case TControlKind::Image:
        cls = "STATIC";
        style |= SS_LEFT;
        break;
      case TControlKind::Edit:
        cls = "EDIT";
        style |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
        ex = WS_EX_CLIENTEDGE;
        break;
      case TControlKind::Memo:
        cls = "EDIT";
        style |= WS_TABSTOP | ES_LEFT | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                 ES_WANTRETURN | WS_VSCROLL | WS_HSCROLL;
        ex = WS_EX_CLIENTEDGE;
        break;
      case TControlKind::Button:
        cls = "BUTTON";
        style |= WS_TABSTOP | BS_PUSHBUTTON;
        break;
      case TControlKind::PictureButton:
        cls = "BUTTON";
        style |= WS_TABSTOP | BS_OWNERDRAW;
        break;
      case TControlKind::GroupBox:
        cls = "BUTTON";
        style |= BS_GROUPBOX;
        break;
      case TControlKind::Panel:
        continue;  // a container only: nothing to paint, so no window
    }
    c.hwnd = ::CreateWindowExA(ex, cls, d.caption ? d.caption : "", style, 0, 0, c.base.width,
                               c.base.height, handle_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlIdBase + i)),
                               app->Module(), nullptr);
    if (!c.hwnd) throw EQuilloError("CreateWindowExA (control)");
    ::SendMessageA(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(c.Font(windowFont_.get())), FALSE);
    if (IsEdit(d.kind)) ::SendMessageA(c.hwnd, EM_SETLIMITTEXT, 0, 0);  // the control's maximum
    if (d.kind == TControlKind::PictureButton && d.picture) {
      // A missing picture leaves a button with its caption only.
      c.picture.reset(::LoadImageA(app->ResourceModule(), MAKEINTRESOURCEA(d.picture),
                                   IMAGE_BITMAP, 0, 0, 0));
      if (c.picture) {
        BITMAP bm{};
        ::GetObjectA(c.picture.get(), sizeof bm, &bm);
        c.mask.reset(::CreateBitmap(bm.bmWidth, bm.bmHeight, 1, 1, nullptr));
        TMemoryDC src(::CreateCompatibleDC(nullptr)), dst(::CreateCompatibleDC(nullptr));
        if (c.mask && src && dst) {
          TSelectObject s1(src.get(), c.picture.get()), s2(dst.get(), c.mask.get());
          // The bottom-left pixel names the transparent colour.
          ::SetBkColor(src.get(), ::GetPixel(src.get(), 0, bm.bmHeight - 1));
          ::BitBlt(dst.get(), 0, 0, bm.bmWidth, bm.bmHeight, src.get(), 0, 0, SRCCOPY);
        } else {
          c.picture.reset();
        }
      }
    }
    ::SetPropA(c.hwnd, kFormProp, this);
    c.oldProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(c.hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TForm::ControlProc)));
    if ((d.flags & cfAutoHeight) && IsEdit(d.kind)) {
      TWindowDC dc(c.hwnd);
      TEXTMETRICA tm{};
      if (dc) {
        TSelectObject sel(dc.get(), c.Font(windowFont_.get()));
        if (::GetTextMetricsA(dc.get(), &tm))
          c.base.height = tm.tmHeight + 8 * ::GetSystemMetrics(SM_CYBORDER);
      }
    }
    if (d.flags & cfAutoSize) AutoSize(i);
  }
  // The first control of the tab order has the focus when the form is first activated.
  int first = -1;
  for (int i = 0; i < def_.controlCount; ++i) {
    const int t = def_.controls[i].tabOrder;
    if (t >= 0 && controls_[static_cast<size_t>(i)].hwnd &&
        (first < 0 || t < def_.controls[first].tabOrder))
      first = i;
  }
  activeControl_ = first;
}

void TForm::OrderControls() {
  // Top first: controls of the tab order in that order (so that a host's own dialog
  // navigation agrees with ours), then labels and pictures, which run on beneath buttons
  // as if drawn on the form, then frames, beneath what they hold.
  std::vector<int> order;
  for (int i = 0; i < def_.controlCount; ++i)
    if (def_.controls[i].tabOrder >= 0) order.push_back(i);
  std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
    return def_.controls[a].tabOrder < def_.controls[b].tabOrder;
  });
  for (int i = 0; i < def_.controlCount; ++i)
    if (def_.controls[i].tabOrder < 0 && def_.controls[i].kind != TControlKind::GroupBox)
      order.push_back(i);
  for (int i = 0; i < def_.controlCount; ++i)
    if (def_.controls[i].tabOrder < 0 && def_.controls[i].kind == TControlKind::GroupBox)
      order.push_back(i);
  for (int i : order)
    if (HWND h = controls_[static_cast<size_t>(i)].hwnd)
      ::SetWindowPos(h, HWND_BOTTOM, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

void TForm::Arrange() {
  if (!handle_ || controls_.empty()) return;
  RECT client{};
  ::GetClientRect(handle_, &client);
  const layout::TRect root{0, 0, client.right, client.bottom};
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
  // One batch, so that the controls move together and each moves once.
  HDWP batch = ::BeginDeferWindowPos(static_cast<int>(controls_.size()));
  for (const auto& c : controls_) {
    if (!c.hwnd) continue;
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

void TForm::AutoSize(int index) {
  TControl& c = controls_[static_cast<size_t>(index)];
  if (!c.hwnd) return;
  const std::string text = ControlText(index);
  TWindowDC dc(c.hwnd);
  if (!dc) return;
  TSelectObject sel(dc.get(), c.Font(windowFont_.get()));
  SIZE sz{};
  TEXTMETRICA tm{};
  if (!::GetTextExtentPoint32A(dc.get(), text.data(), static_cast<int>(text.size()), &sz) ||
      !::GetTextMetricsA(dc.get(), &tm))
    return;
  c.base.width = sz.cx;
  c.base.height = tm.tmHeight;
}

TForm* TForm::FromHandle(HWND window) noexcept {
  if (!window || reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(window, GWLP_WNDPROC)) !=
                     &TForm::FormProc)
    return nullptr;
  return reinterpret_cast<TForm*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
}

int TForm::ControlIndex(const char* name) const noexcept {
  for (int i = 0; i < def_.controlCount; ++i)
    if (name && ::lstrcmpA(def_.controls[i].name, name) == 0) return i;
  return -1;
}

HWND TForm::ControlHandle(const char* name) const noexcept {
  return ControlHandle(ControlIndex(name));
}

HWND TForm::ControlHandle(int index) const noexcept {
  return index >= 0 && index < static_cast<int>(controls_.size())
             ? controls_[static_cast<size_t>(index)].hwnd
             : nullptr;
}

std::string TForm::ControlText(int index) const {
  HWND h = ControlHandle(index);
  if (!h) return {};
  const LRESULT n = ::SendMessageA(h, WM_GETTEXTLENGTH, 0, 0);
  if (n <= 0) return {};
  std::string s(static_cast<size_t>(n) + 1, '\0');
  const LRESULT got = ::SendMessageA(h, WM_GETTEXT, s.size(), reinterpret_cast<LPARAM>(&s[0]));
  s.resize(got > 0 ? static_cast<size_t>(std::min<LRESULT>(got, n)) : 0);
  return s;
}

void TForm::SetControlText(int index, const std::string& text) {
  HWND h = ControlHandle(index);
  if (!h) return;
  ::SendMessageA(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  if (def_.controls[index].flags & cfAutoSize) {
    AutoSize(index);
    Arrange();
  }
}

bool TForm::ClickControl(int index) {
  if (index < 0 || index >= def_.controlCount) return false;
  HWND h = ControlHandle(index);
  if (h && (!::IsWindowEnabled(h) || !(::GetWindowLongPtrA(h, GWL_STYLE) & WS_VISIBLE)))
    return false;
  const TControlDef& d = def_.controls[index];
  if (d.modalResult && handle_) SetModalResult(d.modalResult);
  if (d.onClick) (this->*d.onClick)();
  return true;
}

void TForm::FocusControl(int index) {
  if (HWND h = ControlHandle(index)) ::SetFocus(h);
}

void TForm::SelectNext(bool forward) {
  std::vector<int> order;
  for (int i = 0; i < def_.controlCount; ++i) {
    HWND h = ControlHandle(i);
    if (def_.controls[i].tabOrder >= 0 && h && ::IsWindowEnabled(h) &&
        (::GetWindowLongPtrA(h, GWL_STYLE) & WS_VISIBLE))
      order.push_back(i);
  }
  if (order.empty()) return;
  std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
    return def_.controls[a].tabOrder < def_.controls[b].tabOrder;
  });
  HWND focus = ::GetFocus();
  int at = -1;
  for (size_t k = 0; k < order.size(); ++k)
    if (ControlHandle(order[k]) == focus) at = static_cast<int>(k);
  const int n = static_cast<int>(order.size());
  const int next = at < 0 ? (forward ? 0 : n - 1) : (at + (forward ? 1 : n - 1)) % n;
  const int index = order[static_cast<size_t>(next)];
  // Keyboard users need to see where the focus is.
  ::SendMessageA(handle_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
  FocusControl(index);
  if (def_.controls[index].kind == TControlKind::Edit)
    ::SendMessageA(ControlHandle(index), EM_SETSEL, 0, -1);
}

void TForm::PlaceOnFirstShow() {
  RECT wr{};
  if (!::GetWindowRect(handle_, &wr)) return;
  const int w = wr.right - wr.left, h = wr.bottom - wr.top;
  int x = wr.left, y = wr.top;
  RECT owner{};
  switch (def_.position) {
    case TPosition::Default:
      return;
    case TPosition::ScreenCenter:
      // The primary screen, whatever monitor the host's window is on.
      x = layout::CentredOrigin(0, ::GetSystemMetrics(SM_CXSCREEN), w);
      y = layout::CentredOrigin(0, ::GetSystemMetrics(SM_CYSCREEN), h);
      break;
    case TPosition::OwnerFormCenter:
      if (!owner_ || !::GetWindowRect(owner_, &owner)) return;
      x = layout::CentredOrigin(owner.left, owner.right - owner.left, w);
      y = layout::CentredOrigin(owner.top, owner.bottom - owner.top, h);
      break;
  }
  ::SetWindowPos(handle_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::Show() {
  if (!handle_) return;
  if (!shown_) {
    PlaceOnFirstShow();
    shown_ = true;
  }
  ::ShowWindow(handle_, SW_SHOW);
  ::BringWindowToTop(handle_);
}

int TForm::ShowModal() noexcept {
  if (!handle_ || inModalRun_) return mrCancel;
  int result = mrCancel;
  ++depth_;  // the form outlives the run even if its window is destroyed meanwhile
  try {
    if (!shown_) {
      PlaceOnFirstShow();
      shown_ = true;
    }
    inModalRun_ = true;
    result = RunModal(handle_, ControlHandle(activeControl_));
  } catch (...) {
  }
  inModalRun_ = false;
  if (--depth_ == 0 && destroyed_ && ownedByWindow_) delete this;
  return result;
}

int TForm::ModalResult() const noexcept { return handle_ ? ::ModalResult(handle_) : mrNone; }

void TForm::SetModalResult(int r) noexcept {
  if (handle_) ::SetModalResult(handle_, r);
}

void TForm::Hide() {
  if (handle_) ::ShowWindow(handle_, SW_HIDE);
}

void TForm::Close() {
  if (!handle_) return;
  if (inModalRun_) {
    SetModalResult(mrCancel);
    return;
  }
  TCloseAction action = TCloseAction::Hide;
  FormClose(action);
  switch (action) {
    case TCloseAction::None:
      break;
    case TCloseAction::Hide:
      Hide();
      break;
    case TCloseAction::Free:
      Release();
      break;
  }
}

void TForm::Release() {
  if (!handle_ || releasePosted_) return;
  if (::PostMessageA(handle_, kReleaseMessage, 0, 0))
    releasePosted_ = true;
  else
    Hide();  // a full queue: at least the user sees it closed; unloading destroys it
}

void TForm::Free() noexcept {
  if (handle_ && ownedByWindow_)
    ::DestroyWindow(handle_);
  else
    delete this;
}

void TForm::Destroyed() noexcept {
  handle_ = nullptr;
  destroyed_ = true;
  if (TApplication* app = Application()) app->Remove(this);
}

bool TForm::MnemonicKey(char ch) {
  const unsigned char u = static_cast<unsigned char>(ch);
  if (u == 0 || u >= 0x80) return false;
  const char key = static_cast<char>(std::toupper(u));
  for (int i = 0; i < def_.controlCount; ++i) {
    const TControl& c = controls_[static_cast<size_t>(i)];
    if (c.mnemonic == key && IsButton(c.def->kind) && ClickControl(i)) return true;
  }
  return false;
}

bool TForm::DialogKey(int index, WORD key, unsigned shift) {
  if (shift & (ssAlt | ssCtrl)) return false;
  switch (key) {
    case VK_TAB:
      swallowChar_ = '\t';
      SelectNext(!(shift & ssShift));
      return true;
    case VK_ESCAPE:
      for (int i = 0; i < def_.controlCount; ++i) {
        if (def_.controls[i].flags & cfCancel) {
          swallowChar_ = 27;
          ClickControl(i);
          return true;
        }
      }
      return false;
    case VK_RETURN: {
      const TControlKind kind =
          index >= 0 ? def_.controls[index].kind : TControlKind::Panel;
      if (index >= 0 && IsButton(kind)) {
        swallowChar_ = '\r';
        ClickControl(index);
        return true;
      }
      if (kind == TControlKind::Memo) return false;  // a line break
      for (int i = 0; i < def_.controlCount; ++i) {
        if (def_.controls[i].flags & cfDefault) {
          swallowChar_ = '\r';
          ClickControl(i);
          return true;
        }
      }
      return false;
    }
    default:
      return false;
  }
}

bool TForm::PreviewKey(int index, UINT msg, WPARAM& wp, LPARAM lp) {
  switch (msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      WORD key = static_cast<WORD>(wp);
      const unsigned shift = ShiftState(lp);
      FormKeyDown(key, shift);
      if (key == 0) return true;
      wp = key;
      return msg == WM_KEYDOWN && DialogKey(index, key, shift);
    }
    case WM_CHAR: {
      const char got = static_cast<char>(wp);
      if (swallowChar_ && got == swallowChar_) {
        swallowChar_ = 0;
        return true;
      }
      swallowChar_ = 0;
      char ch = got;
      FormKeyPress(ch);
      if (ch == 0) return true;
      wp = static_cast<unsigned char>(ch);
      return false;
    }
    case WM_SYSCHAR:
      return MnemonicKey(static_cast<char>(wp));
    default:
      return false;
  }
}

void TForm::DrawPictureButton(const DRAWITEMSTRUCT& di) {
  const int index = static_cast<int>(di.CtlID) - kControlIdBase;
  if (index < 0 || index >= def_.controlCount) return;
  const TControl& c = controls_[static_cast<size_t>(index)];
  HDC dc = di.hDC;
  RECT rc = di.rcItem;
  const bool pushed = di.itemState & ODS_SELECTED;
  const bool disabled = di.itemState & ODS_DISABLED;
  ::DrawFrameControl(dc, &rc, DFC_BUTTON,
                     DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0) | (disabled ? DFCS_INACTIVE : 0));

  const std::string caption = ControlText(index);
  TSelectObject font(dc, c.Font(windowFont_.get()));
  UINT textFlags = DT_SINGLELINE | DT_VCENTER | DT_LEFT;
  if (di.itemState & ODS_NOACCEL) textFlags |= DT_HIDEPREFIX;
  RECT measure{0, 0, 0, 0};
  ::DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &measure,
              DT_CALCRECT | DT_SINGLELINE);
  const int textW = measure.right - measure.left;

  BITMAP bm{};
  const bool hasPicture = c.picture && ::GetObjectA(c.picture.get(), sizeof bm, &bm);
  const int glyphW = hasPicture ? bm.bmWidth / 2 : 0, glyphH = hasPicture ? bm.bmHeight : 0;
  const int spacing = hasPicture && textW > 0 ? 4 : 0;
  const int shift = pushed ? 1 : 0;
  int x = rc.left + ((rc.right - rc.left) - (glyphW + spacing + textW)) / 2 + shift;

  if (hasPicture) {
    const int y = rc.top + ((rc.bottom - rc.top) - glyphH) / 2 + shift;
    const int srcX = disabled ? glyphW : 0;
    TMemoryDC src(::CreateCompatibleDC(dc)), mask(::CreateCompatibleDC(dc));
    if (src && mask) {
      TSelectObject s1(src.get(), c.picture.get()), s2(mask.get(), c.mask.get());
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
  ::DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &text, textFlags);
  if ((di.itemState & ODS_FOCUS) && !(di.itemState & ODS_NOFOCUSRECT)) {
    RECT focus = rc;
    ::InflateRect(&focus, -4, -4);
    ::DrawFocusRect(dc, &focus);
  }
}

LRESULT TForm::HandleControlMessage(int index, UINT msg, WPARAM wp, LPARAM lp) {
  TControl& c = controls_[static_cast<size_t>(index)];
  HWND h = c.hwnd;
  const WNDPROC old = c.oldProc;
  switch (msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_CHAR:
    case WM_SYSCHAR:
      if (PreviewKey(index, msg, wp, lp)) return 0;
      break;
    case WM_SETFOCUS:
      activeControl_ = index;
      ImeEnter(c.def->imeName);
      break;
    case WM_KILLFOCUS:
      ImeExit(c.def->imeName);
      break;
    case WM_GETDLGCODE: {
      // A host loop that does dialog navigation gets Tab back from the text box.
      LRESULT code = ::CallWindowProcA(old, h, msg, wp, lp);
      const MSG* m = reinterpret_cast<const MSG*>(lp);
      if (m && m->message == WM_KEYDOWN && m->wParam == VK_TAB)
        code &= ~static_cast<LRESULT>(DLGC_WANTALLKEYS | DLGC_WANTTAB);
      return code;
    }
    case WM_NCDESTROY:
      ::SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
      ::RemovePropA(h, kFormProp);
      c.hwnd = nullptr;
      c.oldProc = nullptr;
      break;
    default:
      break;
  }
  return ::CallWindowProcA(old, h, msg, wp, lp);
}

LRESULT TForm::HandleFormMessage(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (FormMessage(msg, wp, lp, result)) return result;
  switch (msg) {
    case WM_SIZE:
      Arrange();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE) {
        // Not a dialog: the focus goes back to the control that had it, not to the frame.
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
      const WORD code = HIWORD(wp);
      if (lp && index >= 0 && index < def_.controlCount &&
          IsButton(def_.controls[index].kind) &&
          (code == BN_CLICKED ||
           (code == BN_DOUBLECLICKED && def_.controls[index].kind == TControlKind::PictureButton)))
        ClickControl(index);
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
      const COLORREF color = d.font.face ? d.font.color : def_.font.color;
      ::SetTextColor(dc, ResolveColor(color));
      ::SetBkColor(dc, ::GetSysColor(editFace ? COLOR_WINDOW : COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(editFace ? COLOR_WINDOW : COLOR_BTNFACE));
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_CHAR:
    case WM_SYSCHAR:
      if (PreviewKey(-1, msg, wp, lp)) return 0;
      break;
    case WM_NCDESTROY: {
      SetModalResult(mrNone);  // a window property: given back before the window goes
      const LRESULT r = ::DefWindowProcA(handle_, msg, wp, lp);
      Destroyed();
      return r;
    }
    default:
      break;
  }
  return ::DefWindowProcA(handle_, msg, wp, lp);
}

LRESULT CALLBACK TForm::FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  TForm* form = nullptr;
  if (msg == WM_NCCREATE) {
    form = static_cast<TForm*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    if (form) form->handle_ = hwnd;
  } else {
    form = reinterpret_cast<TForm*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  }
  if (!form) return ::DefWindowProcA(hwnd, msg, wp, lp);
  LRESULT r = 0;
  ++form->depth_;
  try {
    r = form->HandleFormMessage(msg, wp, lp);
  } catch (...) {
    // Nothing may unwind into the host's loop; the message counts as not handled.
    r = msg == WM_NCDESTROY ? 0 : ::DefWindowProcA(hwnd, msg, wp, lp);
  }
  if (msg == WM_NCDESTROY) ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
  if (--form->depth_ == 0 && form->destroyed_ && form->ownedByWindow_) delete form;
  return r;
}

LRESULT CALLBACK TForm::ControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  auto* form = static_cast<TForm*>(::GetPropA(hwnd, kFormProp));
  const int index = static_cast<int>(::GetWindowLongPtrA(hwnd, GWLP_ID)) - kControlIdBase;
  if (!form || index < 0 || index >= static_cast<int>(form->controls_.size()) ||
      form->controls_[static_cast<size_t>(index)].hwnd != hwnd)
    return ::DefWindowProcA(hwnd, msg, wp, lp);
  const WNDPROC old = form->controls_[static_cast<size_t>(index)].oldProc;
  LRESULT r = 0;
  ++form->depth_;
  try {
    r = form->HandleControlMessage(index, msg, wp, lp);
  } catch (...) {
    r = old ? ::CallWindowProcA(old, hwnd, msg, wp, lp) : 0;
  }
  if (--form->depth_ == 0 && form->destroyed_ && form->ownedByWindow_) delete form;
  return r;
}
