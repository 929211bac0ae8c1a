#include "support/uTestSupport.h"

#include "ui/uMessageLoop.h"

#include <algorithm>
#include <vector>

#include "common/uHandles.h"

namespace {

void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA fd;
  TFindHandle find(::FindFirstFileA((dir + "\\*").c_str(), &fd));
  if (find) {
    do {
      const std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = dir + "\\" + name;
      ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path);
      else
        ::DeleteFileA(path.c_str());
    } while (::FindNextFileA(find.get(), &fd));
  }
  find.reset();
  ::RemoveDirectoryA(dir.c_str());
}

}  // namespace

TTempDir::TTempDir(const std::string& name) {
  char base[MAX_PATH];
  DWORD n = ::GetTempPathA(MAX_PATH, base);
  std::string root = (n > 0 && n < MAX_PATH) ? std::string(base, n) : std::string("C:\\");
  static unsigned counter = 0;
  for (;;) {
    path_ = root + name + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(++counter);
    if (::CreateDirectoryA(path_.c_str(), nullptr)) break;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
}

TTempDir::~TTempDir() { RemoveTree(path_); }

bool ReadFileBytes(const std::string& path, std::string& bytes) {
  TFileHandle f(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr));
  if (!f) return false;
  bytes.clear();
  char buf[65536];
  DWORD got = 0;
  while (::ReadFile(f.get(), buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
  return true;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  TFileHandle f(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) return false;
  DWORD put = 0;
  return ::WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
         put == bytes.size();
}

bool FileExists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA fd;
  TFindHandle find(::FindFirstFileA((folder + "\\*").c_str(), &fd));
  if (find) {
    do {
      std::string name = fd.cFileName;
      if (name != "." && name != "..") names.push_back(name);
    } while (::FindNextFileA(find.get(), &fd));
  }
  std::sort(names.begin(), names.end());
  std::string all;
  for (const auto& n : names) all += (all.empty() ? "" : "|") + n;
  return all;
}

void PumpMessages() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DeliverMessage(msg);
}

bool RunningUnderWine() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

namespace {
struct TWindowSearch {
  DWORD processId;
  const char* className;
  const char* caption;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectProcessWindow(HWND w, LPARAM lp) {
  auto* s = reinterpret_cast<TWindowSearch*>(lp);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(w, &pid);
  if (pid != s->processId || !::IsWindowVisible(w)) return TRUE;
  char text[256] = {};
  if (s->className && (!::GetClassNameA(w, text, sizeof text) || lstrcmpA(text, s->className) != 0))
    return TRUE;
  if (s->caption && (::GetWindowTextA(w, text, sizeof text), lstrcmpA(text, s->caption) != 0))
    return TRUE;
  s->found.push_back(w);
  return TRUE;
}
}  // namespace

std::vector<HWND> ProcessWindows(DWORD processId, const char* className, const char* caption) {
  TWindowSearch s{processId, className, caption, {}};
  ::EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

namespace {
BOOL CALLBACK FindNoteControlProc(HWND w, LPARAM lp) {
  auto* c = reinterpret_cast<TNoteControls*>(lp);
  char cls[64] = {}, text[64] = {};
  ::GetClassNameA(w, cls, sizeof cls);
  ::GetWindowTextA(w, text, sizeof text);
  if (::lstrcmpiA(cls, "Edit") == 0) {
    (::GetWindowLongPtrA(w, GWL_STYLE) & ES_MULTILINE ? c->memo : c->title) = w;
  } else if (std::string(text) == "만들기") {
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
