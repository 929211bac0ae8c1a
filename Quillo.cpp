// The library's entry: what happens when the host loads and unloads Quillo.dll.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
