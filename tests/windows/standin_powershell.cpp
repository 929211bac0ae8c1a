// A stand-in for powershell.exe in a test prefix: it appends its command line (UTF-8, one line)
// to the file QUILLO_POWERSHELL_LOG names, prints QUILLO_POWERSHELL_SAYS and ends with the exit
// code QUILLO_POWERSHELL_EXIT (0 without it), as PowerShell ends 1 when a command failed.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {
std::wstring Env(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD n = ::GetEnvironmentVariableW(name, value, 1024);
  return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

std::string Utf8(const std::wstring& text) {
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0)
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n,
                          nullptr, nullptr);
  return out;
}

void Append(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
}  // namespace

int main() {
  const std::wstring log = Env(L"QUILLO_POWERSHELL_LOG");
  if (!log.empty()) {
    const HANDLE file = ::CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      Append(file, Utf8(::GetCommandLineW()) + "\n");
      ::CloseHandle(file);
    }
  }
  const std::string says = Utf8(Env(L"QUILLO_POWERSHELL_SAYS"));
  if (!says.empty()) Append(::GetStdHandle(STD_OUTPUT_HANDLE), says + "\r\n");
  return static_cast<int>(std::wcstol(Env(L"QUILLO_POWERSHELL_EXIT").c_str(), nullptr, 10));
}
