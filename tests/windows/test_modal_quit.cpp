// A quit message during a modal run. The run keeps a note of it for the rest of the thread's
// life, so these tests have a process of their own and run in order.
#include <gtest/gtest.h>
#include <windows.h>

#include "support/uModalTestWindows.h"
#include "ui/uModal.h"

namespace {

// Delivers what is waiting; true and the exit code when a quit message was among it.
bool TakeQuit(WPARAM& code) {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      code = msg.wParam;
      return true;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  return false;
}

TEST(ModalQuit, EndsTheRunAndReachesTheOuterLoopThenLaterRunsEndAfterOneMessage) {
  TModalTestWindow owner("owner", true);
  TModalTestWindow dialog("dialog", false, 200, 200);
  HWND close = dialog.AddButton(100, "닫기");
  WPARAM code = 0;
  ASSERT_FALSE(TakeQuit(code));

  dialog.Script({[] { ::PostQuitMessage(7); }});
  EXPECT_EQ(RunModal(dialog.hwnd(), close), mrCancel);
  EXPECT_TRUE(::IsWindowEnabled(owner.hwnd()));
  EXPECT_FALSE(::IsWindowVisible(dialog.hwnd()));
  ASSERT_TRUE(TakeQuit(code)) << "the quit message did not reach the outer loop";
  EXPECT_EQ(code, 7u);

  // The thread lives on (the host ignored its quit): a later run is shown, delivers one
  // message and ends; the rest stays queued for the host.
  TModalTestWindow second("second dialog", false, 200, 200);
  second.AddButton(100, "닫기");
  ::PostMessageA(second.hwnd(), WM_APP, 0, 0);
  ::PostMessageA(second.hwnd(), WM_APP, 0, 0);
  EXPECT_EQ(RunModal(second.hwnd()), mrCancel);
  EXPECT_EQ(second.appMessages, 1);
  EXPECT_TRUE(::IsWindowEnabled(owner.hwnd()));
  EXPECT_FALSE(::IsWindowVisible(second.hwnd()));
  EXPECT_FALSE(TakeQuit(code)) << "only a quit the run took is passed on";
  EXPECT_EQ(second.appMessages, 2);
}

}  // namespace
