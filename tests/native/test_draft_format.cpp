// The draft format: whole drafts come back exactly, anything else is refused.
#include <gtest/gtest.h>

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
    EncodeDraft(d, bytes);
    TDraft back;
    ASSERT_TRUE(DecodeDraft(bytes.data(), bytes.size(), back)) << d.text.size();
    EXPECT_TRUE(Same(d, back)) << d.text.size();
  }
}

TEST(DraftFormat, RefusesAnythingButAWholeDraft) {
  TFileBytes good;
  EncodeDraft({u"C:\\f", u"제목", u"본문 \U0001F600", true, 12, 34}, good);
  TDraft out;
  // Every cut, as a write torn at any byte leaves it.
  for (size_t n = 0; n < good.size(); ++n)
    EXPECT_FALSE(DecodeDraft(good.data(), n, out)) << "cut at " << n;
  // Every single-bit change: magic, version, flags, owner, lengths, texts or checksum.
  for (size_t i = 0; i < good.size(); ++i)
    for (int bit = 0; bit < 8; ++bit) {
      TFileBytes bad = good;
      bad[i] = static_cast<char>(bad[i] ^ (1 << bit));
      EXPECT_FALSE(DecodeDraft(bad.data(), bad.size(), out)) << "byte " << i << " bit " << bit;
    }
  TFileBytes grown = good;
  grown.push_back(0);
  EXPECT_FALSE(DecodeDraft(grown.data(), grown.size(), out));
  // A NUL no window can hold, even in a draft whose checksum agrees.
  TFileBytes nul;
  EncodeDraft({u"f", std::u16string(u"a\0b", 3), u"t", false, 1, 1}, nul);
  EXPECT_FALSE(DecodeDraft(nul.data(), nul.size(), out));
  EXPECT_FALSE(DecodeDraft(nullptr, 0, out));
}

}  // namespace
