// Helpers shared by the tests that run under Wine. Their texts are UTF-8 std::strings, as the
// sources are written; they reach Windows through the wide functions, so that the tests read
// the same under every system code page.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

std::wstring Wide(const std::string& utf8);
std::u16string U16(const std::string& utf8);
std::string Utf8(const std::wstring& text);
std::string Utf8(const std::u16string& text);
// A text in a code page's bytes (CP_ACP: the system's), for comparing what a file holds.
std::string InCodePage(UINT codePage, const std::string& utf8);

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TTempDir {
 public:
  explicit TTempDir(const std::string& name = "quillo");
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  ~TTempDir();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// The whole content of a file, or false when it cannot be read.
bool ReadFileBytes(const std::string& path, std::string& bytes);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// The names in a folder, sorted, without "." and "..".
std::string ListFolder(const std::string& folder);
// (support/uDraftTestSupport.cpp) The drafts in this prefix's drafts folder (note/uDraft.h), read, in the folder's order;
// files that are no draft are left out. CleanDrafts empties the folder, so that no test sees
// another's drafts; DraftsListing names everything in it ("" when empty or missing). Both
// pass over this process's own owner file, which it holds while it runs.
std::vector<struct TDraft> ReadDrafts();
void CleanDrafts();
std::string DraftsListing();
// Delivers every message waiting for this thread, the way Quillo's own loops do (key preview
// and dialog keys of the forms first).
void PumpMessages();
// True when the tests run under Wine rather than Windows.
bool RunningUnderWine();

// The visible top-level windows of a process (this one unless named) with that window class
// and caption (either may be null: any), in the system's order, whichever thread made them
// (the note windows live on Quillo's UI thread).
std::vector<HWND> ProcessWindows(DWORD processId = ::GetCurrentProcessId(),
                                 const char* className = nullptr, const char* caption = nullptr);

// A note window's text box, title box and "만들기" button, found by their kind and caption,
// as a user (or another program) would find them.
struct TNoteControls {
  HWND memo = nullptr, title = nullptr, create = nullptr;
};
TNoteControls FindNoteControls(HWND note);
