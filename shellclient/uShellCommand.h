// Windows 11's side of a folder background's command: an IExplorerCommand made by class, given
// a site as Explorer's view gives one, asked for what the menu shows, and invoked with the item
// array Explorer may pass (none, an empty one, or the folder itself). For QuilloHost
// --windows11 and the Wine tests.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shobjidl.h>

#include <string>

#include "common/uComPtr.h"

// Which services the site answers: SID_SFolderView with the view itself, or SID_STopLevelBrowser
// with a browser whose active view it is; none: no site is set at all.
enum class TSiteKind { None, FolderView, Browser };
enum class TItemArray { Null, Empty, Folder };

// The site for a folder: its view's GetFolder hands out the shell's own IShellFolder for it.
TComPtr<IUnknown> MakeFolderSite(TSiteKind kind, PCIDLIST_ABSOLUTE folder);
// The item array Explorer passes, built by the shell (SHCreateShellItemArrayFromIDLists);
// null for TItemArray::Null (and when it cannot be made).
TComPtr<IShellItemArray> MakeItemArray(TItemArray kind, PCIDLIST_ABSOLUTE folder);

// One use of the command, as the menu makes it.
struct TExplorerInvoke {
  IClassFactory* factory = nullptr;  // the command's maker; kept by the caller
  PCIDLIST_ABSOLUTE folder = nullptr;
  TSiteKind site = TSiteKind::FolderView;
  TItemArray items = TItemArray::Null;
  // What the menu read.
  std::wstring title, toolTip, icon;
  GUID canonicalName = GUID_NULL;
  EXPCMDFLAGS flags = 0;
  EXPCMDSTATE state = 0;
  // Invoke's answer, or that of the step that failed before it.
  HRESULT result = E_UNEXPECTED;
};

// Makes the command, sets the site, reads title, tool tip, icon, canonical name, flags and
// state, invokes, and lets the site and the command go. The calling thread needs an apartment.
HRESULT RunExplorerCommand(TExplorerInvoke& job);
