#include "support/uTestSupport.h"

#include "ui/uMessageLoop.h"

#include <algorithm>
#include <vector>

#include "common/uHandles.h"
#include "shellclient/uShellClient.h"

namespace {

void RemoveTree(const std::wstring& dir) {
  WIN32_FIND_DATAW fd;
  TFindHandle find(::FindFirstFileW((dir + L"\\*").c_str(), &fd));
  if (find) {
    do {
      const std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = dir + L"\\" + name;
      ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path);
      else
        ::DeleteFileW(path.c_str());
    } while (::FindNextFileW(find.get(), &fd));
  }
  find.reset();
  ::RemoveDirectoryW(dir.c_str());
}

}  // namespace

std::wstring Wide(const std::string& utf8) { return FromCodePage(CP_UTF8, utf8); }

std::u16string U16(const std::string& utf8) {
  const std::wstring w = Wide(utf8);
  return std::u16string(w.begin(), w.end());
}

std::string Utf8(const std::wstring& text) { return ToCodePage(CP_UTF8, text); }

std::string Utf8(const std::u16string& text) {
  return Utf8(std::wstring(text.begin(), text.end()));
}

std::string InCodePage(UINT codePage, const std::string& utf8) {
  return ToCodePage(codePage, Wide(utf8));
}

TTempDir::TTempDir(const std::string& name) {
  wchar_t base[MAX_PATH];
  DWORD n = ::GetTempPathW(MAX_PATH, base);
  std::string root = (n > 0 && n < MAX_PATH) ? Utf8(std::wstring(base, n)) : std::string("C:\\");
  static unsigned counter = 0;
  for (;;) {
    path_ = root + name + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(++counter);
    if (::CreateDirectoryW(Wide(path_).c_str(), nullptr)) break;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
}

TTempDir::~TTempDir() { RemoveTree(Wide(path_)); }

bool ReadFileBytes(const std::string& path, std::string& bytes) {
  TFileHandle f(::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr));
  if (!f) return false;
  bytes.clear();
  char buf[65536];
  DWORD got = 0;
  while (::ReadFile(f.get(), buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
  return true;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  TFileHandle f(::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) return false;
  DWORD put = 0;
  return ::WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
         put == bytes.size();
}

bool FileExists(const std::string& path) {
  return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW fd;
  TFindHandle find(::FindFirstFileW(Wide(folder + "\\*").c_str(), &fd));
  if (find) {
    do {
      std::string name = Utf8(std::wstring(fd.cFileName));
      if (name != "." && name != "..") names.push_back(name);
    } while (::FindNextFileW(find.get(), &fd));
  }
  std::sort(names.begin(), names.end());
  std::string all;
  for (const auto& n : names) all += (all.empty() ? "" : "|") + n;
  return all;
}

void PumpMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DeliverMessage(msg);
}

bool RunningUnderWine() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::vector<HWND> ProcessWindows(DWORD processId, const char* className, const char* caption) {
  const std::wstring cls = className ? Wide(className) : std::wstring();
  const std::wstring text = caption ? Wide(caption) : std::wstring();
  return VisibleWindows(processId, className ? cls.c_str() : nullptr,
                        caption ? text.c_str() : nullptr);
}

namespace {
BOOL CALLBACK FindNoteControlProc(HWND w, LPARAM lp) {
  auto* c = reinterpret_cast<TNoteControls*>(lp);
  wchar_t cls[64] = {}, text[64] = {};
  ::GetClassNameW(w, cls, 64);
  ::GetWindowTextW(w, text, 64);
  if (::lstrcmpiW(cls, L"Edit") == 0) {
    (::GetWindowLongPtrW(w, GWL_STYLE) & ES_MULTILINE ? c->memo : c->title) = w;
  } else if (std::wstring(text) == L"만들기") {
    c->create = w;
  }
  return TRUE;
}
}  // namespace

TNoteControls FindNoteControls(HWND note) {
  TNoteControls c;
  ::EnumChildWindows(note, FindNoteControlProc, reinterpret_cast<LPARAM>(&c));
  return c;
}
