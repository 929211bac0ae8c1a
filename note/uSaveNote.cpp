// Saving a note: the only code in Quillo that writes files.
#include <windows.h>

#include <climits>

#include "common/uHandles.h"
#include "common/uWide.h"
#include "note/uNote.h"
#include "note/uNoteBytes.h"

#ifdef QUILLO_TEST_HOOKS
#include "note/uTestHooks.h"
void (*TestHookScratchWritten)(const std::u16string& path) = nullptr;
#endif

namespace {

enum class TCreateResult { Written, Exists, Failed };

// Removes a file of our own making when the scope ends, unless it was kept.
class TScratchFile {
 public:
  explicit TScratchFile(std::u16string path) : path_(std::move(path)) {}
  TScratchFile(const TScratchFile&) = delete;
  TScratchFile& operator=(const TScratchFile&) = delete;
  ~TScratchFile() {
    // Nothing more can be done if it will not go; it holds nothing of the user's.
    if (!path_.empty()) (void)::DeleteFileW(W(path_));
  }
  const std::u16string& path() const noexcept { return path_; }
  void Keep() noexcept { path_.clear(); }

 private:
  std::u16string path_;
};

// One write of the full length: larger than a DWORD cannot be asked for at once.
bool WriteAll(HANDLE file, const TFileBytes& text) noexcept {
  if (text.size() > MAXDWORD) return false;
  // A name the system turned into a device or a pipe is no place for a note.
  if (::GetFileType(file) != FILE_TYPE_DISK) return false;
  DWORD written = 0;
  const DWORD want = static_cast<DWORD>(text.size());
  if (!::WriteFile(file, text.data(), want, &written, nullptr)) return false;
  return written == want;
}

// A read-only, hidden or system file, or a folder, is not a note to write over.
bool MayReplace(const std::u16string& path) {
  const DWORD attributes = ::GetFileAttributesW(W(path));
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;  // gone again: created anew below
  return !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                         FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY));
}

// A fresh empty file beside path, named after it ("<name>.txt.~<n>.tmp") so that one left
// behind by a crash says whose it is; when that name would be longer than a file name may be,
// a short one ("~quillo-<n>.tmp"). Empty when none can be made.
std::u16string MakeScratchFile(const std::u16string& path) {
  static LONG counter = 0;
  const DWORD seed = ::GetCurrentProcessId() ^ ::GetTickCount();
  const size_t slash = path.find_last_of(u'\\');
  const size_t nameLength = slash == std::u16string::npos ? path.size() : path.size() - slash - 1;
  for (int attempt = 0; attempt < 16; ++attempt) {
    wchar_t suffix[32];
    const DWORD n = seed + static_cast<DWORD>(::InterlockedIncrement(&counter));
    ::wsprintfW(suffix, L".~%lx.tmp", static_cast<unsigned long>(n));
    std::u16string name = path + U(suffix);
    if (nameLength + std::char_traits<char16_t>::length(U(suffix)) > 255 &&
        slash != std::u16string::npos) {
      ::wsprintfW(suffix, L"~quillo-%lx.tmp", static_cast<unsigned long>(n));
      name = path.substr(0, slash + 1) + U(suffix);
    }
    TFileHandle file(::CreateFileW(W(name), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return name;
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return std::u16string();
}

}  // namespace

std::u16string WriteScratchFile(const std::u16string& path, const TFileBytes& text) {
  TScratchFile scratch(MakeScratchFile(path));
  if (scratch.path().empty()) return std::u16string();
  {
    TFileHandle file(::CreateFileW(W(scratch.path()), GENERIC_WRITE, 0, nullptr,
                                   TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !WriteAll(file.get(), text) || !::FlushFileBuffers(file.get()))
      return std::u16string();
  }
  std::u16string written = scratch.path();
  scratch.Keep();
  return written;
}

namespace {

// A new file is written the way a replacement is: completely into a scratch file beside it,
// then moved to its name in one step, and only while nothing has that name. So a failed save
// leaves nothing new behind (a full disk does not keep half a note that the next save would
// ask about), and a file that appeared since the last look is asked about, never replaced.
TCreateResult WriteNewFile(const std::u16string& path, const TFileBytes& text) {
  if (::GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES) return TCreateResult::Exists;
  TScratchFile scratch(WriteScratchFile(path, text));
  if (scratch.path().empty()) return TCreateResult::Failed;
#ifdef QUILLO_TEST_HOOKS
  if (TestHookScratchWritten) TestHookScratchWritten(path);
#endif
  if (::MoveFileExW(W(scratch.path()), W(path), MOVEFILE_WRITE_THROUGH)) {
    scratch.Keep();  // it is the note's file now
    return TCreateResult::Written;
  }
  const DWORD error = ::GetLastError();
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? TCreateResult::Exists
                                                                     : TCreateResult::Failed;
}

// Replaces the file at path by the text without ever leaving it emptied or half-written: the
// text goes completely into a scratch file beside it, which then takes the old file's place
// in one step, with the old file's attributes and security.
bool ReplaceSafely(const std::u16string& path, const TFileBytes& text) {
  TScratchFile replacement(WriteScratchFile(path, text));
  if (replacement.path().empty()) return false;
  // With a backup name the system never leaves the old file nameless: at worst it is under
  // the backup name, and goes back from there.
  TScratchFile backup(MakeScratchFile(path));
  if (backup.path().empty()) return false;
  if (::ReplaceFileW(W(path), W(replacement.path()), W(backup.path()), 0, nullptr, nullptr)) {
    replacement.Keep();  // it is the note's file now
    return true;
  }
  const DWORD error = ::GetLastError();
  if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
    // The old file went to the backup name and the new one did not follow: put it back. If
    // even that fails, the old text lives only under the backup name, which is then kept.
    (void)::MoveFileExW(W(backup.path()), W(path), MOVEFILE_WRITE_THROUGH);
    backup.Keep();
    return false;
  }
  if (error == ERROR_FILE_NOT_FOUND && ::GetFileAttributesW(W(path)) == INVALID_FILE_ATTRIBUTES)
    return WriteNewFile(path, text) == TCreateResult::Written;  // removed since the question
  return false;
}

bool IsFolder(const std::u16string& folder) {
  if (folder.empty()) return false;
  const DWORD attributes = ::GetFileAttributesW(W(folder));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Windows compares file names without regard to case, by its own upper-casing of Unicode.
bool SamePath(const std::u16string& a, const std::u16string& b) {
  if (a == b) return true;
  if (a.size() > INT_MAX || b.size() > INT_MAX) return false;
  return ::CompareStringOrdinal(W(a), static_cast<int>(a.size()), W(b),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

enum class TSaveResult { Saved, Declined, Failed, BadText };

// The file's bytes: the system's code page, unless it cannot hold the text and the user
// agrees to UTF-8 (from then on this window's files are UTF-8 without asking again).
TSaveResult EncodeNote(const std::u16string& text, NoteNotifier& notifier,
                       TWrittenFiles& written, TFileBytes& bytes) {
  if (written.Encoding() == TNoteEncoding::Utf8)
    return EncodeUtf8WithBom(text, bytes) ? TSaveResult::Saved : TSaveResult::BadText;
  const UINT codePage = ::GetACP();
  char32_t first = 0;
  switch (EncodeInCodePage(codePage, text, bytes, first)) {
    case TEncodeResult::Encoded:
      return TSaveResult::Saved;
    case TEncodeResult::Broken:
      return TSaveResult::BadText;
    case TEncodeResult::Unstorable:
      break;
  }
  bytes = TFileBytes();  // not held while the question waits
  if (!notifier.ConfirmUtf8(first, codePage)) return TSaveResult::Declined;
  if (!EncodeUtf8WithBom(text, bytes)) return TSaveResult::BadText;
  written.SetEncoding(TNoteEncoding::Utf8);
  return TSaveResult::Saved;
}

TSaveResult WriteNote(const Note& note, const std::u16string& ruled, NoteNotifier& notifier,
                      TWrittenFiles& written) {
  // No folder (the shell gave none) or one that has gone: writing anyway would put the note
  // where the user never looked, such as the root of the current drive.
  if (!IsFolder(note.folder) || !IsSafeFileTitle(ruled)) return TSaveResult::Failed;
  TFileBytes bytes;
  const TSaveResult encoded = EncodeNote(note.text, notifier, written, bytes);
  if (encoded != TSaveResult::Saved) return encoded;
  const std::u16string path = NoteFilePath(note.folder, ruled);
  switch (WriteNewFile(path, bytes)) {
    case TCreateResult::Written:
      written.Add(path);
      return TSaveResult::Saved;
    case TCreateResult::Failed:
      return TSaveResult::Failed;
    case TCreateResult::Exists:
      break;
  }
  if (!MayReplace(path)) return TSaveResult::Failed;
  if (!written.Contains(path) && !notifier.ConfirmReplace(ruled + u".txt"))
    return TSaveResult::Declined;
  if (!ReplaceSafely(path, bytes)) return TSaveResult::Failed;
  written.Add(path);
  return TSaveResult::Saved;
}

}  // namespace

bool TWrittenFiles::Contains(const std::u16string& path) const {
  for (const std::u16string& p : paths_)
    if (SamePath(p, path)) return true;
  return false;
}

void TWrittenFiles::Add(const std::u16string& path) {
  if (!Contains(path)) paths_.push_back(path);
}

bool SaveNote(const Note& note, NoteNotifier& notifier, TWrittenFiles& written) noexcept {
  NoteNotice failure = NoticeSaveFailed;
  try {
    // A text has no line exactly when it is empty; no need to count a large one's lines.
    if (note.text.empty()) {
      failure = NoticeNoText;
    } else {
      const std::u16string ruled = ApplyTitleRule(note.title);
      if (IsBlankTitle(ruled)) {
        failure = NoticeNoTitle;
      } else {
        switch (WriteNote(note, ruled, notifier, written)) {
          case TSaveResult::Saved: return true;
          case TSaveResult::Declined: return false;
          case TSaveResult::Failed: failure = NoticeSaveFailed; break;
          case TSaveResult::BadText: failure = NoticeBadText; break;
        }
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
