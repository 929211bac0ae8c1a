#include "note/uTaskbarIdentity.h"

#include <propidl.h>
#include <propsys.h>
#include <shellapi.h>

#include "common/uComPtr.h"

namespace {

// System.AppUserModel.ID and System.AppUserModel.PreventPinning.
const GUID kAppUserModel = {0x9f4c2855, 0x9f79, 0x4b39, {0xa8, 0xd0, 0xe1, 0xd4, 0x2d, 0xe1, 0xd5, 0xf3}};
const PROPERTYKEY kAppId = {kAppUserModel, 5};
const PROPERTYKEY kPreventPinning = {kAppUserModel, 9};
wchar_t kNoteAppId[] = L"Quillo.Note";

}  // namespace

void SetNoteTaskbarIdentity(HWND window, bool on) noexcept {
  try {
    TComPtr<IPropertyStore> store;
    if (!window || FAILED(::SHGetPropertyStoreForWindow(window, IID_IPropertyStore,
                                                        reinterpret_cast<void**>(store.put()))))
      return;
    // Values are copied into the window's store: nothing here needs freeing. Pinning is
    // prevented before the identity is set, and the identity goes first, so that the window
    // is never a pinnable Quillo.Note. Failures change nothing else: the note works on.
    PROPVARIANT pin{}, id{};
    if (on) {
      pin.vt = VT_BOOL;
      pin.boolVal = VARIANT_TRUE;
      id.vt = VT_LPWSTR;
      id.pwszVal = kNoteAppId;
      (void)store->SetValue(kPreventPinning, pin);
      (void)store->SetValue(kAppId, id);
    } else {
      (void)store->SetValue(kAppId, id);  // VT_EMPTY: taken away
      (void)store->SetValue(kPreventPinning, pin);
    }
  } catch (...) {
  }
}
