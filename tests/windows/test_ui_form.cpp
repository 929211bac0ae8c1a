// The form framework with a second, dialog-like form class: a fixed frame sized by its client
// area, a frame box holding labels with their own fonts, an empty picture, a push button, a
// modal run, placement over the owner; and the input-method choice.
#include <gtest/gtest.h>
#include <windows.h>

#include "support/uTestSupport.h"
#include "support/uWindowTestSupport.h"
#include "ui/uApplication.h"
#include "ui/uForm.h"
#include "ui/uIme.h"
#include "ui/uModal.h"

namespace {

class TFormSample : public TForm {
 public:
  TFormSample();
  void Button1Click() { Close(); }
  int activations = 0;
  std::vector<std::pair<WORD, unsigned>> keys;

 protected:
  void FormActivate() override { ++activations; }
  void FormKeyDown(WORD& key, unsigned shift) override {
    keys.emplace_back(key, shift);
    if (key == VK_F2) key = 0;  // swallowed before the control
  }
};

enum { GroupBox1, Image1, Label6, Label3, Edit1, Button1 };
const char16_t* const kGulim[] = {u"굴림", u"Gulim", nullptr};
const TFontDef kWindowFont{};
// clang-format off
const TControlDef kSampleControls[] = {
  {"GroupBox1", TControlKind::GroupBox, -1, {16, 24, 425, 153}, layout::akLeftTop, TAlign::None,
   kWindowFont, u"", -1},
  {"Image1", TControlKind::Image, GroupBox1, {24, 24, 41, 41}, layout::akLeftTop, TAlign::None,
   kWindowFont, u"", -1},
  {"Label6", TControlKind::Label, GroupBox1, {136, 24, 167, 13}, layout::akLeftTop, TAlign::None,
   {kGulim, -13, true, kClNavy}, u"Quillo 파일 만들기 ", -1, nullptr, cfAutoSize},
  {"Label3", TControlKind::Label, GroupBox1, {120, 48, 201, 13}, layout::akLeftTop, TAlign::None,
   {kGulim, -13, false, kClNavy}, u"윈도우 탐색기 Context Menu 형태", -1, nullptr, cfAutoSize},
  {"Edit1", TControlKind::Edit, -1, {16, 184, 100, 20}, layout::akLeftTop, TAlign::None,
   kWindowFont, u"", 1},
  {"Button1", TControlKind::Button, -1, {352, 184, 89, 25}, layout::akLeftTop, TAlign::None,
   kWindowFont, u"닫기", 0, Handler(&TFormSample::Button1Click)},
};
// clang-format on
const TFormDef kSample{
    u"TFormSample", u"프로그램 정보", 454, 219, true, 454, 219,
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME,
    {kGulim, -12, false, kClWindowText}, 12, TPosition::OwnerFormCenter,
    kSampleControls, static_cast<int>(sizeof kSampleControls / sizeof kSampleControls[0]),
};

TFormSample::TFormSample() : TForm(kSample) {}

struct TRun {
  TFormSample* form;
  HWND owner;
  int result = -1;
  RECT placed{};
  bool ownerDisabled = false;
  std::vector<HWND> focus{};
};
TRun g_run{nullptr, nullptr};

void CALLBACK InsideTheRun(HWND w, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(w, id);
  ::GetWindowRect(w, &g_run.placed);
  g_run.ownerDisabled = !::IsWindowEnabled(g_run.owner);
  g_run.focus.push_back(::GetFocus());
  PressKey(::GetFocus(), VK_ESCAPE);  // no cancel button: nothing happens
  g_run.focus.push_back(::GetFocus());
  PressKey(::GetFocus(), VK_F2);
  PressKey(g_run.form->ControlHandle("Button1"), VK_RETURN);
}

class UiFormTest : public ::testing::Test {
 protected:
  void SetUp() override { InitWindowing(::GetModuleHandleA(nullptr)); }
  void TearDown() override {
    DoneWindowing();
    EXPECT_EQ(Application(), nullptr);
  }
};

TEST_F(UiFormTest, DialogFormIsJustAnotherTable) {
  auto* f = Application()->CreateForm<TFormSample>();
  const layout::TScale s = f->Scale();
  RECT client{};
  ::GetClientRect(f->Handle(), &client);
  EXPECT_EQ(client.right, layout::Scaled(454, s));
  EXPECT_EQ(client.bottom, layout::Scaled(219, s));
  EXPECT_EQ(::GetWindowLongPtrA(f->Handle(), GWL_STYLE) & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);

  // Controls inside the frame box are placed relative to it, and drawn above it.
  const RECT box = ChildRect(f->ControlHandle("GroupBox1"));
  const RECT image = ChildRect(f->ControlHandle("Image1"));
  EXPECT_EQ(image.left - box.left, layout::Scaled(40, s) - layout::Scaled(16, s));
  EXPECT_EQ(WindowText(f->ControlHandle("Image1")), "");
  HWND below = f->ControlHandle("Label6");
  bool boxBelow = false;
  while ((below = ::GetWindow(below, GW_HWNDNEXT)))
    boxBelow |= below == f->ControlHandle("GroupBox1");
  EXPECT_TRUE(boxBelow) << "the frame box must lie beneath the labels it holds";

  // A bold navy label gets its own font and colour.
  HWND label = f->ControlHandle("Label6");
  LOGFONTA lf{};
  ::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(label, WM_GETFONT, 0, 0)), sizeof lf, &lf);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  EXPECT_EQ(lf.lfHeight, layout::Scaled(-13, s));
  HDC dc = ::GetDC(label);
  ::SendMessageA(f->Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label));
  EXPECT_EQ(::GetTextColor(dc), RGB(0, 0, 128));
  ::ReleaseDC(label, dc);
  f->Free();
}

TEST_F(UiFormTest, ModalRunOverItsOwnerEndsWithClose) {
  HWND owner = ::CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 30,
                                 600, 500, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  PumpUntil([] { return true; }, 0);
  auto* f = Application()->CreateForm<TFormSample>(owner);
  HWND dialog = f->Handle();
  g_run = TRun{f, owner};
  // Keys are pressed from inside the run, through a timer on the run's own thread.
  ::SetTimer(dialog, 1, 10, &InsideTheRun);
  g_run.result = f->ShowModal();
  EXPECT_EQ(g_run.result, IDCANCEL);
  EXPECT_TRUE(::IsWindow(dialog)) << "a modal run hides, its creator destroys";
  EXPECT_FALSE(::IsWindowVisible(dialog));
  EXPECT_TRUE(g_run.ownerDisabled);
  EXPECT_TRUE(::IsWindowEnabled(owner));
  ASSERT_EQ(g_run.focus.size(), 2u);
  EXPECT_EQ(g_run.focus[0], f->ControlHandle("Button1")) << "the first of the tab order has the focus";
  EXPECT_EQ(g_run.focus[1], f->ControlHandle("Button1"));
  const RECT& placed = g_run.placed;
  const int w = placed.right - placed.left, h = placed.bottom - placed.top;
  EXPECT_EQ(placed.left, layout::CentredOrigin(40, 600, w));
  EXPECT_EQ(placed.top, layout::CentredOrigin(30, 500, h));
  ASSERT_FALSE(f->keys.empty());
  EXPECT_EQ(f->keys.back().first, VK_RETURN);
  EXPECT_GE(f->activations, 1);
  f->Free();
  EXPECT_FALSE(::IsWindow(dialog));
  ::DestroyWindow(owner);
}

TEST_F(UiFormTest, KeyPreviewSeesKeysOfEveryControlWithShiftState) {
  auto* f = Application()->CreateForm<TFormSample>();
  f->Show();
  PumpUntil([&] { return ::GetForegroundWindow() == f->Handle(); });
  HWND edit = f->ControlHandle("Edit1");
  ::SetFocus(edit);
  {
    TKeysDown keys({VK_SHIFT, VK_CONTROL});
    PressKey(edit, 'Q');
  }
  PressKey(edit, 'Q', true);
  ASSERT_GE(f->keys.size(), 2u);
  EXPECT_EQ(f->keys[0], (std::pair<WORD, unsigned>{'Q', ssShift | ssCtrl}));
  EXPECT_EQ(f->keys[1], (std::pair<WORD, unsigned>{'Q', ssAlt}));
  // Tab goes through this form's own order: Button1 (0), then Edit1 (1).
  PressKey(edit, VK_TAB);
  EXPECT_EQ(::GetFocus(), f->ControlHandle("Button1"));
  PressKey(::GetFocus(), VK_TAB);
  EXPECT_EQ(::GetFocus(), edit);
  f->Free();
}

TEST_F(UiFormTest, ClosingFreesOnlyWhenTheReleaseIsDelivered) {
  // A form that asks to be freed; the handler that closes it returns normally first.
  struct TFreeing : TFormSample {
    void FormClose(TCloseAction& a) override { a = TCloseAction::Free; }
  };
  auto* f = Application()->CreateForm<TFreeing>();
  HWND w = f->Handle();
  EXPECT_EQ(Application()->FormCount(), 1);
  ::SendMessageA(f->ControlHandle("Button1"), BM_CLICK, 0, 0);
  EXPECT_TRUE(::IsWindow(w));
  EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(w); }));
  EXPECT_EQ(Application()->FormCount(), 0);
}

// A face the system lacks gives way to the next one named; with none there, the first is
// asked for and the font mapper finds the nearest.
TEST_F(UiFormTest, FontsFallBackToTheFirstFaceTheSystemHas) {
  static const char16_t* const missing[] = {u"No Such Face", u"굴림", nullptr};
  static const char16_t* const none[] = {u"No Such Face", u"Nor This", nullptr};
  struct Case { const char16_t* const* faces; const char* asked; };
  for (const Case& c : {Case{missing, "굴림"}, Case{kGulim, "굴림"}, Case{none, "No Such Face"}}) {
    LOGFONTW lf{};
    ASSERT_TRUE(::GetObjectW(Application()->Font(c.faces, -12, false), sizeof lf, &lf));
    EXPECT_EQ(Utf8(std::wstring(lf.lfFaceName)), c.asked);
  }
}

TEST(UiIme, ChoiceOnEnterAndExit) {
  const HKL def = reinterpret_cast<HKL>(0x04120412), ime = reinterpret_cast<HKL>(0xE0010412);
  const HKL other = reinterpret_cast<HKL>(0xE0020412);
  const std::vector<TImeEntry> installed = {{other, u"Other IME"}, {ime, u"Microsoft IME 2003"}};
  const std::u16string name = u"Microsoft IME 2003";
  struct Case { bool farEast; std::u16string name, defaultName; std::vector<TImeEntry> imes; TImeChoice expected; };
  const std::vector<Case> cases = {
      {true, name, u"", installed, {true, ime}},
      {true, u"MICROSOFT ime 2003", u"", installed, {true, ime}},  // case does not matter
      {true, name, u"", {{other, u"Other IME"}}, {true, def}},     // not installed: the default
      {true, name, u"", {}, {false, nullptr}},                     // none installed: nothing
      {false, name, u"", installed, {false, nullptr}},             // not an East Asian system
      {true, name, u"microsoft ime 2003", installed, {false, nullptr}},  // already the default
      {true, u"", u"", installed, {false, nullptr}},
      {true, u"한국어 입력기", u"", {{other, u"한국어 입력기"}}, {true, other}},  // any name
  };
  for (const auto& c : cases) {
    const TImeChoice got = ChooseImeOnEnter(c.farEast, c.name, c.defaultName, c.imes, def);
    EXPECT_EQ(got.activate, c.expected.activate) << Utf8(c.name) << " / " << Utf8(c.defaultName);
    EXPECT_EQ(got.layout, c.expected.layout) << Utf8(c.name) << " / " << Utf8(c.defaultName);
  }
  EXPECT_TRUE(ChooseImeOnExit(name, u"", def).activate);
  EXPECT_EQ(ChooseImeOnExit(name, u"", def).layout, def);
  EXPECT_FALSE(ChooseImeOnExit(name, u"MICROSOFT IME 2003", def).activate);
  EXPECT_FALSE(ChooseImeOnExit(u"", u"", def).activate);
}

TEST_F(UiFormTest, FocusInAndOutOfAnImeBoxIsSafeWithoutAnInputMethod) {
  // Wine has no input method installed: the keyboard layout must stay what it was.
  const HKL before = ::GetKeyboardLayout(0);
  ImeEnter(u"Microsoft IME 2003");
  ImeExit(u"Microsoft IME 2003");
  ImeEnter(nullptr);
  EXPECT_EQ(::GetKeyboardLayout(0), before);
}

}  // namespace
