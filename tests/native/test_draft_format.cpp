// The draft format: whole drafts come back exactly, anything else is refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "note/uDraftFormat.h"

namespace {

bool Same(const TDraft& a, const TDraft& b) {
  return a.folder == b.folder && a.title == b.title && a.text == b.text && a.utf8 == b.utf8 &&
         a.pid == b.pid && a.started == b.started;
}

TEST(DraftFormat, RoundTrip) {
  const std::vector<TDraft> cases = {
      {u"", u"", u"", false, 0, 0},
      {u"C:\\메모 폴더", u"회의록", u"첫 줄\r\n둘째 줄", true, 4242, 0x01DC2F0012345678ull},
      {u"D:\\\U0001F4DD", u"\U0001F600 title", u"x\U00010348y\U0010FFFF", false, 0xFFFFFFFFu,
       ~0ull},
      {u"\\\\server\\share", u"t", std::u16string(32u << 20, u'\uD7A3'), false, 7, 9},  // 64 MiB
  };
  for (const TDraft& d : cases) {
    TFileBytes bytes;
    ASSERT_TRUE(EncodeDraft(d, bytes));
    TDraft back;
    ASSERT_EQ(DecodeDraft(bytes.data(), bytes.size(), back), TDraftBytes::Draft) << d.text.size();
    EXPECT_TRUE(Same(d, back)) << d.text.size();
  }
}

TEST(DraftFormat, RefusesAnythingButAWholeDraft) {
  TFileBytes good;
  EncodeDraft({u"C:\\f", u"제목", u"본문 \U0001F600", true, 12, 34}, good);
  TDraft out;
  // Every cut, as a write torn at any byte leaves it.
  for (size_t n = 0; n < good.size(); ++n)
    EXPECT_NE(DecodeDraft(good.data(), n, out), TDraftBytes::Draft) << "cut at " << n;
  // Every single-bit change: magic, version, flags, owner, lengths, texts or checksum.
  for (size_t i = 0; i < good.size(); ++i)
    for (int bit = 0; bit < 8; ++bit) {
      TFileBytes bad = good;
      bad[i] = static_cast<char>(bad[i] ^ (1 << bit));
      EXPECT_NE(DecodeDraft(bad.data(), bad.size(), out), TDraftBytes::Draft)
          << "byte " << i << " bit " << bit;
    }
  TFileBytes grown = good;
  grown.push_back(0);
  EXPECT_EQ(DecodeDraft(grown.data(), grown.size(), out), TDraftBytes::Damaged);
  // A NUL no window can hold, even in a draft whose checksum agrees.
  TFileBytes nul;
  EncodeDraft({u"f", std::u16string(u"a\0b", 3), u"t", false, 1, 1}, nul);
  EXPECT_EQ(DecodeDraft(nul.data(), nul.size(), out), TDraftBytes::Damaged);
  EXPECT_EQ(DecodeDraft(nullptr, 0, out), TDraftBytes::Damaged);
}

// Which files are somebody else's to open (another version's, or over the one limit the
// writer keeps too) and so are left as they are, and which are no draft of any version.
TEST(DraftFormat, TellsUnknownFromDamaged) {
  TFileBytes good;
  ASSERT_TRUE(EncodeDraft({u"C:\\f", u"t", u"x", false, 1, 2}, good));
  auto withVersion = [&](std::uint32_t v) {
    TFileBytes b = good;
    for (int i = 0; i < 4; ++i) b[8 + i] = static_cast<char>(v >> (8 * i));
    return b;
  };
  struct Case {
    const char* what;
    TFileBytes bytes;
    std::uint64_t fileSize;  // as the file system says; the bytes are only its head
    TDraftBytes kind;
  };
  const std::vector<Case> cases = {
      {"this version", good, good.size(), TDraftBytes::Draft},
      {"at the limit", good, kMaxDraftBytes, TDraftBytes::Draft},
      {"over the limit", good, kMaxDraftBytes + 1, TDraftBytes::Unknown},
      {"a later version", withVersion(2), good.size(), TDraftBytes::Unknown},
      {"version 0", withVersion(0), good.size(), TDraftBytes::Unknown},
      {"another magic", TFileBytes(good.begin() + 1, good.end()), good.size(), TDraftBytes::Damaged},
      {"shorter than a head", TFileBytes(good.begin(), good.begin() + 11), 11, TDraftBytes::Damaged},
  };
  TDraft out;
  for (const Case& c : cases) {
    EXPECT_EQ(DraftKind(c.bytes.data(), std::min<size_t>(c.bytes.size(), kDraftHeaderBytes), c.fileSize),
              c.kind) << c.what;
    if (c.fileSize == c.bytes.size()) {
      EXPECT_EQ(DecodeDraft(c.bytes.data(), c.bytes.size(), out), c.kind) << c.what;
    }
  }
  // The writer keeps the same limit: the sizes it would write are the reader's.
  EXPECT_EQ(DraftFileSize(0, 0, 0), 44u);
  EXPECT_EQ(DraftFileSize(4, 1, 1), good.size());
  EXPECT_GT(DraftFileSize(0, 0, (kMaxDraftBytes - 44) / 2 + 1), kMaxDraftBytes);
}

}  // namespace
