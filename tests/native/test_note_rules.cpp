// The note rules over grids of edge cases, with exact expected bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "note/uNote.h"

namespace {

const std::string kCrLf = "\r\n";

TEST(ByteClasses, EveryByte) {
  const std::string replaced = "\"'/<>\\|";
  for (int b = 0; b < 256; ++b) {
    const auto c = static_cast<unsigned char>(b);
    EXPECT_EQ(IsBlank(c), b <= 0x20) << "byte " << b;
    EXPECT_EQ(IsTitleReplaced(c), replaced.find(static_cast<char>(b)) != std::string::npos)
        << "byte " << b;
  }
}

TEST(TrimBlanks, Grid) {
  struct Case { std::string in, out; };
  const std::vector<Case> cases = {
      {"", ""},
      {"   ", ""},
      {"\t\r\n \x01\x1F", ""},
      {"  a b  ", "a b"},
      {std::string("\0x\0", 3), "x"},
      {"\x7F", "\x7F"},
      {" \xA1\xA1 ", "\xA1\xA1"},  // the full-width space is not blank
      {"\x80", "\x80"},
  };
  for (const auto& c : cases) EXPECT_EQ(TrimBlanks(c.in), c.out) << "input [" << c.in << "]";
}

TEST(ApplyTitleRule, Grid) {
  // blank: the ruled title names no file, so a save asks for a title
  struct Case { std::string in, out; bool blank; };
  const std::vector<Case> cases = {
      {"", "", true},
      {" \t ", "", true},
      {"  a/b  ", "a b", false},
      {"/x/", " x ", false},
      {"<>", "  ", true},
      {"/", " ", true},
      {" |", " ", true},
      {"<\t>", " \t ", true},
      {"\"'/<>\\|", "       ", true},
      {"a:b*c?.", "a:b*c?.", false},   // passed on; the save refuses what Windows would not take
      {"a\tb", "a\tb", false},         // inner control bytes stay
      {"제목", "제목", false},
      {"\xFE\x5C", "\xFE ", false},    // byte-wise: 0x5C is replaced wherever it stands
      {"a.txt", "a.txt", false},
  };
  for (const auto& c : cases) {
    const std::string ruled = ApplyTitleRule(c.in);
    EXPECT_EQ(ruled, c.out) << "input [" << c.in << "]";
    EXPECT_EQ(IsBlankTitle(ruled), c.blank) << "input [" << c.in << "]";
  }
}

TEST(Lines, CountAndLines) {
  struct Case { std::string text; std::vector<std::string> lines; };
  const std::vector<Case> cases = {
      {"", {}},
      {"abc", {"abc"}},
      {"abc" + kCrLf, {"abc"}},
      {kCrLf, {""}},
      {"   ", {"   "}},
      {kCrLf + kCrLf, {"", ""}},
      {"a" + kCrLf + "b", {"a", "b"}},
      {"a\rb\nc", {"a\rb\nc"}},                 // only CR LF breaks a line
      {"a\r\r\nb", {"a\r", "b"}},
      {"\r", {"\r"}},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(LineCount(c.text), c.lines.size()) << "text [" << c.text << "]";
    for (std::size_t i = 0; i < c.lines.size(); ++i)
      EXPECT_EQ(LineAt(c.text, i), c.lines[i]) << "line " << i << " of [" << c.text << "]";
  }
}

TEST(Lines, LineAtCutsAt4096Bytes) {
  const std::string longLine(5000, 'x');
  const std::string text = longLine + kCrLf + "y";
  EXPECT_EQ(LineAt(text, 0), std::string(4096, 'x'));
  EXPECT_EQ(LineAt(text, 1), "y");
  EXPECT_EQ(LineAt(std::string(4096, 'z'), 0).size(), 4096u);
}

TEST(TitleFromFirstLine, Grid) {
  struct Case { std::string text; bool found; std::string title; };
  const std::string blank4096(4096, ' ');
  const std::vector<Case> cases = {
      {"", false, ""},
      {kCrLf + "   " + kCrLf + "\t", false, ""},
      {kCrLf + "   " + kCrLf + "\tTitle/1  " + kCrLf, true, "Title 1"},
      {"//", true, "  "},
      {"제목" + kCrLf + "본문", true, "제목"},
      {blank4096 + "words" + kCrLf + "next", true, "next"},  // words beyond 4096 bytes unseen
      {blank4096 + "words", false, ""},
      {std::string(10, ' ') + std::string(5000, 'a'), true, std::string(4086, 'a')},
      {"a\tb", true, "a\tb"},
  };
  for (const auto& c : cases) {
    auto t = TitleFromFirstLine(c.text);
    ASSERT_EQ(t.has_value(), c.found) << "text of " << c.text.size() << " bytes";
    if (c.found) {
      EXPECT_EQ(*t, c.title);
    }
  }
}

TEST(NoteFilePath, Joins) {
  EXPECT_EQ(NoteFilePath("C:\\Notes", "a b"), "C:\\Notes\\a b.txt");
  EXPECT_EQ(NoteFilePath("C:\\", "x"), "C:\\\\x.txt");  // a drive root doubles the backslash
  EXPECT_EQ(NoteFilePath("D:\\d", "a.txt"), "D:\\d\\a.txt.txt");
}

TEST(IsSafeFileTitle, RefusesDevicesAndColons) {
  struct Case { std::string title; bool safe; };
  const std::vector<Case> cases = {
      {"nul", false}, {"NUL", false}, {"Con", false}, {"aux", false}, {"prn", false},
      {"com1", false}, {"COM9", false}, {"lpt1", false}, {"LpT9", false},
      {"nul.txt", false}, {"con.tar", false}, {"nul ", false}, {"nul .x", false},
      {"com0", true}, {"com10", true}, {"lpt", true}, {"nully", true}, {"console", true},
      {"my nul", true}, {"aux2", true},
      {"a:b", false}, {"회의 10:30", false}, {":", false},
      {"제목", true}, {"a b", true}, {"  ", true},
  };
  for (const auto& c : cases) EXPECT_EQ(IsSafeFileTitle(c.title), c.safe) << c.title;
}

TEST(NoticeText, Cp949Bytes) {
  // The literals are compiled to code page 949: "알림" would be BE CB B8 B2.
  EXPECT_STREQ(NoticeText(NoticeNoTitle),
               "\xC1\xA6\xB8\xF1\xC0\xBB \xBC\xB3\xC1\xA4\xC7\xCF\xBC\xBC\xBF\xE4.");
  EXPECT_STREQ(NoticeText(NoticeNoText), "저장하려면 내용이 있어야 합니다.");
  EXPECT_STREQ(NoticeText(NoticeSaveFailed),
               "파일로 저장되지 못했습니다. 제목이 잘못되었지 않은지 살펴보세요.");
  EXPECT_STREQ("알림", "\xBE\xCB\xB8\xB2");
}

}  // namespace
