#include "tools/uHostOutput.h"

#include <cstdarg>
#include <cstdio>

#include "shellclient/uShellClient.h"

std::string Utf8(const std::wstring& text) { return ToCodePage(CP_UTF8, text); }

void Print(DWORD stdHandle, const std::string& utf8) {
  const HANDLE out = ::GetStdHandle(stdHandle);
  if (!out || out == INVALID_HANDLE_VALUE || utf8.empty()) return;
  DWORD mode = 0, done = 0;
  if (::GetConsoleMode(out, &mode)) {
    const std::wstring w = FromCodePage(CP_UTF8, utf8);
    ::WriteConsoleW(out, w.data(), static_cast<DWORD>(w.size()), &done, nullptr);
  } else {
    ::WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &done, nullptr);
  }
}

void Say(const char* fmt, ...) {
  char text[2048];
  va_list args;
  va_start(args, fmt);
  const int n = std::vsnprintf(text, sizeof text, fmt, args);
  va_end(args);
  if (n < 0) return;
  Print(STD_ERROR_HANDLE, std::string("QuilloHost: ") + text + "\n");
}
