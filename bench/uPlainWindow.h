// The floor for the note window: a top-level window of the note window's size with the same
// controls, made by plain CreateWindowExW calls and nothing else (wide, as the note window is).
#pragma once

#include <windows.h>

#include <string>

// Creates, centres, shows and activates the window and sets its folder label; returns the
// window (destroyed by closing it) or nullptr.
HWND OpenPlainWindow(const std::wstring& folder) noexcept;
