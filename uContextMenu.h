// The folder-background context-menu handler: one command that opens a note window for the
// folder Explorer shows.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "server/uComObj.h"

// {7C3E5B12-9A4D-4F60-8E21-5D0B3A9C6F47}
extern const CLSID CLSID_QuilloContextMenu;
extern const char16_t* const kContextMenuClassName;   // "OrvQuillo"
extern const char16_t* const kContextMenuHandlerKey;  // the folder-background shellex key
extern const char16_t* const kContextMenuItemText;    // "Quillo 파일 만들기"
extern const char* const kContextMenuVerb;            // the item's canonical verb, "Quillo.NewNote"

class TContextMenu : public TComObject, public IContextMenu, public IShellExtInit {
 public:
  QUILLO_DELEGATING_IUNKNOWN

  // IContextMenu
  HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst,
                                             UINT idCmdLast, UINT flags) override;
  HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override;
  HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR idCmd, UINT type, UINT* reserved,
                                             CHAR* name, UINT cchMax) override;
  // IShellExtInit
  HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data,
                                       HKEY progIdKey) override;

  const std::u16string& Folder() const noexcept { return folder_; }

 protected:
  void* FindInterface(REFIID iid) noexcept override;

 private:
  static int OffsetOf(const CMINVOKECOMMANDINFO& info);

  std::u16string folder_;
};

// DllInstall: `regsvr32 /n /i:user` registers the handler for the calling user only (below
// HKEY_CURRENT_USER\Software\Classes, which Explorer sees merged over the machine's classes,
// and on the shell's list of approved extensions); with /u it removes exactly that. Any
// other command line is refused (E_INVALIDARG). Never throws.
HRESULT InstallForUser(bool install, const wchar_t* cmdLine) noexcept;

class TContextMenuFactory : public TComObjectFactory {
 public:
  explicit TContextMenuFactory(TComServerObject* server);
  // The class registration, then the shell's handler key and the threading model.
  void WriteRegistration(bool doRegister) override;
};
