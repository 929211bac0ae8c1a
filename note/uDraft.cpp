#include "note/uDraft.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <new>
#include <utility>
#include <vector>

#include "common/uComPtr.h"
#include "common/uHandles.h"
#include "common/uModuleThread.h"
#include "common/uWide.h"
#include "note/uNoteBytes.h"

#ifdef QUILLO_TEST_HOOKS
#include "note/uTestHooks.h"
bool (*TestHookElevated)() = nullptr;
#endif

namespace {

const char16_t kExtension[] = u".qdraft";
const char16_t kOwnerExtension[] = u".qowner";
const char16_t kClaimMark[] = u".claimed-";

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
TFileHandle g_ownerFile;

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
  std::u16string replaces;  // a recovered draft's claimed file, which goes once this is written
  TDraft draft;
  bool remove = false;  // the draft is no longer needed: its files go
  std::shared_ptr<std::atomic<TDraftTrouble>> trouble;
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
    if (!EncodeDraft(job.draft, bytes)) return false;  // over the limit: the window knew first
    const std::u16string scratch = WriteScratchFile(job.path, bytes);
    if (scratch.empty()) return false;
    // Another program looking at the old draft (a virus scanner, an indexer) may hold the move
    // up for a moment.
    for (int attempt = 0; attempt < 3; ++attempt, ::Sleep(2))
      if (::MoveFileExW(W(scratch), W(job.path),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    ::DeleteFileW(W(scratch));
  } catch (const std::bad_alloc&) {
    if (job.trouble) *job.trouble = TDraftTrouble::NoMemory;
  } catch (...) {
  }
  return false;
}

// Under g_fileLock: the job done.
void DoJob(const TJob& job) noexcept {
  if (job.remove) {
    ::DeleteFileW(W(job.path));
  } else if (!WriteDraftFile(job)) {
    return;
  }
  // A recovered draft goes once its text is safe under the window's own name.
  if (!job.replaces.empty()) ::DeleteFileW(W(job.replaces));
}

// Under g_jobsLock: a newer job for a draft makes the waiting one pointless, but not the
// claimed file that one was to take away.
void Enqueue(TJob job) {
  for (size_t i = g_jobs.size(); i-- > 0;)
    if (g_jobs[i].path == job.path) {
      if (job.replaces.empty()) job.replaces = std::move(g_jobs[i].replaces);
      g_jobs.erase(g_jobs.begin() + static_cast<std::ptrdiff_t>(i));
    }
  g_jobs.push_back(std::move(job));
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
    DoJob(job);
  }
  // The library's code may go only once this thread has left it.
  ::FreeLibraryAndExitThread(static_cast<HMODULE>(param), 0);
  return 0;
}

// Hands the job to the writer thread (started when none runs); false when no thread could be
// started and the job is back with the caller.
bool HandToWriter(TJob& job) {
  TLock jobs(g_jobsLock);
  Enqueue(std::move(job));
  if (g_writerRunning || (g_writerRunning = StartModuleThread(&WriterMain))) return true;
  job = std::move(g_jobs.back());
  g_jobs.pop_back();
  return false;
}

// Done here and now, after any write in progress, or (unless `wait`) not at all while one
// is; a waiting job for the same draft is pointless.
bool DoJobNow(TJob& job, bool wait) {
  if (wait)
    ::AcquireSRWLockExclusive(&g_fileLock);
  else if (!::TryAcquireSRWLockExclusive(&g_fileLock))
    return false;
  struct TRelease {
    ~TRelease() { ::ReleaseSRWLockExclusive(&g_fileLock); }
  } release;
  {
    TLock jobs(g_jobsLock);
    for (size_t i = g_jobs.size(); i-- > 0;)
      if (g_jobs[i].path == job.path) {
        if (job.replaces.empty()) job.replaces = std::move(g_jobs[i].replaces);
        g_jobs.erase(g_jobs.begin() + static_cast<std::ptrdiff_t>(i));
      }
  }
  DoJob(job);
  return true;
}

std::u16string NewDraftPath() {
  static LONG counter = 0;
  const std::u16string folder = DraftsFolder(false);
  if (folder.empty()) return folder;
  wchar_t n[16];
  ::wsprintfW(n, L"-%lx", static_cast<unsigned long>(::InterlockedIncrement(&counter)));
  return folder + u"\\" + OwnName() + U(n) + kExtension;
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

// Renames a file that is no draft (named `name`, now at `path`), so that it is looked at no
// more and nothing is lost.
void SetAside(const std::u16string& path, const std::u16string& name) {
  for (int n = 0; n < 16; ++n) {
    wchar_t suffix[16];
    ::wsprintfW(suffix, n ? L".%d.bad" : L".bad", n);
    if (::MoveFileExW(W(path), W(name + U(suffix)), 0)) return;
  }
}

enum class TRead { Draft, Unknown, Damaged, Unreadable };

TRead ReadDraft(const std::u16string& path, TDraft* draft) {
  // Shared for deleting too: the owner may move a newer draft over it meanwhile.
  TFileHandle file(::CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return TRead::Unreadable;
  LARGE_INTEGER size{};
  if (::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileSizeEx(file.get(), &size))
    return TRead::Damaged;
  char head[kDraftHeaderBytes];
  DWORD got = 0;
  if (!::ReadFile(file.get(), head, sizeof head, &got, nullptr)) return TRead::Unreadable;
  switch (DraftKind(head, got, static_cast<std::uint64_t>(size.QuadPart))) {
    case TDraftBytes::Unknown: return TRead::Unknown;
    case TDraftBytes::Damaged: return TRead::Damaged;
    case TDraftBytes::Draft: break;
  }
  if (!draft) return TRead::Draft;  // only its kind was asked
  TFileBytes bytes;
  try {
    bytes.resize(static_cast<size_t>(size.QuadPart));
  } catch (const std::bad_alloc&) {
    return TRead::Unreadable;  // a host short of memory (32-bit): another may read it
  }
  LARGE_INTEGER zero{};
  if (!::SetFilePointerEx(file.get(), zero, nullptr, FILE_BEGIN) ||
      !::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
      got != bytes.size())
    return TRead::Unreadable;
  switch (DecodeDraft(bytes.data(), bytes.size(), *draft)) {
    case TDraftBytes::Draft: return TRead::Draft;
    case TDraftBytes::Unknown: return TRead::Unknown;
    case TDraftBytes::Damaged: break;
  }
  return TRead::Damaged;
}

std::u16string g_base;  // the user's local application data, once known

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

bool TNoteDraft::Changed() noexcept { return !std::exchange(changed_, true); }

bool TNoteDraft::Fits(size_t folder, size_t title, size_t text) noexcept {
  return DraftFileSize(folder, title, text) <= kMaxDraftBytes;
}

void TNoteDraft::Keep(TDraft draft, bool now) noexcept {
  changed_ = false;
  try {
    if (Elevated()) return;
    if (path_.empty()) path_ = NewDraftPath();
    if (path_.empty()) return;
    if (!trouble_) trouble_ = std::make_shared<std::atomic<TDraftTrouble>>(TDraftTrouble::None);
    // Before its first draft is on the disk, the proof that its owner lives.
    HoldOwnerFile();
    // It fits again; memory short in the writer is still to be said.
    TDraftTrouble tooBig = TDraftTrouble::TooBig;
    trouble_->compare_exchange_strong(tooBig, TDraftTrouble::None);
    draft.pid = ::GetCurrentProcessId();
    draft.started = OwnStart();
    Hold(true);
    TJob job{path_, replaces_, std::move(draft), false, trouble_};
    if (!now && HandToWriter(job)) return;
    DoJobNow(job, true);  // asked for now, or no thread: written here
  } catch (const std::bad_alloc&) {
    Refuse(TDraftTrouble::NoMemory);
  } catch (...) {
  }
}

void TNoteDraft::Refuse(TDraftTrouble why) noexcept {
  changed_ = false;
  try {
    if (!trouble_) trouble_ = std::make_shared<std::atomic<TDraftTrouble>>(why);
    *trouble_ = why;
  } catch (...) {
  }
}

TDraftTrouble TNoteDraft::TakeTrouble() noexcept {
  if (told_ || !trouble_) return TDraftTrouble::None;
  const TDraftTrouble why = *trouble_;
  told_ = why != TDraftTrouble::None;
  return why;
}

void TNoteDraft::Drop() noexcept {
  changed_ = false;
  if (path_.empty() && replaces_.empty()) return;
  try {
    TJob job{path_, std::move(replaces_), TDraft(), true, nullptr};
    replaces_.clear();
    // A write in progress is not waited for: the removal then follows it on the writer.
    if (!DoJobNow(job, false) && !HandToWriter(job)) DoJobNow(job, true);
  } catch (...) {
  }
  Hold(false);
}

void TNoteDraft::Replace(const std::u16string& path) { replaces_ = path; }

void FinishDraftWrites() noexcept {
  // Bounded all the same: a disk that hangs must not keep a host from ending.
  for (int waits = 0; waits < 6000; ++waits) {
    bool idle = false;
    {
      TLock file(g_fileLock);  // no write in progress
      TLock jobs(g_jobsLock);
      idle = g_jobs.empty();
    }
    if (idle) return;
    ::Sleep(10);
  }
}

namespace {

// A claim ("<draft>.claimed-<pid>-<start>") whose claimant is gone goes back to the draft's
// name; true, with that name, when it did.
bool ReleaseDeadClaim(const std::u16string& folder, std::u16string& name) {
  const size_t mark = name.rfind(kClaimMark);
  if (mark == std::u16string::npos) return false;
  const std::u16string draft = name.substr(0, mark);
  std::uint32_t pid = 0;
  std::uint64_t start = 0;
  if (!EndsWith(draft, kExtension) ||
      !OwnerFromName(name.substr(mark + std::char_traits<char16_t>::length(kClaimMark)), pid, start) ||
      OwnerLives(folder, pid, start))
    return false;
  if (!::MoveFileExW(W(folder + u"\\" + name), W(folder + u"\\" + draft), 0)) return false;
  name = draft;
  return true;
}

// One draft of a gone owner: claimed, read, and handed to `open` or put back.
void Recover(const std::u16string& folder, const std::u16string& name,
             bool (*open)(TDraft& draft, const std::u16string& path)) {
  const std::u16string path = folder + u"\\" + name;
  // Another version's draft is not even claimed: it stays exactly as it is.
  if (ReadDraft(path, nullptr) == TRead::Unknown) return;
  HoldOwnerFile();  // the claim's proof that its claimant lives
  const std::u16string claimed = path + kClaimMark + OwnName();
  // One process only gets past this: the others find the draft gone.
  if (!::MoveFileExW(W(path), W(claimed), 0)) return;
  TDraft draft;
  bool release = true;
  switch (ReadDraft(claimed, &draft)) {
    case TRead::Unreadable:  // held open: looked at again next time
    case TRead::Unknown:
      break;
    case TRead::Damaged:
      SetAside(claimed, path);
      release = false;
      break;
    case TRead::Draft:
      if (OwnerLives(folder, draft.pid, draft.started)) break;
      release = false;
      if (draft.text.empty())
        ::DeleteFileW(W(claimed));  // an empty note has nothing to keep
      else
        release = !open(draft, claimed);
      break;
  }
  if (release) ::MoveFileExW(W(claimed), W(path), 0);
}

}  // namespace

void RecoverDrafts(bool (*open)(TDraft& draft, const std::u16string& path)) noexcept {
  try {
    if (Elevated()) return;  // not even looked at
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
    std::vector<std::u16string> owners;
    for (std::u16string& name : names) {
      std::uint32_t pid = 0;
      std::uint64_t start = 0;
      if (EndsWith(name, u".tmp") && name.find(u".qdraft.~") != std::u16string::npos) {
        // The scratch file of a write its owner did not live to finish: the draft it was
        // to replace is still whole.
        if (OwnerFromName(name, pid, start) && !OwnerLives(folder, pid, start))
          ::DeleteFileW(W(folder + u"\\" + name));
        continue;
      }
      if (EndsWith(name, kOwnerExtension)) {
        owners.push_back(name);
        continue;
      }
      if (!EndsWith(name, kExtension) && !ReleaseDeadClaim(folder, name)) continue;
      // A living owner's draft is not even read.
      if (OwnerFromName(name, pid, start) && OwnerLives(folder, pid, start)) continue;
      Recover(folder, name, open);
    }
    // Owner files a power cut left behind, now that the drafts they named are looked at; a
    // held one will not go.
    for (const std::u16string& name : owners) ::DeleteFileW(W(folder + u"\\" + name));
  } catch (...) {
  }
}
