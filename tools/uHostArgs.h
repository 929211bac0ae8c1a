// QuilloHost's command line, read wide, and the folder it names.
#pragma once

#include <string>

#include "shellclient/uShellClient.h"

struct THostOptions {
  std::wstring folder;      // as given; the current folder when none is
  std::wstring invokeText;  // --invoke TEXT
  bool scripted = false;    // --invoke
  bool onWorker = true;     // unless --invoke-on-window-thread
  bool listOnly = false;    // --list
  bool windows11 = false;   // --windows11
};

// The options, or an exit code other than kExitOk (after saying why).
int ReadArguments(THostOptions& options);

// The folder as the shell knows it.
struct TFolder {
  TPidl pidl;
  std::wstring path;  // its file-system path, as the shell gives it
};

// The folder's absolute identifier list, checked to be a file-system folder that exists;
// kExitFolder (after saying why) when it is not.
int OpenFolder(const std::wstring& given, TFolder& folder);
