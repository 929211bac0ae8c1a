// Quillo's UI thread: every note window lives on it, whichever thread asked for the window.
//
// The first request starts the thread; it ends when its last window has been gone for the
// grace period. It holds its own reference on the library, given back as its very last act,
// so that neither the host's unload check nor the COM runtime's final unload can take its code
// away (the unload check itself says yes as soon as no note is open), and while a note is open
// it holds the host process's reference where the host offers one, so that the host does not
// end under an open note. It sets up the windowing layer when it starts and tears it down
// before it ends; a request that arrives while it is on its way out makes it begin again.
#pragma once

#include <windows.h>

#include <string>

// How long a request waits for its window before it gives up.
constexpr DWORD kNoteHandOverMs = 5000;

// How long the UI thread stays, with its windowing layer, after its last note has closed: the
// next note of a burst then opens on it at once. Test builds may shorten it.
#ifndef QUILLO_NOTE_GRACE_MS
#define QUILLO_NOTE_GRACE_MS 30000
#endif
constexpr DWORD kNoteGraceMs = QUILLO_NOTE_GRACE_MS;

// Hands a copy of the folder to the UI thread (starting it when none runs) and waits until
// the note window is open (S_OK) or could not be made (E_FAIL), at most kNoteHandOverMs.
// While waiting, messages sent to the calling thread are delivered, so that the UI thread
// can never wait on it in turn. Before the note opens, the UI thread reopens the drafts that
// hosts which died left behind (note/uDraft.h); an empty folder asks for only that, opens no
// new note and answers S_OK. Any thread; never throws.
HRESULT OpenNoteOnUiThread(const std::u16string& folder) noexcept;

// True while a UI thread exists (running, or on its way out).
bool NoteThreadRunning() noexcept;
