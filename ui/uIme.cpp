#include "ui/uIme.h"

#include <imm.h>

#include "common/uWide.h"

namespace {

HKL g_defaultLayout = nullptr;
std::u16string g_defaultName;
bool g_captured = false;

bool SameName(const std::u16string& a, const std::u16string& b) {
  return ::lstrcmpiW(W(a), W(b)) == 0;
}

std::u16string ImeName(HKL layout) {
  if (!::ImmIsIME(layout)) return {};
  wchar_t buf[256] = {};
  const UINT n = ::ImmGetDescriptionW(layout, buf, 255);
  return std::u16string(U(buf), n < 256 ? n : 0);
}

std::vector<TImeEntry> InstalledImes() {
  std::vector<TImeEntry> imes;
  const int count = ::GetKeyboardLayoutList(0, nullptr);
  if (count <= 0) return imes;
  std::vector<HKL> layouts(static_cast<size_t>(count));
  const int got = ::GetKeyboardLayoutList(count, layouts.data());
  for (int i = 0; i < got; ++i)
    if (::ImmIsIME(layouts[i])) imes.push_back({layouts[i], ImeName(layouts[i])});
  return imes;
}

void Apply(const TImeChoice& c) {
  // Failing to switch leaves the current layout: the user can still type.
  if (c.activate && c.layout) ::ActivateKeyboardLayout(c.layout, 0);
}

}  // namespace

TImeChoice ChooseImeOnEnter(bool farEast, const std::u16string& name,
                            const std::u16string& defaultName,
                            const std::vector<TImeEntry>& installed, HKL defaultLayout) {
  if (!farEast || name.empty() || SameName(name, defaultName) || installed.empty()) return {};
  for (const auto& ime : installed)
    if (SameName(ime.name, name)) return {true, ime.layout};
  return {true, defaultLayout};
}

TImeChoice ChooseImeOnExit(const std::u16string& name, const std::u16string& defaultName,
                           HKL defaultLayout) {
  if (name.empty() || SameName(name, defaultName)) return {};
  return {true, defaultLayout};
}

void CaptureDefaultKeyboardLayout() noexcept {
  if (g_captured) return;
  try {
    g_defaultLayout = ::GetKeyboardLayout(0);
    g_defaultName = ImeName(g_defaultLayout);
    g_captured = true;
  } catch (...) {
  }
}

void ImeEnter(const char16_t* name) noexcept {
  if (!name || !*name) return;
  try {
    CaptureDefaultKeyboardLayout();
    Apply(ChooseImeOnEnter(::GetSystemMetrics(SM_DBCSENABLED) != 0, name, g_defaultName,
                           InstalledImes(), g_defaultLayout));
  } catch (...) {
  }
}

void ImeExit(const char16_t* name) noexcept {
  if (!name || !*name) return;
  try {
    CaptureDefaultKeyboardLayout();
    Apply(ChooseImeOnExit(name, g_defaultName, g_defaultLayout));
  } catch (...) {
  }
}
