// Saving a note: the only code in Quillo that writes files.
#include <windows.h>

#include "common/uHandles.h"
#include "note/uNote.h"

namespace {

// Writes the whole text to the file at path, or reports why it could not. Never throws.
bool WriteNoteFile(const std::string& path, const std::string& text) noexcept {
  try {
    // One write of the full length: larger than a DWORD cannot be asked for at once.
    if (text.size() > MAXDWORD) return false;
    TFileHandle file(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    // A name the system turned into a device or a pipe is no place for a note.
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) return false;
    DWORD written = 0;
    const DWORD want = static_cast<DWORD>(text.size());
    if (!::WriteFile(file.get(), text.data(), want, &written, nullptr)) return false;
    return written == want;
  } catch (...) {
    return false;
  }
}

}  // namespace

bool SaveNote(const Note& note, NoteNotifier& notifier) noexcept {
  NoteNotice failure;
  try {
    if (LineCount(note.text) < 1) {
      failure = NoticeNoText;
    } else {
      const std::string ruled = ApplyTitleRule(note.title);
      if (ruled.empty()) {
        failure = NoticeNoTitle;
      } else if (IsSafeFileTitle(ruled) && WriteNoteFile(NoteFilePath(note.folder, ruled), note.text)) {
        return true;
      } else {
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
