// The Windows 11 command's figures: Invoke until the note is ready, in QuilloNote.exe started
// for it (cold) against a plain window made by a process started for it, and in the living
// note process (warm) against a plain window made on a living thread.
#include "bench/uBenchWindows11.h"

#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bench/uBench.h"
#include "bench/uPlainWindow.h"
#include "shellclient/uShellCommand.h"

namespace {

const CLSID kCommand = {0xD2390739, 0xD35F, 0x4362, {0x88, 0xC0, 0x4A, 0x09, 0x74, 0x38, 0xFC, 0x69}};

// A visible window of any process with the caption, other than those given.
HWND AnyWindow(const wchar_t* caption, const std::vector<HWND>& skip) {
  for (HWND w = nullptr; (w = ::FindWindowExW(nullptr, w, nullptr, caption));)
    if (::IsWindowVisible(w) && std::find(skip.begin(), skip.end(), w) == skip.end()) return w;
  return nullptr;
}

DWORD NoteProcessId() {
  const HWND wnd = ::FindWindowExW(HWND_MESSAGE, nullptr, L"Quillo.NoteProcess", nullptr);
  DWORD id = 0;
  if (wnd) ::GetWindowThreadProcessId(wnd, &id);
  return id;
}

// Ends the note process (its 30-second grace period would only make the next cold run wait).
void EndNoteProcess() {
  const DWORD id = NoteProcessId();
  if (!id) return;
  TKernelHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id));
  if (process) {
    ::TerminateProcess(process.get(), 0);
    ::WaitForSingleObject(process.get(), 10000);
  }
}

// Invoke, as the menu runs it, until the note is ready; `open` are notes already open.
double InvokeUntilReady(IClassFactory* factory, const TScratch& scratch, HWND& note,
                        const std::vector<HWND>& open) {
  TExplorerInvoke job;
  job.factory = factory;
  job.folder = scratch.pidl.get();
  const double t0 = NowMs();
  if (FAILED(RunExplorerCommand(job))) Fail("Invoke", job.result);
  if (!PumpUntil([&] { return Ready(note = AnyWindow(kNoteCaption, open)); }))
    Fail("no note window in QuilloNote.exe");
  return NowMs() - t0;
}

// A plain window made by a process started for it (this program in --plain-window mode).
double PlainInNewProcess(const TScratch& scratch) {
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring cmd = L"\"" + std::wstring(self) + L"\" --plain-window \"" + scratch.path + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  const double t0 = NowMs();
  if (!::CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    Fail("CreateProcess", static_cast<long>(::GetLastError()));
  TKernelHandle process(pi.hProcess), thread(pi.hThread);
  HWND plain = nullptr;
  if (!PumpUntil([&] { return Ready(plain = AnyWindow(L"QuilloFloor", {})); }))
    Fail("no plain window in a new process");
  const double ms = NowMs() - t0;
  ::PostMessageW(plain, WM_CLOSE, 0, 0);
  ::WaitForSingleObject(process.get(), 10000);
  return ms;
}

}  // namespace

int PlainWindowMain() {
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  const std::wstring folder = argv && argc == 3 ? argv[2] : L"";
  if (argv) ::LocalFree(argv);
  HWND w = folder.empty() ? nullptr : OpenPlainWindow(folder);
  if (!w) return 1;
  MSG msg;
  while (::IsWindow(w) && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return 0;
}

void Windows11Rows(const THandlerDll& quillo, const TScratch& scratch) {
  TComPtr<IClassFactory> factory;
  if (FAILED(quillo.getClassObject(kCommand, IID_IClassFactory, factory.put_void())))
    Fail("the library has no Windows 11 command");
  EndNoteProcess();
  std::vector<double> cold, coldFloor, warm, warmFloor;
  for (int r = 0; r < kRuns; ++r) {
    HWND first = nullptr, second = nullptr, plain = nullptr;
    cold.push_back(InvokeUntilReady(factory.get(), scratch, first, {}));
    warm.push_back(InvokeUntilReady(factory.get(), scratch, second, {first}));
    ::PostMessageW(second, WM_CLOSE, 0, 0);
    ::PostMessageW(first, WM_CLOSE, 0, 0);
    PumpUntil([&] { return !::IsWindow(first) && !::IsWindow(second); });
    EndNoteProcess();
    coldFloor.push_back(PlainInNewProcess(scratch));
    const double t0 = NowMs();
    plain = OpenPlainWindow(scratch.path);
    if (!plain || !PumpUntil([&] { return Ready(plain); })) Fail("no plain window");
    warmFloor.push_back(NowMs() - t0);
    CloseAndWait(plain);
  }
  Row("Windows 11 Invoke until ready, cold", Median(cold), Median(coldFloor), "ms",
      "floor: a plain window by a new process");
  Row("Windows 11 Invoke until ready, warm", Median(warm), Median(warmFloor), "ms",
      "target <= 1.2x (floor: this thread)");
}
