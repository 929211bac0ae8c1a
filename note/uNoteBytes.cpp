#include "note/uNoteBytes.h"

#include <algorithm>
#include <string>
#include <vector>

#include "common/uWide.h"
#include "note/uNote.h"

namespace {

constexpr bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// Converted a piece at a time, so that a large text never needs a buffer twice its size and
// the search for the first missing character looks at one piece only.
constexpr size_t kPieceUnits = 1 << 18;

// Below this length the table of exact characters costs more than the strict conversion it
// spares (the menu's help text, a short note).
constexpr size_t kTableWorthUnits = 1 << 16;

// The length of the head of s of at most `units` that splits no surrogate pair.
size_t WholeHead(std::u16string_view s, size_t units) {
  if (units >= s.size()) return s.size();
  if (units == 0 || !IsHighSurrogate(s[units - 1])) return units;
  return units > 1 ? units - 1 : 2;  // a pair at the start goes whole
}

// One conversion without best fit: `missing` says whether any character fell back to the
// code page's default character. -1 when the system refused.
int Convert(UINT codePage, const char16_t* text, int units, char* out, int room, BOOL& missing) {
  missing = FALSE;
  return ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, W(text), units, out, room,
                               nullptr, &missing);
}

// Whether the code page has an exact place for every character of s.
bool AllStorable(UINT codePage, std::u16string_view s) {
  BOOL missing = FALSE;
  const int n = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, W(s.data()),
                                      static_cast<int>(s.size()), nullptr, 0, nullptr, &missing);
  return n > 0 && !missing;
}

// The first code point of the piece that the code page has no exact place for, found by
// halving: the whole search costs about one more conversion of the piece.
char32_t FirstMissing(UINT codePage, std::u16string_view piece) {
  size_t from = 0;
  std::u16string_view rest = piece;
  while (rest.size() > 2 || (rest.size() == 2 && !IsHighSurrogate(rest[0]))) {
    const size_t half = WholeHead(rest, rest.size() / 2);
    if (half == 0) break;
    if (AllStorable(codePage, rest.substr(0, half))) {
      from += half;
      rest.remove_prefix(half);
    } else {
      rest = rest.substr(0, half);
    }
  }
  return from < piece.size() ? CodePointAt(piece, from) : 0xFFFD;
}

// For each UTF-16 unit, whether it is a character the code page holds exactly: its plain
// conversion reads back as itself. Surrogates never are here (only UTF-8 holds the
// characters they make, and UTF-8 is encoded without the system).
std::vector<unsigned char> ExactCharacters(UINT codePage) {
  std::vector<unsigned char> exact(0x10000, 0);
  std::u16string all;
  all.reserve(0x10000 - 0x800);
  for (char32_t c = 0; c < 0x10000; ++c)
    if (c < 0xD800 || c > 0xDFFF) all += static_cast<char16_t>(c);
  const int units = static_cast<int>(all.size());
  std::vector<char> bytes(2 * all.size());
  const int n = ::WideCharToMultiByte(codePage, 0, W(all.data()), units, bytes.data(),
                                      static_cast<int>(bytes.size()), nullptr, nullptr);
  std::u16string back(all.size(), u'\0');
  // Every character gives whole characters' bytes, each read back as one character: were it
  // otherwise, positions would not line up, and no character counts as exact.
  if (n > 0 && ::MultiByteToWideChar(codePage, 0, bytes.data(), n, W(&back[0]), units) == units)
    for (size_t i = 0; i < all.size(); ++i) exact[all[i]] = back[i] == all[i];
  return exact;
}

}  // namespace

TEncodeResult EncodeInCodePage(UINT codePage, std::u16string_view text, TFileBytes& bytes,
                               char32_t& first) {
  bytes.clear();
  if (codePage == CP_UTF8)
    return AppendUtf8(text, bytes) ? TEncodeResult::Encoded : TEncodeResult::Broken;
  // Korean text takes about one and a half bytes a unit: room for that, grown when needed.
  bytes.reserve(text.size() + text.size() / 2);
  // The characters that have an exact place in the code page: each converted plainly and
  // read back. Asking the system for WC_NO_BEST_FIT_CHARS (or for the default-character
  // flag) takes some systems' slow path, several times the plain conversion; a piece whose
  // characters are all in this table is exact without it, since these code pages convert
  // one character at a time. Only a piece with another character goes to the strict call.
  const std::vector<unsigned char> exact =
      text.size() > kTableWorthUnits ? ExactCharacters(codePage) : std::vector<unsigned char>();
  std::vector<char> out(2 * std::min(kPieceUnits, text.size()));
  for (size_t at = 0; at < text.size();) {
    size_t units = std::min(kPieceUnits, text.size() - at);
    // Never half of a pair in one piece and half in the next.
    if (at + units < text.size() && IsHighSurrogate(text[at + units - 1])) --units;
    const std::u16string_view piece = text.substr(at, units);
    // A code page other than UTF-8 takes at most two bytes for a UTF-16 unit.
    const int room = static_cast<int>(out.size());
    int n = 0;
    unsigned char allExact = 0;
    if (!exact.empty()) {
      n = ::WideCharToMultiByte(codePage, 0, W(piece.data()), static_cast<int>(units),
                                out.data(), room, nullptr, nullptr);
      allExact = n > 0;
      for (const char16_t c : piece) allExact &= exact[c];
    }
    if (!allExact) {
      // The default character would say nothing about an unpaired surrogate: tell it apart
      // first.
      if (FindUnpairedSurrogate(piece) != std::u16string_view::npos) {
        bytes.clear();
        return TEncodeResult::Broken;
      }
      BOOL missing = FALSE;
      n = Convert(codePage, piece.data(), static_cast<int>(units), out.data(), room, missing);
      if (n <= 0 || missing) {
        first = FirstMissing(codePage, piece);
        bytes.clear();
        return TEncodeResult::Unstorable;
      }
    }
    bytes.insert(bytes.end(), out.data(), out.data() + n);
    at += units;
  }
  return TEncodeResult::Encoded;
}

bool EncodeUtf8WithBom(std::u16string_view text, TFileBytes& bytes) {
  static const char kBom[] = "\xEF\xBB\xBF";
  bytes.assign(kBom, kBom + 3);
  if (AppendUtf8(text, bytes)) return true;
  bytes.clear();
  return false;
}
