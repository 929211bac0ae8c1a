// The drafts helpers of uTestSupport.h: apart, since they need Quillo's own code, which the
// smoke program (linked without it) does not have.
#include "note/uDraft.h"
#include "support/uTestSupport.h"

#include "common/uHandles.h"

#include <cstdio>

namespace {

// Read as the drafts code reads them: shared for deleting, so that the writer's move over the
// file never fails because a test is looking.
bool ReadShared(const std::string& path, TFileBytes& bytes) {
  TFileHandle f(::CreateFileW(Wide(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr));
  if (!f) return false;
  bytes.clear();
  char buf[65536];
  DWORD got = 0;
  while (::ReadFile(f.get(), buf, sizeof buf, &got, nullptr) && got > 0)
    bytes.insert(bytes.end(), buf, buf + got);
  return true;
}

}  // namespace

std::vector<TDraft> ReadDrafts() {
  const std::string folder = Utf8(DraftsFolder(false)), suffix = ".qdraft";
  std::vector<TDraft> drafts;
  const std::string names = ListFolder(folder);
  TFileBytes bytes;
  for (size_t at = 0; at < names.size();) {
    size_t end = names.find('|', at);
    if (end == std::string::npos) end = names.size();
    const std::string name = names.substr(at, end - at);
    TDraft d;
    // Scratch files are never opened: the writer is about to move them.
    if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 &&
        ReadShared(folder + "\\" + name, bytes) && DecodeDraft(bytes.data(), bytes.size(), d) == TDraftBytes::Draft)
      drafts.push_back(d);
    at = end + 1;
  }
  return drafts;
}

namespace {

// This process's own owner file (note/uDraft.h), held open from its first draft on: no test
// can remove it, and none is about it.
std::string OwnOwnerFile() {
  FILETIME created{}, e, k, u;
  ::GetProcessTimes(::GetCurrentProcess(), &created, &e, &k, &u);
  char name[48];
  snprintf(name, sizeof name, "%lx-%08lx%08lx.qowner", ::GetCurrentProcessId(),
           created.dwHighDateTime, created.dwLowDateTime);
  return name;
}

std::vector<std::string> DraftNames() {
  std::vector<std::string> names;
  const std::string all = ListFolder(Utf8(DraftsFolder(false))), own = OwnOwnerFile();
  for (size_t at = 0; at < all.size();) {
    size_t end = all.find('|', at);
    if (end == std::string::npos) end = all.size();
    if (all.compare(at, end - at, own) != 0) names.push_back(all.substr(at, end - at));
    at = end + 1;
  }
  return names;
}

}  // namespace

void CleanDrafts() {
  const std::string folder = Utf8(DraftsFolder(false));
  for (const std::string& name : DraftNames()) ::DeleteFileW(Wide(folder + "\\" + name).c_str());
}

std::string DraftsListing() {
  std::string all;
  for (const std::string& n : DraftNames()) all += (all.empty() ? "" : "|") + n;
  return all;
}
