// Looking for the drafts of gone owners (RecoverDrafts, note/uDraft.h).
#include <windows.h>

#include <new>
#include <vector>

#include "common/uHandles.h"
#include "common/uWide.h"
#include "note/uDraft.h"
#include "note/uDraftOwner.h"

namespace {

const char16_t kClaimMark[] = u".claimed-";

// Renames a file that is no draft (named `name`, now at `path`), so that it is looked at no
// more and nothing is lost.
void SetAside(const std::u16string& path, const std::u16string& name) {
  for (int n = 0; n < 16; ++n) {
    wchar_t suffix[16];
    ::wsprintfW(suffix, n ? L".%d.bad" : L".bad", n);
    if (::MoveFileExW(W(path), W(name + U(suffix)), 0)) return;
  }
}

enum class TRead { Draft, Unknown, Damaged, Unreadable };

TRead ReadDraft(const std::u16string& path, TDraft* draft) {
  // Shared for deleting too: the owner may move a newer draft over it meanwhile.
  TFileHandle file(::CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return TRead::Unreadable;
  LARGE_INTEGER size{};
  if (::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileSizeEx(file.get(), &size))
    return TRead::Damaged;
  char head[kDraftHeaderBytes];
  DWORD got = 0;
  if (!::ReadFile(file.get(), head, sizeof head, &got, nullptr)) return TRead::Unreadable;
  switch (DraftKind(head, got, static_cast<std::uint64_t>(size.QuadPart))) {
    case TDraftBytes::Unknown: return TRead::Unknown;
    case TDraftBytes::Damaged: return TRead::Damaged;
    case TDraftBytes::Draft: break;
  }
  if (!draft) return TRead::Draft;  // only its kind was asked
  TFileBytes bytes;
  try {
    bytes.resize(static_cast<size_t>(size.QuadPart));
  } catch (const std::bad_alloc&) {
    return TRead::Unreadable;  // a host short of memory (32-bit): another may read it
  }
  LARGE_INTEGER zero{};
  if (!::SetFilePointerEx(file.get(), zero, nullptr, FILE_BEGIN) ||
      !::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
      got != bytes.size())
    return TRead::Unreadable;
  switch (DecodeDraft(bytes.data(), bytes.size(), *draft)) {
    case TDraftBytes::Draft: return TRead::Draft;
    case TDraftBytes::Unknown: return TRead::Unknown;
    case TDraftBytes::Damaged: break;
  }
  return TRead::Damaged;
}

// A claim ("<draft>.claimed-<pid>-<start>") whose claimant is gone goes back to the draft's
// name; true, with that name, when it did.
bool ReleaseDeadClaim(const std::u16string& folder, std::u16string& name) {
  const size_t mark = name.rfind(kClaimMark);
  if (mark == std::u16string::npos) return false;
  const std::u16string draft = name.substr(0, mark);
  std::uint32_t pid = 0;
  std::uint64_t start = 0;
  if (!EndsWith(draft, kDraftExtension) ||
      !OwnerFromName(name.substr(mark + std::char_traits<char16_t>::length(kClaimMark)), pid, start) ||
      OwnerLives(folder, pid, start))
    return false;
  if (!::MoveFileExW(W(folder + u"\\" + name), W(folder + u"\\" + draft), 0)) return false;
  name = draft;
  return true;
}

// One draft of a gone owner: claimed, read, and handed to `open` or put back.
void Recover(const std::u16string& folder, const std::u16string& name,
             bool (*open)(TDraft& draft, const std::u16string& path)) {
  const std::u16string path = folder + u"\\" + name;
  // Another version's draft is not even claimed: it stays exactly as it is.
  if (ReadDraft(path, nullptr) == TRead::Unknown) return;
  HoldOwnerFile();  // the claim's proof that its claimant lives
  const std::u16string claimed = path + kClaimMark + OwnName();
  // One process only gets past this: the others find the draft gone.
  if (!::MoveFileExW(W(path), W(claimed), 0)) return;
  TDraft draft;
  bool release = true;
  switch (ReadDraft(claimed, &draft)) {
    case TRead::Unreadable:  // held open: looked at again next time
    case TRead::Unknown:
      break;
    case TRead::Damaged:
      SetAside(claimed, path);
      release = false;
      break;
    case TRead::Draft:
      if (OwnerLives(folder, draft.pid, draft.started)) break;
      release = false;
      if (draft.text.empty())
        ::DeleteFileW(W(claimed));  // an empty note has nothing to keep
      else
        release = !open(draft, claimed);
      break;
  }
  if (release) ::MoveFileExW(W(claimed), W(path), 0);
}

}  // namespace

void RecoverDrafts(bool (*open)(TDraft& draft, const std::u16string& path)) noexcept {
  try {
    if (Elevated()) return;  // not even looked at
    const std::u16string folder = DraftsFolder(false);
    if (folder.empty()) return;
    std::vector<std::u16string> names;
    {
      WIN32_FIND_DATAW found;
      TFindHandle find(::FindFirstFileExW(W(folder + u"\\*"), FindExInfoBasic, &found,
                                          FindExSearchNameMatch, nullptr, 0));
      if (!find) return;  // no folder: no drafts, at the cost of one look
      do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(U(found.cFileName));
      } while (::FindNextFileW(find.get(), &found));
    }
    std::vector<std::u16string> owners;
    for (std::u16string& name : names) {
      std::uint32_t pid = 0;
      std::uint64_t start = 0;
      if (EndsWith(name, u".tmp") && name.find(u".qdraft.~") != std::u16string::npos) {
        // The scratch file of a write its owner did not live to finish: the draft it was
        // to replace is still whole.
        if (OwnerFromName(name, pid, start) && !OwnerLives(folder, pid, start))
          ::DeleteFileW(W(folder + u"\\" + name));
        continue;
      }
      if (EndsWith(name, kOwnerExtension)) {
        owners.push_back(name);
        continue;
      }
      if (!EndsWith(name, kDraftExtension) && !ReleaseDeadClaim(folder, name)) continue;
      // A living owner's draft is not even read.
      if (OwnerFromName(name, pid, start) && OwnerLives(folder, pid, start)) continue;
      Recover(folder, name, open);
    }
    // Owner files a power cut left behind, now that the drafts they named are looked at; a
    // held one will not go.
    for (const std::u16string& name : owners) ::DeleteFileW(W(folder + u"\\" + name));
  } catch (...) {
  }
}

