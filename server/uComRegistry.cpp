#include "server/uComRegistry.h"

#include <objbase.h>

#include <memory>
#include <new>

#include "common/uComPtr.h"
#include "common/uHandles.h"

void WriteKeyValue(const std::string& key, const std::string& valueName,
                   const std::string& value) {
  TRegKey k;
  char noClass[] = "";
  LONG rc = ::RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, noClass,
                              REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, k.put(),
                              nullptr);
  if (rc == ERROR_SUCCESS)
    rc = ::RegSetValueExA(k.get(), valueName.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1));
  if (rc != ERROR_SUCCESS) throw EOleRegistrationError("Error creating system registry entry");
}

void RemoveKey(const std::string& key) noexcept {
  // Deletion is best effort by design: unregistering what is not there is not a failure.
  (void)::RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
}

std::string GUIDToString(REFGUID guid) {
  LPOLESTR wide = nullptr;
  if (FAILED(::StringFromCLSID(guid, &wide)) || !wide) throw std::bad_alloc();
  const std::unique_ptr<OLECHAR, TCoTaskMemFree> owner(wide);
  // Hex digits, dashes and braces: one byte each in any code page.
  std::string text;
  for (const OLECHAR* c = wide; *c; ++c) text += static_cast<char>(*c);
  return text;
}

namespace {
bool IsDelimiter(char c) { return c == '\\' || c == ':'; }
}  // namespace

std::string ExtractFileDir(const std::string& path) {
  std::size_t i = path.find_last_of("\\:");
  if (i == std::string::npos) return std::string();
  // "C:\x" -> "C:\", "C:\a\x" -> "C:\a": the backslash stays only after a root.
  if (i > 0 && path[i] == '\\' && !IsDelimiter(path[i - 1])) return path.substr(0, i);
  return path.substr(0, i + 1);
}

std::string ExtractFileDrive(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    // \\server\share: up to the backslash after the share name.
    std::size_t server = path.find('\\', 2);
    if (server == std::string::npos) return path;
    std::size_t share = path.find('\\', server + 1);
    return share == std::string::npos ? path : path.substr(0, share);
  }
  return std::string();
}

std::string ExtractFileName(const std::string& path) {
  std::size_t i = path.find_last_of("\\:");
  return i == std::string::npos ? path : path.substr(i + 1);
}

std::string StripFileExt(const std::string& fileName) {
  std::size_t dot = fileName.find_last_of(".\\:");
  if (dot == std::string::npos || fileName[dot] != '.') return fileName;
  return fileName.substr(0, dot);
}

std::string LongPathName(const std::string& path) {
  std::string result;
  std::string current = path;
  do {
    WIN32_FIND_DATAA found;
    TFindHandle search(::FindFirstFileA(current.c_str(), &found));
    if (!search) break;
    result = "\\" + std::string(found.cFileName) + result;
    current = ExtractFileDir(current);
  } while (current.size() > 2);
  return ExtractFileDrive(current) + result;
}

std::string ModulePathForRegistry(const std::string& moduleFileName) {
  std::string path = LongPathName(moduleFileName);
  if (path.find(' ') == std::string::npos) return path;
  char shortPath[MAX_PATH];
  DWORD n = ::GetShortPathNameA(path.c_str(), shortPath, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  return std::string(shortPath, n);
}
