// The rules of a note: how a title becomes a file name, how the first line becomes a title,
// and what a save checks. Byte strings in the ANSI code page; no Windows in here.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// What the note window hands over for one operation, taken from its controls at that moment.
struct Note {
  std::string folder;  // as the shell gave it; a drive root ends in a backslash
  std::string text;    // the text box's whole content, CR LF line breaks
  std::string title;   // the title box as typed
};

enum NoteNotice { NoticeNoText, NoticeNoTitle, NoticeSaveFailed };

// The window's side of a save: shows one notice and returns when it was dismissed.
class NoteNotifier {
 public:
  virtual void ShowNotice(NoteNotice notice) = 0;

 protected:
  ~NoteNotifier() = default;
};

// The fixed text of a notice, as code page 949 bytes.
const char* NoticeText(NoteNotice notice);

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

// Checks the note, writes its text into the folder as <ruled title>.txt and reports each
// failure through the notifier. True only when the whole text was written. Never throws.
bool SaveNote(const Note& note, NoteNotifier& notifier) noexcept;
