// Properties of the title and first-line rules that must hold for any bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "note/uNote.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string s(reinterpret_cast<const char*>(data), size);

  const std::string trimmed = TrimBlanks(s);
  Check(TrimBlanks(trimmed) == trimmed);
  Check(trimmed.empty() || (!IsBlank(trimmed.front()) && !IsBlank(trimmed.back())));

  const std::string ruled = ApplyTitleRule(s);
  Check(ruled.size() == trimmed.size());
  for (char c : ruled) Check(c != '\\' && c != '/' && !IsTitleReplaced(static_cast<unsigned char>(c)));
  for (std::size_t i = 0; i < ruled.size(); ++i)
    if (static_cast<unsigned char>(trimmed[i]) >= 0x80) Check(ruled[i] == trimmed[i]);

  const std::size_t n = LineCount(s);
  Check((n == 0) == s.empty());
  for (std::size_t i = 0; i < n && i < 64; ++i) {
    const std::string line = LineAt(s, i);
    Check(line.size() <= kMaxLineBytes);
    Check(line.find("\r\n") == std::string::npos);
  }

  const auto title = TitleFromFirstLine(s);
  if (title) {
    Check(!title->empty() && title->size() <= kMaxLineBytes);
    for (char c : *title) Check(c != '\\' && c != '/');
  }
  if (title && IsSafeFileTitle(*title)) {
    const std::string path = NoteFilePath("C:\\d", *title);
    Check(path.rfind('\\') == 4);  // the file stays inside its folder
  }
  return 0;
}
