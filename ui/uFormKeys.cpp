// The keyboard side of TForm: key preview, the dialog keys (Tab, Shift+Tab, Enter, Escape,
// Alt+mnemonic), and the loop's filter that gives them the keys first.
#include <algorithm>

#include "ui/uFormControl.h"
#include "ui/uMessageLoop.h"

using namespace formparts;

namespace {

unsigned ShiftState(LPARAM keyData) {
  unsigned s = ssNone;
  if (::GetKeyState(VK_SHIFT) < 0) s |= ssShift;
  if (::GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
  if (keyData & (1 << 29)) s |= ssAlt;
  return s;
}

bool IsKeyMessage(UINT msg) {
  return msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN || msg == WM_CHAR || msg == WM_SYSCHAR;
}

}  // namespace

void DeliverMessage(MSG& msg) noexcept {
  try {
    if (msg.hwnd && IsKeyMessage(msg.message)) {
      if (TForm* form = TForm::FromHandle(::GetAncestor(msg.hwnd, GA_ROOT))) {
        TApplication::TBusy busy;  // the form may close itself on the key
        if (form->PreTranslateMessage(msg)) return;
      }
    }
    // Wide, so that a character typed or pasted reaches the controls as the UTF-16 unit it
    // is, never squeezed through the system's code page.
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  } catch (...) {
    // A failing key handler leaves the key used up; the loop goes on.
  }
}

bool TForm::PreTranslateMessage(const MSG& msg) {
  const int index = msg.hwnd == handle_ ? -1 : IndexOf(msg.hwnd);
  if (index < 0 && msg.hwnd != handle_) return false;  // a window inside a control
  return PreviewKey(index, msg.message, msg.wParam, msg.lParam);
}

void TForm::FormEscape() {
  for (int i = 0; i < def_.controlCount; ++i) {
    if (def_.controls[i].flags & cfCancel) {
      ClickControl(i);
      return;
    }
  }
}

void TForm::SelectNext(bool forward) {
  std::vector<int> order;
  for (int i = 0; i < def_.controlCount; ++i) {
    HWND h = ControlHandle(i);
    if (def_.controls[i].tabOrder >= 0 && h && ::IsWindowEnabled(h) &&
        (::GetWindowLongPtrW(h, GWL_STYLE) & WS_VISIBLE))
      order.push_back(i);
  }
  if (order.empty()) return;
  SortByTabOrder(order);
  HWND focus = ::GetFocus();
  int at = -1;
  for (size_t k = 0; k < order.size(); ++k)
    if (ControlHandle(order[k]) == focus) at = static_cast<int>(k);
  const int n = static_cast<int>(order.size());
  const int next = at < 0 ? (forward ? 0 : n - 1) : (at + (forward ? 1 : n - 1)) % n;
  const int index = order[static_cast<size_t>(next)];
  // Keyboard users need to see where the focus is.
  ::SendMessageW(handle_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
  FocusControl(index);
  if (def_.controls[index].kind == TControlKind::Edit)
    ::SendMessageW(ControlHandle(index), EM_SETSEL, 0, -1);
}

bool TForm::MnemonicKey(char16_t ch) {
  if (ch == 0) return false;
  const char16_t key = UpperAscii(ch);
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
      SelectNext(!(shift & ssShift));
      return true;
    case VK_ESCAPE:
      FormEscape();
      return true;
    case VK_RETURN: {
      const TControlKind kind = index >= 0 ? def_.controls[index].kind : TControlKind::Panel;
      if (index >= 0 && IsButton(kind)) {
        ClickControl(index);
        return true;
      }
      if (kind == TControlKind::Memo) return false;  // a line break
      for (int i = 0; i < def_.controlCount; ++i) {
        if (def_.controls[i].flags & cfDefault) {
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

// A key-down used up here is never translated, so it makes no character: nothing has to be
// swallowed afterwards.
bool TForm::PreviewKey(int index, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      WORD key = static_cast<WORD>(wp);
      const unsigned shift = ShiftState(lp);
      FormKeyDown(key, shift);
      if (key == 0) return true;
      return msg == WM_KEYDOWN && DialogKey(index, key, shift);
    }
    case WM_CHAR: {
      char16_t ch = static_cast<char16_t>(wp);
      FormKeyPress(ch);
      return ch == 0;
    }
    case WM_SYSCHAR:
      return MnemonicKey(static_cast<char16_t>(wp));
    default:
      return false;
  }
}
