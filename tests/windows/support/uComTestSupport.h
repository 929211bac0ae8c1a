// Helpers for the tests of the COM server, registration and the context-menu handler.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <map>
#include <string>
#include <vector>

#include "shellclient/uShellClient.h"

// The folder the test program runs from; Quillo.dll is built beside it.
std::string TestProgramDir();
std::string BuiltDllPath();
// A file of the shipped trees (build/, build/x64) by its path below build/, such as
// "x64\\Quillo.dll"; empty when this tree was configured without QUILLO_SHIPPED_DIR.
std::string ShippedPath(const std::string& relative);

// Quillo.dll (or a copy of it) loaded into this process, with its four exports.
class TQuilloDll {
 public:
  explicit TQuilloDll(const std::string& path = BuiltDllPath());
  TQuilloDll(const TQuilloDll&) = delete;
  TQuilloDll& operator=(const TQuilloDll&) = delete;
  ~TQuilloDll();
  bool Loaded() const { return module_ != nullptr; }
  HMODULE Module() const { return module_; }
  void Unload();

  HRESULT GetClassObject(REFCLSID classId, REFIID iid, void** out) const;
  HRESULT CanUnloadNow() const;
  HRESULT RegisterServer() const;
  // DllInstall; E_UNEXPECTED when the library has none.
  HRESULT Install(BOOL install, const wchar_t* cmdLine) const;
  HRESULT UnregisterServer() const;

 private:
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  using NoArgFn = HRESULT(STDAPICALLTYPE*)();
  HMODULE module_ = nullptr;
  GetClassObjectFn getClassObject_ = nullptr;
  NoArgFn canUnloadNow_ = nullptr;
  NoArgFn registerServer_ = nullptr;
  NoArgFn unregisterServer_ = nullptr;
  using InstallFn = HRESULT(STDAPICALLTYPE*)(BOOL, PCWSTR);
  InstallFn install_ = nullptr;
};

// Redirects HKEY_CLASSES_ROOT (or another predefined key, such as HKEY_CURRENT_USER) of this
// process to a fresh private key for the scope.
class TClassesRootOverride {
 public:
  explicit TClassesRootOverride(HKEY predefined = HKEY_CLASSES_ROOT);
  TClassesRootOverride(const TClassesRootOverride&) = delete;
  TClassesRootOverride& operator=(const TClassesRootOverride&) = delete;
  ~TClassesRootOverride();
  HKEY Root() const { return root_; }
  bool Active() const { return active_; }

 private:
  HKEY predefined_;
  std::string path_;
  HKEY root_ = nullptr;
  bool active_ = false;
};

// Every value below a key: "sub\key|valuename" -> data (REG_SZ only; other types marked).
using TRegistryValues = std::map<std::string, std::string>;
TRegistryValues ReadValues(HKEY root);
// Every key below a key, as relative paths.
std::vector<std::string> ReadKeys(HKEY root);
bool KeyExists(HKEY root, const std::string& path);

// Closes the windows with WM_CLOSE and waits (delivering this thread's messages) until they
// are gone.
void CloseWindows(const std::vector<HWND>& windows);
// Windows in "after" that were not in "before".
std::vector<HWND> NewWindows(const std::vector<HWND>& before, const std::vector<HWND>& after);

// Watches, on a second thread, for a message box with the caption; reads its text and owner
// and presses OK. Gives up after the timeout so that no test can hang on a box.
class TMessageBoxWatcher {
 public:
  explicit TMessageBoxWatcher(const std::string& caption, DWORD timeoutMs = 10000);
  TMessageBoxWatcher(const TMessageBoxWatcher&) = delete;
  TMessageBoxWatcher& operator=(const TMessageBoxWatcher&) = delete;
  ~TMessageBoxWatcher();
  // Waits for the watching thread to end; true when a box was seen and dismissed.
  bool Wait();
  const std::string& Text() const { return text_; }
  HWND Owner() const { return owner_; }
  LONG_PTR Style() const { return style_; }

 private:
  static DWORD WINAPI Run(void* self);
  std::string caption_;
  DWORD timeoutMs_;
  HANDLE thread_ = nullptr;
  bool seen_ = false;
  std::string text_;
  HWND owner_ = nullptr;
  LONG_PTR style_ = 0;
};

// Runs a program and waits for it; returns its exit code or -1.
int RunProgram(const std::string& commandLine, DWORD timeoutMs = 60000);
// The system's regsvr32 with the arguments on the built Quillo.dll; its exit code or -1.
int Regsvr32(const std::string& args, DWORD timeoutMs = 60000);

// Copies a file, creating nothing else.
bool CopyFileTo(const std::string& from, const std::string& to);

// Quillo's command on the folder as current Explorer invokes it (a worker thread; see
// TShellInvoke): the handler from the factory or, without one, from the COM runtime by class.
TShellInvoke NoteCommand(const std::string& folder, IClassFactory* factory,
                         REFCLSID classId = CLSID_NULL);
