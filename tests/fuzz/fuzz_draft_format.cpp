// The draft reader on any bytes: it never reads outside them, and what it takes for a draft
// is exactly what the writer makes of it again. Each input is tried as it is and once more
// with its last four bytes made the checksum of the rest, so that the fuzzer's time goes to
// the lengths and texts behind the checksum as well.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "note/uDraftFormat.h"

namespace {

void Check(const char* data, std::size_t size) {
  TDraft draft;
  if (DecodeDraft(data, size, draft) != TDraftBytes::Draft) return;
  TFileBytes again;
  if (!EncodeDraft(draft, again) || again.size() != size || std::memcmp(again.data(), data, size) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Check(reinterpret_cast<const char*>(data), size);
  if (size < 4) return 0;
  std::vector<char> fixed(data, data + size);
  std::uint32_t h = 2166136261u;
  for (std::size_t i = 0; i + 4 < size; ++i) h = (h ^ static_cast<unsigned char>(fixed[i])) * 16777619u;
  for (int i = 0; i < 4; ++i) fixed[size - 4 + i] = static_cast<char>(h >> (8 * i));
  Check(fixed.data(), size);
  return 0;
}
