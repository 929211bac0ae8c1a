// A folder view's site as Explorer hands one to a command: a service provider that answers
// for the view, or for the browser whose active view it is. One object plays all four parts;
// what it is not asked for in these calls it refuses (E_NOTIMPL).
#include "shellclient/uShellCommand.h"

#include <shlobj.h>
#include <shlguid.h>

namespace {

class TFolderSite : public IServiceProvider,
                    public IShellBrowser,
                    public IShellView,
                    public IFolderView {
 public:
  TFolderSite(TSiteKind kind, TComPtr<IShellFolder> folder)
      : kind_(kind), folder_(std::move(folder)) {}
  virtual ~TFolderSite() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IServiceProvider)
      *out = static_cast<IServiceProvider*>(this);
    else if (iid == IID_IShellBrowser)
      *out = static_cast<IShellBrowser*>(this);
    else if (iid == IID_IShellView)
      *out = static_cast<IShellView*>(this);
    else if (iid == IID_IFolderView)
      *out = static_cast<IFolderView*>(this);
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ::InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG n = ::InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return n;
  }

  // IServiceProvider: the view, or the browser, as the kind says.
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (kind_ == TSiteKind::FolderView && service == SID_SFolderView) return QueryInterface(iid, out);
    if (kind_ == TSiteKind::Browser && service == SID_STopLevelBrowser)
      return QueryInterface(iid, out);
    return E_NOINTERFACE;
  }

  // IOleWindow (the browser's and the view's)
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* wnd) override {
    if (wnd) *wnd = nullptr;
    return E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IShellBrowser: only the active view is given.
  HRESULT STDMETHODCALLTYPE QueryActiveShellView(IShellView** view) override {
    if (!view) return E_POINTER;
    *view = static_cast<IShellView*>(this);
    AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InsertMenusSB(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMenuSB(HMENU, HOLEMENU, HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RemoveMenusSB(HMENU) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusTextSB(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnableModelessSB(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAcceleratorSB(MSG*, WORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BrowseObject(PCUIDLIST_RELATIVE, UINT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetViewStateStream(DWORD, IStream** s) override {
    if (s) *s = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetControlWindow(UINT, HWND* wnd) override {
    if (wnd) *wnd = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SendControlMsg(UINT, UINT, WPARAM, LPARAM, LRESULT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE OnViewWindowActive(IShellView*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetToolbarItems(LPTBBUTTONSB, UINT, UINT) override { return E_NOTIMPL; }

  // IShellView
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UIActivate(UINT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Refresh() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreateViewWindow(IShellView*, LPCFOLDERSETTINGS, IShellBrowser*, RECT*,
                                             HWND*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DestroyViewWindow() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCurrentInfo(LPFOLDERSETTINGS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AddPropertySheetPages(DWORD, LPFNSVADDPROPSHEETPAGE, LPARAM) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SaveViewState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SelectItem(PCUITEMID_CHILD, SVSIF) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetItemObject(UINT, REFIID, void** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }

  // IFolderView: the folder is the shell's own.
  HRESULT STDMETHODCALLTYPE GetFolder(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return folder_ ? folder_->QueryInterface(iid, out) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE GetCurrentViewMode(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetCurrentViewMode(UINT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Item(int, PITEMID_CHILD* pidl) override {
    if (pidl) *pidl = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE ItemCount(UINT, int* n) override {
    if (n) *n = 0;
    return S_OK;  // a background click: nothing selected
  }
  HRESULT STDMETHODCALLTYPE Items(UINT, REFIID, void** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetSelectionMarkedItem(int*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFocusedItem(int*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetItemPosition(PCUITEMID_CHILD, POINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSpacing(POINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDefaultSpacing(POINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAutoArrange() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SelectItem(int, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SelectAndPositionItems(UINT, PCUITEMID_CHILD_ARRAY, POINT*,
                                                   DWORD) override {
    return E_NOTIMPL;
  }

 private:
  volatile LONG refs_ = 1;
  TSiteKind kind_;
  TComPtr<IShellFolder> folder_;
};

// A string the command handed out, taken over and freed.
std::wstring TakeString(HRESULT hr, LPWSTR text) {
  std::wstring s = SUCCEEDED(hr) && text ? text : L"";
  ::CoTaskMemFree(text);
  return s;
}

}  // namespace

TComPtr<IUnknown> MakeFolderSite(TSiteKind kind, PCIDLIST_ABSOLUTE folder) {
  if (kind == TSiteKind::None) return nullptr;
  TComPtr<IShellFolder> shellFolder;
  if (FAILED(::SHBindToObject(nullptr, folder, nullptr, IID_IShellFolder, shellFolder.put_void())))
    shellFolder.reset();
  return TComPtr<IUnknown>::Attach(
      static_cast<IServiceProvider*>(new TFolderSite(kind, std::move(shellFolder))));
}

TComPtr<IShellItemArray> MakeItemArray(TItemArray kind, PCIDLIST_ABSOLUTE folder) {
  TComPtr<IShellItemArray> items;
  if (kind == TItemArray::Null) return items;
  const UINT count = kind == TItemArray::Folder ? 1 : 0;
  if (FAILED(::SHCreateShellItemArrayFromIDLists(count, &folder, items.put()))) items.reset();
  return items;
}

HRESULT RunExplorerCommand(TExplorerInvoke& job) {
  TComPtr<IExplorerCommand> command;
  if (!job.factory) return job.result = E_POINTER;
  job.result = job.factory->CreateInstance(nullptr, IID_IExplorerCommand, command.put_void());
  if (FAILED(job.result) || !command) return job.result;
  TComPtr<IObjectWithSite> withSite;
  if (job.site != TSiteKind::None) {
    job.result = command->QueryInterface(IID_IObjectWithSite, withSite.put_void());
    if (FAILED(job.result)) return job.result;
    job.result = withSite->SetSite(MakeFolderSite(job.site, job.folder).get());
    if (FAILED(job.result)) return job.result;
  }
  const TComPtr<IShellItemArray> items = MakeItemArray(job.items, job.folder);
  LPWSTR text = nullptr;
  HRESULT hr = command->GetTitle(items.get(), &text);
  job.title = TakeString(hr, text);
  hr = command->GetToolTip(items.get(), &(text = nullptr));
  job.toolTip = TakeString(hr, text);
  hr = command->GetIcon(items.get(), &(text = nullptr));
  job.icon = TakeString(hr, text);
  command->GetCanonicalName(&job.canonicalName);
  command->GetFlags(&job.flags);
  command->GetState(items.get(), FALSE, &job.state);
  job.result = command->Invoke(items.get(), nullptr);
  if (withSite) withSite->SetSite(nullptr);
  return job.result;
}
