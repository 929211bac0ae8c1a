// A quit message while the About dialog is open. The modal loop keeps a note of it for the
// rest of the thread's life, so this has a process of its own.
#include <gtest/gtest.h>
#include <windows.h>

#include "note/fQuillo.h"
#include "support/uModalTestWindows.h"
#include "support/uTestSupport.h"
#include "support/uWindowTestSupport.h"
#include "ui/uApplication.h"
#include "ui/uForm.h"

namespace {

TEST(AboutQuit, EndsTheDialogReachesTheHostLoopAndLaterDialogsCloseAtOnce) {
  InitWindowing(::GetModuleHandleA(nullptr));
  TTempDir dir;
  ASSERT_TRUE(OpenNoteWindow(dir.path()));
  HWND note = ::FindWindowA("TFormQuillo", nullptr);
  TForm* form = TForm::FromHandle(note);
  ASSERT_NE(form, nullptr);
  const int about = form->ControlIndex("BitBtn1");
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

  // The host's loop gets the quit message, with its exit code, after what was queued before.
  MSG msg{};
  bool quit = false;
  while (!quit && ::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    quit = msg.message == WM_QUIT;
    if (!quit) ::DispatchMessageA(&msg);
  }
  ASSERT_TRUE(quit);
  EXPECT_EQ(msg.wParam, 3u);

  // A host that goes on after its quit: the next dialog ends after one message, and nothing
  // is left disabled or open.
  bool shown = false;
  script.Script({[&] { shown = ::IsWindowVisible(::FindWindowA("TFormAbout", nullptr)); },
                 [] {}});
  script.Next();  // left for the host's loop
  ASSERT_TRUE(form->ClickControl(about));
  EXPECT_TRUE(shown);
  EXPECT_EQ(script.StepsRun(), 1u);
  EXPECT_EQ(::FindWindowA("TFormAbout", nullptr), nullptr);
  EXPECT_TRUE(::IsWindowEnabled(note));
  PumpMessages();
  EXPECT_EQ(script.StepsRun(), 2u);
  DoneWindowing(false);
}

}  // namespace
