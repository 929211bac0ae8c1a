#include "server/uComRegistry.h"

#include <objbase.h>

#include <memory>
#include <new>

#include "common/uComPtr.h"
#include "common/uHandles.h"
#include "common/uWide.h"

namespace {
HKEY g_root = HKEY_CLASSES_ROOT;
}  // namespace

TRegistrationRoot::TRegistrationRoot(HKEY root) noexcept : previous_(g_root) { g_root = root; }

TRegistrationRoot::~TRegistrationRoot() { g_root = previous_; }

void WriteKeyValue(const std::u16string& key, const std::u16string& valueName,
                   const std::u16string& value) {
  TRegKey k;
  wchar_t noClass[] = L"";
  LONG rc = ::RegCreateKeyExW(g_root, W(key), 0, noClass, REG_OPTION_NON_VOLATILE,
                              KEY_READ | KEY_WRITE, nullptr, k.put(), nullptr);
  if (rc == ERROR_SUCCESS)
    rc = ::RegSetValueExW(k.get(), W(valueName), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
  if (rc != ERROR_SUCCESS) throw EOleRegistrationError("Error creating system registry entry");
}

void RemoveKey(const std::u16string& key) noexcept {
  // Deletion is best effort by design: unregistering what is not there is not a failure.
  (void)::RegDeleteKeyW(g_root, W(key));
}

std::u16string GUIDToString(REFGUID guid) {
  LPOLESTR wide = nullptr;
  if (FAILED(::StringFromCLSID(guid, &wide)) || !wide) throw std::bad_alloc();
  const std::unique_ptr<OLECHAR, TCoTaskMemFree> owner(wide);
  return std::u16string(U(wide));
}

namespace {
bool IsDelimiter(char16_t c) { return c == u'\\' || c == u':'; }
}  // namespace

std::u16string ExtractFileDir(const std::u16string& path) {
  std::size_t i = path.find_last_of(u"\\:");
  if (i == std::u16string::npos) return std::u16string();
  // "C:\x" -> "C:\", "C:\a\x" -> "C:\a": the backslash stays only after a root.
  if (i > 0 && path[i] == u'\\' && !IsDelimiter(path[i - 1])) return path.substr(0, i);
  return path.substr(0, i + 1);
}

std::u16string ExtractFileDrive(const std::u16string& path) {
  if (path.size() >= 2 && path[1] == u':') return path.substr(0, 2);
  if (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\') {
    // \\server\share: up to the backslash after the share name.
    std::size_t server = path.find(u'\\', 2);
    if (server == std::u16string::npos) return path;
    std::size_t share = path.find(u'\\', server + 1);
    return share == std::u16string::npos ? path : path.substr(0, share);
  }
  return std::u16string();
}

std::u16string ExtractFileName(const std::u16string& path) {
  std::size_t i = path.find_last_of(u"\\:");
  return i == std::u16string::npos ? path : path.substr(i + 1);
}

std::u16string StripFileExt(const std::u16string& fileName) {
  std::size_t dot = fileName.find_last_of(u".\\:");
  if (dot == std::u16string::npos || fileName[dot] != u'.') return fileName;
  return fileName.substr(0, dot);
}

std::u16string LongPathName(const std::u16string& path) {
  std::u16string result;
  std::u16string current = path;
  do {
    WIN32_FIND_DATAW found;
    TFindHandle search(::FindFirstFileW(W(current), &found));
    if (!search) break;
    result = u"\\" + std::u16string(U(found.cFileName)) + result;
    current = ExtractFileDir(current);
  } while (current.size() > 2);
  return ExtractFileDrive(current) + result;
}

std::u16string ModulePathForRegistry(const std::u16string& moduleFileName) {
  // A module moved or renamed since it was loaded names no file that COM could load (the walk
  // would give only its drive).
  const DWORD attributes = ::GetFileAttributesW(W(moduleFileName));
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return std::u16string();
  std::u16string path = LongPathName(moduleFileName);
  if (path.empty() || ::GetFileAttributesW(W(path)) == INVALID_FILE_ATTRIBUTES)
    return std::u16string();
  if (path.find(u' ') == std::u16string::npos) return path;
  wchar_t shortPath[MAX_PATH];
  DWORD n = ::GetShortPathNameW(W(path), shortPath, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::u16string();
  return std::u16string(U(shortPath), n);
}
