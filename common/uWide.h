// Quillo's text is UTF-16 in char16_t strings (the note rules share them with machines where
// wchar_t is 32 bits). On Windows wchar_t is the same 16-bit unit, so the wide functions take
// the same buffers; these casts are the one place that says so.
#pragma once

#include <windows.h>

#include <string>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wchar_t is a UTF-16 unit");

inline const wchar_t* W(const char16_t* s) noexcept { return reinterpret_cast<const wchar_t*>(s); }
inline wchar_t* W(char16_t* s) noexcept { return reinterpret_cast<wchar_t*>(s); }
inline const wchar_t* W(const std::u16string& s) noexcept { return W(s.c_str()); }
inline const char16_t* U(const wchar_t* s) noexcept { return reinterpret_cast<const char16_t*>(s); }
