// Properties of the note rules that must hold for any UTF-16 text (the input read as UTF-16LE
// units, unpaired surrogates and all).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "note/uNote.h"
#include "tests/fuzz/uConvert.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
constexpr auto npos = std::u16string::npos;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size & ~size_t{1});
  const std::u16string s = FromUtf16Le(raw);
  const bool whole = FindUnpairedSurrogate(s) == npos;

  const std::u16string trimmed = TrimBlanks(s);
  Check(TrimBlanks(trimmed) == trimmed);
  Check(trimmed.empty() || (!IsBlank(trimmed.front()) && !IsBlank(trimmed.back())));

  const std::u16string ruled = ApplyTitleRule(s);
  Check(ruled.size() == trimmed.size());
  for (std::size_t i = 0; i < ruled.size(); ++i) {
    Check(!IsTitleReplaced(ruled[i]));
    if (trimmed[i] >= 0x80) Check(ruled[i] == trimmed[i]);
  }

  const std::size_t n = LineCount(s);
  Check((n == 0) == s.empty());
  for (std::size_t i = 0; i < n && i < 64; ++i) {
    const std::u16string line = LineAt(s, i);
    Check(line.size() <= kMaxLineChars);
    Check(line.find(u"\r\n") == npos);
    Check(!whole || FindUnpairedSurrogate(line) == npos);  // the cut never splits a pair
  }

  const auto title = TitleFromFirstLine(s);
  if (title) {
    Check(!title->empty() && title->size() <= kMaxLineChars);
    Check(title->find_first_of(u"\\/") == npos);
    Check(!whole || FindUnpairedSurrogate(*title) == npos);
  }
  // A short input again right behind 4094 blanks, where the cut at 4096 meets it: the line
  // keeps its blanks and as much of the input as fits, less a pair the cut would split.
  if (s.size() <= 8) {
    static const std::u16string blanks(kMaxLineChars - 2, u' ');
    const std::size_t end = std::min(s.find(u"\r\n"), s.size());
    std::size_t kept = std::min<std::size_t>(end, 2);
    if (end > 2 && s[1] >= 0xD800 && s[1] < 0xDC00 && s[2] >= 0xDC00 && s[2] < 0xE000) kept = 1;
    const std::u16string line = LineAt(blanks + s, 0), expected = blanks + s.substr(0, kept);
    Check(line.size() == expected.size() &&  // memcmp: a char16_t loop would be traced
          std::memcmp(line.data(), expected.data(), line.size() * 2) == 0);
  }

  if (title && IsSafeFileTitle(*title)) {
    Check(FindUnpairedSurrogate(*title) == npos);
    const std::u16string path = NoteFilePath(u"C:\\d", *title);
    Check(path.rfind(u'\\') == 4);  // the file stays inside its folder
  }

  // UTF-8 exactly as iconv writes it, refused exactly where iconv refuses.
  static TConverter toUtf8("UTF-8", "UTF-16LE");
  TFileBytes bytes = {'x'};
  const bool ok = AppendUtf8(s, bytes);
  const std::string utf8(bytes.begin(), bytes.end());
  const auto expected = toUtf8(raw);
  Check(ok == whole && ok == expected.has_value());
  Check(ok ? utf8 == "x" + *expected : utf8 == "x");
  return 0;
}
