// Placeholder until the About dialog lands.
#include "note/uAbout.h"

void ShowAboutDialog(HWND) noexcept {}
