// Names for screen readers where no label can give one (Dynamic Annotation, oleacc): the name
// a control's accessible object reports. Oleacc is reached through COM only, so the library
// imports nothing new; where the service is missing or refuses (Wine: E_NOTIMPL), the control
// keeps whatever name the system gives it, and nothing else changes.
#pragma once

#include <windows.h>

// Gives the control's client object this name; `name` null takes the annotation away again
// (before the control is destroyed). The answer of the service, for the record only.
HRESULT AnnotateAccessibleName(HWND control, const wchar_t* name) noexcept;

// Test builds only (QUILLO_TEST_HOOKS): told of every annotation made or taken away, with the
// service's answer.
extern void (*TestHookAccessibleName)(HWND control, const wchar_t* name, HRESULT result);
