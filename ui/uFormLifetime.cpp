// TForm's showing, closing and lifetime: a form belongs to the application from the moment
// its window exists, and is deleted only once its window is gone and no form code runs.
#include <algorithm>

#include "ui/uFormControl.h"
#include "ui/uModal.h"

using namespace formparts;

TForm::~TForm() {
  if (handle_) {
    // Deleted while its window lives (a failed creation): cut the window off first.
    ::SetWindowLongPtrW(handle_, GWLP_USERDATA, 0);
    ::DestroyWindow(handle_);
    handle_ = nullptr;
  }
  if (TApplication* app = Application(); app && listed_) {
    app->forms_.erase(std::remove(app->forms_.begin(), app->forms_.end(), this),
                      app->forms_.end());
  }
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
  // Usually made there already; the system may have changed its size (a small screen).
  if (x != wr.left || y != wr.top)
    ::SetWindowPos(handle_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::Show() {
  if (!handle_) return;
  if (!shown_) {
    PlaceOnFirstShow();
    shown_ = true;
  }
  JoinModalRun(handle_);
  ::ShowWindow(handle_, SW_SHOW);
  ::BringWindowToTop(handle_);
}

int TForm::ShowModal() noexcept {
  if (!handle_ || inModalRun_) return mrCancel;
  int result = mrCancel;
  TApplication::TBusy busy;  // the form outlives the run even if its window goes meanwhile
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
  if (::PostMessageW(handle_, kReleaseMessage, 0, 0))
    releasePosted_ = true;
  else
    Hide();  // a full queue: at least the user sees it closed; the layer's end destroys it
}

void TForm::Free() noexcept {
  if (handle_)
    ::DestroyWindow(handle_);
  else if (!listed_)
    delete this;
}

void TForm::Destroyed() noexcept {
  handle_ = nullptr;
  dead_ = true;
}

LRESULT CALLBACK TForm::FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  TForm* form = nullptr;
  if (msg == WM_NCCREATE) {
    form = static_cast<TForm*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    if (form) form->handle_ = hwnd;
  } else {
    form = reinterpret_cast<TForm*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (!form) return ::DefWindowProcW(hwnd, msg, wp, lp);
  LRESULT r = 0;
  {
    TApplication::TBusy busy;  // deletes the form at the end if the message destroyed it
    try {
      r = form->HandleFormMessage(msg, wp, lp);
    } catch (...) {
      // Nothing may unwind into the loop; the message counts as not handled.
      r = msg == WM_NCDESTROY ? 0 : ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    if (msg != WM_NCDESTROY) return r;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    // A form whose window goes while it is being made (the system may destroy a window after
    // WM_NCCREATE and fail its creation) belongs to its maker, which deletes it; a listed one
    // to the application.
    if (!form->listed_ || Application()) return r;
  }
  // The application's, but its layer is already gone: nobody else will delete it.
  delete form;
  return r;
}
