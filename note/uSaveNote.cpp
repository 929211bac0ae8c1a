// Saving a note: the only code in Quillo that writes files.
#include <windows.h>

#include "common/uHandles.h"
#include "note/uNote.h"

namespace {

enum class TCreateResult { Written, Exists, Failed };

// Removes a file of our own making when the scope ends, unless it was kept.
class TScratchFile {
 public:
  explicit TScratchFile(std::string path) : path_(std::move(path)) {}
  TScratchFile(const TScratchFile&) = delete;
  TScratchFile& operator=(const TScratchFile&) = delete;
  ~TScratchFile() {
    // Nothing more can be done if it will not go; it holds nothing of the user's.
    if (!path_.empty()) (void)::DeleteFileA(path_.c_str());
  }
  const std::string& path() const noexcept { return path_; }
  void Keep() noexcept { path_.clear(); }

 private:
  std::string path_;
};

// One write of the full length: larger than a DWORD cannot be asked for at once.
bool WriteAll(HANDLE file, const std::string& text) noexcept {
  if (text.size() > MAXDWORD) return false;
  // A name the system turned into a device or a pipe is no place for a note.
  if (::GetFileType(file) != FILE_TYPE_DISK) return false;
  DWORD written = 0;
  const DWORD want = static_cast<DWORD>(text.size());
  if (!::WriteFile(file, text.data(), want, &written, nullptr)) return false;
  return written == want;
}

// Creates the file only if nothing of that name exists, so that a file appearing after any
// earlier look is never replaced unasked, and writes the whole text into it.
TCreateResult WriteNewFile(const std::string& path, const std::string& text) {
  TFileHandle file(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? TCreateResult::Exists
                                                                       : TCreateResult::Failed;
  }
  return WriteAll(file.get(), text) ? TCreateResult::Written : TCreateResult::Failed;
}

// A read-only, hidden or system file, or a folder, is not a note to write over.
bool MayReplace(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;  // gone again: created anew below
  return !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                         FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY));
}

// A fresh empty file beside path, named after it ("<name>.txt.~<n>.tmp") so that one left
// behind by a crash says whose it is. Empty when none can be made, for instance when the
// longer name no longer fits the file system.
std::string MakeScratchFile(const std::string& path) {
  static LONG counter = 0;
  const DWORD seed = ::GetCurrentProcessId() ^ ::GetTickCount();
  for (int attempt = 0; attempt < 16; ++attempt) {
    char suffix[32];
    const DWORD n = seed + static_cast<DWORD>(::InterlockedIncrement(&counter));
    ::wsprintfA(suffix, ".~%lx.tmp", static_cast<unsigned long>(n));
    std::string name = path + suffix;
    TFileHandle file(::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return name;
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return std::string();
}

// Replaces the file at path by the text without ever leaving it emptied or half-written: the
// text goes completely into a scratch file beside it, which then takes the old file's place
// in one step, with the old file's attributes and security.
bool ReplaceSafely(const std::string& path, const std::string& text) {
  TScratchFile replacement(MakeScratchFile(path));
  if (replacement.path().empty()) return false;
  {
    TFileHandle file(::CreateFileA(replacement.path().c_str(), GENERIC_WRITE, 0, nullptr,
                                   TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !WriteAll(file.get(), text) || !::FlushFileBuffers(file.get())) return false;
  }
  // With a backup name the system never leaves the old file nameless: at worst it is under
  // the backup name, and goes back from there.
  TScratchFile backup(MakeScratchFile(path));
  if (backup.path().empty()) return false;
  if (::ReplaceFileA(path.c_str(), replacement.path().c_str(), backup.path().c_str(), 0,
                     nullptr, nullptr)) {
    replacement.Keep();  // it is the note's file now
    return true;
  }
  const DWORD error = ::GetLastError();
  if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
    // The old file went to the backup name and the new one did not follow: put it back. If
    // even that fails, the old text lives only under the backup name, which is then kept.
    (void)::MoveFileExA(backup.path().c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH);
    backup.Keep();
    return false;
  }
  if (error == ERROR_FILE_NOT_FOUND && ::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
    return WriteNewFile(path, text) == TCreateResult::Written;  // removed since the question
  return false;
}

bool IsFolder(const std::string& folder) {
  if (folder.empty()) return false;
  const DWORD attributes = ::GetFileAttributesA(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Windows compares file names without regard to case, by its own upper-casing of Unicode:
// comparing CP949 bytes ASCII-wise would confuse Korean characters whose trail bytes are
// letters.
bool SamePath(const std::string& a, const std::string& b) {
  if (a == b) return true;
  // A path that does not fit the buffers was never written by this window (the A functions
  // refuse it), so it matches nothing.
  wchar_t wa[MAX_PATH * 2], wb[MAX_PATH * 2];
  const int na = ::MultiByteToWideChar(CP_ACP, 0, a.data(), static_cast<int>(a.size()), wa, MAX_PATH * 2);
  const int nb = ::MultiByteToWideChar(CP_ACP, 0, b.data(), static_cast<int>(b.size()), wb, MAX_PATH * 2);
  if (na <= 0 || nb <= 0) return false;
  return ::CompareStringOrdinal(wa, na, wb, nb, TRUE) == CSTR_EQUAL;
}

enum class TSaveResult { Saved, Declined, Failed };

TSaveResult WriteNote(const Note& note, const std::string& ruled, NoteNotifier& notifier,
                      TWrittenFiles& written) {
  // No folder (the shell gave none) or one that has gone: writing anyway would put the note
  // where the user never looked, such as the root of the current drive.
  if (!IsFolder(note.folder) || !IsSafeFileTitle(ruled)) return TSaveResult::Failed;
  const std::string path = NoteFilePath(note.folder, ruled);
  switch (WriteNewFile(path, note.text)) {
    case TCreateResult::Written:
      written.Add(path);
      return TSaveResult::Saved;
    case TCreateResult::Failed:
      return TSaveResult::Failed;
    case TCreateResult::Exists:
      break;
  }
  if (!MayReplace(path)) return TSaveResult::Failed;
  if (!written.Contains(path) && !notifier.ConfirmReplace(ruled + ".txt"))
    return TSaveResult::Declined;
  if (!ReplaceSafely(path, note.text)) return TSaveResult::Failed;
  written.Add(path);
  return TSaveResult::Saved;
}

}  // namespace

bool TWrittenFiles::Contains(const std::string& path) const {
  for (const std::string& p : paths_)
    if (SamePath(p, path)) return true;
  return false;
}

void TWrittenFiles::Add(const std::string& path) {
  if (!Contains(path)) paths_.push_back(path);
}

bool SaveNote(const Note& note, NoteNotifier& notifier, TWrittenFiles& written) noexcept {
  NoteNotice failure;
  try {
    if (LineCount(note.text) < 1) {
      failure = NoticeNoText;
    } else {
      const std::string ruled = ApplyTitleRule(note.title);
      if (IsBlankTitle(ruled)) {
        failure = NoticeNoTitle;
      } else {
        switch (WriteNote(note, ruled, notifier, written)) {
          case TSaveResult::Saved: return true;
          case TSaveResult::Declined: return false;
          case TSaveResult::Failed: break;
        }
        failure = NoticeSaveFailed;
      }
    }
  } catch (...) {
    failure = NoticeSaveFailed;
  }
  try {
    notifier.ShowNotice(failure);
  } catch (...) {
    // The notifier is the window; a failure to show the box must not unwind into it.
  }
  return false;
}
