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

std::u16string PathOfPidl(PCIDLIST_ABSOLUTE pidl) {
  // A classic path only, as the classic handler takes; the buffer's last unit stays zero.
  wchar_t path[MAX_PATH + 1] = {};
  if (!pidl || !::SHGetPathFromIDListW(pidl, path)) return std::u16string();
  std::u16string folder = U(path);
  return IsNoteFolder(folder) ? folder : std::u16string();
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

HRESULT STDMETHODCALLTYPE TExplorerCommand::GetState(IShellItemArray*, BOOL, EXPCMDSTATE* state) {
  if (!state) return E_POINTER;
  *state = ECS_ENABLED;  // known without looking at anything: never slow
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
// file-system folder is taken from it.
std::u16string TExplorerCommand::FolderOfArray(IShellItemArray* items) const {
  DWORD count = 0;
  if (!items || FAILED(items->GetCount(&count)) || count != 1) return std::u16string();
  TComPtr<IShellItem> item;
  if (FAILED(items->GetItemAt(0, item.put())) || !item) return std::u16string();
  SFGAOF attributes = 0;
  const SFGAOF wanted = SFGAO_FILESYSTEM | SFGAO_FOLDER;
  if (FAILED(item->GetAttributes(wanted, &attributes)) || (attributes & wanted) != wanted)
    return std::u16string();
  TCoTaskMem<PWSTR> path;
  if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, path.put())) || !path)
    return std::u16string();
  std::u16string folder = U(path.get());
  return IsNoteFolder(folder) ? folder : std::u16string();
}

// The folder the view shows: its own folder view, or the browser's active view's.
std::u16string TExplorerCommand::FolderOfSite() const {
  TComPtr<IServiceProvider> services;
  if (!site_ || FAILED(site_->QueryInterface(IID_IServiceProvider, services.put_void())) ||
      !services)
    return std::u16string();
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
    return std::u16string();
  TCoTaskMem<PIDLIST_ABSOLUTE> pidl;
  if (FAILED(folder->GetCurFolder(pidl.put())) || !pidl) return std::u16string();
  return PathOfPidl(pidl.get());
}

HRESULT STDMETHODCALLTYPE TExplorerCommand::Invoke(IShellItemArray* items, IBindCtx*) {
  try {
    std::u16string folder = FolderOfArray(items);
    if (folder.empty()) folder = FolderOfSite();
    // A folder without a file-system path (or none at all) opens nothing.
    if (folder.empty()) return E_INVALIDARG;
    return OpenNoteInNoteProcess(folder);
  } catch (...) {
    return E_FAIL;
  }
}

TExplorerCommandFactory::TExplorerCommandFactory(TComServerObject* server)
    : TComObjectFactory(server, &NewExplorerCommand, CLSID_QuilloExplorerCommand,
                        u"OrvQuilloCommand", std::u16string(), ciMultiInstance, tmApartment) {}
