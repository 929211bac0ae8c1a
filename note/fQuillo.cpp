#include "note/fQuillo.h"

#include <new>

#include "common/uError.h"
#include "common/uWide.h"
#include "note/uAbout.h"
#include "note/uTaskbarIdentity.h"
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
enum {
  FolderLabel,      // "저장 폴더: " and the folder
  TitleLabel,       // "제목 겸 파일명"
  TitleBox,
  ExtensionLabel,   // ".txt"
  FirstLineButton,  // "첫줄을 제목으로"
  TextBox,
  ButtonBar,
  AboutButton,      // "프로그램 정보"
  SaveButton,       // "Save (&S)"
  CreateButton,     // "만들기"
  CancelButton,     // "취소"
};

// Asked for by their Korean names; where Windows lacks the Korean supplemental fonts, Malgun
// Gothic (on every Windows since 8) stands in, so that Hangul never shows as empty boxes.
const char16_t* const kGulim[] = {u"굴림", u"Gulim", u"맑은 고딕", u"Malgun Gothic", nullptr};
const char16_t* const kDotum[] = {u"돋움", u"Dotum", u"맑은 고딕", u"Malgun Gothic", nullptr};
const char16_t kIme[] = u"Microsoft IME 2003";
const TFontDef kWindowFont{nullptr, 0, false, kClWindowText};

// clang-format off
const TControlDef kControls[] = {
  // name        kind                         parent  left top  width height  anchors
  //   align  font  caption  tab  handler  flags  picture  modal result  input method
  {"FolderLabel",     TControlKind::Label,         -1, {8,   8,   64,  12},  akLeftTop,
   TAlign::None, {kGulim, -12, false, kClGreen}, u"저장 폴더 : ", -1, nullptr, cfAutoSize},
  {"TitleLabel",      TControlKind::Label,         -1, {8,   32,  88,  12},  akLeftTop,
   TAlign::None, kWindowFont, u"제목 겸 파일명  ", -1, nullptr, cfAutoSize},
  {"TitleBox",        TControlKind::Edit,          -1, {96,  32,  737, 20},  akLeftTop | akRight,
   TAlign::None, kWindowFont, u"", 1, nullptr, cfAutoHeight | cfLabelled, 0, 0, kIme},
  {"ExtensionLabel",  TControlKind::Label,         -1, {840, 36,  17,  13},  akTop | akRight,
   TAlign::None, {kGulim, -13, false, kClWindowText}, u".txt", -1, nullptr, cfAutoSize},
  {"FirstLineButton", TControlKind::Button,        -1, {720, 8,   113, 22},  akTop | akRight,
   TAlign::None, kWindowFont, u"첫줄을 제목으로", 6, Handler(&TFormQuillo::FirstLineClick)},
  {"TextBox",         TControlKind::Memo,          -1, {8,   64,  857, 489}, akLeftTop | akRight | akBottom,
   TAlign::None, {kDotum, -12, false, kClWindowText}, u"", 0, nullptr, cfNone, 0, 0, kIme,
   L"메모 내용"},
  {"ButtonBar",       TControlKind::Panel,         -1, {0,   553, 874, 41},  akLeftTop,
   TAlign::Bottom, kWindowFont, u"", -1},
  {"AboutButton",     TControlKind::PictureButton, ButtonBar, {8,   8, 97,  25}, akLeftTop,
   TAlign::None, kWindowFont, u"프로그램 정보", 2, Handler(&TFormQuillo::AboutClick), cfNone, 0, IDOK},
  {"SaveButton",      TControlKind::PictureButton, ButtonBar, {216, 8, 113, 25}, akLeftTop,
   TAlign::None, kWindowFont, u"Save (&S)", 5, Handler(&TFormQuillo::SaveClick), cfNone, IDB_CHECK, IDOK},
  {"CreateButton",    TControlKind::PictureButton, ButtonBar, {632, 8, 113, 25}, akTop | akRight,
   TAlign::None, kWindowFont, u"만들기", 3, Handler(&TFormQuillo::CreateClick), cfNone, IDB_CHECK, IDOK},
  {"CancelButton",    TControlKind::PictureButton, ButtonBar, {760, 8, 105, 25}, akTop | akRight,
   TAlign::None, kWindowFont, u"취소", 4, Handler(&TFormQuillo::CancelClick), cfCancel, IDB_CROSS, IDCANCEL},
};
// clang-format on

constexpr UINT_PTR kDraftTimer = 1;       // the typing paused
constexpr UINT_PTR kDraftClockTimer = 2;  // changes kept coming since the first unkept one
const char16_t kRecoveredCaption[] = u"Quillo  Ver1.1 - 복구된 메모 (저장되지 않음)";

const TFormDef kFormQuillo{
    u"TFormQuillo", u"Quillo  Ver1.1",
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
  SetNoteTaskbarIdentity(Handle(), true);
  FFirstActivate = true;
  SetControlText(TextBox, u"");
  SetControlText(TitleBox, u"");
}

void TFormQuillo::FormActivate() {
  if (!FFirstActivate) return;
  FFirstActivate = false;
  SetControlText(FolderLabel, u"저장 폴더: " + FFolder);
}

void TFormQuillo::FormClose(TCloseAction& action) {
  FDraft.Drop();  // the user closed it: what was not saved was meant to go
  action = TCloseAction::Free;
}

void TFormQuillo::FormKeyDown(WORD& key, unsigned shift) {
  CtrlSPressed = false;  // a new stroke: the last one's character can no longer come
  if (key != 'S' || !(shift & ssCtrl)) return;
  // Set before saving: a notice runs its own loop, which delivers the stroke's character.
  CtrlSPressed = true;
  key = 0;
  Save();
}

void TFormQuillo::FormKeyPress(char16_t& key) {
  if (!CtrlSPressed) return;
  CtrlSPressed = false;
  if (key == 19) key = 0;  // Ctrl+S's own character
}

void TFormQuillo::FormEscape() {
  // A stray Escape must not throw away a note; "취소" and the close box still close at once.
  if (HasUnsavedText() && !Ask(CloseUnsavedQuestion())) return;
  Close();
}

bool TFormQuillo::FormMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_COMMAND: {
      // Typed, pasted or cut: the draft follows once the typing pauses, and at the latest a
      // while after the first change, however steadily the typing goes on.
      const HWND from = reinterpret_cast<HWND>(lp);
      if (HIWORD(wp) == EN_CHANGE && from &&
          (from == ControlHandle(TextBox) || from == ControlHandle(TitleBox))) {
        ::SetTimer(Handle(), kDraftTimer, kDraftPauseMs, nullptr);
        if (FDraft.Changed()) ::SetTimer(Handle(), kDraftClockTimer, kDraftMaxWaitMs, nullptr);
      }
      return false;
    }
    case WM_TIMER:
      if (wp != kDraftTimer && wp != kDraftClockTimer) return false;
      for (UINT_PTR timer : {kDraftTimer, kDraftClockTimer}) ::KillTimer(Handle(), timer);
      KeepDraft(false);
      break;
    case WM_QUERYENDSESSION:
      // Never holds up a shutdown and asks nothing; the draft is on the disk before the yes.
      KeepDraft(true);
      result = TRUE;
      return true;
    case WM_ENDSESSION:
      if (wp) KeepDraft(true);
      break;
    case WM_DESTROY:
      SetNoteTaskbarIdentity(Handle(), false);  // the shell asks for it back before the end
      return false;
    default:
      return false;
  }
  result = 0;
  return true;
}

void TFormQuillo::KeepDraft(bool now) {
  if (!HasUnsavedText()) {
    FDraft.Drop();
    return;
  }
  try {
    TDraft draft;
    draft.folder = FFolder;
    draft.title = ControlText(TitleBox);
    const HWND memo = ControlHandle(TextBox);
    // Measured before the copy: a note too big to keep is not copied at all.
    if (!TNoteDraft::Fits(draft.folder.size(), draft.title.size(),
                          static_cast<size_t>(::GetWindowTextLengthW(memo)))) {
      FDraft.Refuse(TDraftTrouble::TooBig);
    } else {
      draft.text = ControlText(TextBox);
      draft.utf8 = FWritten.Encoding() == TNoteEncoding::Utf8;
      FDraft.Keep(std::move(draft), now);
    }
  } catch (const std::bad_alloc&) {
    FDraft.Refuse(TDraftTrouble::NoMemory);
  }
  // Said once, and never while Windows ends the session.
  if (now) return;
  switch (FDraft.TakeTrouble()) {
    case TDraftTrouble::TooBig: ShowNotice(NoticeDraftTooBig); break;
    case TDraftTrouble::NoMemory: ShowNotice(NoticeDraftNoMemory); break;
    case TDraftTrouble::None: break;
  }
}

void TFormQuillo::Recover(TDraft& draft, const std::u16string& path) {
  FFolder = draft.folder;
  FRecovered = true;
  SetControlText(TitleBox, draft.title);
  SetControlText(TextBox, draft.text);
  for (int box : {TextBox, TitleBox})
    if (HWND edit = ControlHandle(box)) ::SendMessageW(edit, EM_SETMODIFY, TRUE, 0);
  if (draft.utf8) FWritten.SetEncoding(TNoteEncoding::Utf8);
  ::SetWindowTextW(Handle(), W(kRecoveredCaption));
  // Set by the title's change: nothing is typed yet.
  for (UINT_PTR timer : {kDraftTimer, kDraftClockTimer}) ::KillTimer(Handle(), timer);
  FDraft.Replace(path);
  KeepDraft(true);  // this process's from now on
}

Note TFormQuillo::MakeNote() const {
  return Note{FFolder, ControlText(TextBox), ControlText(TitleBox)};
}

bool TFormQuillo::Save() {
  if (!SaveNote(MakeNote(), *this, FWritten)) return false;
  for (int box : {TextBox, TitleBox})
    if (HWND edit = ControlHandle(box)) ::SendMessageW(edit, EM_SETMODIFY, FALSE, 0);
  FDraft.Drop();
  if (FRecovered) ::SetWindowTextW(Handle(), W(kFormQuillo.caption));
  FRecovered = false;
  return true;
}

bool TFormQuillo::HasUnsavedText() const {
  HWND memo = ControlHandle(TextBox), title = ControlHandle(TitleBox);
  const bool typed = (memo && ::SendMessageW(memo, EM_GETMODIFY, 0, 0)) ||
                     (title && ::SendMessageW(title, EM_GETMODIFY, 0, 0));
  // A text box emptied again holds nothing to lose.
  return typed && memo && ::GetWindowTextLengthW(memo) > 0;
}

void TFormQuillo::ShowNotice(NoteNotice notice) {
  // The answer is only OK.
  ::MessageBoxW(Handle(), W(NoticeText(notice)), L"알림", MB_OK | MB_ICONEXCLAMATION);
}

bool TFormQuillo::Ask(const char16_t* question) {
  return ::MessageBoxW(Handle(), W(question), L"알림",
                       MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) == IDYES;
}

bool TFormQuillo::ConfirmReplace(const std::u16string& fileName) {
  return Ask(ReplaceQuestion(fileName).c_str());
}

bool TFormQuillo::ConfirmUtf8(char32_t first, unsigned codePage) {
  return Ask(Utf8Question(first, codePage).c_str());
}

void TFormQuillo::AboutClick() { ShowAboutDialog(Handle()); }

void TFormQuillo::CreateClick() {
  if (Save()) Close();
}

void TFormQuillo::CancelClick() { Close(); }

void TFormQuillo::SaveClick() { Save(); }

void TFormQuillo::FirstLineClick() {
  if (auto title = TitleFromFirstLine(ControlText(TextBox))) SetControlText(TitleBox, *title);
}

namespace {

// Makes a note window, lets `prepare` fill it, and shows it; a form made but not shown goes
// again, and the other notes stay as they are.
template <typename Prepare>
bool OpenNote(Prepare prepare, HRESULT* why) noexcept {
  HRESULT result = E_FAIL;
  TFormQuillo* form = nullptr;
  try {
    if (TApplication* app = Application()) {
      form = app->CreateForm<TFormQuillo>();
      prepare(*form);
      form->Show();
      result = S_OK;
    }
  } catch (const EQuilloError& e) {
    result = FailureResult(e);
  } catch (const std::bad_alloc&) {
    result = E_OUTOFMEMORY;
  } catch (...) {
  }
  if (FAILED(result) && form) form->Free();
  if (why) *why = result;
  return SUCCEEDED(result);
}

}  // namespace

bool OpenNoteWindow(const std::u16string& folder, HRESULT* why) noexcept {
  return OpenNote([&](TFormQuillo& form) { form.SetFolder(folder); }, why);
}

bool OpenRecoveredNote(TDraft& draft, const std::u16string& path) noexcept {
  return OpenNote([&](TFormQuillo& form) { form.Recover(draft, path); }, nullptr);
}

void SetNoteWindowCountHook(void (*hook)(bool opened)) noexcept { g_countHook = hook; }
