// The class of the floor handler in QuilloFloor.dll.
#pragma once

#include <guiddef.h>

// {5E0C7A31-2B94-4D18-A6F3-0C9D4E7B2A15}
inline constexpr CLSID CLSID_QuilloFloor = {
    0x5e0c7a31, 0x2b94, 0x4d18, {0xa6, 0xf3, 0x0c, 0x9d, 0x4e, 0x7b, 0x2a, 0x15}};
