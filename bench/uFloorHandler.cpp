// QuilloFloor.dll: the least a folder-background menu handler can be. It converts the folder to
// a path and inserts one item, as any such handler must, and does nothing else; its command
// opens the plain window. The benchmarks measure Quillo.dll against it.
#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

#include <new>

#include "bench/uFloorHandler.h"
#include "bench/uPlainWindow.h"

namespace {

LONG g_objects = 0;

class TFloorMenu final : public IShellExtInit, public IContextMenu {
 public:
  TFloorMenu() { ::InterlockedIncrement(&g_objects); }
  ~TFloorMenu() { ::InterlockedDecrement(&g_objects); }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IShellExtInit))
      *out = static_cast<IShellExtInit*>(this);
    else if (IsEqualIID(iid, IID_IContextMenu))
      *out = static_cast<IContextMenu*>(this);
    else
      return *out = nullptr, E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG n = ::InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return n;
  }
  STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE folder, IDataObject*, HKEY) override {
    folder_[0] = 0;
    return ::SHGetPathFromIDListW(folder, folder_) ? S_OK : E_INVALIDARG;
  }
  STDMETHODIMP QueryContextMenu(HMENU menu, UINT pos, UINT first, UINT, UINT) override {
    MENUITEMINFOW mii = {};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_ID | MIIM_TYPE;
    mii.fType = MFT_STRING;
    mii.wID = first;
    mii.dwTypeData = const_cast<wchar_t*>(L"Quillo floor");
    ::InsertMenuItemW(menu, pos, TRUE, &mii);
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
  }
  STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* ici) override {
    if (!ici || HIWORD(ici->lpVerb) || LOWORD(ici->lpVerb) != 0) return E_FAIL;
    return OpenPlainWindow(folder_) ? S_OK : E_FAIL;
  }
  STDMETHODIMP GetCommandString(UINT_PTR, UINT, UINT*, LPSTR, UINT) override { return S_OK; }

 private:
  LONG refs_ = 1;
  wchar_t folder_[MAX_PATH + 1] = {};
};

class TFloorFactory final : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory))
      return *out = nullptr, E_NOINTERFACE;
    *out = this;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&g_objects) + 1; }
  STDMETHODIMP_(ULONG) Release() override { return ::InterlockedDecrement(&g_objects) + 1; }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* obj = new (std::nothrow) TFloorMenu;
    if (!obj) return E_OUTOFMEMORY;
    HRESULT hr = obj->QueryInterface(iid, out);
    obj->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    lock ? ::InterlockedIncrement(&g_objects) : ::InterlockedDecrement(&g_objects);
    return S_OK;
  }
};

TFloorFactory g_factory;

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_QuilloFloor)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return g_objects == 0 ? S_OK : S_FALSE; }
