// The folder background's menu as the file manager builds it: its own items, and the items of
// every registered handler between them, each handler with its own share of the identifiers.
#pragma once

#include <windows.h>

#include <vector>

#include "shellclient/uShellClient.h"
#include "tools/uHostArgs.h"

struct THandlerRange {
  TShellHandler handler;
  UINT first = 0;
  UINT count = 0;
};

struct TBackgroundMenu {
  TMenu menu;
  std::vector<THandlerRange> handlers;

  // The handler that owns a command identifier, with the identifier's offset in its range.
  const THandlerRange* Owner(UINT id, UINT& offset) const;
};

// Creates every registered handler and lets each add its items. Handlers that cannot be
// created or refuse the folder are left out (and said so), as the file manager leaves them
// out. Returns an exit code.
int BuildMenu(const TFolder& folder, const std::vector<CLSID>& classes, TBackgroundMenu& out);

// The menu's items, one a line, submenus indented.
void PrintMenu(HMENU menu, int depth);
