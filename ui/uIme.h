// The input method an edit box names: switched to while the box has the focus.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct TImeEntry {
  HKL layout;
  std::u16string name;  // ImmGetDescriptionW
};

struct TImeChoice {
  bool activate = false;
  HKL layout = nullptr;
};

// On gaining the focus: only on an East Asian system, only when the box names an input
// method other than the default one and at least one is installed; then the one of that
// name, or the default layout when none has it. Names compare without regard to case.
TImeChoice ChooseImeOnEnter(bool farEast, const std::u16string& name,
                            const std::u16string& defaultName,
                            const std::vector<TImeEntry>& installed, HKL defaultLayout);
// On losing the focus: back to the default layout when the box named another input method.
TImeChoice ChooseImeOnExit(const std::u16string& name, const std::u16string& defaultName,
                           HKL defaultLayout);

// The thread's keyboard layout when the first form was made, and its input method's name.
void CaptureDefaultKeyboardLayout() noexcept;
// Apply the choices above to the real system. Never throw.
void ImeEnter(const char16_t* name) noexcept;
void ImeExit(const char16_t* name) noexcept;
