#include "shellclient/uShellClient.h"

#include <shellapi.h>

#include <algorithm>

const wchar_t kBackgroundKey[] = L"Directory\\Background";
const wchar_t kBackgroundHandlersKey[] = L"Directory\\Background\\shellex\\ContextMenuHandlers";

std::vector<CLSID> BackgroundHandlers() {
  std::vector<CLSID> found;
  TRegKey key;
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, kBackgroundHandlersKey, 0, KEY_READ, key.put()) !=
      ERROR_SUCCESS)
    return found;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLen = 256;
    const LONG rc =
        ::RegEnumKeyExW(key.get(), i, name, &nameLen, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) continue;
    std::wstring candidates[2];
    TRegKey sub;
    if (::RegOpenKeyExW(key.get(), name, 0, KEY_READ, sub.put()) == ERROR_SUCCESS) {
      wchar_t value[256] = {};
      DWORD type = 0, size = sizeof value - sizeof(wchar_t);
      if (::RegQueryValueExW(sub.get(), L"", nullptr, &type, reinterpret_cast<BYTE*>(value),
                             &size) == ERROR_SUCCESS && type == REG_SZ)
        candidates[0] = value;
    }
    candidates[1] = name;
    for (std::wstring& text : candidates) {
      CLSID clsid;
      if (!text.empty() && text[0] == L'{' && SUCCEEDED(::CLSIDFromString(&text[0], &clsid))) {
        found.push_back(clsid);
        break;
      }
    }
  }
  return found;
}

TRegKey OpenBackgroundKey() {
  TRegKey key;
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, kBackgroundKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    key.reset();
  return key;
}

TPidl PidlFromPath(const std::wstring& path) { return TPidl(::ILCreateFromPathW(path.c_str())); }

std::string ToCodePage(UINT codePage, const std::wstring& text) {
  if (text.empty()) return std::string();
  const int in = static_cast<int>(text.size());
  const int n = ::WideCharToMultiByte(codePage, 0, text.data(), in, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) ::WideCharToMultiByte(codePage, 0, text.data(), in, &bytes[0], n, nullptr, nullptr);
  return bytes;
}

std::wstring FromCodePage(UINT codePage, const std::string& bytes) {
  if (bytes.empty()) return std::wstring();
  const int in = static_cast<int>(bytes.size());
  const int n = ::MultiByteToWideChar(codePage, 0, bytes.data(), in, nullptr, 0);
  std::wstring text(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) ::MultiByteToWideChar(codePage, 0, bytes.data(), in, &text[0], n);
  return text;
}

HRESULT TShellHandler::Create(REFCLSID classId, IClassFactory* factory) {
  step_ = TShellStep::Create;
  classId_ = classId;
  menu_.reset();
  items_ = 0;
  return factory ? factory->CreateInstance(nullptr, IID_IShellExtInit, init_.put_void())
                 : ::CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                                      init_.put_void());
}

HRESULT TShellHandler::Initialize(PCIDLIST_ABSOLUTE folder, HKEY folderKey) {
  step_ = TShellStep::Initialize;
  if (!init_) return E_UNEXPECTED;
  HRESULT hr = init_->Initialize(folder, nullptr, folderKey);
  if (FAILED(hr)) return hr;
  step_ = TShellStep::ContextMenu;
  hr = init_->QueryInterface(IID_IContextMenu, menu_.put_void());
  return SUCCEEDED(hr) && !menu_ ? E_NOINTERFACE : hr;
}

HRESULT TShellHandler::Initialize(const std::wstring& folderPath) {
  const TPidl pidl = PidlFromPath(folderPath);
  if (pidl) return Initialize(pidl.get());
  step_ = TShellStep::Initialize;
  return E_INVALIDARG;
}

HRESULT TShellHandler::Open(REFCLSID classId, IClassFactory* factory, PCIDLIST_ABSOLUTE folder,
                            HKEY folderKey) {
  const HRESULT hr = Create(classId, factory);
  return FAILED(hr) ? hr : Initialize(folder, folderKey);
}

HRESULT TShellHandler::QueryMenu(HMENU menu, UINT position, UINT first, UINT last, UINT flags) {
  step_ = TShellStep::QueryMenu;
  items_ = 0;
  if (!menu_) return E_UNEXPECTED;
  const HRESULT hr = menu_->QueryContextMenu(menu, position, first, last, flags);
  // A handler that claims more than it was offered owns no more than that.
  if (SUCCEEDED(hr) && first <= last)
    items_ = std::min(static_cast<UINT>(HRESULT_CODE(hr)), last - first + 1);
  return hr;
}

namespace {
std::wstring CommandString(IContextMenu* menu, UINT offset, UINT type) {
  wchar_t text[256] = {};
  if (!menu) return std::wstring();
  const HRESULT hr =
      menu->GetCommandString(offset, type, nullptr, reinterpret_cast<char*>(text), 256);
  text[255] = 0;
  return SUCCEEDED(hr) ? std::wstring(text) : std::wstring();
}
}  // namespace

std::wstring TShellHandler::Verb(UINT offset) const {
  return CommandString(menu_.get(), offset, GCS_VERBW);
}

std::wstring TShellHandler::HelpText(UINT offset) const {
  return CommandString(menu_.get(), offset, GCS_HELPTEXTW);
}

int TShellHandler::FindVerb(const std::wstring& verb) const {
  for (UINT i = 0; i < items_ && !verb.empty(); ++i)
    if (Verb(i) == verb) return static_cast<int>(i);
  return -1;
}

HRESULT TShellHandler::InvokeOffset(UINT offset, HWND owner, const std::wstring& folder) const {
  if (!menu_) return E_UNEXPECTED;
  const std::string folderA = ToCodePage(CP_ACP, folder);
  CMINVOKECOMMANDINFO ici = {};
  ici.cbSize = sizeof ici;
  ici.hwnd = owner;
  ici.lpVerb = MAKEINTRESOURCEA(offset);
  ici.lpDirectory = folder.empty() ? nullptr : folderA.c_str();
  ici.nShow = SW_SHOWNORMAL;
  return menu_->InvokeCommand(&ici);
}

HRESULT TShellHandler::InvokeVerb(const std::wstring& verb, HWND owner,
                                  const std::wstring& folder) const {
  if (!menu_) return E_UNEXPECTED;
  const std::string verbA = ToCodePage(CP_ACP, verb);
  const std::string folderA = ToCodePage(CP_ACP, folder);
  CMINVOKECOMMANDINFOEX ici = {};
  ici.cbSize = sizeof ici;
  ici.fMask = CMIC_MASK_UNICODE;
  ici.hwnd = owner;
  ici.lpVerb = verbA.c_str();
  ici.lpVerbW = verb.c_str();
  ici.lpDirectory = folder.empty() ? nullptr : folderA.c_str();
  ici.lpDirectoryW = folder.empty() ? nullptr : folder.c_str();
  ici.nShow = SW_SHOWNORMAL;
  return menu_->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&ici));
}

std::wstring MenuItemText(HMENU menu, UINT item, UINT flags) {
  wchar_t text[512] = {};
  const int n = ::GetMenuStringW(menu, item, text, 512, flags);
  return n > 0 ? std::wstring(text, static_cast<size_t>(n)) : std::wstring();
}

namespace {
std::wstring WithoutMnemonic(const std::wstring& s) {
  std::wstring r;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == L'&' && i + 1 < s.size()) ++i;
    r += s[i];
  }
  return r;
}
}  // namespace

UINT FindMenuItem(HMENU menu, const std::wstring& text) {
  const int count = ::GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    if (HMENU sub = ::GetSubMenu(menu, i)) {
      if (UINT id = FindMenuItem(sub, text)) return id;
      continue;
    }
    const std::wstring item = MenuItemText(menu, static_cast<UINT>(i), MF_BYPOSITION);
    if (!item.empty() && (item == text || WithoutMnemonic(item) == text)) {
      const UINT id = ::GetMenuItemID(menu, i);
      if (id != static_cast<UINT>(-1)) return id;
    }
  }
  return 0;
}

namespace {
struct TWindowSearch {
  DWORD processId;
  const wchar_t* className;
  const wchar_t* caption;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND w, LPARAM search) {
  auto* s = reinterpret_cast<TWindowSearch*>(search);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(w, &pid);
  // Hidden helper windows (input method and the like) are nobody's to wait for.
  if (pid != s->processId || !::IsWindowVisible(w)) return TRUE;
  wchar_t cls[256] = {}, text[256] = {};
  if (s->className && (!::GetClassNameW(w, cls, 256) || std::wstring(cls) != s->className))
    return TRUE;
  if (s->caption && (::GetWindowTextW(w, text, 256), std::wstring(text) != s->caption))
    return TRUE;
  s->found.push_back(w);
  return TRUE;
}
}  // namespace

std::vector<HWND> VisibleWindows(DWORD processId, const wchar_t* className,
                                 const wchar_t* caption) {
  TWindowSearch s{processId, className, caption, {}};
  ::EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&s));
  return s.found;
}
