#include "note/uAbout.h"

#include "ui/uApplication.h"

namespace {

using layout::akLeftTop;

// Rows of the layout, in table order.
enum { Frame, PictureBox, HeadlineLabel, SubtitleLabel, CopyrightLabel, TermsLabel, CloseButton };

const char16_t* const kGulim[] = {u"굴림", u"Gulim", u"맑은 고딕", u"Malgun Gothic", nullptr};
const TFontDef kWindowFont{nullptr, 0, false, kClWindowText};
const TFontDef kHeadline{kGulim, -13, true, kClNavy};
const TFontDef kSubtitle{kGulim, -13, false, kClNavy};

// clang-format off
const TControlDef kControls[] = {
  // name        kind                    parent     left top  width height  anchors
  //   align  font  caption  tab  handler  flags
  {"Frame",          TControlKind::GroupBox, -1,        {16,  24,  425, 153}, akLeftTop,
   TAlign::None, kWindowFont, u"", -1},
  {"PictureBox",     TControlKind::Image,    Frame, {24,  24,  41,  41},  akLeftTop,
   TAlign::None, kWindowFont, u"", -1},
  {"HeadlineLabel",  TControlKind::Label,    Frame, {136, 24,  167, 13},  akLeftTop,
   TAlign::None, kHeadline, u"Quillo 파일 만들기 ", -1, nullptr, cfAutoSize},
  {"SubtitleLabel",  TControlKind::Label,    Frame, {120, 48,  201, 13},  akLeftTop,
   TAlign::None, kSubtitle, u"윈도우 탐색기 Context Menu 형태", -1, nullptr, cfAutoSize},
  {"CopyrightLabel", TControlKind::Label,    Frame, {24,  88,  378, 12},  akLeftTop,
   TAlign::None, kWindowFont, u"Copyright (C) 2026 the Quillo developers. All rights reserved.",
   -1, nullptr, cfAutoSize},
  {"TermsLabel",     TControlKind::Label,    Frame, {24,  112, 373, 12},  akLeftTop,
   TAlign::None, kWindowFont, u"이 프로그램은 무료이며, 사용에 따른 책임은 사용자에게 있습니다.",
   -1, nullptr, cfAutoSize},
  {"CloseButton",    TControlKind::Button,   -1,        {352, 184, 89,  25},  akLeftTop,
   TAlign::None, kWindowFont, u"닫기", 0, Handler(&TFormAbout::CloseClick)},
};
// clang-format on

// A fixed dialog frame: caption and close box, no minimise or maximise box, no sizing. No
// WS_CLIPCHILDREN: the group frame paints nothing inside itself, the dialog paints beneath it.
const TFormDef kFormAbout{
    u"TFormAbout", u"프로그램 정보",
    454, 219, true, 454, 219,
    WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME,
    {kGulim, -12, false, kClWindowText}, 12,
    TPosition::OwnerFormCenter,
    kControls, static_cast<int>(sizeof kControls / sizeof kControls[0]),
};

}  // namespace

TFormAbout::TFormAbout() : TForm(kFormAbout) {}

void TFormAbout::CloseClick() { Close(); }

void ShowAboutDialog(HWND noteWindow) noexcept {
  try {
    TApplication* app = Application();
    if (!app) return;
    TApplication::TBusy busy;  // the dialog outlives the run, whatever happens in it
    TFormAbout* about = app->CreateForm<TFormAbout>(noteWindow);
    about->ShowModal();  // always Cancel; nothing to act on
    about->Free();
  } catch (...) {
    // No dialog, nothing changed: the note window goes on as it was.
  }
}
