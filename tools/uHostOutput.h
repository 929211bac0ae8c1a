// What QuilloHost says and the codes it ends with. Everything is wide until it is written: a
// console takes UTF-16, so that no code page stands between the text and the screen; a pipe
// or a file gets UTF-8.
#pragma once

#include <windows.h>

#include <string>

enum ExitCode { kExitOk = 0, kExitUsage = 1, kExitFolder = 2, kExitNoHandler = 3, kExitInvoke = 4 };

// The host's own texts are UTF-8 while it formats them.
std::string Utf8(const std::wstring& text);
// UTF-8 text to standard output or standard error, as above.
void Print(DWORD stdHandle, const std::string& utf8);
// A line to standard error, "QuilloHost: " first; printf-style, UTF-8 arguments.
void Say(const char* fmt, ...);
