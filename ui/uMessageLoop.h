// The library's message loops (its UI thread's own loop and the modal run) deliver every
// message through here: a keyboard message of a form's window or control first goes to that
// form's key preview and dialog keys, like a PreTranslateMessage chain; what the form does not
// use up is translated and dispatched as usual.
#pragma once

#include <windows.h>

// Never throws.
void DeliverMessage(MSG& msg) noexcept;
