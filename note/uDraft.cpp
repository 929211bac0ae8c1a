#include "note/uDraft.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <utility>
#include <vector>

#include "common/uComPtr.h"
#include "common/uHandles.h"
#include "common/uModuleThread.h"
#include "common/uWide.h"
#include "note/uNoteBytes.h"

namespace {

const char16_t kExtension[] = u".qdraft";
// Larger than any note a window holds: a bigger file is no draft, and is not read.
constexpr LONGLONG kMaxDraftBytes = 256ll << 20;

// The process's start time, which with its id names it for as long as it lives.
std::uint64_t StartOf(HANDLE process) {
  FILETIME created{}, exited, kernel, user;
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (std::uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
}

// The same for every thread; worked out again until it is known (no guard needed).
std::uint64_t OwnStart() {
  static volatile LONG64 start = 0;
  if (!start) start = static_cast<LONG64>(StartOf(::GetCurrentProcess()));
  return static_cast<std::uint64_t>(start);
}

bool OwnerLives(std::uint32_t pid, std::uint64_t started) {
  if (pid == ::GetCurrentProcessId()) return started == OwnStart();
  TKernelHandle p(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  // One we may not even look at is alive, and is not ours to take from.
  if (!p) return ::GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  return ::GetExitCodeProcess(p.get(), &code) && code == STILL_ACTIVE && StartOf(p.get()) == started;
}

bool EndsWith(const std::u16string& s, const char16_t* tail) {
  const size_t n = std::char_traits<char16_t>::length(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// ---- Restart registration, on the UI thread.
std::u16string g_restartArgs;
bool g_restartSet = false;
int g_held = 0;  // windows holding a draft

// ---- Writing. g_fileLock is held around each write or removal of a draft file, and while a
// job is taken from the queue, so that a job taken is always written before a later one.
SRWLOCK g_fileLock = SRWLOCK_INIT;
SRWLOCK g_jobsLock = SRWLOCK_INIT;
struct TJob {
  std::u16string path;
  TDraft draft;
};
std::vector<TJob> g_jobs;
bool g_writerRunning = false;

class TLock {
 public:
  explicit TLock(SRWLOCK& l) noexcept : l_(l) { ::AcquireSRWLockExclusive(&l_); }
  ~TLock() { ::ReleaseSRWLockExclusive(&l_); }
  TLock(const TLock&) = delete;
  TLock& operator=(const TLock&) = delete;

 private:
  SRWLOCK& l_;
};

// Under g_fileLock. A full, read-only or missing folder keeps no draft; the note works on.
bool WriteDraftFile(const TJob& job) noexcept {
  try {
    if (DraftsFolder(true).empty()) return false;
    TFileBytes bytes;
    EncodeDraft(job.draft, bytes);
    const std::u16string scratch = WriteScratchFile(job.path, bytes);
    if (scratch.empty()) return false;
    // Another program looking at the old draft (a virus scanner, an indexer) may hold the move
    // up for a moment.
    for (int attempt = 0; attempt < 3; ++attempt, ::Sleep(2))
      if (::MoveFileExW(W(scratch), W(job.path),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    ::DeleteFileW(W(scratch));
  } catch (...) {
  }
  return false;
}

// Under g_jobsLock: a newer copy of a draft makes the waiting one pointless.
void ForgetJobs(const std::u16string& path) {
  for (size_t i = g_jobs.size(); i-- > 0;)
    if (g_jobs[i].path == path) g_jobs.erase(g_jobs.begin() + static_cast<std::ptrdiff_t>(i));
}

DWORD WINAPI WriterMain(LPVOID param) {
  for (;;) {
    TLock file(g_fileLock);
    TJob job;
    {
      TLock jobs(g_jobsLock);
      if (g_jobs.empty()) {
        g_writerRunning = false;
        break;
      }
      job = std::move(g_jobs.front());
      g_jobs.erase(g_jobs.begin());
    }
    WriteDraftFile(job);
  }
  // The library's code may go only once this thread has left it.
  ::FreeLibraryAndExitThread(static_cast<HMODULE>(param), 0);
  return 0;
}

std::u16string NewDraftPath() {
  static LONG counter = 0;
  const std::u16string folder = DraftsFolder(false);
  if (folder.empty()) return folder;
  const std::uint64_t start = OwnStart();
  wchar_t name[64];
  ::wsprintfW(name, L"\\%lx-%08lx%08lx-%lx", static_cast<unsigned long>(::GetCurrentProcessId()),
              static_cast<unsigned long>(start >> 32), static_cast<unsigned long>(start),
              static_cast<unsigned long>(::InterlockedIncrement(&counter)));
  return folder + U(name) + kExtension;
}

// The owner a file's name gives ("<pid>-<start>-..."), for the scratch files a crash left.
bool OwnerFromName(const std::u16string& name, std::uint32_t& pid, std::uint64_t& start) {
  std::uint64_t v[2] = {0, 0};
  size_t i = 0;
  for (int part = 0; part < 2; ++part, ++i) {
    const size_t begin = i;
    for (; i < name.size() && name[i] != u'-'; ++i) {
      const char16_t c = name[i];
      const int d = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'a' && c <= u'f' ? c - u'a' + 10 : -1;
      if (d < 0 || i - begin >= 16) return false;
      v[part] = (v[part] << 4) | static_cast<unsigned>(d);
    }
    if (i == begin || i >= name.size()) return false;
  }
  pid = static_cast<std::uint32_t>(v[0]);
  start = v[1];
  return true;
}

// Renames a file that is no draft, so that it is looked at no more and nothing is lost.
void SetAside(const std::u16string& path) {
  for (int n = 0; n < 16; ++n) {
    wchar_t suffix[16];
    ::wsprintfW(suffix, n ? L".%d.bad" : L".bad", n);
    if (::MoveFileExW(W(path), W(path + U(suffix)), 0)) return;
  }
}

enum class TRead { Draft, NotADraft, Unreadable };

TRead ReadDraft(const std::u16string& path, TDraft& draft) {
  // Shared for deleting too: the owner may move a newer draft over it meanwhile.
  TFileHandle file(::CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return TRead::Unreadable;
  LARGE_INTEGER size{};
  if (::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileSizeEx(file.get(), &size) ||
      size.QuadPart > kMaxDraftBytes)
    return TRead::NotADraft;
  TFileBytes bytes(static_cast<size_t>(size.QuadPart));
  DWORD got = 0;
  if (!bytes.empty() && (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                     &got, nullptr) ||
                         got != bytes.size()))
    return TRead::Unreadable;
  return DecodeDraft(bytes.data(), bytes.size(), draft) ? TRead::Draft : TRead::NotADraft;
}

std::u16string g_base;  // the user's local application data, once known

// Files the scan took but could not hand on to a new owner: not taken twice by this process.
std::vector<std::u16string> g_claimed;

}  // namespace

void SetDraftRestartCommand(const wchar_t* args) noexcept {
  try {
    g_restartArgs = args ? U(args) : u"";
    g_restartSet = args != nullptr;
  } catch (...) {
    g_restartSet = false;
  }
}

std::u16string DraftsFolder(bool create) noexcept {
  try {
    // Resolved once a process, under the jobs' lock (the writer asks too): the known
    // folder's look-up costs more than the whole scan.
    {
      TLock lock(g_jobsLock);
      if (g_base.empty()) {
        TCoTaskMem<PWSTR> path;  // freed also when the look-up fails
        if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, path.put())))
          g_base = U(path.get());
      }
    }
    std::u16string folder;
    {
      TLock lock(g_jobsLock);
      folder = g_base;
    }
    if (folder.empty()) return folder;
    for (const char16_t* part : {u"\\Quillo", u"\\Drafts"}) {
      folder += part;
      if (create) ::CreateDirectoryW(W(folder), nullptr);  // inherits the profile's permissions
    }
    return folder;
  } catch (...) {
    return std::u16string();
  }
}

TNoteDraft::~TNoteDraft() { Hold(false); }

void TNoteDraft::Hold(bool on) noexcept {
  if (held_ == on) return;
  held_ = on;
  g_held += on ? 1 : -1;
  if (!g_restartSet) return;
  if (on && g_held == 1) ::RegisterApplicationRestart(W(g_restartArgs), 0);
  if (!on && g_held == 0) ::UnregisterApplicationRestart();
}

void TNoteDraft::Keep(TDraft draft, bool now) noexcept {
  try {
    if (path_.empty()) path_ = NewDraftPath();
    if (path_.empty()) return;
    draft.pid = ::GetCurrentProcessId();
    draft.started = OwnStart();
    Hold(true);
    TJob job{path_, std::move(draft)};
    if (!now) {
      TLock jobs(g_jobsLock);
      ForgetJobs(path_);
      g_jobs.push_back(std::move(job));
      if (g_writerRunning || (g_writerRunning = StartModuleThread(&WriterMain))) return;
      job = std::move(g_jobs.back());  // no thread: written here after all
      g_jobs.pop_back();
    }
    TLock file(g_fileLock);
    {
      TLock jobs(g_jobsLock);
      ForgetJobs(path_);
    }
    // A recovered draft goes once its text is safe under this window's own name.
    if (WriteDraftFile(job) && !replaces_.empty() && ::DeleteFileW(W(replaces_))) replaces_.clear();
  } catch (...) {
  }
}

void TNoteDraft::Drop() noexcept {
  if (path_.empty() && replaces_.empty()) return;
  try {
    TLock file(g_fileLock);
    {
      TLock jobs(g_jobsLock);
      ForgetJobs(path_);
    }
    ::DeleteFileW(W(path_));
    if (!replaces_.empty()) ::DeleteFileW(W(replaces_));
    replaces_.clear();
  } catch (...) {
  }
  Hold(false);
}

void TNoteDraft::Replace(const std::u16string& path) { replaces_ = path; }

void RecoverDrafts(bool (*open)(TDraft& draft, const std::u16string& path)) noexcept {
  try {
    const std::u16string folder = DraftsFolder(false);
    if (folder.empty()) return;
    std::vector<std::u16string> names;
    {
      WIN32_FIND_DATAW found;
      TFindHandle find(::FindFirstFileExW(W(folder + u"\\*"), FindExInfoBasic, &found,
                                          FindExSearchNameMatch, nullptr, 0));
      if (!find) return;  // no folder: no drafts, at the cost of one look
      do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(U(found.cFileName));
      } while (::FindNextFileW(find.get(), &found));
    }
    for (const std::u16string& name : names) {
      const std::u16string path = folder + u"\\" + name;
      std::uint32_t pid = 0;
      std::uint64_t start = 0;
      if (EndsWith(name, u".tmp") && name.find(u".qdraft.~") != std::u16string::npos) {
        // The scratch file of a write its owner did not live to finish: the draft it was
        // to replace is still whole.
        if (OwnerFromName(name, pid, start) && !OwnerLives(pid, start)) ::DeleteFileW(W(path));
        continue;
      }
      if (!EndsWith(name, kExtension)) continue;
      // A living owner's draft is not even read.
      if (OwnerFromName(name, pid, start) && OwnerLives(pid, start)) continue;
      bool claimed = false;
      for (const std::u16string& c : g_claimed) claimed = claimed || c == path;
      if (claimed) continue;
      TDraft draft;
      switch (ReadDraft(path, draft)) {
        case TRead::Unreadable:
          continue;  // held open, or gone meanwhile: looked at again next time
        case TRead::NotADraft:
          SetAside(path);
          continue;
        case TRead::Draft:
          break;
      }
      if (OwnerLives(draft.pid, draft.started)) continue;
      if (draft.text.empty()) {
        ::DeleteFileW(W(path));  // an empty note has nothing to keep
        continue;
      }
      if (open(draft, path)) g_claimed.push_back(path);
    }
  } catch (...) {
  }
}
