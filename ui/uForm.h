// Forms whose layout is data. A form class is a table of TControlDef rows plus a TFormDef;
// TForm reads the table once, creates the real controls at their place, scales them for the
// screen and keeps them anchored on resizing. Keys reach a form through the library's own
// message loop (ui/uMessageLoop.h), which lets the form preview every key of every control
// and handle the dialog keys before anything is translated or delivered. A form frees itself
// after closing through a posted release message.
//
// The pieces live in their own files: uForm.cpp (the window, layout, texts and messages),
// uFormLifetime.cpp (showing, closing, modal runs and when the form is deleted),
// uFormControls.cpp (the control factory), uPictureButton.cpp (the painter of picture
// buttons and the shared pictures), uFormKeys.cpp (key preview and dialog keys).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/uHandles.h"
#include "ui/uLayout.h"
#include "ui/uPalette.h"
#include "ui/uTheme.h"

class TForm;
struct TPicture;


// A font as designed (pixels at 96 DPI). The faces are asked for in turn, the first one the
// system has taken (a Korean face first in its Korean name, then stand-ins that every Windows
// with Korean support has); null faces mean the form's window font.
struct TFontDef {
  const char16_t* const* faces = nullptr;  // null-terminated
  int height = 0;  // negative: character height, as the system's LOGFONT
  bool bold = false;
  COLORREF color = kClWindowText;
};

enum class TControlKind {
  Label,          // STATIC, no prefix processing
  Edit,           // single-line EDIT with a sunken edge
  Memo,           // multi-line EDIT with both scroll bars, no wrapping
  Button,         // push button
  PictureButton,  // owner-drawn push button with a picture left of the caption
  Panel,          // a container without a window of its own (holds others, paints nothing)
  GroupBox,       // frame around others; its children are its siblings at the system level
  Image,          // an empty picture box
};

enum TControlFlags : unsigned {
  cfNone = 0,
  cfAutoSize = 1,    // labels: width and height follow the caption
  cfAutoHeight = 2,  // edits: height follows the font
  cfCancel = 4,      // Escape clicks it (FormEscape's default)
  cfDefault = 8,     // Enter anywhere but in a multi-line box or on another button clicks it
  cfLabelled = 16,   // named for screen readers by the label in the row just before it
};

using TNotifyEvent = void (TForm::*)();

// Binds a handler of a derived form into a table row.
template <typename F>
constexpr TNotifyEvent Handler(void (F::*h)()) {
  return static_cast<TNotifyEvent>(h);
}

// One control of a form, as designed.
struct TControlDef {
  const char* name;
  TControlKind kind;
  int parent;  // row index of the containing Panel or GroupBox; -1: the form's client area
  layout::TRect rect;  // design pixels, relative to the parent
  unsigned anchors;
  TAlign align;
  TFontDef font;
  const char16_t* caption;
  int tabOrder;  // -1: not reached with Tab
  TNotifyEvent onClick = nullptr;
  unsigned flags = cfNone;
  int picture = 0;      // resource id of a 2-image bitmap (normal, greyed) for PictureButton
  int modalResult = 0;  // copied into the form when clicked, before onClick runs
  const char16_t* imeName = nullptr;  // input method asked for while an edit has the focus
  const wchar_t* accessibleName = nullptr;  // for screen readers, where no label names it
};

enum class TPosition { Default, ScreenCenter, OwnerFormCenter };

// The form itself, as designed.
struct TFormDef {
  const char16_t* className;  // the window class, one per form class
  const char16_t* caption;
  int width, height;      // outer size at design, or the client size when sizeIsClient
  bool sizeIsClient;
  int clientWidth, clientHeight;  // the client area the table was laid out for
  DWORD style;
  DWORD exStyle;
  TFontDef font;          // the window font
  int designTextHeight;   // height of '0' in the window font at design
  TPosition position;
  const TControlDef* controls;
  int controlCount;
};

enum TShiftState : unsigned { ssNone = 0, ssShift = 1, ssAlt = 2, ssCtrl = 4 };
enum class TCloseAction { None, Hide, Free };

class TForm {
 public:
  explicit TForm(const TFormDef& def);
  virtual ~TForm();
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  // Creates the window and its controls, then runs FormCreate. The owner is only the form
  // that placement centres over; the window has no owner at the system level. Throws.
  void Create(HWND owner = nullptr);
  // Visible, placed on the first showing, in front, active; returns at once.
  void Show();
  void Hide();
  // Asks the form to close: inside a modal run it ends the run with IDCANCEL; otherwise
  // FormClose decides between hiding, freeing (deferred) and nothing.
  void Close();
  // Posts the release message; the window is destroyed when the loop delivers it.
  void Release();
  // Destroys the window now; the application deletes the form once no form code is running
  // (ui/uApplication.h). A form never created is deleted at once.
  void Free() noexcept;

  // The form of a window made by this layer, or null for any other window.
  static TForm* FromHandle(HWND window) noexcept;
  HWND Handle() const noexcept { return handle_; }
  const TFormDef& Def() const noexcept { return def_; }
  layout::TScale Scale() const noexcept { return scale_; }
  // The DPI the form is laid out for: its window's.
  int Dpi() const noexcept { return dpi_; }
  int ControlIndex(const char* name) const noexcept;
  HWND ControlHandle(const char* name) const noexcept;
  HWND ControlHandle(int index) const noexcept;
  std::u16string ControlText(int index) const;
  // Sets a caption or text; an auto-sized label takes the size of its new caption.
  void SetControlText(int index, const std::u16string& text);
  // Runs a control's click: copies its modal result, then its handler. False when disabled.
  bool ClickControl(int index);
  // Focus to the next (or previous) control of the tab order from the focused one.
  void SelectNext(bool forward);
  // The loop's filter for a keyboard message of this form's window or one of its controls:
  // key preview, then the dialog keys. True when the message is used up: it is then neither
  // translated (so it makes no character) nor delivered.
  bool PreTranslateMessage(const MSG& msg);

  // Placed (centred over the owner when the form asks for it), shown, and run modally with
  // the library's own loop (ui/uModal.h) until it has a modal result, which is returned;
  // the form is hidden afterwards, not destroyed. IDCANCEL when the run cannot start.
  int ShowModal() noexcept;
  // The modal result lives with the window, where the modal run looks for it.
  int ModalResult() const noexcept;
  void SetModalResult(int r) noexcept;
  // While a modal run shows the form, closing it ends the run (mrCancel) instead.
  bool InModalRun() const noexcept { return inModalRun_; }
  void SetInModalRun(bool on) noexcept { inModalRun_ = on; }
  HWND OwnerWindow() const noexcept { return owner_; }
  // The mode the form is drawn in (ui/uTheme.h), read when it was made and whenever the
  // system said it may have changed.
  TThemeMode Theme() const noexcept { return theme_; }

 protected:
  virtual void FormCreate() {}
  virtual void FormActivate() {}
  virtual void FormClose(TCloseAction& action) { (void)action; }
  // Key preview: every key-down (WM_KEYDOWN and WM_SYSKEYDOWN) and character of every
  // control that the library's loop delivers reaches these first; setting the key to 0 uses
  // it up (a key-down used up is not translated, so it makes no character either).
  virtual void FormKeyDown(WORD& key, unsigned shift) { (void)key, (void)shift; }
  virtual void FormKeyPress(char16_t& key) { (void)key; }
  // Escape, from any control: the form's way out. By default it clicks the control flagged
  // cfCancel, if there is one; a form that must ask first overrides it.
  virtual void FormEscape();
  // Any other message, before the form's own handling; true when handled (result set).
  virtual bool FormMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    (void)msg, (void)wp, (void)lp, (void)result;
    return false;
  }

 private:
  struct TControl;
  friend class TApplication;

  static LRESULT CALLBACK FormProc(HWND, UINT, WPARAM, LPARAM) noexcept;
  LRESULT HandleFormMessage(UINT msg, WPARAM wp, LPARAM lp);
  bool PreviewKey(int index, UINT msg, WPARAM wp, LPARAM lp);
  bool DialogKey(int index, WORD key, unsigned shift);
  bool MnemonicKey(char16_t ch);
  int IndexOf(HWND control) const noexcept;
  layout::TScale ScaleAtDpi(int dpi, HDC screen, HFONT& windowFont) const;
  void ApplyDpi(int dpi);
  // The outer size the window takes at another DPI (WM_GETDPISCALEDSIZE).
  bool ScaledSizeForDpi(int dpi, SIZE& size) const;
  // WM_DPICHANGED: everything at the new DPI, the window at the suggested rectangle.
  void ChangeDpi(int dpi, const RECT* suggested);
  void MeasureControls(HDC screen);
  // Control rows in tab order, table order among equals.
  void SortByTabOrder(std::vector<int>& rows) const;
  void CreateControls();
  layout::TRect MeasureText(int index, const std::u16string& text, HDC dc) const;
  void Layout(int clientWidth, int clientHeight);
  void Arrange();
  void PlaceOnFirstShow();
  // Reads the mode again and draws everything in it: title bar, scroll bars, buttons.
  void ApplyTheme();
  // The colours a control is painted with for WM_CTLCOLOR*; false: not a control of ours.
  bool ControlColors(UINT msg, HWND control, HDC dc, HBRUSH& brush) const;
  void DrawOwnerButton(const DRAWITEMSTRUCT& di) const;
  void DrawButtonPicture(HDC dc, const TPicture& picture, int x, int y, bool disabled,
                         COLORREF ink) const;
  void FocusControl(int index);
  void CommandFromControl(int index, WORD code);
  void Destroyed() noexcept;

  const TFormDef& def_;
  HWND handle_ = nullptr;
  HWND owner_ = nullptr;
  layout::TScale scale_;
  int dpi_ = 96;
  TThemeMode theme_ = TThemeMode::Light;
  bool darkScrollBars_ = false;  // the text boxes were given the dark theme
  HFONT windowFont_ = nullptr;  // shared, owned by the application object
  std::vector<TControl> controls_;
  int activeControl_ = -1;
  bool shown_ = false;
  bool releasePosted_ = false;
  bool inModalRun_ = false;
  bool listed_ = false;  // in the application's list; it deletes the form once destroyed
  bool dead_ = false;    // the window is gone; the form waits to be deleted
};
