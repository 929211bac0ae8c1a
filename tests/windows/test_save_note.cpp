// Saving a note against the real file system, through Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "common/uHandles.h"
#include "note/uNote.h"
#include "support/uTestSupport.h"

namespace {

class TRecordingNotifier : public NoteNotifier {
 public:
  void ShowNotice(NoteNotice notice) override { notices.push_back(notice); }
  std::vector<NoteNotice> notices;
};

class SaveNoteTest : public ::testing::Test {
 protected:
  bool Save(const std::string& text, const std::string& title) {
    notifier.notices.clear();
    return SaveNote(Note{dir.path(), text, title}, notifier);
  }
  std::vector<NoteNotice> Only(NoteNotice n) { return {n}; }

  TTempDir dir;
  TRecordingNotifier notifier;
};

TEST(SaveNoteSetup, AnsiCodePageIsKorean) { ASSERT_EQ(::GetACP(), 949u); }

TEST_F(SaveNoteTest, WritesExactlyTheTextBytes) {
  struct Case { std::string text, title, file; };
  const std::vector<Case> cases = {
      {"   ", "spaces", "spaces.txt"},
      {"\r\n", "crlf", "crlf.txt"},
      {"abc\r\n", "with break", "with break.txt"},
      {"abc", "no break", "no break.txt"},
      {"첫 줄\r\n둘째 줄", "제목", "제목.txt"},
      {"x", "  a/b  ", "a b.txt"},
      {"x", "/x/", " x .txt"},
      {"x", "a.txt", "a.txt.txt"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(Save(c.text, c.title)) << c.title;
    EXPECT_TRUE(notifier.notices.empty()) << c.title;
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(dir.File(c.file), bytes)) << c.file;
    EXPECT_EQ(bytes, c.text) << c.file;
  }
}

TEST_F(SaveNoteTest, RefusesWithOneNoticeAndWritesNothing) {
  struct Case { std::string text, title; NoteNotice notice; };
  const std::vector<Case> cases = {
      {"", "", NoticeNoText},
      {"", "title", NoticeNoText},
      {"text", "", NoticeNoTitle},
      {"text", " \t \r\n", NoticeNoTitle},
      {"text", "what?", NoticeSaveFailed},
      {"text", "a*b", NoticeSaveFailed},
      {"text", "nul", NoticeSaveFailed},
      {"text", "CON", NoticeSaveFailed},
      {"text", "com1", NoticeSaveFailed},
      {"text", "Lpt9.log", NoticeSaveFailed},
      {"text", "aux ", NoticeSaveFailed},
      {"text", "회의 10:30", NoticeSaveFailed},
      {"text", "a:b", NoticeSaveFailed},
      {"text", std::string(300, 'a'), NoticeSaveFailed},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(Save(c.text, c.title)) << "[" << c.title << "]";
    EXPECT_EQ(notifier.notices, Only(c.notice)) << "[" << c.title << "]";
    EXPECT_EQ(ListFolder(dir.path()), "") << "[" << c.title << "]";
  }
}

TEST_F(SaveNoteTest, OverwritesALongerFileCompletely) {
  ASSERT_TRUE(WriteFileBytes(dir.File("n.txt"), std::string(10000, 'o')));
  ASSERT_TRUE(Save("new", "n"));
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(dir.File("n.txt"), bytes));
  EXPECT_EQ(bytes, "new");
  ASSERT_TRUE(Save("again", "n"));
  ASSERT_TRUE(ReadFileBytes(dir.File("n.txt"), bytes));
  EXPECT_EQ(bytes, "again");
}

TEST_F(SaveNoteTest, LeavesProtectedFilesUnchanged) {
  // Windows refuses CREATE_ALWAYS over a read-only, hidden or system file; Wine opens them
  // (it keeps no system attribute, and root passes its permission checks), so this is
  // checked on Windows only.
  if (RunningUnderWine()) GTEST_SKIP() << "Wine does not protect these attributes";
  for (DWORD attr : {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM}) {
    const std::string file = dir.File("p.txt");
    ::SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(WriteFileBytes(file, "old"));
    ASSERT_TRUE(::SetFileAttributesA(file.c_str(), attr));
    EXPECT_FALSE(Save("new", "p")) << "attribute " << attr;
    EXPECT_EQ(notifier.notices, Only(NoticeSaveFailed));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(file, bytes));
    EXPECT_EQ(bytes, "old") << "attribute " << attr;
  }
}

TEST_F(SaveNoteTest, RefusesAFileHeldOpenWithoutSharing) {
  const std::string file = dir.File("held.txt");
  ASSERT_TRUE(WriteFileBytes(file, "old"));
  {
    TFileHandle held(::CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_FALSE(Save("new", "held"));
    EXPECT_EQ(notifier.notices, Only(NoticeSaveFailed));
  }
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(file, bytes));
  EXPECT_EQ(bytes, "old");
}

TEST(SaveNoteFolders, MissingFolderFails) {
  TRecordingNotifier n;
  EXPECT_FALSE(SaveNote(Note{"C:\\no such folder\\really not", "text", "t"}, n));
  EXPECT_EQ(n.notices, std::vector<NoteNotice>{NoticeSaveFailed});
}

TEST(SaveNoteFolders, DriveRootWithDoubledBackslash) {
  TRecordingNotifier n;
  const std::string title = "quillo-root-" + std::to_string(::GetCurrentProcessId());
  ASSERT_TRUE(SaveNote(Note{"C:\\", "root", title}, n));
  std::string bytes;
  EXPECT_TRUE(ReadFileBytes("C:\\" + title + ".txt", bytes));
  EXPECT_EQ(bytes, "root");
  ::DeleteFileA(("C:\\" + title + ".txt").c_str());
}

TEST(SaveNoteFolders, KoreanTitleNamesTheFileInCodePage949) {
  TTempDir dir;
  TRecordingNotifier n;
  ASSERT_TRUE(SaveNote(Note{dir.path(), "내용", "제목"}, n));
  EXPECT_EQ(ListFolder(dir.path()), "\xC1\xA6\xB8\xF1.txt");
}

}  // namespace
