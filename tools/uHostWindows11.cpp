#include <windows.h>

#include "common/uComPtr.h"
#include "common/uHandles.h"
#include "shellclient/uShellCommand.h"
#include "tools/uHost.h"

namespace {
// {D2390739-D35F-4362-88C0-4A097438FC69}
const CLSID kCommand = {0xD2390739, 0xD35F, 0x4362, {0x88, 0xC0, 0x4A, 0x09, 0x74, 0x38, 0xFC, 0x69}};
using TGetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
}  // namespace

int RunWindows11Command(const TFolder& folder) {
  wchar_t path[MAX_PATH + 16] = {};
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return kExitNoHandler;
  DWORD slash = n;
  while (slash > 0 && path[slash - 1] != L'\\') --slash;
  ::lstrcpyW(path + slash, L"Quillo.dll");
  const TModule dll(::LoadLibraryW(path));
  const auto getClassObject = dll ? reinterpret_cast<TGetClassObject>(reinterpret_cast<void*>(
                                        ::GetProcAddress(dll.get(), "DllGetClassObject")))
                                  : nullptr;
  TComPtr<IClassFactory> factory;
  if (!getClassObject || FAILED(getClassObject(kCommand, IID_IClassFactory, factory.put_void()))) {
    Say("no Windows 11 command in %s", Utf8(path).c_str());
    return kExitNoHandler;
  }
  TExplorerInvoke job;
  job.factory = factory.get();
  job.folder = folder.pidl.get();
  job.site = TSiteKind::FolderView;
  job.items = TItemArray::Null;
  const HRESULT hr = RunExplorerCommand(job);
  factory.reset();
  Print(STD_OUTPUT_HANDLE, "\"" + Utf8(job.title) + "\" (" + Utf8(job.icon) + "): " +
                               (SUCCEEDED(hr) ? "invoked" : "failed") + "\n");
  if (FAILED(hr)) {
    Say("the command failed (0x%08lX)", static_cast<unsigned long>(hr));
    return kExitInvoke;
  }
  return kExitOk;
}
