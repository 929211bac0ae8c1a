// Saving a note against the real file system, through Wine, under whatever ANSI code page the
// run has (the suite runs this program under 949, 1252 and 65001).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "common/uHandles.h"
#include "note/uNote.h"
#include "note/uNoteBytes.h"
#include "note/uTestHooks.h"
#include "support/uTestSupport.h"

namespace {

// Records the notices and the questions, answering a replace question with `answer` and the
// UTF-8 question with `utf8Answer`; `onAsk` runs while a replace question is open, as another
// program might act meanwhile.
class TRecordingNotifier : public NoteNotifier {
 public:
  void ShowNotice(NoteNotice notice) override { notices.push_back(notice); }
  bool ConfirmReplace(const std::u16string& fileName) override {
    questions.push_back(Utf8(fileName));
    if (onAsk) onAsk();
    return answer;
  }
  bool ConfirmUtf8(char32_t first, unsigned codePage) override {
    missing.push_back(first);
    EXPECT_EQ(codePage, ::GetACP());
    return utf8Answer;
  }
  std::vector<NoteNotice> notices;
  std::vector<std::string> questions;
  std::vector<char32_t> missing;  // the first character of each UTF-8 question
  bool answer = false;
  bool utf8Answer = false;
  std::function<void()> onAsk;
};

// A table's texts are UTF-8, as the source is written; the note holds UTF-16.
Note MakeNote(const std::string& folder, const std::u16string& text, const std::u16string& title) {
  return Note{U16(folder), text, title};
}

// Whether this run's code page is among those a table row names ("949 1252").
bool AcpIn(const std::string& codePages) {
  return (" " + codePages + " ").find(" " + std::to_string(::GetACP()) + " ") != std::string::npos;
}

class SaveNoteTest : public ::testing::Test {
 protected:
  bool Save(const std::u16string& text, const std::u16string& title) {
    notifier.notices.clear();
    notifier.questions.clear();
    notifier.missing.clear();
    return SaveNote(MakeNote(dir.path(), text, title), notifier, written);
  }
  bool Save(const std::string& text, const std::string& title) { return Save(U16(text), U16(title)); }
  std::vector<NoteNotice> Only(NoteNotice n) { return {n}; }

  TTempDir dir;
  TRecordingNotifier notifier;
  TWrittenFiles written;
};

TEST(SaveNoteSetup, AnsiCodePageIsOneOfTheTested) {
  const UINT acp = ::GetACP();
  ASSERT_TRUE(acp == 949 || acp == 1252 || acp == 65001) << acp;
}

TEST_F(SaveNoteTest, WritesExactlyTheTextBytes) {
  // Texts every tested code page holds: the file is exactly their bytes in it.
  struct Case { std::string text, title, file; };
  const std::vector<Case> cases = {
      {"   ", "spaces", "spaces.txt"},
      {"\r\n", "crlf", "crlf.txt"},
      {"abc\r\n", "with break", "with break.txt"},
      {"abc", "no break", "no break.txt"},
      {"x", "  a/b  ", "a b.txt"},
      {"x", "/x/", " x .txt"},
      {"x", "a.txt", "a.txt.txt"},
      {"x", std::string(251, 'l'), std::string(251, 'l') + ".txt"},  // a name as long as may be
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(Save(c.text, c.title)) << c.title;
    EXPECT_TRUE(notifier.notices.empty()) << c.title;
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(dir.File(c.file), bytes)) << c.file;
    EXPECT_EQ(bytes, c.text) << c.file;
  }
}

// The file holds the text in the system's code page; a character that code page lacks is
// never replaced unasked: the user is asked whether to save as UTF-8 (with a byte-order mark)
// instead, and a refusal writes nothing.
TEST_F(SaveNoteTest, TheSystemCodePageOrUtf8AsTheUserSays) {
  const std::string bom = "\xEF\xBB\xBF";
  struct Case {
    std::u16string text;
    const char* asksIn;  // the code pages that cannot hold it
    char32_t first;      // the character the question shows
  };
  const std::vector<Case> cases = {
      {u"첫 줄\r\n둘째 줄", "1252", U'첫'},
      {u"Ωmega", "1252", U'Ω'},                 // 1252 would best-fit it to 'O'
      {u"naïve café", "949", U'ï'},
      {u"Tiếng Việt", "949 1252", U'ế'},
      {u"note \U0001F600 end", "949 1252", U'\U0001F600'},
      {u"ascii only", "", 0},
  };
  for (const auto& c : cases) {
    const std::string text = Utf8(c.text);
    const bool asks = AcpIn(c.asksIn);
    for (bool yes : {false, true}) {
      ::DeleteFileW(Wide(dir.File("e.txt")).c_str());
      written = TWrittenFiles();
      notifier.utf8Answer = yes;
      const bool saved = Save(c.text, u"e");
      EXPECT_EQ(saved, !asks || yes) << text << (yes ? " yes" : " no");
      EXPECT_TRUE(notifier.notices.empty()) << text;
      EXPECT_EQ(notifier.missing, asks ? std::vector<char32_t>{c.first} : std::vector<char32_t>{})
          << text;
      std::string bytes;
      const bool exists = ReadFileBytes(dir.File("e.txt"), bytes);
      EXPECT_EQ(exists, saved) << text;
      if (saved) {
        EXPECT_EQ(bytes, asks ? bom + text : InCodePage(CP_ACP, text)) << text;
      }
      if (asks && yes) {
        // Once agreed, the window's later saves are UTF-8 without a question.
        notifier.utf8Answer = false;
        EXPECT_TRUE(Save(u"ascii", u"e")) << text;
        EXPECT_TRUE(notifier.missing.empty()) << text;
        ASSERT_TRUE(ReadFileBytes(dir.File("e.txt"), bytes));
        EXPECT_EQ(bytes, bom + "ascii") << text;
      }
    }
  }
  EXPECT_EQ(ListFolder(dir.path()), "e.txt");
}

TEST_F(SaveNoteTest, A64MiBTextWithOneMissingCharacterAtItsEnd) {
  std::u16string text(64u << 20, u'a');
  text += u"\U0001F600";
  notifier.utf8Answer = true;
  ASSERT_TRUE(Save(text, u"big"));
  const bool asks = ::GetACP() != CP_UTF8;
  EXPECT_EQ(notifier.missing.size(), asks ? 1u : 0u);
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(dir.File("big.txt"), bytes));
  ASSERT_EQ(bytes.size(), (asks ? 3u : 0u) + (64u << 20) + 4);
  EXPECT_EQ(bytes.substr(bytes.size() - 5), "a\xF0\x9F\x98\x80");
}

template <class S>
S Repeat(const S& s, size_t times) {
  S all;
  for (size_t i = 0; i < times; ++i) all += s;
  return all;
}
std::u16string Repeat(const char16_t* s, size_t times) { return Repeat(std::u16string(s), times); }

// The conversion itself, for each code page the suite runs under, whichever this run has.
TEST(NoteBytes, EncodeInCodePage) {
  struct Case {
    UINT codePage;
    std::u16string text;
    TEncodeResult result;
    std::string bytes;  // when encoded
    char32_t first;     // when unstorable
  };
  const std::u16string lone = std::u16string(u"a") + char16_t(0xD800) + u"b";
  const std::vector<Case> cases = {
      {949, u"제목 Ω", TEncodeResult::Encoded, "\xC1\xA6\xB8\xF1 \xA5\xD8", 0},
      {949, u"ok \u00E9", TEncodeResult::Unstorable, "", U'\u00E9'},
      {949, u"\U0001F600", TEncodeResult::Unstorable, "", U'\U0001F600'},
      {1252, u"caf\u00E9", TEncodeResult::Encoded, "caf\xE9", 0},
      {1252, u"\u0101", TEncodeResult::Unstorable, "", U'\u0101'},  // best fit would give 'a'
      {1252, u"\u221E", TEncodeResult::Unstorable, "", U'\u221E'},
      {65001, u"\uC81C \U0001F600", TEncodeResult::Encoded, "\xEC\xA0\x9C \xF0\x9F\x98\x80", 0},
      {949, lone, TEncodeResult::Broken, "", 0},
      {1252, lone, TEncodeResult::Broken, "", 0},
      {65001, lone, TEncodeResult::Broken, "", 0},
      {65001, std::u16string(1, char16_t(0xDC00)), TEncodeResult::Broken, "", 0},
      // Found in the middle of a long piece, after a pair.
      {949, std::u16string(100000, u'x') + u"\U0001F600\u00E9" + std::u16string(99999, u'y'),
       TEncodeResult::Unstorable, "", U'\U0001F600'},
      {949, std::u16string(100001, u'x') + u"\u00E9\U0001F600", TEncodeResult::Unstorable, "",
       U'\u00E9'},
      // Korean text over several pieces, and a piece that ends inside the last pair.
      {949, Repeat(u"제목 ", 100000), TEncodeResult::Encoded,
       Repeat(std::string("\xC1\xA6\xB8\xF1 "), 100000), 0},
      {1252, Repeat(u"ab", 150000) + u"\u00E9\U0001F600", TEncodeResult::Unstorable, "",
       U'\U0001F600'},
      {1252, Repeat(u"ab", 50000) + u"\u0101", TEncodeResult::Unstorable, "", U'\u0101'},
  };
  for (const auto& c : cases) {
    TFileBytes bytes;
    char32_t first = 0;
    const TEncodeResult r = EncodeInCodePage(c.codePage, c.text, bytes, first);
    EXPECT_EQ(r, c.result) << c.codePage << " " << Utf8(c.text);
    if (r == TEncodeResult::Encoded) {
      EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.bytes) << c.codePage << " " << Utf8(c.text);
    }
    if (r == TEncodeResult::Unstorable) {
      EXPECT_EQ(first, c.first) << c.codePage << " " << Utf8(c.text);
    }
  }
  // A pair at the seam between two pieces of the conversion (256 Ki units) stays whole.
  std::u16string seam((1u << 18) - 1, u'x');
  seam += u"\U0001F600";
  char32_t first = 0;
  TFileBytes bytes;
  EXPECT_EQ(EncodeInCodePage(949, seam, bytes, first), TEncodeResult::Unstorable);
  EXPECT_EQ(first, U'\U0001F600');
}

TEST_F(SaveNoteTest, RefusesWithOneNoticeAndWritesNothing) {
  struct Case { std::u16string text, title; NoteNotice notice; };
  const char16_t high = 0xD83D, low = 0xDE00;  // halves of one emoji
  const std::vector<Case> cases = {
      {u"", u"", NoticeNoText},
      {u"", u"title", NoticeNoText},
      {u"text", u"", NoticeNoTitle},
      {u"text", u" \t \r\n", NoticeNoTitle},
      {u"text", u"/", NoticeNoTitle},
      {u"text", u" |", NoticeNoTitle},
      {u"text", u"<\t>", NoticeNoTitle},
      {u"text", u"what?", NoticeSaveFailed},
      {u"text", u"a*b", NoticeSaveFailed},
      {u"text", u"nul", NoticeSaveFailed},
      {u"text", u"CON", NoticeSaveFailed},
      {u"text", u"com1", NoticeSaveFailed},
      {u"text", u"Lpt9.log", NoticeSaveFailed},
      {u"text", u"aux ", NoticeSaveFailed},
      {u"text", u"회의 10:30", NoticeSaveFailed},
      {u"text", u"a:b", NoticeSaveFailed},
      {u"text", std::u16string(300, u'a'), NoticeSaveFailed},
      {u"text", std::u16string(u"a") + high, NoticeSaveFailed},
      {u"text", low + std::u16string(u"b"), NoticeSaveFailed},
      {std::u16string(u"a") + high + u"b", u"broken", NoticeBadText},
      {std::u16string(u"\U0001F600") + low, u"broken", NoticeBadText},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(Save(c.text, c.title)) << "[" << Utf8(c.title) << "]";
    EXPECT_EQ(notifier.notices, Only(c.notice)) << "[" << Utf8(c.title) << "]";
    EXPECT_TRUE(notifier.missing.empty()) << "[" << Utf8(c.title) << "]";
    EXPECT_EQ(ListFolder(dir.path()), "") << "[" << Utf8(c.title) << "]";
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
    bool madeMeanwhile = false;  // another program makes the file while the save writes
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
      {"made meanwhile", nullptr, false, false, 0, false, false, 1, {}, "theirs", true},
  };
  for (const auto& c : cases) {
    const std::wstring file = Wide(dir.File("n.txt"));
    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(file.c_str());
    written = TWrittenFiles();
    if (c.wroteBefore) {
      ASSERT_TRUE(Save("first", "n")) << c.what;
    }
    if (c.old) {
      ASSERT_TRUE(WriteFileBytes(dir.File("n.txt"), c.old)) << c.what;
    }
    if (c.attributes) {
      ASSERT_TRUE(::SetFileAttributesW(file.c_str(), c.attributes)) << c.what;
      // Wine keeps the hidden and system attributes only where the file system has room.
      if (!(::GetFileAttributesW(file.c_str()) & c.attributes)) {
        std::printf("[ skipped  ] %s: the file system does not keep the attribute\n", c.what);
        continue;
      }
    }
    notifier.answer = c.answer;
    {
      TFileHandle held;
      if (c.holdOpen)
        held.reset(::CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      // Made once the note's text is in its scratch file, before that takes the name.
      if (c.madeMeanwhile)
        TestHookScratchWritten = [](const std::u16string& path) {
          TestHookScratchWritten = nullptr;
          WriteFileBytes(Utf8(path), "theirs");
        };
      EXPECT_EQ(Save("new", "n"), c.saved) << c.what;
      TestHookScratchWritten = nullptr;
    }
    EXPECT_EQ(notifier.questions.size(), static_cast<size_t>(c.questions)) << c.what;
    if (c.questions) {
      EXPECT_EQ(notifier.questions[0], "n.txt") << c.what;
    }
    EXPECT_EQ(notifier.notices, c.notices) << c.what;
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(dir.File("n.txt"), bytes)) << c.what;
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
  // Another program reads the old file and lets nobody delete or rename it meanwhile: the
  // replacement is written beside it but cannot take its place, and the old file keeps every
  // byte (a name as long as a name may be, 255 units, whose scratch file gets a short name).
  const std::string title(255 - 4, 'n');
  const std::string file = dir.File(title + ".txt");
  ASSERT_TRUE(WriteFileBytes(file, "old"));
  notifier.answer = true;
  {
    TFileHandle reader(::CreateFileW(Wide(file).c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     0, nullptr));
    ASSERT_TRUE(reader);
    EXPECT_FALSE(Save("new", title));
  }
  EXPECT_EQ(notifier.notices, Only(NoticeSaveFailed));
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(file, bytes));
  EXPECT_EQ(bytes, "old");
  EXPECT_EQ(ListFolder(dir.path()), title + ".txt");
}

// A new note on a drive that fills up: nothing of it stays (a cut file would be asked about as
// a stranger's at the next save, and fill the drive for every later one), and a note that
// fits is saved at once, without a question. The drive is a small file system that
// scripts/test.sh mounts where it may (QUILLO_FULL_DRIVE, a host path).
TEST(SaveNoteFolders, AFullDriveKeepsNothingHalfWritten) {
  wchar_t host[MAX_PATH] = {};
  if (!::GetEnvironmentVariableW(L"QUILLO_FULL_DRIVE", host, MAX_PATH)) {
    std::printf("[ skipped  ] no small drive mounted (QUILLO_FULL_DRIVE)\n");
    return;
  }
  std::wstring folder = L"Z:" + std::wstring(host);
  std::replace(folder.begin(), folder.end(), L'/', L'\\');
  const std::string dir = Utf8(folder);
  TRecordingNotifier n;
  TWrittenFiles w;
  EXPECT_FALSE(SaveNote(MakeNote(dir, std::u16string(200000, u'x'), u"full"), n, w));
  EXPECT_EQ(n.notices, std::vector<NoteNotice>{NoticeSaveFailed});
  EXPECT_EQ(ListFolder(dir), "");
  n.notices.clear();
  EXPECT_TRUE(SaveNote(MakeNote(dir, u"fits", u"full"), n, w));
  EXPECT_TRUE(n.notices.empty() && n.questions.empty());
  std::string bytes;
  EXPECT_TRUE(ReadFileBytes(dir + "\\full.txt", bytes));
  EXPECT_EQ(bytes, "fits");
  ::DeleteFileW(Wide(dir + "\\full.txt").c_str());
}

TEST(SaveNoteFolders, NoFolderWritesNothingAnywhere) {
  // Without a folder the path would be "\\<title>.txt": the root of the current drive.
  const std::string title = "quillo-nofolder-" + std::to_string(::GetCurrentProcessId());
  for (const char* folder : {"C:\\no such folder\\really not", ""}) {
    TRecordingNotifier n;
    TWrittenFiles w;
    EXPECT_FALSE(SaveNote(MakeNote(folder, u"text", U16(title)), n, w)) << "[" << folder << "]";
    EXPECT_EQ(n.notices, std::vector<NoteNotice>{NoticeSaveFailed}) << "[" << folder << "]";
    EXPECT_FALSE(FileExists("\\" + title + ".txt")) << "[" << folder << "]";
  }
}

TEST(SaveNoteFolders, DriveRootWithDoubledBackslash) {
  TRecordingNotifier n;
  const std::string title = "quillo-root-" + std::to_string(::GetCurrentProcessId());
  TWrittenFiles w;
  ASSERT_TRUE(SaveNote(MakeNote("C:\\", u"root", U16(title)), n, w));
  std::string bytes;
  EXPECT_TRUE(ReadFileBytes("C:\\" + title + ".txt", bytes));
  EXPECT_EQ(bytes, "root");
  ::DeleteFileW(Wide("C:\\" + title + ".txt").c_str());
}

// Folders and titles in any language name the file exactly, whatever the code page.
TEST(SaveNoteFolders, NamesOutsideTheCodePage) {
  for (const char* name : {"제목", "Ωμέγα", "Tiếng Việt", "\U0001F600 note"}) {
    TTempDir dir(std::string("quillo-") + name);
    ASSERT_TRUE(FileExists(dir.path())) << name;
    TRecordingNotifier n;
    TWrittenFiles w;
    ASSERT_TRUE(SaveNote(MakeNote(dir.path(), u"x", U16(name)), n, w)) << name;
    EXPECT_EQ(ListFolder(dir.path()), std::string(name) + ".txt");
  }
}

}  // namespace
