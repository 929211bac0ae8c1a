// The texts of the save notices. This file is compiled with the code page 949 execution
// character set, so the literals below are the bytes the message box shows.
#include "note/uNote.h"

const char* NoticeText(NoteNotice notice) {
  switch (notice) {
    case NoticeNoText: return "저장하려면 내용이 있어야 합니다.";
    case NoticeNoTitle: return "제목을 설정하세요.";
    case NoticeSaveFailed: return "파일로 저장되지 못했습니다. 제목이 잘못되었지 않은지 살펴보세요.";
  }
  return "";
}

std::string ReplaceQuestion(std::string_view fileName) {
  std::string q(fileName);
  q += " 파일이 이미 있습니다.\r\n이 노트로 바꾸시겠습니까?";
  return q;
}

const char* CloseUnsavedQuestion() {
  return "저장하지 않은 내용이 있습니다.\r\n저장하지 않고 닫으시겠습니까?";
}
