// Whether Windows 11 already shows Quillo's command to this user from the package (Quillo.msix,
// registered by the setup program), in which case the classic handler adds no item of its own:
// Windows lists a package's verbs under "Show more options" too, and one item per menu is
// enough.
#pragma once

// True when HKEY_CURRENT_USER\Software\Quillo names the package family (written when the
// registration succeeded) and the system confirms a package of that family for the current
// user. Where the value is missing (everywhere but a registered Windows 11) this costs one
// registry read; where the system cannot say (no GetPackagesByPackageFamily: Windows 7, Wine)
// the answer is false, so the classic item stays. The answer is kept for two seconds. Never
// throws.
bool PackagedCommandServesUser() noexcept;

#ifdef QUILLO_PACKAGE_LOOKUP_HOOK
// Test trees only: the number of packages of a family the lookup answers (-1: the system
// cannot say), in place of the system's. Null restores the system's. Either way the kept
// answer is dropped.
void SetPackageLookupHook(int (*lookup)(const wchar_t* family)) noexcept;
#endif
