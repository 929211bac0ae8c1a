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
#include "note/uDraftOwner.h"
#include "note/uNoteBytes.h"

namespace {

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
void Supersede(TJob& job) {
  for (size_t i = g_jobs.size(); i-- > 0;)
    if (g_jobs[i].path == job.path) {
      if (job.replaces.empty()) job.replaces = std::move(g_jobs[i].replaces);
      g_jobs.erase(g_jobs.begin() + static_cast<std::ptrdiff_t>(i));
    }
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
  Supersede(job);
  g_jobs.push_back(std::move(job));
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
    Supersede(job);
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
  return folder + u"\\" + OwnName() + U(n) + kDraftExtension;
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
