// The rules of a note: how a title becomes a file name, how the first line becomes a title,
// and what a save checks. UTF-16 text as the windows hold it, in char16_t so that the rules
// build and run on any machine (wchar_t is 32 bits outside Windows); no Windows in here.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the note window hands over for one operation, taken from its controls at that moment.
struct Note {
  std::u16string folder;  // as the shell gave it; a drive root ends in a backslash
  std::u16string text;    // the text box's whole content, CR LF line breaks
  std::u16string title;   // the title box as typed
};

enum NoteNotice {
  NoticeNoText,
  NoticeNoTitle,
  NoticeSaveFailed,
  NoticeBadText,  // the text holds a broken character (an unpaired surrogate) no file can hold
  NoticeDraftTooBig,     // the note is too big to be kept as a draft
  NoticeDraftNoMemory,   // memory ran short while the note was being kept as a draft
};

// The window's side of a save: shows one notice and returns when it was dismissed, and asks
// the user before a file the window did not write is replaced, and before a text the system's
// code page cannot hold is saved as UTF-8.
class NoteNotifier {
 public:
  virtual void ShowNotice(NoteNotice notice) = 0;
  // fileName is the ruled title with ".txt"; true when the user agrees to replace it.
  virtual bool ConfirmReplace(const std::u16string& fileName) = 0;
  // `first` is the first character that code page `codePage` cannot store; true when the
  // user agrees to save the note as UTF-8 instead.
  virtual bool ConfirmUtf8(char32_t first, unsigned codePage) = 0;

 protected:
  ~NoteNotifier() = default;
};

// The fixed text of a notice.
const char16_t* NoticeText(NoteNotice notice);
// The question asked before replacing a file of that name.
std::u16string ReplaceQuestion(std::u16string_view fileName);
// The question Escape asks when the note holds text typed since its last save.
const char16_t* CloseUnsavedQuestion();
// The question asked before a note that code page `codePage` cannot hold is saved as UTF-8;
// it shows the first such character and its code point.
std::u16string Utf8Question(char32_t first, unsigned codePage);

// Only the first UTF-16 units of a line are ever looked at for a title (never half of a
// surrogate pair: a pair the cut would split is left out whole).
constexpr std::size_t kMaxLineChars = 4096;

constexpr bool IsBlank(char16_t c) { return c <= 0x20; }
constexpr bool IsTitleReplaced(char16_t c) {
  return c == u'"' || c == u'\'' || c == u'/' || c == u'<' || c == u'>' || c == u'\\' ||
         c == u'|';
}

std::u16string TrimBlanks(std::u16string_view s);
std::u16string ApplyTitleRule(std::u16string_view title);
std::size_t LineCount(std::u16string_view text);
std::u16string LineAt(std::u16string_view text, std::size_t i);
std::optional<std::u16string> TitleFromFirstLine(std::u16string_view text);
std::u16string NoteFilePath(std::u16string_view folder, std::u16string_view ruledTitle);

// Whether a ruled title may name the note's file. Refused are names that Windows reads as a
// device (NUL, CON, COM1, ...: writing there "succeeds" and the note is gone), names with
// a colon (NTFS would put the text into a hidden stream of another file) and names holding
// an unpaired surrogate (no file system spells them the same way twice).
bool IsSafeFileTitle(std::u16string_view ruledTitle);

// Whether a ruled title names a file at all: one made only of blanks (a title such as "/"
// becomes one) is no title.
bool IsBlankTitle(std::u16string_view ruledTitle);

// The position of the first surrogate without its partner, or npos when every one is paired.
std::size_t FindUnpairedSurrogate(std::u16string_view s);
// The code point that starts at s[i], i < s.size() (a pair counts as one; an unpaired
// surrogate as itself).
char32_t CodePointAt(std::u16string_view s, std::size_t i);
// The bytes of a file. A vector rather than a std::string: the library holds no narrow
// string, and so carries none of the C++ runtime's prebuilt string code (a third of its size).
using TFileBytes = std::vector<char>;

// Appends s as UTF-8 to out; false (out as it was) when s holds an unpaired surrogate.
bool AppendUtf8(std::u16string_view s, TFileBytes& out);

// How a note window's files are written: in the system's code page until the user once
// agrees to UTF-8 for a text that code page cannot hold; from then on as UTF-8.
enum class TNoteEncoding { SystemCodePage, Utf8 };

// The files one note window has written, and how. Saving to one of them again replaces it
// without a question: the user chose that name for this very note.
class TWrittenFiles {
 public:
  bool Contains(const std::u16string& path) const;
  void Add(const std::u16string& path);
  TNoteEncoding Encoding() const noexcept { return encoding_; }
  void SetEncoding(TNoteEncoding e) noexcept { encoding_ = e; }

 private:
  std::vector<std::u16string> paths_;
  TNoteEncoding encoding_ = TNoteEncoding::SystemCodePage;
};

// Checks the note and writes its text into the folder as <ruled title>.txt, in the system's
// code page (asking first, when the text holds a character that code page cannot store,
// whether to write UTF-8 with a byte-order mark instead). A file already there that this
// window did not write is replaced only when the notifier's question is answered yes, and
// then through a complete copy beside it, so that the old file is never left emptied or
// half-written. Each failure is reported through the notifier; a question the user answered
// no is not a failure and shows nothing. True only when the whole text was written. Never
// throws.
bool SaveNote(const Note& note, NoteNotifier& notifier, TWrittenFiles& written) noexcept;
