#include "note/uDraftOwner.h"

#include <windows.h>

#include "common/uHandles.h"
#include "common/uWide.h"
#include "note/uDraft.h"

#ifdef QUILLO_TEST_HOOKS
#include "note/uTestHooks.h"
bool (*TestHookElevated)() = nullptr;
#endif

const char16_t kDraftExtension[] = u".qdraft";
const char16_t kOwnerExtension[] = u".qowner";

namespace {

// The process's start time, which with its id names it for as long as it lives.
std::uint64_t StartOf(HANDLE process) {
  FILETIME created{}, exited, kernel, user;
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (std::uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
}

// Held from this process's first draft or claim until the library goes (see HoldOwnerFile).
TFileHandle g_ownerFile;

}  // namespace

// The same for every thread; worked out again until it is known (no guard needed).
std::uint64_t OwnStart() {
  static volatile LONG64 start = 0;
  if (!start) start = static_cast<LONG64>(StartOf(::GetCurrentProcess()));
  return static_cast<std::uint64_t>(start);
}

// "<pid>-<start>", as drafts, owner files and claims name a process.
std::u16string ProcessName(std::uint32_t pid, std::uint64_t start) {
  wchar_t name[40];
  ::wsprintfW(name, L"%lx-%08lx%08lx", static_cast<unsigned long>(pid),
              static_cast<unsigned long>(start >> 32), static_cast<unsigned long>(start));
  return U(name);
}

std::u16string OwnName() { return ProcessName(::GetCurrentProcessId(), OwnStart()); }

// An elevated process (an elevated program's file dialog) keeps no drafts: the folder is the
// user's to write, so what an elevated rename or delete there reaches is the user's choice.
// A token that cannot be read counts as elevated.
bool Elevated() {
#ifdef QUILLO_TEST_HOOKS
  return TestHookElevated && TestHookElevated();
#else
  static volatile LONG known = 0;  // 1: not elevated, 2: elevated
  if (!known) {
    HANDLE raw = nullptr;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    bool elevated = true;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) {
      TKernelHandle token(raw);
      if (::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size))
        elevated = elevation.TokenIsElevated != 0;
    }
    known = elevated ? 2 : 1;
  }
  return known == 2;
#endif
}

bool EndsWith(const std::u16string& s, const char16_t* tail) {
  const size_t n = std::char_traits<char16_t>::length(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// ---- This process's proof of life, held from its first draft or claim until the library
// goes: open without sharing delete, and deleted by the system when the handle closes, which
// a crash or a kill does too. Only a power cut leaves one behind, which the next look takes
// away. UI thread only.

void HoldOwnerFile() {
  if (g_ownerFile) return;
  const std::u16string folder = DraftsFolder(true);
  if (folder.empty()) return;
  const std::u16string path = folder + u"\\" + OwnName() + kOwnerExtension;
  g_ownerFile.reset(::CreateFileW(W(path), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                                  nullptr));
  // Without it, the process check below still knows this process while it runs.
}

// Whether the process named by pid and start still lives. An owner file held open says yes;
// one left behind says no (the look takes it away afterwards). Without one (a version that
// made none), only the very process, looked at and found with that start time, is alive: one
// that cannot be looked at (another user's, after a reboot reused its id) is not.
bool OwnerLives(const std::u16string& folder, std::uint32_t pid, std::uint64_t started) {
  if (pid == ::GetCurrentProcessId()) return started == OwnStart();
  const std::u16string owner = folder + u"\\" + ProcessName(pid, started) + kOwnerExtension;
  // Its owner shares no deleting: asked for, it is refused.
  TFileHandle look(::CreateFileW(W(owner), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr));
  if (look) return false;
  const DWORD error = ::GetLastError();
  if (error == ERROR_SHARING_VIOLATION) return true;
  if (error != ERROR_FILE_NOT_FOUND) return false;  // delete pending: its owner is ending
  TKernelHandle p(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!p) return false;
  DWORD code = 0;
  return ::GetExitCodeProcess(p.get(), &code) && code == STILL_ACTIVE && StartOf(p.get()) == started;
}

// The owner a file's name gives ("<pid>-<start>..."), for drafts, scratch files and claims.
bool OwnerFromName(const std::u16string& name, std::uint32_t& pid, std::uint64_t& start) {
  std::uint64_t v[2] = {0, 0};
  size_t i = 0;
  for (int part = 0; part < 2; ++part, ++i) {
    const size_t begin = i;
    for (; i < name.size() && name[i] != u'-' && name[i] != u'.'; ++i) {
      const char16_t c = name[i];
      const int d = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'a' && c <= u'f' ? c - u'a' + 10 : -1;
      if (d < 0 || i - begin >= 16) return false;
      v[part] = (v[part] << 4) | static_cast<unsigned>(d);
    }
    if (i == begin || (part == 0 && (i >= name.size() || name[i] != u'-'))) return false;
  }
  pid = static_cast<std::uint32_t>(v[0]);
  start = v[1];
  return true;
}
