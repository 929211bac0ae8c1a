// The note window: one note for one folder.
#pragma once

#include <string>

// Opens a new note window for the folder, owned by the application object, shown without
// waiting (modeless); returns at once. False, and no window, when it could not be made.
// Never throws.
bool OpenNoteWindow(const std::string& folder) noexcept;

// Told each time a note window opens (true) and is destroyed (false), so that the library
// can stay loaded while a window with unsaved text is open.
void SetNoteWindowCountHook(void (*hook)(bool opened)) noexcept;
