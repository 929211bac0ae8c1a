// The windowing layer's life, as the library entry drives it.
#pragma once

#include <windows.h>

// Prepares window classes and the application object that owns every form.
void InitWindowing(HINSTANCE module);
// Destroys every form still open, then the application object. While the process exits
// (the loader's lock held, other threads gone) no window is touched.
void DoneWindowing(bool processExiting) noexcept;
