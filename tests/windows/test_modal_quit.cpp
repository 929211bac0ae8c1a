// A quit message during a modal run ends that run, and nothing else: on Quillo's UI thread,
// which lives as long as any note, a quit passed on or remembered would cancel later dialogs.
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

TEST(ModalQuit, EndsTheRunAndLeavesNoTrace) {
  TModalTestWindow owner("owner", true);
  TModalTestWindow dialog("dialog", false, 200, 200);
  HWND close = dialog.AddButton(100, "닫기");
  WPARAM code = 0;
  ASSERT_FALSE(TakeQuit(code));

  dialog.Script({[] { ::PostQuitMessage(7); }});
  EXPECT_EQ(RunModal(dialog.hwnd(), close), mrCancel);
  EXPECT_TRUE(::IsWindowEnabled(owner.hwnd()));
  EXPECT_FALSE(::IsWindowVisible(dialog.hwnd()));
  EXPECT_FALSE(TakeQuit(code)) << "the quit message was passed on";

  // A later run goes as any other: it delivers everything until its dialog has a result.
  TModalTestWindow second("second dialog", false, 200, 200);
  second.AddButton(100, "닫기");
  second.Script({[&] { second.Next(); }, [&] { second.Next(); },
                 [&] { ::PostMessageA(second.hwnd(), WM_COMMAND, 100, 0); }});
  EXPECT_EQ(RunModal(second.hwnd()), 100);
  EXPECT_EQ(second.StepsRun(), 3u);
  EXPECT_TRUE(::IsWindowEnabled(owner.hwnd()));
  EXPECT_FALSE(::IsWindowVisible(second.hwnd()));
}

}  // namespace
