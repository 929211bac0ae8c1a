// Registry writes and deletes below HKEY_CLASSES_ROOT, and the texts registration is made of.
#pragma once

#include <windows.h>

#include <string>

#include "common/uError.h"

class EOleRegistrationError : public EQuilloError {
 public:
  using EQuilloError::EQuilloError;
};

// Creates or opens the key and sets one REG_SZ value (empty name: the default value).
// Raises EOleRegistrationError on any failure; earlier writes stay.
void WriteKeyValue(const std::string& key, const std::string& valueName,
                   const std::string& value);
// Deletes one key; a missing key, or one that still has subkeys, is passed over.
void RemoveKey(const std::string& key) noexcept;

// The class identifier as StringFromCLSID writes it: braces, upper-case hex, 38 characters.
std::string GUIDToString(REFGUID guid);

// Path pieces: the directory (a drive root keeps its backslash), the drive or
// server-and-share part, the file name, the file name without its extension.
std::string ExtractFileDir(const std::string& path);
std::string ExtractFileDrive(const std::string& path);
std::string ExtractFileName(const std::string& path);
std::string StripFileExt(const std::string& fileName);

// Each component of the path in the spelling the file system stores (its long name).
// Components that cannot be found are left out, as the lookup walk stops there.
std::string LongPathName(const std::string& path);
// The module's path for the InprocServer32 value: the long form, or its 8.3 form when the
// long form holds a space (empty when the system has no short form).
std::string ModulePathForRegistry(const std::string& moduleFileName);
