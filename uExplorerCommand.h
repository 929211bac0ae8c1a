// The Windows 11 menu's command: "Quillo 파일 만들기" on a folder's background (the desktop's
// too), as an IExplorerCommand that a package maps to Directory\Background. It finds the folder
// through Explorer's site (the item array only when it holds exactly one file-system folder),
// and opens the note in QuilloNote.exe (note/uNoteProcess.h), since the package's surrogate
// that runs this class does not outlive the menu. Only the 64-bit library carries it.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <string>

#include "common/uComPtr.h"
#include "server/uComObj.h"

// {D2390739-D35F-4362-88C0-4A097438FC69}
extern const CLSID CLSID_QuilloExplorerCommand;
// The command's canonical name, {5B0E63C4-7A1F-4C2B-9E58-3D6A0F41B7E2}.
extern const GUID kExplorerCommandName;

class TExplorerCommand : public TComObject, public IExplorerCommand, public IObjectWithSite {
 public:
  QUILLO_DELEGATING_IUNKNOWN

  // What Explorer's item array and site say about the folder the command is for.
  enum class TFound { Folder, NoFolder, Unknown };
  struct TFolder {
    TFound found = TFound::Unknown;
    std::u16string path;  // with TFound::Folder
  };

  // IExplorerCommand
  HRESULT STDMETHODCALLTYPE GetTitle(IShellItemArray* items, LPWSTR* name) override;
  HRESULT STDMETHODCALLTYPE GetIcon(IShellItemArray* items, LPWSTR* icon) override;
  HRESULT STDMETHODCALLTYPE GetToolTip(IShellItemArray* items, LPWSTR* tip) override;
  HRESULT STDMETHODCALLTYPE GetCanonicalName(GUID* name) override;
  HRESULT STDMETHODCALLTYPE GetState(IShellItemArray* items, BOOL okToBeSlow,
                                     EXPCMDSTATE* state) override;
  HRESULT STDMETHODCALLTYPE Invoke(IShellItemArray* items, IBindCtx* context) override;
  HRESULT STDMETHODCALLTYPE GetFlags(EXPCMDFLAGS* flags) override;
  HRESULT STDMETHODCALLTYPE EnumSubCommands(IEnumExplorerCommand** commands) override;
  // IObjectWithSite
  HRESULT STDMETHODCALLTYPE SetSite(IUnknown* site) override;
  HRESULT STDMETHODCALLTYPE GetSite(REFIID iid, void** out) override;

 protected:
  void* FindInterface(REFIID iid) noexcept override;

 private:
  // Shared by GetState and Invoke, so that the item shows exactly where it could work.
  // onDisk: the folder must exist (Invoke), or a classic-length path is enough (GetState,
  // which must not be slow).
  TFolder FindFolder(IShellItemArray* items, bool onDisk) const;
  TFolder FolderOfArray(IShellItemArray* items, bool onDisk) const;
  TFolder FolderOfSite(bool onDisk) const;

  TComPtr<IUnknown> site_;
};

class TExplorerCommandFactory : public TComObjectFactory {
 public:
  explicit TExplorerCommandFactory(TComServerObject* server);
  // Nothing: the package registers the class, DllRegisterServer never does.
  void WriteRegistration(bool) override {}
};
