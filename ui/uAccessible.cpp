#include "ui/uAccessible.h"

#include <oleacc.h>

#include "common/uComPtr.h"

#ifdef QUILLO_TEST_HOOKS
void (*TestHookAccessibleName)(HWND, const wchar_t*, HRESULT) = nullptr;
#endif

namespace {

// Spelled out here: the import library that defines them would bring oleacc.dll's imports.
const CLSID kAccPropServices = {
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
const IID kIAccPropServices = {
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
const MSAAPROPID kAccName = {
    0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};

HRESULT Annotate(HWND control, const wchar_t* name) noexcept {
  TComApartment com;  // the UI thread has one already: this keeps it
  TComPtr<IAccPropServices> service;
  HRESULT hr = ::CoCreateInstance(kAccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                  kIAccPropServices, service.put_void());
  if (FAILED(hr)) return hr;
  return name ? service->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                        kAccName, name)
              : service->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                        &kAccName, 1);
}

}  // namespace

HRESULT AnnotateAccessibleName(HWND control, const wchar_t* name) noexcept {
  const HRESULT hr = control ? Annotate(control, name) : E_INVALIDARG;
#ifdef QUILLO_TEST_HOOKS
  if (TestHookAccessibleName) TestHookAccessibleName(control, name, hr);
#endif
  return hr;
}
