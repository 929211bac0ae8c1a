// Identifiers of Quillo's type library (resources/Quillo.idl): keep the two in step.
#pragma once

#include <windows.h>

// {B2D94A6E-3C17-4E85-9F0A-71C6E2D83B59}
constexpr GUID LIBID_Quillo = {
    0xB2D94A6E, 0x3C17, 0x4E85, {0x9F, 0x0A, 0x71, 0xC6, 0xE2, 0xD8, 0x3B, 0x59}};
constexpr WORD QuilloMajorVersion = 1;
constexpr WORD QuilloMinorVersion = 0;
