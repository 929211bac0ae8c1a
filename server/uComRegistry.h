// Registry writes and deletes below HKEY_CLASSES_ROOT, and the texts registration is made of.
// Wide throughout, so that a module kept under a folder of any language registers as it is.
#pragma once

#include <windows.h>

#include <string>

#include "common/uError.h"

class EOleRegistrationError : public EQuilloError {
 public:
  using EQuilloError::EQuilloError;
};

// The key the writes and deletes below go under while one lives: HKEY_CLASSES_ROOT unless a
// registration for one user names that user's classes key. The caller serialises
// registrations (TComServer::WriteServerRegistration holds the factory registry's lock).
class TRegistrationRoot {
 public:
  explicit TRegistrationRoot(HKEY root) noexcept;
  ~TRegistrationRoot();
  TRegistrationRoot(const TRegistrationRoot&) = delete;
  TRegistrationRoot& operator=(const TRegistrationRoot&) = delete;

 private:
  HKEY previous_;
};

// Creates or opens the key and sets one REG_SZ value (empty name: the default value).
// Raises EOleRegistrationError on any failure; earlier writes stay.
void WriteKeyValue(const std::u16string& key, const std::u16string& valueName,
                   const std::u16string& value);
// Deletes one key; a missing key, or one that still has subkeys, is passed over.
void RemoveKey(const std::u16string& key) noexcept;

// The class identifier as StringFromCLSID writes it: braces, upper-case hex, 38 characters.
std::u16string GUIDToString(REFGUID guid);

// Path pieces: the directory (a drive root keeps its backslash), the drive or
// server-and-share part, the file name, the file name without its extension.
std::u16string ExtractFileDir(const std::u16string& path);
std::u16string ExtractFileDrive(const std::u16string& path);
std::u16string ExtractFileName(const std::u16string& path);
std::u16string StripFileExt(const std::u16string& fileName);

// Each component of the path in the spelling the file system stores (its long name).
// Components that cannot be found are left out, as the lookup walk stops there.
std::u16string LongPathName(const std::u16string& path);
// The module's path for the InprocServer32 value: the long form, or its 8.3 form when the
// long form holds a space. Empty when there is none: the module cannot be found any more, or
// the system has no short form.
std::u16string ModulePathForRegistry(const std::u16string& moduleFileName);
