#include "uContextMenu.h"

#include <shellapi.h>

#include <cstddef>
#include <cstring>
#include <cwchar>

#include "common/uHandles.h"
#include "common/uWide.h"
#include "note/uNoteBytes.h"
#include "note/uNoteThread.h"
#include "server/uComRegistry.h"
#include "server/uComServer.h"
#include "uPackagedMenu.h"

const CLSID CLSID_QuilloContextMenu = {
    0x7C3E5B12, 0x9A4D, 0x4F60, {0x8E, 0x21, 0x5D, 0x0B, 0x3A, 0x9C, 0x6F, 0x47}};
const char16_t* const kContextMenuClassName = u"OrvQuillo";
const char16_t* const kContextMenuHandlerKey =
    u"Directory\\Background\\shellex\\ContextMenuHandlers\\OrvQuillo";
const char16_t* const kContextMenuItemText = u"Quillo 파일 만들기";
const char* const kContextMenuVerb = "Quillo.NewNote";

namespace {
const wchar_t kVerbW[] = L"Quillo.NewNote";
const wchar_t kHelpTextW[] = L"이 폴더에 새 메모를 쓰고 텍스트 파일로 저장합니다.";

// The verb compared without regard to case, by ASCII letters only: the verb has no others,
// and the locale must not change what matches.
template <typename C>
bool IsOurVerb(const C* given) {
  const char* ours = kContextMenuVerb;
  for (;; ++given, ++ours) {
    C g = *given;
    if (g >= 'A' && g <= 'Z') g = static_cast<C>(g - 'A' + 'a');
    char o = *ours;
    if (o >= 'A' && o <= 'Z') o = static_cast<char>(o - 'A' + 'a');
    if (static_cast<unsigned long>(g) != static_cast<unsigned char>(o)) return false;
    if (g == 0) return true;
  }
}

// Copies a zero-terminated text into a caller's buffer of `size` characters, or refuses.
template <typename C>
HRESULT CopyOut(const C* text, size_t length, C* buffer, UINT size) {
  if (!buffer || size == 0) return E_INVALIDARG;
  if (length + 1 > size) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(buffer, text, (length + 1) * sizeof(C));
  return S_OK;
}

}  // namespace

// The menu-item description Explorer's 32-bit shell expects is 48 bytes long.
static_assert(sizeof(void*) != 4 || sizeof(MENUITEMINFOW) == 48, "MENUITEMINFOW layout");

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
    // Wide, so that a folder named in any language is named right; a folder the shell cannot
    // name, or one longer than a classic path, is refused here and gets no item.
    wchar_t path[MAX_PATH + 1] = {};
    if (!::SHGetPathFromIDListW(folder, path)) return E_INVALIDARG;
    path[MAX_PATH] = L'\0';
    // A file's identifier list converts as well: only a folder is taken.
    const DWORD attributes = ::GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      return E_INVALIDARG;
    folder_ = U(path);
    return S_OK;
  } catch (...) {
    folder_.clear();
    return E_FAIL;
  }
}

HRESULT STDMETHODCALLTYPE TContextMenu::QueryContextMenu(HMENU menu, UINT indexMenu,
                                                         UINT idCmdFirst, UINT idCmdLast,
                                                         UINT flags) {
  const HRESULT none = MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
  // A host asking for the default verb only gets none: the command is never the default.
  // An empty range leaves no identifier that the item could have.
  if ((flags & CMF_DEFAULTONLY) || idCmdFirst > idCmdLast) return none;
#ifdef _WIN64
  // Windows 11 shows this user the packaged command, in both of Explorer's menus: no second
  // item. The package serves 64-bit Explorer only; 32-bit programs keep the classic item.
  if (PackagedCommandServesUser()) return none;
#endif
  MENUITEMINFOW item = {};
  item.cbSize = sizeof item;
  item.fMask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_TYPE | MIIM_DATA;
  item.fType = MFT_STRING;
  item.fState = 0;
  item.wID = idCmdFirst;
  item.dwTypeData = const_cast<wchar_t*>(W(kContextMenuItemText));
  item.cch = static_cast<UINT>(std::char_traits<char16_t>::length(kContextMenuItemText));
  if (!::InsertMenuItemW(menu, indexMenu, TRUE, &item)) return none;
  return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
}

// The command's offset in the record: a string verb counts when it is ours (offset 0); any
// other string is -1.
int TContextMenu::OffsetOf(const CMINVOKECOMMANDINFO& info) {
  const size_t verbEnd = offsetof(CMINVOKECOMMANDINFO, lpVerb) + sizeof info.lpVerb;
  if (info.cbSize < verbEnd) return -1;
  const size_t verbWEnd = offsetof(CMINVOKECOMMANDINFOEX, lpVerbW) + sizeof(LPCWSTR);
  if ((info.fMask & CMIC_MASK_UNICODE) && info.cbSize >= verbWEnd) {
    const LPCWSTR verbW = reinterpret_cast<const CMINVOKECOMMANDINFOEX&>(info).lpVerbW;
    if (verbW && !IS_INTRESOURCE(verbW)) return IsOurVerb(verbW) ? 0 : -1;
  }
  // A verb is either a string pointer or an offset in the low word.
  if (!IS_INTRESOURCE(info.lpVerb)) return IsOurVerb(info.lpVerb) ? 0 : -1;
  return LOWORD(reinterpret_cast<ULONG_PTR>(info.lpVerb));
}

HRESULT STDMETHODCALLTYPE TContextMenu::InvokeCommand(CMINVOKECOMMANDINFO* info) {
  if (!info) return E_INVALIDARG;
  try {
    switch (OffsetOf(*info)) {
      case 0:
        // Without a folder (Initialize failed or never came) there is nothing to open.
        if (folder_.empty()) return E_FAIL;
        return OpenNoteOnUiThread(folder_);
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

HRESULT STDMETHODCALLTYPE TContextMenu::GetCommandString(UINT_PTR idCmd, UINT type, UINT*,
                                                         CHAR* name, UINT cchMax) {
  try {
    switch (type) {
      case GCS_VALIDATEA:
      case GCS_VALIDATEW:
        return idCmd == 0 ? S_OK : S_FALSE;
      case GCS_VERBA:
      case GCS_VERBW:
      case GCS_HELPTEXTA:
      case GCS_HELPTEXTW:
        break;
      default:
        return E_NOTIMPL;
    }
    if (idCmd != 0) return E_INVALIDARG;
    auto* wide = reinterpret_cast<wchar_t*>(name);
    switch (type) {
      case GCS_VERBA:
        return CopyOut(kContextMenuVerb, std::strlen(kContextMenuVerb), name, cchMax);
      case GCS_VERBW:
        return CopyOut(kVerbW, std::wcslen(kVerbW), wide, cchMax);
      case GCS_HELPTEXTA: {
        // An ANSI caller gets the text in the system's code page, or nothing where that
        // code page cannot hold it: never question marks.
        TFileBytes text;
        char32_t missing = 0;
        if (EncodeInCodePage(::GetACP(), U(kHelpTextW), text, missing) != TEncodeResult::Encoded)
          return E_FAIL;
        text.push_back('\0');  // CopyOut copies the terminator too
        return CopyOut(text.data(), text.size() - 1, name, cchMax);
      }
      default:
        return CopyOut(kHelpTextW, std::wcslen(kHelpTextW), wide, cchMax);
    }
  } catch (...) {
    return E_FAIL;
  }
}

namespace {
const wchar_t kUserClasses[] = L"Software\\Classes";
const wchar_t kApproved[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
}  // namespace

HRESULT InstallForUser(bool install, const wchar_t* cmdLine) noexcept {
  try {
    if (!cmdLine || ::lstrcmpiW(cmdLine, L"user") != 0) return E_INVALIDARG;
    TComServer* server = ComServer;
    if (!server) return E_FAIL;
    const std::u16string classId = GUIDToString(CLSID_QuilloContextMenu);
    TRegKey classes, approved;
    if (install) {
      if (::RegCreateKeyExW(HKEY_CURRENT_USER, kUserClasses, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_READ | KEY_WRITE, nullptr, classes.put(), nullptr) != ERROR_SUCCESS)
        return E_FAIL;
      server->WriteServerRegistration(true, classes.get());
      // Some policies let Explorer load only the extensions listed here.
      const wchar_t name[] = L"Quillo";
      LONG rc = ::RegCreateKeyExW(HKEY_CURRENT_USER, kApproved, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE, nullptr, approved.put(), nullptr);
      if (rc == ERROR_SUCCESS)
        rc = ::RegSetValueExW(approved.get(), W(classId), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(name), sizeof name);
      return rc == ERROR_SUCCESS ? S_OK : E_FAIL;
    }
    // Removing what is not there is no failure, as for the machine's registration.
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kUserClasses, 0, KEY_READ | KEY_WRITE,
                        classes.put()) == ERROR_SUCCESS)
      server->WriteServerRegistration(false, classes.get());
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kApproved, 0, KEY_SET_VALUE, approved.put()) ==
        ERROR_SUCCESS)
      (void)::RegDeleteValueW(approved.get(), W(classId));
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

TContextMenuFactory::TContextMenuFactory(TComServerObject* server)
    : TComObjectFactory(server, &NewContextMenu, CLSID_QuilloContextMenu, kContextMenuClassName,
                        std::u16string(), ciMultiInstance, tmSingle) {}

void TContextMenuFactory::WriteRegistration(bool doRegister) {
  TComObjectFactory::WriteRegistration(doRegister);
  if (doRegister) {
    const std::u16string classId = GUIDToString(ClassID());
    WriteKeyValue(kContextMenuHandlerKey, u"", classId);
    // The factory itself says single; Explorer needs to hear "Apartment".
    WriteKeyValue(u"CLSID\\" + classId + u"\\" + ComServer()->GetServerKey(), u"ThreadingModel",
                  u"Apartment");
  } else {
    RemoveKey(kContextMenuHandlerKey);
  }
}
