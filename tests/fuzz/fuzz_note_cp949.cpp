// The UTF-16 rules against the code page 949 byte rules they replaced: on every text that
// code page holds, with no line long enough for the byte rules to cut (so every line of up
// to 2,048 characters), both give the same lines, titles, verdicts and paths.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "note/uNote.h"
#include "tests/fuzz/uByteRules.h"
#include "tests/fuzz/uConvert.h"

namespace {

TConverter decode("UTF-16LE", "CP949");
TConverter encode("CP949", "UTF-16LE");

// How many inputs were compared: random bytes are seldom code page 949, so the log shows it.
struct TTally {
  std::size_t inputs = 0, compared = 0, korean = 0;
  ~TTally() {
    std::fprintf(stderr, "compared %zu of %zu inputs (%zu with Korean text)\n", compared, inputs,
                 korean);
  }
} tally;

void Check(bool ok) {
  if (!ok) std::abort();
}

// A result of the byte rules in UTF-16; every one must still be code page 949 text.
std::u16string Wide(std::string_view b) {
  const auto w = decode(b);
  Check(w.has_value());
  return FromUtf16Le(*w);
}

bool HasLongLine(std::string_view b) {
  std::size_t start = 0;
  for (std::size_t i = 0; i + 1 < b.size(); ++i)
    if (b[i] == '\r' && b[i + 1] == '\n') {
      if (i - start > bytes::kMaxLineBytes) return true;
      start = i + 2;
    }
  return b.size() - start > bytes::kMaxLineBytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ++tally.inputs;
  const std::string_view b(reinterpret_cast<const char*>(data), size);
  const auto le = decode(b);
  if (!le || encode(*le) != std::string(b) || HasLongLine(b)) return 0;
  ++tally.compared;
  const std::u16string w = FromUtf16Le(*le);
  if (std::any_of(w.begin(), w.end(), [](char16_t c) { return c >= 0xAC00 && c <= 0xD7A3; }))
    ++tally.korean;

  Check(Wide(bytes::TrimBlanks(b)) == TrimBlanks(w));
  const std::string ruled = bytes::ApplyTitleRule(b);
  Check(Wide(ruled) == ApplyTitleRule(w));
  Check(bytes::IsBlankTitle(ruled) == IsBlankTitle(ApplyTitleRule(w)));
  Check(bytes::IsSafeFileTitle(ruled) == IsSafeFileTitle(ApplyTitleRule(w)));
  Check(bytes::IsSafeFileTitle(b) == IsSafeFileTitle(w));

  const std::size_t n = bytes::LineCount(b);
  Check(n == LineCount(w));
  for (std::size_t i = 0; i <= n && i < 8; ++i) Check(Wide(bytes::LineAt(b, i)) == LineAt(w, i));

  const auto bt = bytes::TitleFromFirstLine(b);
  const auto wt = TitleFromFirstLine(w);
  Check(bt.has_value() == wt.has_value());
  if (!bt) return 0;
  Check(Wide(*bt) == *wt);
  Check(bytes::IsBlankTitle(*bt) == IsBlankTitle(*wt));
  Check(bytes::IsSafeFileTitle(*bt) == IsSafeFileTitle(*wt));
  Check(Wide(bytes::NoteFilePath("C:\\\xB3\xEB\xC6\xAE", *bt)) ==  // "C:\노트"
        NoteFilePath(u"C:\\노트", *wt));
  return 0;
}
