#include "uExplorerCommand.h"

#include <shlobj.h>
#include <shlguid.h>

#include <cstring>
#include <cwchar>

#include "common/uWide.h"
#include "note/uNoteProcess.h"
#include "server/uComServer.h"
#include "uContextMenu.h"
#include "resources/uResourceIds.h"

const CLSID CLSID_QuilloExplorerCommand = {
    0xD2390739, 0xD35F, 0x4362, {0x88, 0xC0, 0x4A, 0x09, 0x74, 0x38, 0xFC, 0x69}};
const GUID kExplorerCommandName = {
    0x5B0E63C4, 0x7A1F, 0x4C2B, {0x9E, 0x58, 0x3D, 0x6A, 0x0F, 0x41, 0xB7, 0xE2}};

namespace {

const wchar_t kToolTipW[] = L"이 폴더에 새 메모를 쓰고 텍스트 파일로 저장합니다.";

TComObject* NewExplorerCommand() { return new TExplorerCommand(); }

// A copy the caller frees with CoTaskMemFree.
HRESULT DupOut(const wchar_t* text, LPWSTR* out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  const size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
  auto* copy = static_cast<wchar_t*>(::CoTaskMemAlloc(bytes));
  if (!copy) return E_OUTOFMEMORY;
  std::memcpy(copy, text, bytes);
  *out = copy;
  return S_OK;
}

using TFound = TExplorerCommand::TFound;
using TFolder = TExplorerCommand::TFolder;

// A file-system path, or the lack of one, as a finding: a folder only when the command could
// open a note there.
TFolder FolderOfPath(const std::u16string& path, bool onDisk) {
  TFolder folder;
  const bool usable = onDisk ? IsNoteFolder(path) : !path.empty() && path.size() < MAX_PATH;
  folder.found = usable ? TFound::Folder : TFound::NoFolder;
  if (usable) folder.path = path;
  return folder;
}

}  // namespace

void* TExplorerCommand::FindInterface(REFIID iid) noexcept {
  if (::IsEqualIID(iid, IID_IExplorerCommand)) return static_cast<IExplorerCommand*>(this);
  if (::IsEqualIID(iid, IID_IObjectWithSite)) return static_cast<IObjectWithSite*>(this);
  return TComObject::FindInterface(iid);
}

HRESULT STDMETHODCALLTYPE TExplorerCommand::GetTitle(IShellItemArray*, LPWSTR* name) {
  return DupOut(W(kContextMenuItemText), name);
}

HRESULT STDMETHODCALLTYPE TExplorerCommand::GetIcon(IShellItemArray*, LPWSTR* icon) {
  if (!icon) return E_POINTER;
  *icon = nullptr;
  try {
    const TComServer* server = ComServer;
    if (!server) return E_FAIL;
    const std::u16string path = server->GetServerFileName();
    if (path.empty()) return E_FAIL;
    // The resource's identifier as the shell reads it; spelt out, since the C++ library's wide
    // formatting would weigh more than this whole class.
    static_assert(IDI_QUILLO == 101, "the icon's location below names its identifier");
    const std::u16string location = path + u",-101";
    return DupOut(W(location), icon);
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT STDMETHODCALLTYPE TExplorerCommand::GetToolTip(IShellItemArray*, LPWSTR* tip) {
  return DupOut(kToolTipW, tip);
}

HRESULT STDMETHODCALLTYPE TExplorerCommand::GetCanonicalName(GUID* name) {
  if (!name) return E_POINTER;
  *name = kExplorerCommandName;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TExplorerCommand::GetState(IShellItemArray* items, BOOL,
                                                     EXPCMDSTATE* state) {
  if (!state) return E_POINTER;
  *state = ECS_ENABLED;
  try {
    // Hidden only where Explorer's own answer shows no file-system folder. With nothing to go
    // on it stays: Explorer may ask before it sets the site. The disk is not asked (a network
    // folder may be slow); Invoke does that.
    if (FindFolder(items, false).found == TFound::NoFolder) *state = ECS_HIDDEN;
  } catch (...) {
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TExplorerCommand::GetFlags(EXPCMDFLAGS* flags) {
  if (!flags) return E_POINTER;
  *flags = ECF_DEFAULT;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TExplorerCommand::EnumSubCommands(IEnumExplorerCommand** commands) {
  if (commands) *commands = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TExplorerCommand::SetSite(IUnknown* site) {
  if (site) site->AddRef();
  site_ = TComPtr<IUnknown>::Attach(site);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TExplorerCommand::GetSite(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!site_) return E_FAIL;
  try {
    return site_->QueryInterface(iid, out);
  } catch (...) {
    *out = nullptr;
    return E_FAIL;
  }
}

// A background click may bring a null or empty array, or the folder itself: only exactly one
// item says anything, and it says "no folder" when it is not a file-system folder.
TFolder TExplorerCommand::FolderOfArray(IShellItemArray* items, bool onDisk) const {
  DWORD count = 0;
  if (!items || FAILED(items->GetCount(&count)) || count != 1) return TFolder();
  TComPtr<IShellItem> item;
  if (FAILED(items->GetItemAt(0, item.put())) || !item) return TFolder();
  SFGAOF attributes = 0;
  const SFGAOF wanted = SFGAO_FILESYSTEM | SFGAO_FOLDER;
  if (FAILED(item->GetAttributes(wanted, &attributes))) return TFolder();
  if ((attributes & wanted) != wanted) return FolderOfPath(std::u16string(), onDisk);
  TCoTaskMem<PWSTR> path;
  if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, path.put())) || !path)
    return FolderOfPath(std::u16string(), onDisk);
  return FolderOfPath(U(path.get()), onDisk);
}

// The folder the view shows: its own folder view, or the browser's active view's. Unknown
// until a view names its folder; a folder without a path is "no folder".
TFolder TExplorerCommand::FolderOfSite(bool onDisk) const {
  TComPtr<IServiceProvider> services;
  if (!site_ || FAILED(site_->QueryInterface(IID_IServiceProvider, services.put_void())) ||
      !services)
    return TFolder();
  TComPtr<IFolderView> view;
  if (FAILED(services->QueryService(SID_SFolderView, IID_IFolderView, view.put_void())))
    view.reset();
  if (!view) {
    TComPtr<IShellBrowser> browser;
    TComPtr<IShellView> active;
    if (SUCCEEDED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser,
                                         browser.put_void())) &&
        browser && SUCCEEDED(browser->QueryActiveShellView(active.put())) && active &&
        FAILED(active->QueryInterface(IID_IFolderView, view.put_void())))
      view.reset();
  }
  TComPtr<IPersistFolder2> folder;
  if (!view || FAILED(view->GetFolder(IID_IPersistFolder2, folder.put_void())) || !folder)
    return TFolder();
  TCoTaskMem<PIDLIST_ABSOLUTE> pidl;
  if (FAILED(folder->GetCurFolder(pidl.put())) || !pidl) return TFolder();
  // A classic path only, as the classic handler takes; the buffer's last unit stays zero.
  wchar_t path[MAX_PATH + 1] = {};
  if (!::SHGetPathFromIDListW(pidl.get(), path)) return FolderOfPath(std::u16string(), onDisk);
  return FolderOfPath(U(path), onDisk);
}

// The array's folder first, then the site's; "no folder" when either positively says so and
// neither names one.
TFolder TExplorerCommand::FindFolder(IShellItemArray* items, bool onDisk) const {
  const TFolder ofArray = FolderOfArray(items, onDisk);
  if (ofArray.found == TFound::Folder) return ofArray;
  const TFolder ofSite = FolderOfSite(onDisk);
  if (ofSite.found == TFound::Folder) return ofSite;
  TFolder none;
  if (ofArray.found == TFound::NoFolder || ofSite.found == TFound::NoFolder)
    none.found = TFound::NoFolder;
  return none;
}

HRESULT STDMETHODCALLTYPE TExplorerCommand::Invoke(IShellItemArray* items, IBindCtx*) {
  try {
    const TFolder folder = FindFolder(items, true);
    // A folder without a file-system path (or none at all) opens nothing.
    if (folder.found != TFound::Folder) return E_INVALIDARG;
    return OpenNoteInNoteProcess(folder.path);
  } catch (...) {
    return E_FAIL;
  }
}

TExplorerCommandFactory::TExplorerCommandFactory(TComServerObject* server)
    : TComObjectFactory(server, &NewExplorerCommand, CLSID_QuilloExplorerCommand,
                        u"OrvQuilloCommand", std::u16string(), ciMultiInstance, tmApartment) {}
