// A note window's identity on the taskbar: its own application identity, so that notes group
// together and apart from their host (File Explorer, whose "Close all windows" would otherwise
// close them too), never pinned (a pin would start the host, not a note).
#pragma once

#include <windows.h>

// Gives the window its identity (`on`), or takes it back before the window goes, as the shell
// asks. Where the shell has no such store (older or other systems), nothing changes.
void SetNoteTaskbarIdentity(HWND window, bool on) noexcept;
