#include "note/fQuillo.h"

#include "note/uAbout.h"
#include "resources/uResourceIds.h"
#include "ui/uApplication.h"

bool CtrlSPressed = false;

namespace {

void (*g_countHook)(bool) = nullptr;

void Count(bool opened) noexcept {
  if (g_countHook) g_countHook(opened);
}

using layout::akBottom;
using layout::akLeft;
using layout::akLeftTop;
using layout::akRight;
using layout::akTop;

// Rows of the layout, in table order.
enum { LFolder, Label2, EditTitle, Label1, Button1, Memo1, Panel1, BitBtn1, BitBtn5, BitBtn3, BitBtn4 };

const char kGulim[] = "Gulim";
const char kDotum[] = "Dotum";
const char kIme[] = "Microsoft IME 2003";
const TFontDef kWindowFont{nullptr, 0, false, kClWindowText};

// clang-format off
const TControlDef kControls[] = {
  // name        kind                         parent  left top  width height  anchors
  //   align  font  caption  tab  handler  flags  picture  modal result  input method
  {"LFolder",   TControlKind::Label,         -1, {8,   8,   64,  12},  akLeftTop,
   TAlign::None, {kGulim, -12, false, kClGreen}, "저장 폴더 : ", -1, nullptr, cfAutoSize},
  {"Label2",    TControlKind::Label,         -1, {8,   32,  88,  12},  akLeftTop,
   TAlign::None, kWindowFont, "제목 겸 파일명  ", -1, nullptr, cfAutoSize},
  {"EditTitle", TControlKind::Edit,          -1, {96,  32,  737, 20},  akLeftTop | akRight,
   TAlign::None, kWindowFont, "", 1, nullptr, cfAutoHeight, 0, 0, kIme},
  {"Label1",    TControlKind::Label,         -1, {840, 36,  17,  13},  akTop | akRight,
   TAlign::None, {kGulim, -13, false, kClWindowText}, ".txt", -1, nullptr, cfAutoSize},
  {"Button1",   TControlKind::Button,        -1, {720, 8,   113, 22},  akTop | akRight,
   TAlign::None, kWindowFont, "첫줄을 제목으로", 6, Handler(&TFormQuillo::Button1Click)},
  {"Memo1",     TControlKind::Memo,          -1, {8,   64,  857, 489}, akLeftTop | akRight | akBottom,
   TAlign::None, {kDotum, -12, false, kClWindowText}, "", 0, nullptr, cfNone, 0, 0, kIme},
  {"Panel1",    TControlKind::Panel,         -1, {0,   553, 874, 41},  akLeftTop,
   TAlign::Bottom, kWindowFont, "", -1},
  {"BitBtn1",   TControlKind::PictureButton, Panel1, {8,   8, 97,  25}, akLeftTop,
   TAlign::None, kWindowFont, "프로그램 정보", 2, Handler(&TFormQuillo::BitBtn1Click), cfNone, 0, IDOK},
  {"BitBtn5",   TControlKind::PictureButton, Panel1, {216, 8, 113, 25}, akLeftTop,
   TAlign::None, kWindowFont, "Save (&S)", 5, Handler(&TFormQuillo::BitBtn5Click), cfNone, IDB_CHECK, IDOK},
  {"BitBtn3",   TControlKind::PictureButton, Panel1, {632, 8, 113, 25}, akTop | akRight,
   TAlign::None, kWindowFont, "만들기", 3, Handler(&TFormQuillo::BitBtn3Click), cfNone, IDB_CHECK, IDOK},
  {"BitBtn4",   TControlKind::PictureButton, Panel1, {760, 8, 105, 25}, akTop | akRight,
   TAlign::None, kWindowFont, "취소", 4, Handler(&TFormQuillo::BitBtn4Click), cfCancel, IDB_CROSS, IDCANCEL},
};
// clang-format on

const TFormDef kFormQuillo{
    "TFormQuillo", "Quillo  Ver1.1",
    882, 628, false, 874, 594,
    WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0,
    {kGulim, -12, false, kClWindowText}, 12,
    TPosition::ScreenCenter,
    kControls, static_cast<int>(sizeof kControls / sizeof kControls[0]),
};

}  // namespace

TFormQuillo::TFormQuillo() : TForm(kFormQuillo) { Count(true); }

TFormQuillo::~TFormQuillo() { Count(false); }

void TFormQuillo::FormCreate() {
  FFirstActivate = true;
  SetControlText(Memo1, "");
  SetControlText(EditTitle, "");
}

void TFormQuillo::FormActivate() {
  if (!FFirstActivate) return;
  FFirstActivate = false;
  SetControlText(LFolder, "저장 폴더: " + FFolder);
}

void TFormQuillo::FormClose(TCloseAction& action) { action = TCloseAction::Free; }

void TFormQuillo::FormKeyDown(WORD& key, unsigned shift) {
  CtrlSPressed = false;  // a new stroke: the last one's character can no longer come
  if (key != 'S' || !(shift & ssCtrl)) return;
  // Set before saving: a notice runs its own loop, which delivers the stroke's character.
  CtrlSPressed = true;
  key = 0;
  Save();
}

void TFormQuillo::FormKeyPress(char& key) {
  if (!CtrlSPressed) return;
  CtrlSPressed = false;
  if (key == 19) key = 0;  // Ctrl+S's own character
}

void TFormQuillo::FormEscape() {
  // A stray Escape must not throw away a note; "취소" and the close box still close at once.
  if (HasUnsavedText() && !Ask(CloseUnsavedQuestion())) return;
  Close();
}

bool TFormQuillo::FormMessage(UINT msg, WPARAM, LPARAM, LRESULT& result) {
  if (msg != WM_QUERYENDSESSION) return false;
  result = TRUE;  // never holds up a shutdown; unsaved text is not asked about
  return true;
}

Note TFormQuillo::MakeNote() const {
  return Note{FFolder, ControlText(Memo1), ControlText(EditTitle)};
}

bool TFormQuillo::Save() {
  if (!SaveNote(MakeNote(), *this, FWritten)) return false;
  for (int box : {Memo1, EditTitle})
    if (HWND edit = ControlHandle(box)) ::SendMessageA(edit, EM_SETMODIFY, FALSE, 0);
  return true;
}

bool TFormQuillo::HasUnsavedText() const {
  HWND memo = ControlHandle(Memo1), title = ControlHandle(EditTitle);
  const bool typed = (memo && ::SendMessageA(memo, EM_GETMODIFY, 0, 0)) ||
                     (title && ::SendMessageA(title, EM_GETMODIFY, 0, 0));
  // A text box emptied again holds nothing to lose.
  return typed && memo && ::GetWindowTextLengthA(memo) > 0;
}

void TFormQuillo::ShowNotice(NoteNotice notice) {
  // The answer is only OK.
  ::MessageBoxA(Handle(), NoticeText(notice), "알림", MB_OK | MB_ICONEXCLAMATION);
}

bool TFormQuillo::Ask(const std::string& question) {
  return ::MessageBoxA(Handle(), question.c_str(), "알림",
                       MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) == IDYES;
}

bool TFormQuillo::ConfirmReplace(const std::string& fileName) {
  return Ask(ReplaceQuestion(fileName));
}

void TFormQuillo::BitBtn1Click() { ShowAboutDialog(Handle()); }

void TFormQuillo::BitBtn3Click() {
  if (Save()) Close();
}

void TFormQuillo::BitBtn4Click() { Close(); }

void TFormQuillo::BitBtn5Click() { Save(); }

void TFormQuillo::Button1Click() {
  if (auto title = TitleFromFirstLine(ControlText(Memo1))) SetControlText(EditTitle, *title);
}

bool OpenNoteWindow(const std::string& folder) noexcept {
  TFormQuillo* form = nullptr;
  try {
    TApplication* app = Application();
    if (!app) return false;
    form = app->CreateForm<TFormQuillo>();
    form->SetFolder(folder);
    form->Show();
    return true;
  } catch (...) {
    if (form) form->Free();
    return false;
  }
}

void SetNoteWindowCountHook(void (*hook)(bool opened)) noexcept { g_countHook = hook; }
