#include "note/uDraftFormat.h"

#include <utility>

namespace {

const char kMagic[8] = {'Q', 'u', 'i', 'l', 'o', 'D', 'f', 't'};
constexpr std::size_t kHeader = 8 + 4 + 4 + 4 + 8 + 4 + 4 + 4;
constexpr std::uint32_t kKnownFlags = 1;

// FNV-1a: enough to tell a torn or foreign file from a whole one.
std::uint32_t Checksum(const char* p, std::size_t n) {
  std::uint32_t h = 2166136261u;
  for (std::size_t i = 0; i < n; ++i) h = (h ^ static_cast<unsigned char>(p[i])) * 16777619u;
  return h;
}

char* Put(char* p, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) *p++ = static_cast<char>((v >> (8 * i)) & 0xFF);
  return p;
}

std::uint64_t Get(const char* p, int bytes) {
  std::uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
  return v;
}

bool GetText(const char*& p, std::size_t units, std::u16string& s) {
  s.resize(units);
  for (std::size_t i = 0; i < units; ++i, p += 2) {
    s[i] = static_cast<char16_t>(static_cast<unsigned char>(p[0]) |
                                 (static_cast<unsigned char>(p[1]) << 8));
    if (s[i] == 0) return false;
  }
  return true;
}

}  // namespace

std::uint64_t DraftFileSize(std::uint64_t folder, std::uint64_t title, std::uint64_t text) {
  return kHeader + 2 * (folder + title + text) + 4;
}

bool EncodeDraft(const TDraft& d, TFileBytes& out) {
  const std::u16string* texts[3] = {&d.folder, &d.title, &d.text};
  const std::uint64_t size = DraftFileSize(d.folder.size(), d.title.size(), d.text.size());
  if (size > kMaxDraftBytes) {
    out.clear();
    return false;
  }
  out.assign(static_cast<std::size_t>(size), 0);
  char* p = out.data();
  for (char c : kMagic) *p++ = c;
  p = Put(p, kDraftVersion, 4);
  p = Put(p, d.utf8 ? 1 : 0, 4);
  p = Put(p, d.pid, 4);
  p = Put(p, d.started, 8);
  for (const std::u16string* s : texts) p = Put(p, s->size(), 4);
  for (const std::u16string* s : texts)
    for (char16_t c : *s) p = Put(p, c, 2);
  Put(p, Checksum(out.data(), out.size() - 4), 4);
  return true;
}

TDraftBytes DraftKind(const char* head, std::size_t n, std::uint64_t fileSize) {
  if (!head || n < kDraftHeaderBytes) return TDraftBytes::Damaged;
  for (int i = 0; i < 8; ++i)
    if (head[i] != kMagic[i]) return TDraftBytes::Damaged;
  // Another version's draft, or one grown past what this code reads: somebody else's to open.
  if (Get(head + 8, 4) != kDraftVersion || fileSize > kMaxDraftBytes) return TDraftBytes::Unknown;
  return TDraftBytes::Draft;
}

TDraftBytes DecodeDraft(const char* data, std::size_t size, TDraft& d) {
  constexpr TDraftBytes kDamaged = TDraftBytes::Damaged;
  const TDraftBytes kind = DraftKind(data, size, size);
  if (kind != TDraftBytes::Draft) return kind;
  if (size < kHeader + 4) return kDamaged;
  const std::uint64_t flags = Get(data + 12, 4);
  if (flags & ~std::uint64_t{kKnownFlags}) return kDamaged;
  // Lengths of at most 2^32 units each: their sum cannot overflow 64 bits.
  const std::uint64_t units[3] = {Get(data + 28, 4), Get(data + 32, 4), Get(data + 36, 4)};
  if (DraftFileSize(units[0], units[1], units[2]) != size) return kDamaged;
  if (Get(data + size - 4, 4) != Checksum(data, size - 4)) return kDamaged;
  TDraft r;
  r.utf8 = flags & 1;
  r.pid = static_cast<std::uint32_t>(Get(data + 16, 4));
  r.started = Get(data + 20, 8);
  const char* p = data + kHeader;
  if (!GetText(p, units[0], r.folder) || !GetText(p, units[1], r.title) ||
      !GetText(p, units[2], r.text))
    return kDamaged;
  d = std::move(r);
  return TDraftBytes::Draft;
}
