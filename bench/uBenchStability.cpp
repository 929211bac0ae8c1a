#include "bench/uBenchStability.h"

#include <cstdio>

#include "bench/uBench.h"
#include "bench/uPlainWindow.h"
#include "ui/uActCtx.h"

namespace {

// One line per run: the heap in use after the first tenth and after the whole, and the growth.
void Report(const char* what, long count, SIZE_T afterFirst, SIZE_T afterLast, const char* extra) {
  std::printf("  %-34s after %6ld: %9zu bytes, after %6ld: %9zu bytes, growth %+7lld bytes%s\n",
              what, count / 10, static_cast<size_t>(afterFirst), count,
              static_cast<size_t>(afterLast),
              static_cast<long long>(afterLast) - static_cast<long long>(afterFirst), extra);
  std::fflush(stdout);
}

}  // namespace

int StabilityClicksMain(const std::string& dllPath, long count) {
  TScratch scratch;
  THandlerDll dll(dllPath);
  SIZE_T afterFirst = 0;
  for (long i = 1; i <= count; ++i) {
    HRESULT hr = RightClick(dll, scratch.pidl.get());
    if (FAILED(hr)) Fail("right-click", hr);
    if (i == count / 10) afterFirst = HeapBytesInUse();
  }
  const SIZE_T afterLast = HeapBytesInUse();
  Report("right-clicks", count, afterFirst, afterLast,
         dll.canUnloadNow() == S_OK ? ", DllCanUnloadNow S_OK" : ", DllCanUnloadNow S_FALSE");
  return 0;
}

int StabilityNotesMain(const std::string& dllPath, long count) {
  TScratch scratch;
  THandlerDll dll(dllPath);
  SIZE_T afterFirst = 0;
  for (long i = 1; i <= count; ++i) {
    HWND window = nullptr;
    OpenNote(dll, scratch, window);
    // The UI thread, and its windowing layer, stay for the grace period after the window:
    // every note but the first opens on them, as notes in a burst do.
    CloseAndWait(window);
    if (i == count / 10) afterFirst = HeapBytesInUse();
  }
  const SIZE_T afterLast = HeapBytesInUse();
  Report("note windows opened and closed", count, afterFirst, afterLast,
         dll.canUnloadNow() == S_OK ? ", DllCanUnloadNow S_OK" : ", DllCanUnloadNow S_FALSE");
  return 0;
}

// The floor of the note windows' row: plain windows of the same controls, made in the
// library's ComCtl32 v6 context as the note windows are, so that what v6 itself keeps shows.
int StabilityPlainMain(const std::string& dllPath, long count) {
  TScratch scratch;
  THandlerDll dll(dllPath);
  TActivationContext v6(dll.module.get());
  if (!v6.Active()) Fail("no activation context from the library's manifest");
  SIZE_T afterFirst = 0;
  for (long i = 1; i <= count; ++i) {
    HWND window = OpenPlainWindow(scratch.path);
    if (!window || !PumpUntil([&] { return Ready(window); })) Fail("no plain window");
    CloseAndWait(window);
    if (i == count / 10) afterFirst = HeapBytesInUse();
  }
  Report("plain windows, ComCtl32 v6 (floor)", count, afterFirst, HeapBytesInUse(), "");
  return 0;
}

int StabilityCyclesMain(const std::string& dllPath, long count, bool rightClick) {
  TScratch scratch;
  SIZE_T afterFirst = 0;
  for (long i = 1; i <= count; ++i) {
    {
      THandlerDll dll(dllPath);
      if (rightClick) {
        HRESULT hr = RightClick(dll, scratch.pidl.get());
        if (FAILED(hr)) Fail("right-click", hr);
        if (dll.canUnloadNow() != S_OK) Fail("DllCanUnloadNow after a right-click");
      }
    }
    if (::GetModuleHandleA(dllPath.c_str())) Fail("the library stayed loaded");
    if (i == count / 10) afterFirst = HeapBytesInUse();
  }
  Report(rightClick ? "loads, a right-click, unloads" : "LoadLibrary/FreeLibrary cycles", count,
         afterFirst, HeapBytesInUse(), "");
  return 0;
}

void StabilityRows(const std::string& dllPath) {
  std::printf("stability, heap in use (all process heaps walked), each in a fresh process:\n");
  std::fflush(stdout);
  const std::string dll = " \"" + dllPath + "\" ";
  std::fputs(RunChild("--stability-clicks" + dll + "100000").c_str(), stdout);
  std::fputs(RunChild("--stability-notes" + dll + "300").c_str(), stdout);
  std::fputs(RunChild("--stability-plain" + dll + "300").c_str(), stdout);
  std::fputs(RunChild("--stability-cycles" + dll + "100").c_str(), stdout);
  std::fputs(RunChild("--stability-cycles-click" + dll + "100").c_str(), stdout);
  std::fflush(stdout);
}
