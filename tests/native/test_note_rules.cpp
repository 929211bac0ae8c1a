// The note rules over grids of edge cases, with exact expected UTF-16 units.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "note/uNote.h"

namespace {

const std::u16string kCrLf = u"\r\n";
const std::u16string kSmile = u"\U0001F600";  // a surrogate pair: D83D DE00

TEST(UnitClasses, EveryBmpUnit) {
  const std::u16string replaced = u"\"'/<>\\|";
  for (char32_t u = 0; u < 0x10000; ++u) {
    const auto c = static_cast<char16_t>(u);
    EXPECT_EQ(IsBlank(c), u <= 0x20) << "unit " << u;
    EXPECT_EQ(IsTitleReplaced(c), replaced.find(c) != std::u16string::npos) << "unit " << u;
  }
}

TEST(TrimBlanks, Grid) {
  struct Case { std::u16string in, out; };
  const std::vector<Case> cases = {
      {u"", u""},
      {u"   ", u""},
      {u"\t\r\n \x01\x1F", u""},
      {u"  a b  ", u"a b"},
      {std::u16string(u"\0x\0", 3), u"x"},
      {u"\x7F", u"\x7F"},
      {u" \u3000 ", u"\u3000"},  // the full-width space is not blank
      {u"\x80\xA0", u"\x80\xA0"},
      {u" " + kSmile + u" ", kSmile},
  };
  for (const auto& c : cases) EXPECT_EQ(TrimBlanks(c.in), c.out) << "case " << &c - &cases[0];
}

TEST(ApplyTitleRule, Grid) {
  // blank: the ruled title names no file, so a save asks for a title
  struct Case { std::u16string in, out; bool blank; };
  const std::vector<Case> cases = {
      {u"", u"", true},
      {u" \t ", u"", true},
      {u"  a/b  ", u"a b", false},
      {u"/x/", u" x ", false},
      {u"<>", u"  ", true},
      {u"/", u" ", true},
      {u" |", u" ", true},
      {u"<\t>", u" \t ", true},
      {u"\"'/<>\\|", u"       ", true},
      {u"a:b*c?.", u"a:b*c?.", false},   // passed on; the save refuses what Windows would not take
      {u"a\tb", u"a\tb", false},         // inner control units stay
      {u"제목", u"제목", false},
      {u"\uFF3C\u20A9\uFF0F", u"\uFF3C\u20A9\uFF0F", false},  // look-alikes are not replaced
      {u"a" + kSmile + u"/", u"a" + kSmile + u" ", false},
      {u"a.txt", u"a.txt", false},
  };
  for (const auto& c : cases) {
    const std::u16string ruled = ApplyTitleRule(c.in);
    EXPECT_EQ(ruled, c.out) << "case " << &c - &cases[0];
    EXPECT_EQ(IsBlankTitle(ruled), c.blank) << "case " << &c - &cases[0];
  }
}

TEST(Lines, CountAndLines) {
  struct Case { std::u16string text; std::vector<std::u16string> lines; };
  const std::vector<Case> cases = {
      {u"", {}},
      {u"abc", {u"abc"}},
      {u"abc" + kCrLf, {u"abc"}},
      {kCrLf, {u""}},
      {u"   ", {u"   "}},
      {kCrLf + kCrLf, {u"", u""}},
      {u"a" + kCrLf + u"b", {u"a", u"b"}},
      {u"a\rb\nc\u2028d\x85", {u"a\rb\nc\u2028d\x85"}},  // only CR LF breaks a line
      {u"a\r\r\nb", {u"a\r", u"b"}},
      {u"\r", {u"\r"}},
      {u"\r\u0A0D", {u"\r\u0A0D"}},  // LF's byte inside another unit is no LF
  };
  for (const auto& c : cases) {
    ASSERT_EQ(LineCount(c.text), c.lines.size()) << "case " << &c - &cases[0];
    for (std::size_t i = 0; i < c.lines.size(); ++i)
      EXPECT_EQ(LineAt(c.text, i), c.lines[i]) << "line " << i << " of case " << &c - &cases[0];
  }
}

TEST(Lines, LineAtCutsAt4096UnitsKeepingPairsWhole) {
  struct Case { std::u16string line; std::size_t kept; };
  const std::u16string x4095(4095, u'x');
  const std::vector<Case> cases = {
      {std::u16string(5000, u'x'), 4096},
      {std::u16string(4096, u'z'), 4096},
      {x4095 + kSmile + u"tail", 4095},     // the pair at 4095 would be split: left out
      {x4095 + kSmile, 4095},
      {x4095 + u"\xD83D" + u"x", 4096},     // a lone high surrogate is cut like any unit
      {u"x" + x4095 + kSmile, 4096},        // the pair lies beyond the cut
      {std::u16string(4094, u'x') + kSmile + u"y", 4096},  // the pair ends at the cut
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LineAt(c.line + kCrLf + u"y", 0), c.line.substr(0, c.kept));
    EXPECT_EQ(LineAt(c.line + kCrLf + u"y", 1), u"y");
  }
}

TEST(TitleFromFirstLine, Grid) {
  struct Case { std::u16string text; bool found; std::u16string title; };
  const std::u16string blank4096(4096, u' ');
  const std::vector<Case> cases = {
      {u"", false, u""},
      {kCrLf + u"   " + kCrLf + u"\t", false, u""},
      {kCrLf + u"   " + kCrLf + u"\tTitle/1  " + kCrLf, true, u"Title 1"},
      {u"//", true, u"  "},
      {u"제목" + kCrLf + u"본문", true, u"제목"},
      {blank4096 + u"words" + kCrLf + u"next", true, u"next"},  // words beyond 4096 units unseen
      {blank4096 + u"words", false, u""},
      {std::u16string(10, u' ') + std::u16string(5000, u'a'), true, std::u16string(4086, u'a')},
      {std::u16string(4095, u' ') + kSmile + kCrLf + u"next", true, u"next"},  // half a pair unseen
      {u"a\tb", true, u"a\tb"},
  };
  for (const auto& c : cases) {
    auto t = TitleFromFirstLine(c.text);
    ASSERT_EQ(t.has_value(), c.found) << "text of " << c.text.size() << " units";
    if (c.found) {
      EXPECT_EQ(*t, c.title);
    }
  }
}

TEST(NoteFilePath, Joins) {
  EXPECT_EQ(NoteFilePath(u"C:\\Notes", u"a b"), u"C:\\Notes\\a b.txt");
  EXPECT_EQ(NoteFilePath(u"C:\\", u"x"), u"C:\\\\x.txt");  // a drive root doubles the backslash
  EXPECT_EQ(NoteFilePath(u"D:\\d", u"a.txt"), u"D:\\d\\a.txt.txt");
  EXPECT_EQ(NoteFilePath(u"D:\\노트", u"제목"), u"D:\\노트\\제목.txt");
}

TEST(IsSafeFileTitle, RefusesDevicesColonsAndBrokenPairs) {
  struct Case { std::u16string title; bool safe; };
  const std::vector<Case> cases = {
      {u"nul", false}, {u"NUL", false}, {u"Con", false}, {u"aux", false}, {u"prn", false},
      {u"com1", false}, {u"COM9", false}, {u"lpt1", false}, {u"LpT9", false},
      {u"nul.txt", false}, {u"con.tar", false}, {u"nul ", false}, {u"nul .x", false},
      {u"com0", true}, {u"com10", true}, {u"lpt", true}, {u"nully", true}, {u"console", true},
      {u"my nul", true}, {u"aux2", true}, {u" nul", false},  // "/nul" rules to " nul"
      {u"\uFF2E\uFF35\uFF2C", true},  // full-width NUL
      {u"a:b", false}, {u"회의 10:30", false}, {u":", false},
      {u"제목", true}, {u"a b", true}, {u"  ", true}, {kSmile, true},
      {u"a\xD83D", false}, {u"\xDE00" u"a", false}, {kSmile.substr(1) + kSmile, false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsSafeFileTitle(c.title), c.safe) << "case " << &c - &cases[0];
}

TEST(Surrogates, FindCodePointAndUtf8) {
  // ok false: AppendUtf8 refuses, leaving what `out` held; unpaired: FindUnpairedSurrogate
  struct Case { std::u16string in; bool ok; std::string utf8; std::size_t unpaired; };
  const auto npos = std::u16string::npos;
  const std::vector<Case> cases = {
      {u"", true, "", npos},
      {u"a\x7F", true, "a\x7F", npos},
      {u"\x80\u07FF", true, "\xC2\x80\xDF\xBF", npos},
      {u"\u0800한\uFFFF", true, "\xE0\xA0\x80\xED\x95\x9C\xEF\xBF\xBF", npos},
      {u"\U00010000\U0010FFFF", true, "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", npos},
      {u"x" + kSmile + u"y", true, "x\xF0\x9F\x98\x80y", npos},
      {u"abcdefg\u00E9hi" + kSmile, true, "abcdefg\xC3\xA9hi\xF0\x9F\x98\x80", npos},
      {u"ab\xD83D", false, "", 2},
      {u"abcdefgh\xDE00", false, "", 8},
      {u"\xDE00" + kSmile, false, "", 0},
      {u"a\xD83D\xD83D\xDE00", false, "", 1},
      {kSmile + u"\xDE00", false, "", 2},
  };
  for (const auto& c : cases) {
    TFileBytes out = {'k', 'e', 'e', 'p'};
    EXPECT_EQ(AppendUtf8(c.in, out), c.ok) << "case " << &c - &cases[0];
    EXPECT_EQ(std::string(out.begin(), out.end()), "keep" + c.utf8);
    EXPECT_EQ(FindUnpairedSurrogate(c.in), c.unpaired) << "case " << &c - &cases[0];
  }
  // Past the first block of units that the quick look passes over.
  const std::u16string clean(5000, u'a');
  EXPECT_EQ(FindUnpairedSurrogate(clean + kSmile + u"\xDE00"), 5002u);
  EXPECT_EQ(FindUnpairedSurrogate(std::u16string(4095, u'a') + kSmile), npos);
  EXPECT_EQ(CodePointAt(kSmile, 0), U'\U0001F600');
  EXPECT_EQ(CodePointAt(kSmile, 1), U'\xDE00');
  EXPECT_EQ(CodePointAt(u"\xD83D", 0), U'\xD83D');
  EXPECT_EQ(CodePointAt(u"한", 0), U'한');
}

TEST(NoticeText, Utf16) {
  // "제목을" is U+C81C U+BAA9 U+C744: the literals are UTF-16, not code page bytes.
  EXPECT_EQ(std::u16string(NoticeText(NoticeNoTitle)).substr(0, 3),
            (std::u16string{0xC81C, 0xBAA9, 0xC744}));
  EXPECT_EQ(std::u16string(NoticeText(NoticeNoTitle)), u"제목을 설정하세요.");
  EXPECT_EQ(std::u16string(NoticeText(NoticeNoText)), u"저장하려면 내용이 있어야 합니다.");
  EXPECT_EQ(std::u16string(NoticeText(NoticeSaveFailed)),
            u"파일로 저장되지 못했습니다. 제목이 잘못되었지 않은지 살펴보세요.");
  EXPECT_EQ(std::u16string(NoticeText(NoticeBadText)),
            u"내용에 파일로 저장할 수 없는 잘못된 문자가 있습니다.");
  EXPECT_EQ(ReplaceQuestion(u"메모.txt"),
            u"메모.txt 파일이 이미 있습니다.\r\n이 노트로 바꾸시겠습니까?");
  EXPECT_EQ(std::u16string(CloseUnsavedQuestion()),
            u"저장하지 않은 내용이 있습니다.\r\n저장하지 않고 닫으시겠습니까?");
}

TEST(Utf8Question, NamesTheCharacterAndItsCodePoint) {
  struct Case { char32_t c; unsigned codePage; std::u16string shown; };
  const std::vector<Case> cases = {
      {U'€', 949, u"'€' (U+20AC)"},
      {U'\U0001F600', 949, u"'" + kSmile + u"' (U+1F600)"},
      {U'\U0010FFFF', 1252, u"'\U0010FFFF' (U+10FFFF)"},
      {U'é', 0, u"'é' (U+00E9)"},
      {U'\x01', 4294967295u, u"U+0001"},  // a control or broken character is not shown raw
      {U'\x85', 949, u"U+0085"},
      {U'\xD800', 949, u"U+D800"},
      {U'\x202E', 949, u"U+202E"},
  };
  for (const auto& c : cases) {
    std::u16string cp;
    for (char ch : std::to_string(c.codePage)) cp += static_cast<char16_t>(ch);
    EXPECT_EQ(Utf8Question(c.c, c.codePage),
              u"이 노트에는 현재 코드 페이지(" + cp + u")로 저장할 수 없는 문자가 있습니다: " +
                  c.shown + u".\r\nUTF-8로 저장하시겠습니까?");
  }
}

}  // namespace
