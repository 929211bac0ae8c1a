#include "uPackagedMenu.h"

#include <windows.h>

namespace {
const wchar_t kQuilloKey[] = L"Software\\Quillo";
const wchar_t kFamilyValue[] = L"PackageFamily";

// appmodel.h's GetPackagesByPackageFamily, looked up at run time: Windows 7 and Wine 8 lack it,
// and the DLL must load there all the same.
using TGetPackagesByPackageFamily = LONG(WINAPI*)(PCWSTR family, UINT32* count,
                                                   PWSTR* fullNames, UINT32* bufferLength,
                                                   WCHAR* buffer);

int SystemPackageCount(const wchar_t* family) noexcept {
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  const auto lookup = kernel ? reinterpret_cast<TGetPackagesByPackageFamily>(reinterpret_cast<void*>(
                                   ::GetProcAddress(kernel, "GetPackagesByPackageFamily")))
                             : nullptr;
  if (!lookup) return -1;
  // Without buffers it only counts: a family with packages answers that the buffers are short.
  UINT32 count = 0, bufferLength = 0;
  const LONG rc = lookup(family, &count, nullptr, &bufferLength, nullptr);
  if (rc != ERROR_SUCCESS && rc != ERROR_INSUFFICIENT_BUFFER) return -1;
  return static_cast<int>(count);
}

#ifdef QUILLO_PACKAGE_LOOKUP_HOOK
int (*volatile g_lookupHook)(const wchar_t*) = nullptr;
#endif
}  // namespace

#ifdef QUILLO_PACKAGE_LOOKUP_HOOK
void SetPackageLookupHook(int (*lookup)(const wchar_t* family)) noexcept { g_lookupHook = lookup; }
#endif

bool PackagedCommandServesUser() noexcept {
  // A family name is at most 64 + 1 + 13 characters; anything longer is not ours.
  wchar_t family[96] = {};
  DWORD size = sizeof family;
  if (::RegGetValueW(HKEY_CURRENT_USER, kQuilloKey, kFamilyValue, RRF_RT_REG_SZ, nullptr, family,
                     &size) != ERROR_SUCCESS ||
      !family[0])
    return false;
  int count = -1;
#ifdef QUILLO_PACKAGE_LOOKUP_HOOK
  if (int (*hook)(const wchar_t*) = g_lookupHook) {
    count = hook(family);
  } else
#endif
  {
    count = SystemPackageCount(family);
  }
  return count > 0;
}
