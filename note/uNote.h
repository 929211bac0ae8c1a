// The rules of a note: how a title becomes a file name, how the first line becomes a title,
// and what a save checks. Byte strings in the ANSI code page; no Windows in here.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the note window hands over for one operation, taken from its controls at that moment.
struct Note {
  std::string folder;  // as the shell gave it; a drive root ends in a backslash
  std::string text;    // the text box's whole content, CR LF line breaks
  std::string title;   // the title box as typed
};

enum NoteNotice { NoticeNoText, NoticeNoTitle, NoticeSaveFailed };

// The window's side of a save: shows one notice and returns when it was dismissed, and asks
// the user before a file the window did not write is replaced.
class NoteNotifier {
 public:
  virtual void ShowNotice(NoteNotice notice) = 0;
  // fileName is the ruled title with ".txt"; true when the user agrees to replace it.
  virtual bool ConfirmReplace(const std::string& fileName) = 0;

 protected:
  ~NoteNotifier() = default;
};

// The fixed text of a notice, as code page 949 bytes.
const char* NoticeText(NoteNotice notice);
// The question asked before replacing a file of that name, as code page 949 bytes.
std::string ReplaceQuestion(std::string_view fileName);
// The question Escape asks when the note holds text typed since its last save.
const char* CloseUnsavedQuestion();

// Only the first bytes of a line are ever looked at for a title.
constexpr std::size_t kMaxLineBytes = 4096;

constexpr bool IsBlank(unsigned char c) { return c <= 0x20; }
constexpr bool IsTitleReplaced(unsigned char c) {
  return c == '"' || c == '\'' || c == '/' || c == '<' || c == '>' || c == '\\' || c == '|';
}

std::string TrimBlanks(std::string_view s);
std::string ApplyTitleRule(std::string_view title);
std::size_t LineCount(std::string_view text);
std::string LineAt(std::string_view text, std::size_t i);
std::optional<std::string> TitleFromFirstLine(std::string_view text);
std::string NoteFilePath(std::string_view folder, std::string_view ruledTitle);

// Whether a ruled title may name the note's file. Refused are names that Windows reads as a
// device (NUL, CON, COM1, ...: writing there "succeeds" and the note is gone) and names with
// a colon (NTFS would put the text into a hidden stream of another file).
bool IsSafeFileTitle(std::string_view ruledTitle);

// Whether a ruled title names a file at all: one made only of blanks (a title such as "/"
// becomes one) is no title.
bool IsBlankTitle(std::string_view ruledTitle);

// The files one note window has written. Saving to one of them again replaces it without a
// question: the user chose that name for this very note.
class TWrittenFiles {
 public:
  bool Contains(const std::string& path) const;
  void Add(const std::string& path);

 private:
  std::vector<std::string> paths_;
};

// Checks the note and writes its text into the folder as <ruled title>.txt. A file already
// there that this window did not write is replaced only when the notifier's question is
// answered yes, and then through a complete copy beside it, so that the old file is never
// left emptied or half-written. Each failure is reported through the notifier; a replacement
// the user declined is not a failure and shows nothing. True only when the whole text was
// written. Never throws.
bool SaveNote(const Note& note, NoteNotifier& notifier, TWrittenFiles& written) noexcept;
