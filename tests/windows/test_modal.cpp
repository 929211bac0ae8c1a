// The modal run: what it disables, what it restores, and the keys of a form run modally.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>

#include "support/uModalTestWindows.h"
#include "support/uTestSupport.h"
#include "ui/uApplication.h"
#include "ui/uForm.h"
#include "ui/uModal.h"

namespace {

constexpr int kClose = 100;  // the modal result a click on "닫기" gives

// The windows live for the whole suite; each test starts with the owner active.
class ModalRunTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    owner_ = new TModalTestWindow("owner", true);
    other_ = new TModalTestWindow("other", true, 500, 100);
    dialog_ = new TModalTestWindow("dialog", false, 200, 200);
    close_ = dialog_->AddButton(kClose, "닫기");
  }
  static void TearDownTestSuite() {
    delete dialog_;
    delete other_;
    delete owner_;
  }
  void SetUp() override {
    ASSERT_TRUE(owner.hwnd());
    ASSERT_TRUE(other.hwnd());
    ASSERT_TRUE(dialog.hwnd());
    ASSERT_TRUE(close);
    ::SetActiveWindow(owner.hwnd());
    PumpMessages();
  }
  void TearDown() override { PumpMessages(); }

  static TModalTestWindow* owner_;
  static TModalTestWindow* other_;
  static TModalTestWindow* dialog_;
  static HWND close_;
  TModalTestWindow& owner = *owner_;
  TModalTestWindow& other = *other_;
  TModalTestWindow& dialog = *dialog_;
  HWND close = close_;
};

TModalTestWindow* ModalRunTest::owner_ = nullptr;
TModalTestWindow* ModalRunTest::other_ = nullptr;
TModalTestWindow* ModalRunTest::dialog_ = nullptr;
HWND ModalRunTest::close_ = nullptr;

TEST_F(ModalRunTest, DisablesTheOtherWindowsWhileOpenAndRestoresThemAfter) {
  TModalTestWindow hidden("hidden", false);
  TModalTestWindow disabledBefore("disabled before", true);
  ::EnableWindow(disabledBefore.hwnd(), FALSE);
  ::SetActiveWindow(owner.hwnd());
  PumpMessages();
  ASSERT_EQ(::GetActiveWindow(), owner.hwnd());

  dialog.Script({[&] {
    EXPECT_FALSE(::IsWindowEnabled(owner.hwnd()));
    EXPECT_FALSE(::IsWindowEnabled(other.hwnd()));
    EXPECT_FALSE(::IsWindowEnabled(disabledBefore.hwnd()));
    EXPECT_TRUE(::IsWindowEnabled(hidden.hwnd()));
    EXPECT_TRUE(::IsWindowEnabled(dialog.hwnd()));
    EXPECT_TRUE(::IsWindowVisible(dialog.hwnd()));
    EXPECT_EQ(::GetActiveWindow(), dialog.hwnd());
    EXPECT_EQ(::GetFocus(), close);
    ::PostMessageA(close, BM_CLICK, 0, 0);
  }});
  EXPECT_EQ(RunModal(dialog.hwnd(), close), kClose);

  EXPECT_EQ(dialog.StepsRun(), 1u);
  EXPECT_TRUE(::IsWindowEnabled(owner.hwnd()));
  EXPECT_TRUE(::IsWindowEnabled(other.hwnd()));
  EXPECT_TRUE(::IsWindowEnabled(hidden.hwnd()));
  EXPECT_FALSE(::IsWindowEnabled(disabledBefore.hwnd())) << "enabled a window it never disabled";
  EXPECT_FALSE(::IsWindowVisible(dialog.hwnd()));
  EXPECT_TRUE(::IsWindow(dialog.hwnd())) << "the creator destroys the dialog, not the run";
  EXPECT_EQ(::GetActiveWindow(), owner.hwnd());
  EXPECT_EQ(ModalResult(dialog.hwnd()), mrNone);
}

// Disabling a window cancels its mode anyway; a hidden window is not disabled, so only the
// run's own cancel reaches it.
TEST_F(ModalRunTest, CancelsTheMouseCaptureFirst) {
  TModalTestWindow hidden("hidden", false);
  ::SetCapture(hidden.hwnd());
  ASSERT_EQ(::GetCapture(), hidden.hwnd());
  dialog.Script({[&] {
    EXPECT_EQ(::GetCapture(), nullptr);
    EXPECT_EQ(hidden.cancelModes, 1);
    SetModalResult(dialog.hwnd(), kClose);
  }});
  EXPECT_EQ(RunModal(dialog.hwnd()), kClose);
}

TEST_F(ModalRunTest, ADialogDestroyedWhileOpenEndsTheRunWithCancel) {
  TModalTestWindow doomed("doomed", false, 200, 200);
  doomed.Script({[&] { ::DestroyWindow(doomed.hwnd()); }});
  EXPECT_EQ(RunModal(doomed.hwnd()), mrCancel);
  EXPECT_TRUE(::IsWindowEnabled(owner.hwnd()));
  EXPECT_TRUE(::IsWindowEnabled(other.hwnd()));
}

TEST_F(ModalRunTest, LeavesTheActivationAloneWhenTheDialogWasNoLongerActive) {
  std::unique_ptr<TModalTestWindow> later;
  dialog.Script({[&] {
    later = std::make_unique<TModalTestWindow>("opened while the dialog runs", true, 600, 300);
    ::SetActiveWindow(later->hwnd());
    SetModalResult(dialog.hwnd(), kClose);
  }});
  EXPECT_EQ(RunModal(dialog.hwnd()), kClose);
  ASSERT_NE(later, nullptr);
  EXPECT_EQ(::GetActiveWindow(), later->hwnd());
  EXPECT_TRUE(::IsWindowEnabled(later->hwnd()));
}

TEST_F(ModalRunTest, NotAWindowIsCancelAtOnce) {
  HWND gone = ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ::DestroyWindow(gone);
  EXPECT_EQ(RunModal(gone), mrCancel);
  EXPECT_EQ(RunModal(nullptr), mrCancel);
  EXPECT_TRUE(::IsWindowEnabled(owner.hwnd()));
}

// A form does its own dialog keys, behind its key preview: in a modal run the loop must hand
// them over rather than act on them itself.
class TFormKeys : public TForm {
 public:
  TFormKeys();
  std::vector<WORD> keys;

 protected:
  void FormKeyDown(WORD& key, unsigned) override { keys.push_back(key); }
};

enum { Edit1, ButtonOk, ButtonCancel };
const char16_t* const kGulim[] = {u"굴림", nullptr};
constexpr int kOkResult = 10, kCancelResult = 11;  // only a click gives these
// clang-format off
const TControlDef kKeysControls[] = {
  {"Edit1", TControlKind::Edit, -1, {8, 8, 120, 20}, layout::akLeftTop, TAlign::None, {}, u"", 0},
  {"ButtonOk", TControlKind::Button, -1, {8, 40, 80, 25}, layout::akLeftTop, TAlign::None, {},
   u"OK", 1, nullptr, cfDefault, 0, kOkResult},
  {"ButtonCancel", TControlKind::Button, -1, {96, 40, 80, 25}, layout::akLeftTop, TAlign::None,
   {}, u"취소", 2, nullptr, cfCancel, 0, kCancelResult},
};
// clang-format on
const TFormDef kFormKeys{
    u"TFormModalKeys", u"keys", 200, 80, true, 200, 80,
    WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME,
    {kGulim, -12, false, kClWindowText}, 12, TPosition::Default,
    kKeysControls, static_cast<int>(sizeof kKeysControls / sizeof kKeysControls[0]),
};
TFormKeys::TFormKeys() : TForm(kFormKeys) {}

TEST(ModalRunOfAForm, TheFormsOwnDialogKeysWorkAndItsKeyPreviewSeesThem) {
  InitWindowing(::GetModuleHandleA(nullptr));
  TModalTestWindow script("script", false);
  struct Case {
    const char* name;
    WPARAM key;
    int result;  // 0: the key leaves the form open
  };
  const Case cases[] = {
      {"Enter in the edit box clicks the default button", VK_RETURN, kOkResult},
      {"Escape clicks the cancel button", VK_ESCAPE, kCancelResult},
      {"Tab moves on", VK_TAB, mrNone},
  };
  for (const Case& c : cases) {
    auto* f = Application()->CreateForm<TFormKeys>();
    HWND edit = f->ControlHandle("Edit1");
    script.onTimeout = [f] { f->SetModalResult(IDABORT); };
    script.Script({[&] {
                     EXPECT_EQ(::GetFocus(), edit) << c.name;
                     PostKey(edit, c.key);
                     if (!c.result) script.Next();
                   },
                   [&] {
                     EXPECT_EQ(::GetFocus(), f->ControlHandle("ButtonOk")) << c.name;
                     f->Close();
                   }});
    EXPECT_EQ(f->ShowModal(), c.result ? c.result : mrCancel) << c.name;
    EXPECT_EQ(f->keys, std::vector<WORD>{static_cast<WORD>(c.key)}) << c.name;
    f->Free();
    PumpMessages();
  }
  DoneWindowing();
}

}  // namespace
