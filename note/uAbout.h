// The About dialog of the note window.
#pragma once

#include <windows.h>

#include "ui/uForm.h"

// The program's headline, a subtitle, the copyright and terms-of-use lines and "닫기".
// Run modally over the note window that opened it; its one button closes it.
class TFormAbout : public TForm {
 public:
  TFormAbout();

  void CloseClick();  // "닫기"
};

// Creates the About dialog over the note window, runs it modally and destroys it when the
// run returns. Never throws.
void ShowAboutDialog(HWND noteWindow) noexcept;
