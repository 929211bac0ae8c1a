// The byte rules unchanged but for their namespace: bytes 128 to 255 (double-byte
// characters) are never blanks and never replaced.
#include "tests/fuzz/uByteRules.h"

#include <cstring>

namespace bytes {
namespace {

constexpr bool IsBlank(unsigned char c) { return c <= 0x20; }
constexpr bool IsTitleReplaced(unsigned char c) {
  return c == '"' || c == '\'' || c == '/' || c == '<' || c == '>' || c == '\\' || c == '|';
}

class TLineCursor {
 public:
  explicit TLineCursor(std::string_view text) : text_(text) {}

  bool Next(std::string_view& piece) {
    if (done_) return false;
    std::size_t from = pos_;
    std::size_t at = FindCrLf(from);
    if (at == std::string_view::npos) {
      piece = text_.substr(from);
      done_ = true;
    } else {
      piece = text_.substr(from, at - from);
      pos_ = at + 2;
    }
    return true;
  }

 private:
  std::size_t FindCrLf(std::size_t from) const {
    const char* base = text_.data();
    std::size_t left = text_.size() - from;
    const char* p = base + from;
    while (left >= 2) {
      const void* cr = std::memchr(p, '\r', left - 1);
      if (!cr) return std::string_view::npos;
      const char* c = static_cast<const char*>(cr);
      if (c[1] == '\n') return static_cast<std::size_t>(c - base);
      left -= static_cast<std::size_t>(c - p) + 1;
      p = c + 1;
    }
    return std::string_view::npos;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  bool done_ = false;
};

std::string_view TrimView(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && IsBlank(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

bool IsDeviceName(std::string_view name) {
  std::size_t dot = name.find('.');
  std::string_view base = name.substr(0, dot);
  while (!base.empty() && (base.back() == ' ' || base.back() == '.')) base.remove_suffix(1);
  while (!base.empty() && base.front() == ' ') base.remove_prefix(1);
  static constexpr std::string_view kDevices[] = {"CON", "PRN", "AUX", "NUL"};
  for (std::string_view d : kDevices)
    if (EqualsNoCase(base, d)) return true;
  if (base.size() == 4 && base[3] >= '1' && base[3] <= '9' &&
      (EqualsNoCase(base.substr(0, 3), "COM") || EqualsNoCase(base.substr(0, 3), "LPT")))
    return true;
  return false;
}

}  // namespace

std::string TrimBlanks(std::string_view s) { return std::string(TrimView(s)); }

std::string ApplyTitleRule(std::string_view title) {
  std::string t = TrimBlanks(title);
  for (char& c : t)
    if (IsTitleReplaced(static_cast<unsigned char>(c))) c = ' ';
  return t;
}

std::size_t LineCount(std::string_view text) {
  if (text.empty()) return 0;
  TLineCursor cursor(text);
  std::string_view piece;
  std::size_t pieces = 0;
  bool lastEmpty = false;
  while (cursor.Next(piece)) {
    ++pieces;
    lastEmpty = piece.empty();
  }
  return lastEmpty ? pieces - 1 : pieces;
}

std::string LineAt(std::string_view text, std::size_t i) {
  TLineCursor cursor(text);
  std::string_view piece;
  for (std::size_t k = 0; cursor.Next(piece); ++k)
    if (k == i) return std::string(piece.substr(0, kMaxLineBytes));
  return std::string();
}

std::optional<std::string> TitleFromFirstLine(std::string_view text) {
  TLineCursor cursor(text);
  std::string_view piece;
  while (cursor.Next(piece)) {
    std::string_view t = TrimView(piece.substr(0, kMaxLineBytes));
    if (!t.empty()) return ApplyTitleRule(t);
  }
  return std::nullopt;
}

std::string NoteFilePath(std::string_view folder, std::string_view ruledTitle) {
  std::string path;
  path.reserve(folder.size() + 1 + ruledTitle.size() + 4);
  path.append(folder).append(1, '\\').append(ruledTitle).append(".txt");
  return path;
}

bool IsSafeFileTitle(std::string_view ruledTitle) {
  if (ruledTitle.find(':') != std::string_view::npos) return false;
  return !IsDeviceName(ruledTitle);
}

bool IsBlankTitle(std::string_view ruledTitle) { return TrimView(ruledTitle).empty(); }

}  // namespace bytes
