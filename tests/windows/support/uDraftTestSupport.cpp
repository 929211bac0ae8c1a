// The drafts helpers of uTestSupport.h: apart, since they need Quillo's own code, which the
// smoke program (linked without it) does not have.
#include "note/uDraft.h"
#include "support/uTestSupport.h"

std::vector<TDraft> ReadDrafts() {
  const std::string folder = Utf8(DraftsFolder(false));
  std::vector<TDraft> drafts;
  std::string names = ListFolder(folder), bytes;
  for (size_t at = 0; at < names.size();) {
    size_t end = names.find('|', at);
    if (end == std::string::npos) end = names.size();
    TDraft d;
    if (ReadFileBytes(folder + "\\" + names.substr(at, end - at), bytes) &&
        DecodeDraft(bytes.data(), bytes.size(), d))
      drafts.push_back(d);
    at = end + 1;
  }
  return drafts;
}

void CleanDrafts() {
  const std::string folder = Utf8(DraftsFolder(false));
  // Removed one by one until none is left, or one will not go.
  for (std::string names; !(names = DraftsListing()).empty();)
    if (!::DeleteFileW(Wide(folder + "\\" + names.substr(0, names.find('|'))).c_str())) break;
}

std::string DraftsListing() { return ListFolder(Utf8(DraftsFolder(false))); }
