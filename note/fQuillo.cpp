// Placeholder until the note window lands: a plain window stands in for it.
#include "note/fQuillo.h"

#include <windows.h>

namespace {
void (*g_countHook)(bool) = nullptr;
}

bool OpenNoteWindow(const std::string& folder) noexcept {
  HWND w = ::CreateWindowExA(0, "STATIC", folder.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                             CW_USEDEFAULT, 882, 628, nullptr, nullptr, nullptr, nullptr);
  if (!w) return false;
  if (g_countHook) g_countHook(true);
  ::ShowWindow(w, SW_SHOW);
  return true;
}

void SetNoteWindowCountHook(void (*hook)(bool opened)) noexcept { g_countHook = hook; }
