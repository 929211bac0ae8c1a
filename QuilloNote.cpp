// QuilloNote.exe FOLDER | QuilloNote.exe --recover: the process the Windows 11 command's notes
// live in (note/uNoteProcess.h). It holds no note code of its own: it loads Quillo.dll from
// its own folder and runs QuilloNoteMain, so that the note is the very window the classic
// handler shows. No C runtime (kernel32 only), to stay a few kilobytes; exit codes as
// uNoteProcess.h says, 4 when Quillo.dll cannot be loaded.
#include <windows.h>

namespace {

using TNoteMain = int(WINAPI*)(const wchar_t*);
using TWerSetFlags = HRESULT(WINAPI*)(DWORD);
// werapi.h's "no fault reporting UI" (not in every SDK's headers).
constexpr DWORD kWerNoUi = 0x20;

// Quillo.dll's full path is built here: the process's folder, never the search path.
wchar_t g_path[32768 + 16];

void SayError(const char* text) {
  const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
  if (!err || err == INVALID_HANDLE_VALUE) return;
  DWORD length = 0, written = 0;
  while (text[length]) ++length;
  ::WriteFile(err, text, length, &written, nullptr);
}

int Run() {
  // A fault shows no dialog, but still reaches Windows Error Reporting, whose job it is to
  // restart a process that registered for it while it holds drafts (--recover). Looked up
  // here so that this program keeps importing one function list.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  if (const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll"))
    if (const auto setFlags = reinterpret_cast<TWerSetFlags>(
            reinterpret_cast<void*>(::GetProcAddress(kernel, "WerSetFlags"))))
      setFlags(kWerNoUi);
  const DWORD size = sizeof g_path / sizeof g_path[0] - 16;
  const DWORD n = ::GetModuleFileNameW(nullptr, g_path, size);
  if (n == 0 || n >= size) return 4;
  DWORD slash = n;
  while (slash > 0 && g_path[slash - 1] != L'\\' && g_path[slash - 1] != L'/') --slash;
  const wchar_t dll[] = L"Quillo.dll";
  for (DWORD i = 0; i < sizeof dll / sizeof dll[0]; ++i) g_path[slash + i] = dll[i];
  const HMODULE module = ::LoadLibraryExW(g_path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) {
    SayError("QuilloNote: cannot load Quillo.dll beside QuilloNote.exe\n");
    return 4;
  }
  const auto main = reinterpret_cast<TNoteMain>(
      reinterpret_cast<void*>(::GetProcAddress(module, "QuilloNoteMain")));
  if (!main) {
    SayError("QuilloNote: Quillo.dll has no QuilloNoteMain\n");
    return 4;
  }
  return main(::GetCommandLineW());
}

}  // namespace

#ifdef __clang__
// Zig's linker (the ARM64 build) asks every program for the C runtime's TLS index; this one has
// no thread-local data and no runtime, so the index is never read.
extern "C" {
unsigned long _tls_index = 0;
}
#endif

extern "C" void WINAPI QuilloNoteEntry() { ::ExitProcess(static_cast<UINT>(Run())); }
