// The note process, QuilloNote.exe: where the notes of the Windows 11 command live, since the
// package's surrogate that runs the command goes away with the menu. One per user session: the
// first takes a named mutex and a message-only window; a later request (from the command, or
// from a second QuilloNote.exe) hands its folder to that window with WM_COPYDATA, so that the
// note opens on the warm UI thread: only to a window of the QuilloNote.exe beside this library,
// in the same session and at the same or higher integrity, and that window takes only fresh
// requests for absolute folders. The process ends once its UI thread has (its last note
// closed and the grace period over). The exe itself only loads Quillo.dll and calls
// QuilloNoteMain: the note window and its thread are this library's, and nowhere else.
#pragma once

#include <windows.h>

#include <string>

// QuilloNote.exe's exit codes.
enum : int {
  kNoteExitOk = 0,
  kNoteExitFailed = 1,     // no note window could be made, or no note process answered
  kNoteExitUsage = 2,      // no folder, or more than one argument
  kNoteExitBadFolder = 3,  // not an existing folder, or longer than a classic path
  kNoteExitNoLibrary = 4,  // the exe cannot load Quillo.dll beside it (said by the exe)
};

// The message-only window of the living note process, and the mutex its owner holds.
extern const wchar_t kNoteProcessWindowClass[];
extern const wchar_t kNoteProcessMutex[];
extern const wchar_t kNoteProcessExe[];  // "QuilloNote.exe", beside Quillo.dll

// True when the path names an existing folder of a classic length (as the classic handler
// takes only those).
bool IsNoteFolder(const std::u16string& path) noexcept;

// The command's way to a note: hands the folder to the living note process or, when none
// takes it, starts QuilloNote.exe beside this library with it. Lets the process that will
// show the window come to the front. Returns at once; never waits on the note. Never throws.
HRESULT OpenNoteInNoteProcess(const std::u16string& folder) noexcept;

// QuilloNote.exe's body: the whole command line, as GetCommandLineW gives it. Returns the exit
// code; says on stderr why when it is not kNoteExitOk. Never throws.
int RunNoteProcess(const wchar_t* commandLine) noexcept;
