// The About dialog of the note window.
#pragma once

#include <windows.h>

// Creates the About dialog over the note window, runs it modally and destroys it when the
// run returns. Never throws.
void ShowAboutDialog(HWND noteWindow) noexcept;
