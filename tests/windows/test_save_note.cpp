// Saving a note against the real file system, through Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "common/uHandles.h"
#include "note/uNote.h"
#include "support/uTestSupport.h"

namespace {

// Records the notices and the replace questions, answering each question with `answer`;
// `onAsk` runs while the question is open, as another program might act meanwhile.
class TRecordingNotifier : public NoteNotifier {
 public:
  void ShowNotice(NoteNotice notice) override { notices.push_back(notice); }
  bool ConfirmReplace(const std::string& fileName) override {
    questions.push_back(fileName);
    if (onAsk) onAsk();
    return answer;
  }
  std::vector<NoteNotice> notices;
  std::vector<std::string> questions;
  bool answer = false;
  std::function<void()> onAsk;
};

class SaveNoteTest : public ::testing::Test {
 protected:
  bool Save(const std::string& text, const std::string& title) {
    notifier.notices.clear();
    notifier.questions.clear();
    return SaveNote(Note{dir.path(), text, title}, notifier, written);
  }
  std::vector<NoteNotice> Only(NoteNotice n) { return {n}; }

  TTempDir dir;
  TRecordingNotifier notifier;
  TWrittenFiles written;
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
      {"text", "/", NoticeNoTitle},
      {"text", " |", NoticeNoTitle},
      {"text", "<\t>", NoticeNoTitle},
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

// What a save does when a file of the note's name exists, and what it leaves on disk.
TEST_F(SaveNoteTest, ReplacesOnlyWhatTheUserAgreedTo) {
  struct Case {
    const char* what;
    const char* old;       // the file already there, or null for none
    bool wroteBefore;      // this window saved to that name earlier
    bool answer;           // to the replace question
    DWORD attributes;      // given to the old file
    bool holdOpen;         // another program holds the old file open, unshared
    bool saved;
    int questions;
    std::vector<NoteNotice> notices;
    const char* after;     // the file's bytes afterwards
  };
  const std::string longOld(10000, 'o');
  const std::vector<Case> cases = {
      {"new file", nullptr, false, false, 0, false, true, 0, {}, "new"},
      {"foreign, no", "old", false, false, 0, false, false, 1, {}, "old"},
      {"foreign, yes", longOld.c_str(), false, true, 0, false, true, 1, {}, "new"},
      {"own file again", "old", true, false, 0, false, true, 0, {}, "new"},
      {"read-only", "old", false, true, FILE_ATTRIBUTE_READONLY, false, false, 0,
       {NoticeSaveFailed}, "old"},
      {"hidden", "old", false, true, FILE_ATTRIBUTE_HIDDEN, false, false, 0,
       {NoticeSaveFailed}, "old"},
      {"system", "old", false, true, FILE_ATTRIBUTE_SYSTEM, false, false, 0,
       {NoticeSaveFailed}, "old"},
      {"held open", "old", false, true, 0, true, false, 1, {NoticeSaveFailed}, "old"},
  };
  for (const auto& c : cases) {
    const std::string file = dir.File("n.txt");
    ::SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(file.c_str());
    written = TWrittenFiles();
    if (c.wroteBefore) {
      ASSERT_TRUE(Save("first", "n")) << c.what;
    }
    if (c.old) {
      ASSERT_TRUE(WriteFileBytes(file, c.old)) << c.what;
    }
    if (c.attributes) {
      ASSERT_TRUE(::SetFileAttributesA(file.c_str(), c.attributes)) << c.what;
      // Wine keeps the hidden and system attributes only where the file system has room.
      if (!(::GetFileAttributesA(file.c_str()) & c.attributes)) {
        std::printf("[ skipped  ] %s: the file system does not keep the attribute\n", c.what);
        continue;
      }
    }
    notifier.answer = c.answer;
    {
      TFileHandle held;
      if (c.holdOpen)
        held.reset(::CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      EXPECT_EQ(Save("new", "n"), c.saved) << c.what;
    }
    EXPECT_EQ(notifier.questions.size(), static_cast<size_t>(c.questions)) << c.what;
    if (c.questions) {
      EXPECT_EQ(notifier.questions[0], "n.txt") << c.what;
    }
    EXPECT_EQ(notifier.notices, c.notices) << c.what;
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(file, bytes)) << c.what;
    EXPECT_EQ(bytes, c.after) << c.what;
    EXPECT_EQ(ListFolder(dir.path()), "n.txt") << c.what << ": nothing left beside it";
  }
}

TEST_F(SaveNoteTest, AFileMadeDuringTheQuestionIsNotReplacedUnasked) {
  // The question for a.txt is open when another program creates b.txt; a later save to b
  // finds it and asks again rather than writing over it.
  ASSERT_TRUE(WriteFileBytes(dir.File("a.txt"), "a"));
  notifier.answer = false;
  notifier.onAsk = [&] { WriteFileBytes(dir.File("b.txt"), "theirs"); };
  EXPECT_FALSE(Save("new", "a"));
  notifier.onAsk = nullptr;
  EXPECT_FALSE(Save("new", "b"));
  EXPECT_EQ(notifier.questions, std::vector<std::string>{"b.txt"});
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(dir.File("b.txt"), bytes));
  EXPECT_EQ(bytes, "theirs");
}

TEST_F(SaveNoteTest, AFailedReplacementLeavesTheOldFileWhole) {
  // A name so long that the file's path just fits the path limit and a scratch file beside
  // it does not: the replacement cannot be written, and the old file keeps every byte.
  const std::string title(MAX_PATH - 1 - dir.path().size() - 1 - 4, 'n');
  const std::string file = dir.File(title + ".txt");
  ASSERT_TRUE(WriteFileBytes(file, "old"));
  notifier.answer = true;
  EXPECT_FALSE(Save("new", title));
  EXPECT_EQ(notifier.notices, Only(NoticeSaveFailed));
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(file, bytes));
  EXPECT_EQ(bytes, "old");
  EXPECT_EQ(ListFolder(dir.path()), title + ".txt");
}

TEST(SaveNoteFolders, NoFolderWritesNothingAnywhere) {
  // Without a folder the path would be "\\<title>.txt": the root of the current drive.
  const std::string title = "quillo-nofolder-" + std::to_string(::GetCurrentProcessId());
  for (const char* folder : {"C:\\no such folder\\really not", ""}) {
    TRecordingNotifier n;
    TWrittenFiles w;
    EXPECT_FALSE(SaveNote(Note{folder, "text", title}, n, w)) << "[" << folder << "]";
    EXPECT_EQ(n.notices, std::vector<NoteNotice>{NoticeSaveFailed}) << "[" << folder << "]";
    EXPECT_FALSE(FileExists("\\" + title + ".txt")) << "[" << folder << "]";
  }
}

TEST(SaveNoteFolders, DriveRootWithDoubledBackslash) {
  TRecordingNotifier n;
  const std::string title = "quillo-root-" + std::to_string(::GetCurrentProcessId());
  TWrittenFiles w;
  ASSERT_TRUE(SaveNote(Note{"C:\\", "root", title}, n, w));
  std::string bytes;
  EXPECT_TRUE(ReadFileBytes("C:\\" + title + ".txt", bytes));
  EXPECT_EQ(bytes, "root");
  ::DeleteFileA(("C:\\" + title + ".txt").c_str());
}

TEST(SaveNoteFolders, KoreanTitleNamesTheFileInCodePage949) {
  TTempDir dir;
  TRecordingNotifier n;
  TWrittenFiles w;
  ASSERT_TRUE(SaveNote(Note{dir.path(), "내용", "제목"}, n, w));
  EXPECT_EQ(ListFolder(dir.path()), "\xC1\xA6\xB8\xF1.txt");
}

}  // namespace
