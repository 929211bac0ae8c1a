// The Windows 11 command's benchmark rows (uBenchWindows11.cpp).
#pragma once

#include <string>

#include "bench/uBench.h"

// --plain-window FOLDER: a plain window in this process until it is closed (the cold floor);
// the folder read wide from the command line.
int PlainWindowMain();
// Invoke until the note is ready, cold and warm, each against its floor.
void Windows11Rows(const THandlerDll& quillo, const TScratch& scratch);
