// The file manager's side of the shell contract for a folder's background, written once for
// QuilloHost, the Wine tests, the smoke program and the benchmarks: which handlers are
// registered, one handler made, initialised with a folder, let fill a menu and invoked (on a
// worker thread as current Explorer does, or by offset as older ones did), and the windows a
// process shows afterwards. Plain Win32 threads only: the shipped 32-bit tree builds this with
// the win32 thread model.
#pragma once

#include <windows.h>
// (after windows.h, which they need)
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "common/uComPtr.h"
#include "common/uHandles.h"

// Below HKEY_CLASSES_ROOT: the folder background's own key, handed to every handler, and its
// list of context menu handlers.
extern const wchar_t kBackgroundKey[];
extern const wchar_t kBackgroundHandlersKey[];

// The classes registered as folder-background handlers, in the registry's order: a subkey
// names its class by its default value, or else by its own name (both forms are in use).
std::vector<CLSID> BackgroundHandlers();
// HKEY_CLASSES_ROOT\Directory\Background, read-only; empty when it cannot be opened.
TRegKey OpenBackgroundKey();

// An item identifier list from the shell's allocator.
struct TPidlTraits {
  static PIDLIST_ABSOLUTE Invalid() noexcept { return nullptr; }
  static void Close(PIDLIST_ABSOLUTE p) noexcept { ::CoTaskMemFree(p); }
};
using TPidl = TUniqueHandle<PIDLIST_ABSOLUTE, TPidlTraits>;
TPidl PidlFromPath(const std::wstring& path);

// Text in a code page's bytes and back (CP_ACP: the system's, for the records' ANSI fields).
std::string ToCodePage(UINT codePage, const std::wstring& text);
std::wstring FromCodePage(UINT codePage, const std::string& bytes);

// The steps of driving a handler, in their order; a failure names the one that refused.
enum class TShellStep { Apartment, Create, Initialize, ContextMenu, QueryMenu, Find, Invoke };

// One handler, as a file manager holds it for one menu.
class TShellHandler {
 public:
  // From the factory, or without one through CoCreateInstance by class (so that the COM
  // runtime reads the registration).
  HRESULT Create(REFCLSID classId, IClassFactory* factory = nullptr);
  // The folder, and the key of its kind; then the handler's IContextMenu.
  HRESULT Initialize(PCIDLIST_ABSOLUTE folder, HKEY folderKey = nullptr);
  HRESULT Initialize(const std::wstring& folderPath);
  // Create and Initialize.
  HRESULT Open(REFCLSID classId, IClassFactory* factory, PCIDLIST_ABSOLUTE folder,
               HKEY folderKey = nullptr);
  // Its items into the menu at `position`, identifiers from `first` to `last`; Items() is
  // how many identifiers it took.
  HRESULT QueryMenu(HMENU menu, UINT position, UINT first, UINT last, UINT flags = CMF_NORMAL);

  // An item's canonical verb (GCS_VERBW) and help text (GCS_HELPTEXTW); empty without one.
  std::wstring Verb(UINT offset) const;
  std::wstring HelpText(UINT offset) const;
  // The offset of the item whose canonical verb this is, or -1.
  int FindVerb(const std::wstring& verb) const;

  // The record older file managers fill: the item's offset, ANSI fields only.
  HRESULT InvokeOffset(UINT offset, HWND owner = nullptr, const std::wstring& folder = {}) const;
  // By the canonical verb in both forms (CMINVOKECOMMANDINFOEX), as the current one does.
  HRESULT InvokeVerb(const std::wstring& verb, HWND owner = nullptr,
                     const std::wstring& folder = {}) const;

  const CLSID& ClassId() const noexcept { return classId_; }
  UINT Items() const noexcept { return items_; }
  // The step last taken: the one that failed, after a failure.
  TShellStep Step() const noexcept { return step_; }

 private:
  CLSID classId_ = CLSID_NULL;
  TComPtr<IShellExtInit> init_;
  TComPtr<IContextMenu> menu_;
  UINT items_ = 0;
  TShellStep step_ = TShellStep::Create;
};

// A menu item's text (by position or identifier, as `flags` says), and the identifier of the
// item that reads `text`, exactly or without its mnemonic marks, through submenus (0: none).
std::wstring MenuItemText(HMENU menu, UINT item, UINT flags);
UINT FindMenuItem(HMENU menu, const std::wstring& text);

// The calling thread in a single-threaded apartment of its own for the scope: COM alone, or
// OLE too (as a file manager's window thread has it, for drag and drop and the clipboard).
class TApartmentScope {
 public:
  explicit TApartmentScope(bool ole = false) noexcept;
  ~TApartmentScope();
  TApartmentScope(const TApartmentScope&) = delete;
  TApartmentScope& operator=(const TApartmentScope&) = delete;
  HRESULT Result() const noexcept { return hr_; }

 private:
  bool ole_;
  HRESULT hr_;
};

// One command as current Explorer invokes it: a worker thread with an apartment of its own
// makes a second handler of the item's class, initialises it with the folder, fills a menu,
// invokes the item by its canonical verb (Unicode and ANSI), lets everything go,
// uninitialises COM and ends. An item without a verb is found in that menu by its text and
// invoked by offset. Start it with StartWorker, or CreateThread(..., &TShellInvoke::Run, &job).
struct TShellInvoke {
  CLSID classId = CLSID_NULL;
  IClassFactory* factory = nullptr;  // when given, the handler's maker; kept by the caller
  std::wstring folder;               // the folder's path
  PCIDLIST_ABSOLUTE pidl = nullptr;  // its identifier list, when the caller has one
  std::wstring verb;
  std::wstring text;
  HWND owner = nullptr;
  // Called on the worker thread once the work is done, before anything is let go.
  void(CALLBACK* report)(const TShellInvoke& job) = nullptr;
  // InvokeCommand's answer, or that of the step that failed.
  HRESULT result = E_UNEXPECTED;
  TShellStep step = TShellStep::Apartment;

  static DWORD WINAPI Run(LPVOID job);
};
TKernelHandle StartWorker(TShellInvoke& job);

// The visible top-level windows of a process, whichever thread made them, in the system's
// order; with a class or caption given, only those that have it.
std::vector<HWND> VisibleWindows(DWORD processId, const wchar_t* className = nullptr,
                                 const wchar_t* caption = nullptr);
