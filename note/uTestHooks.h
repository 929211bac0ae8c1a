// Where the test trees let a test step into a moment it could not reach from outside. They
// build note/uNoteThread.cpp, note/uSaveNote.cpp and note/uDraftOwner.cpp with
// QUILLO_TEST_HOOKS; the shipped library has none of this, and its code runs as if the hooks
// were never there.
//
// - The UI thread, between its last look at the queue and its end, sets the named event
//   "Quillo.Test.OnTheWayOut.<process id>" when a test made it, and stays half a second.
#pragma once

#include <string>

// Called while a new note's file is written completely into its scratch file and not yet
// moved to its name (path); null: nothing.
extern void (*TestHookScratchWritten)(const std::u16string& path);

// Whether the process counts as elevated (note/uDraft.h: it then keeps no drafts). Wine gives
// every process a full administrator's token, so the test trees go by this alone: null, not
// elevated.
extern bool (*TestHookElevated)();
