// A quit message while the About dialog is open: it closes the dialog, and later dialogs run
// as any other.
#include <gtest/gtest.h>
#include <windows.h>

#include "note/fQuillo.h"
#include "support/uModalTestWindows.h"
#include "support/uTestSupport.h"
#include "support/uWindowTestSupport.h"
#include "ui/uApplication.h"
#include "ui/uForm.h"

namespace {

TEST(AboutQuit, EndsTheDialogAndLaterDialogsRunNormally) {
  InitWindowing(::GetModuleHandleA(nullptr));
  TTempDir dir;
  ASSERT_TRUE(OpenNoteWindow(U16(dir.path())));
  HWND note = ::FindWindowA("TFormQuillo", nullptr);
  TForm* form = TForm::FromHandle(note);
  ASSERT_NE(form, nullptr);
  const int about = form->ControlIndex("AboutButton");
  TModalTestWindow script("script", false);
  script.onTimeout = [] {
    if (HWND w = ::FindWindowA("TFormAbout", nullptr)) ::PostMessageA(w, WM_CLOSE, 0, 0);
  };

  bool open = false;
  script.Script({[&] {
    open = ::IsWindowVisible(::FindWindowA("TFormAbout", nullptr)) != FALSE;
    ::PostQuitMessage(3);
  }});
  ASSERT_TRUE(form->ClickControl(about));
  EXPECT_TRUE(open);
  EXPECT_EQ(::FindWindowA("TFormAbout", nullptr), nullptr);
  EXPECT_TRUE(::IsWindowEnabled(note));

  // Nothing is left for the thread's loop to find.
  MSG msg{};
  bool quit = false;
  while (!quit && ::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    quit = msg.message == WM_QUIT;
    if (!quit) ::DispatchMessageA(&msg);
  }
  EXPECT_FALSE(quit);

  // The next dialog stays open through any number of messages, until it is closed.
  bool shown = false;
  script.Script({[&] { script.Next(); },
                 [&] {
                   shown = ::IsWindowVisible(::FindWindowA("TFormAbout", nullptr)) != FALSE;
                   script.Next();
                 },
                 [] { ::PostMessageA(::FindWindowA("TFormAbout", nullptr), WM_CLOSE, 0, 0); }});
  ASSERT_TRUE(form->ClickControl(about));
  EXPECT_TRUE(shown);
  EXPECT_EQ(script.StepsRun(), 3u);
  EXPECT_EQ(::FindWindowA("TFormAbout", nullptr), nullptr);
  EXPECT_TRUE(::IsWindowEnabled(note));
  DoneWindowing();
}

}  // namespace
