// Placeholder until the windowing layer lands.
#include "ui/uApplication.h"

void InitWindowing(HINSTANCE) {}
void DoneWindowing(bool) noexcept {}
