// The note rules, unit by unit over UTF-16: only units up to U+0020 are blanks and only seven
// ASCII units are replaced, so Korean text (and every surrogate) passes untouched.
#include "note/uNote.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Whether the four units at p are all ASCII (the mask is the same in either byte order).
bool FourAscii(const char16_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return (v & 0xFF80FF80FF80FF80u) == 0;
}

// The pieces of a text cut at every CR LF pair, in order, without ever copying the text.
class TLineCursor {
 public:
  explicit TLineCursor(std::u16string_view text) : text_(text) {}

  // The next piece, or false after the last one.
  bool Next(std::u16string_view& piece) {
    if (done_) return false;
    std::size_t from = pos_;
    std::size_t at = FindCrLf(from);
    if (at == std::u16string_view::npos) {
      piece = text_.substr(from);
      done_ = true;
    } else {
      piece = text_.substr(from, at - from);
      pos_ = at + 2;
    }
    return true;
  }

 private:
  // A plain loop: texts reach 64 MiB, so no view or string is made per candidate CR.
  std::size_t FindCrLf(std::size_t from) const {
    if (text_.size() < 2) return std::u16string_view::npos;
    const char16_t* p = text_.data();
    const std::size_t last = text_.size() - 1;  // a CR in the last unit has no LF after it
    for (std::size_t i = from; i < last; ++i)
      if (p[i] == u'\r' && p[i + 1] == u'\n') return i;
    return std::u16string_view::npos;
  }

  std::u16string_view text_;
  std::size_t pos_ = 0;
  bool done_ = false;
};

// The part of a line a title may come from; a pair the cut would split stays out whole.
std::u16string_view HeadOfLine(std::u16string_view line) {
  if (line.size() <= kMaxLineChars) return line;
  std::size_t n = kMaxLineChars;
  if (IsHighSurrogate(line[n - 1]) && IsLowSurrogate(line[n])) --n;
  return line.substr(0, n);
}

std::u16string_view TrimView(std::u16string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// Only ASCII letters fold: Windows does not read a full-width "ＣＯＮ" as a device.
bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - 32);
    if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// Windows reads a file name as a device when the part before its first dot, less trailing
// spaces, is one of these (whatever follows, so "nul.txt" is the null device too).
bool IsDeviceName(std::u16string_view name) {
  std::size_t dot = name.find(u'.');
  std::u16string_view base = name.substr(0, dot);
  while (!base.empty() && (base.back() == u' ' || base.back() == u'.')) base.remove_suffix(1);
  while (!base.empty() && base.front() == u' ') base.remove_prefix(1);
  static constexpr std::u16string_view kDevices[] = {u"CON", u"PRN", u"AUX", u"NUL"};
  for (std::u16string_view d : kDevices)
    if (EqualsNoCase(base, d)) return true;
  if (base.size() == 4 && base[3] >= u'1' && base[3] <= u'9' &&
      (EqualsNoCase(base.substr(0, 3), u"COM") || EqualsNoCase(base.substr(0, 3), u"LPT")))
    return true;
  return false;
}

}  // namespace

std::u16string TrimBlanks(std::u16string_view s) { return std::u16string(TrimView(s)); }

std::u16string ApplyTitleRule(std::u16string_view title) {
  std::u16string t = TrimBlanks(title);
  for (char16_t& c : t)
    if (IsTitleReplaced(c)) c = u' ';
  return t;
}

std::size_t LineCount(std::u16string_view text) {
  if (text.empty()) return 0;
  TLineCursor cursor(text);
  std::u16string_view piece;
  std::size_t pieces = 0;
  bool lastEmpty = false;
  while (cursor.Next(piece)) {
    ++pieces;
    lastEmpty = piece.empty();
  }
  return lastEmpty ? pieces - 1 : pieces;
}

std::u16string LineAt(std::u16string_view text, std::size_t i) {
  TLineCursor cursor(text);
  std::u16string_view piece;
  for (std::size_t k = 0; cursor.Next(piece); ++k)
    if (k == i) return std::u16string(HeadOfLine(piece));
  return std::u16string();
}

std::optional<std::u16string> TitleFromFirstLine(std::u16string_view text) {
  // One walk over the lines: a trailing empty piece is blank anyway, so it needs no count.
  TLineCursor cursor(text);
  std::u16string_view piece;
  while (cursor.Next(piece)) {
    std::u16string_view t = TrimView(HeadOfLine(piece));
    if (!t.empty()) return ApplyTitleRule(t);
  }
  return std::nullopt;
}

std::u16string NoteFilePath(std::u16string_view folder, std::u16string_view ruledTitle) {
  std::u16string path;
  path.reserve(folder.size() + 1 + ruledTitle.size() + 4);
  path.append(folder).append(1, u'\\').append(ruledTitle).append(u".txt");
  return path;
}

bool IsSafeFileTitle(std::u16string_view ruledTitle) {
  if (ruledTitle.find(u':') != std::u16string_view::npos) return false;
  if (FindUnpairedSurrogate(ruledTitle) != std::u16string_view::npos) return false;
  return !IsDeviceName(ruledTitle);
}

bool IsBlankTitle(std::u16string_view ruledTitle) { return TrimView(ruledTitle).empty(); }

std::size_t FindUnpairedSurrogate(std::u16string_view s) {
  const std::size_t n = s.size();
  // Most texts hold no surrogate at all: a branch-free pass (which the compiler vectorises)
  // says so at a fraction of the cost of the walk that pairs them.
  const std::size_t block = 4096;
  std::size_t from = 0;
  for (; from < n; from += block) {
    const std::size_t end = from + block < n ? from + block : n;
    unsigned any = 0;
    for (std::size_t i = from; i < end; ++i) any |= (s[i] & 0xF800) == 0xD800;
    if (any) break;
  }
  // A pair may straddle the block boundary: start the walk one unit back.
  for (std::size_t i = from > 0 ? from - 1 : 0; i < n; ++i) {
    const char16_t c = s[i];
    if (c < 0xD800 || c > 0xDFFF) continue;
    if (IsHighSurrogate(c) && i + 1 < n && IsLowSurrogate(s[i + 1])) {
      ++i;
      continue;
    }
    return i;
  }
  return std::u16string_view::npos;
}

char32_t CodePointAt(std::u16string_view s, std::size_t i) {
  const char16_t c = s[i];
  if (IsHighSurrogate(c) && i + 1 < s.size() && IsLowSurrogate(s[i + 1]))
    return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (s[i + 1] - 0xDC00);
  return c;
}

bool AppendUtf8(std::u16string_view s, TFileBytes& out) {
  // Two passes, so that a refused text leaves `out` untouched and a long one is allocated
  // once: the first measures (and finds any unpaired surrogate), the second writes. Both
  // step over four ASCII units at a time, which is what most notes are made of.
  const char16_t* p = s.data();
  const std::size_t n = s.size();
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < n;) {
    if (i + 4 <= n && FourAscii(p + i)) {
      bytes += 4;
      i += 4;
      continue;
    }
    const char16_t c = p[i++];
    if (c < 0x80) {
      bytes += 1;
    } else if (c < 0x800) {
      bytes += 2;
    } else if (c < 0xD800 || c > 0xDFFF) {
      bytes += 3;
    } else if (IsHighSurrogate(c) && i < n && IsLowSurrogate(p[i])) {
      bytes += 4;
      ++i;
    } else {
      return false;
    }
  }

  const std::size_t start = out.size();
  out.resize(start + bytes);
  char* w = out.data() + start;
  for (std::size_t i = 0; i < n;) {
    if (i + 4 <= n && FourAscii(p + i)) {
      // Loaded before any store: a store through char* could alias the text and force
      // a reload after each byte.
      const char16_t a = p[i], b = p[i + 1], c = p[i + 2], d = p[i + 3];
      w[0] = static_cast<char>(a);
      w[1] = static_cast<char>(b);
      w[2] = static_cast<char>(c);
      w[3] = static_cast<char>(d);
      w += 4;
      i += 4;
      continue;
    }
    const char32_t cp = CodePointAt(s, i);
    i += cp > 0xFFFF ? 2 : 1;
    if (cp < 0x80) {
      *w++ = static_cast<char>(cp);
      continue;
    }
    if (cp < 0x800) {
      *w++ = static_cast<char>(0xC0 | (cp >> 6));
    } else {
      if (cp < 0x10000) {
        *w++ = static_cast<char>(0xE0 | (cp >> 12));
      } else {
        *w++ = static_cast<char>(0xF0 | (cp >> 18));
        *w++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      }
      *w++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    }
    *w++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return true;
}
