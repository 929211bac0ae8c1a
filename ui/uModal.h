// The modal run of a dialog: the thread's other windows are disabled and the library's own
// message loop runs until the dialog has a modal result.
#pragma once

#include <windows.h>

// Modal results, with the dialog manager's values for the same buttons.
constexpr int mrNone = 0;
constexpr int mrOk = IDOK;
constexpr int mrCancel = IDCANCEL;

// Gives the dialog its modal result; a run of that dialog ends once the message being
// handled returns. mrNone takes the result back.
void SetModalResult(HWND dialog, int result) noexcept;
int ModalResult(HWND dialog) noexcept;

// A top-level window shown while a modal run is on (a note opened by a new command while the
// About dialog is up) is disabled like the others and enabled again when the run ends.
void JoinModalRun(HWND window) noexcept;

// Shows the hidden top-level `dialog` and delivers every message of the calling thread until
// the dialog has a modal result, which is returned. While it runs, every other visible and
// enabled top-level window of the thread is disabled; afterwards they are enabled again, the
// dialog is hidden (not destroyed: that is its creator's business) and the window that was
// active before is activated again if the dialog was still active. `focus`, a control of the
// dialog, gets the keyboard focus when the dialog is shown.
//
// The loop delivers every message through DeliverMessage (ui/uMessageLoop.h), so that a form
// shown modally gets its key preview and dialog keys as it does under the UI thread's loop.
//
// A quit message taken by the loop ends the run with mrCancel, and that is all it does: the
// layer runs on Quillo's own UI thread, whose loop lets the thread end only with its last
// window, so the quit is not passed on, and it leaves no trace: a later run goes as any
// other. A dialog destroyed while it runs ends the run with mrCancel. Never throws.
int RunModal(HWND dialog, HWND focus = nullptr) noexcept;
