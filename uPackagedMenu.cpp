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

// The answer is kept for a moment: a file manager asks on every right-click, and a burst of
// them (or several windows at once) needs one registry read, not one each. A change of the
// registration is seen within the moment, long before a user could right-click again.
constexpr DWORD kRecheckMs = 2000;
volatile LONG g_answered = 0;  // 1 once an answer is kept
volatile LONG g_answeredAt = 0;
volatile LONG g_serves = 0;

bool LookUp() noexcept {
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
}  // namespace

#ifdef QUILLO_PACKAGE_LOOKUP_HOOK
void SetPackageLookupHook(int (*lookup)(const wchar_t* family)) noexcept {
  g_lookupHook = lookup;
  ::InterlockedExchange(&g_answered, 0);  // a test changes the facts case by case
}
#endif

bool PackagedCommandServesUser() noexcept {
  const DWORD now = ::GetTickCount();
  if (::InterlockedCompareExchange(&g_answered, 0, 0) &&
      now - static_cast<DWORD>(g_answeredAt) < kRecheckMs)
    return g_serves != 0;
  const bool serves = LookUp();
  // Racing threads each store an answer they looked up: any of them will do.
  ::InterlockedExchange(&g_serves, serves ? 1 : 0);
  ::InterlockedExchange(&g_answeredAt, static_cast<LONG>(now));
  ::InterlockedExchange(&g_answered, 1);
  return serves;
}
