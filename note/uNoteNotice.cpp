// The texts of the save notices and questions, as the message boxes show them.
#include "note/uNote.h"

namespace {

// Characters a message box would not show as themselves, or that would reorder or break the
// question around them: these are named by their code point only.
bool IsShownAsCodeOnly(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0xD800 && c <= 0xDFFF) ||
         c > 0x10FFFF || c == 0x200E || c == 0x200F || c == 0x2028 || c == 0x2029 ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

void AppendDecimal(std::u16string& out, unsigned n) {
  char16_t digits[10];
  int k = 0;
  do {
    digits[k++] = static_cast<char16_t>(u'0' + n % 10);
    n /= 10;
  } while (n != 0);
  while (k > 0) out += digits[--k];
}

// "U+" and at least four upper-case hex digits, as code points are written.
void AppendCodePoint(std::u16string& out, char32_t c) {
  out += u"U+";
  int shift = 28;
  while (shift > 12 && (c >> shift) == 0) shift -= 4;
  for (; shift >= 0; shift -= 4) out += u"0123456789ABCDEF"[(c >> shift) & 0xF];
}

void AppendChar(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
  }
}

}  // namespace

const char16_t* NoticeText(NoteNotice notice) {
  switch (notice) {
    case NoticeNoText: return u"저장하려면 내용이 있어야 합니다.";
    case NoticeNoTitle: return u"제목을 설정하세요.";
    case NoticeSaveFailed: return u"파일로 저장되지 못했습니다. 제목이 잘못되었지 않은지 살펴보세요.";
    case NoticeBadText: return u"내용에 파일로 저장할 수 없는 잘못된 문자가 있습니다.";
    case NoticeDraftTooBig:
      return u"메모가 너무 커서 임시 저장본을 남기지 않습니다.\r\n저장하기 전에 창이 닫히면 내용이 사라집니다.";
    case NoticeDraftNoMemory:
      return u"메모리가 부족하여 임시 저장본을 남기지 못했습니다.\r\n저장하기 전에 창이 닫히면 내용이 사라집니다.";
  }
  return u"";
}

std::u16string ReplaceQuestion(std::u16string_view fileName) {
  std::u16string q(fileName);
  q += u" 파일이 이미 있습니다.\r\n이 노트로 바꾸시겠습니까?";
  return q;
}

const char16_t* CloseUnsavedQuestion() {
  return u"저장하지 않은 내용이 있습니다.\r\n저장하지 않고 닫으시겠습니까?";
}

std::u16string Utf8Question(char32_t first, unsigned codePage) {
  std::u16string q = u"이 노트에는 현재 코드 페이지(";
  AppendDecimal(q, codePage);
  q += u")로 저장할 수 없는 문자가 있습니다: ";
  if (IsShownAsCodeOnly(first)) {
    AppendCodePoint(q, first);
  } else {
    q += u'\'';
    AppendChar(q, first);
    q += u"' (";
    AppendCodePoint(q, first);
    q += u')';
  }
  q += u".\r\nUTF-8로 저장하시겠습니까?";
  return q;
}
