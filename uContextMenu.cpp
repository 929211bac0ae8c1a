#include "uContextMenu.h"

#include <cstring>

#include "note/fQuillo.h"
#include "server/uComRegistry.h"

const CLSID CLSID_QuilloContextMenu = {
    0x7C3E5B12, 0x9A4D, 0x4F60, {0x8E, 0x21, 0x5D, 0x0B, 0x3A, 0x9C, 0x6F, 0x47}};
const char* const kContextMenuClassName = "OrvQuillo";
const char* const kContextMenuHandlerKey =
    "Directory\\Background\\shellex\\ContextMenuHandlers\\OrvQuillo";
const char* const kContextMenuItemText = "Quillo 파일 만들기";

// The menu-item description Explorer's 32-bit shell expects is 48 bytes long.
static_assert(sizeof(void*) != 4 || sizeof(MENUITEMINFOA) == 48, "MENUITEMINFOA layout");

namespace {
TComObject* NewContextMenu() { return new TContextMenu(); }
}  // namespace

void* TContextMenu::FindInterface(REFIID iid) noexcept {
  if (::IsEqualIID(iid, IID_IContextMenu)) return static_cast<IContextMenu*>(this);
  if (::IsEqualIID(iid, IID_IShellExtInit)) return static_cast<IShellExtInit*>(this);
  return TComObject::FindInterface(iid);
}

HRESULT STDMETHODCALLTYPE TContextMenu::Initialize(PCIDLIST_ABSOLUTE folder, IDataObject*,
                                                   HKEY) {
  try {
    folder_.clear();
    if (!folder) return E_INVALIDARG;
    char path[MAX_PATH + 1] = {};
    if (!::SHGetPathFromIDListA(folder, path)) return E_INVALIDARG;
    path[MAX_PATH] = '\0';
    folder_ = path;
    return S_OK;
  } catch (...) {
    folder_.clear();
    return E_FAIL;
  }
}

HRESULT STDMETHODCALLTYPE TContextMenu::QueryContextMenu(HMENU menu, UINT indexMenu,
                                                         UINT idCmdFirst, UINT, UINT) {
  MENUITEMINFOA item = {};
  item.cbSize = sizeof item;
  item.fMask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_TYPE | MIIM_DATA;
  item.fType = MFT_STRING;
  item.fState = 0;
  item.wID = idCmdFirst;
  item.dwTypeData = const_cast<char*>(kContextMenuItemText);
  item.cch = static_cast<UINT>(std::strlen(kContextMenuItemText));
  // The item goes in whatever the menu says; a failed insertion is not reported.
  (void)::InsertMenuItemA(menu, indexMenu, TRUE, &item);
  return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
}

HRESULT STDMETHODCALLTYPE TContextMenu::InvokeCommand(CMINVOKECOMMANDINFO* info) {
  if (!info) return E_INVALIDARG;
  try {
    // A verb is either a string pointer or an offset in the low word: anything above the
    // low word means a string, which this handler has none of.
    const ULONG_PTR verb = reinterpret_cast<ULONG_PTR>(info->lpVerb);
    if ((verb >> 16) != 0) return E_FAIL;
    switch (LOWORD(verb)) {
      case 0:
        return OpenNoteWindow(folder_) ? S_OK : E_FAIL;
      case 1:
      case 2:
        return S_OK;
      default:
        return E_FAIL;
    }
  } catch (...) {
    return E_FAIL;
  }
}

// No verb and no help text: saying S_OK would hand the caller its own buffer back as ours.
HRESULT STDMETHODCALLTYPE TContextMenu::GetCommandString(UINT_PTR, UINT type, UINT*, CHAR*,
                                                         UINT) {
  if ((type & ~GCS_UNICODE) == GCS_VALIDATEA) return S_OK;
  return E_NOTIMPL;
}

TContextMenuFactory::TContextMenuFactory(TComServerObject* server)
    : TComObjectFactory(server, &NewContextMenu, CLSID_QuilloContextMenu, kContextMenuClassName,
                        std::string(), ciMultiInstance, tmSingle) {}

void TContextMenuFactory::WriteRegistration(bool doRegister) {
  TComObjectFactory::WriteRegistration(doRegister);
  if (doRegister) {
    const std::string classId = GUIDToString(ClassID());
    WriteKeyValue(kContextMenuHandlerKey, "", classId);
    // The factory itself says single; Explorer needs to hear "Apartment".
    WriteKeyValue("CLSID\\" + classId + "\\" + ComServer()->GetServerKey(), "ThreadingModel",
                  "Apartment");
  } else {
    RemoveKey(kContextMenuHandlerKey);
  }
}
