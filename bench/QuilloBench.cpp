// QuilloBench: what Quillo.dll costs its host, each figure against the floor measured in the
// same run (the median of several runs). Run through bench/run.sh.
//
//   QuilloBench DIR [DLL]                every benchmark; DIR holds QuilloFloor.dll, DLL is the
//                                        Quillo.dll timed (DIR\Quillo.dll when not given)
//   QuilloBench --note-window DIR [DLL]  only the note window's figures
//   QuilloBench --windows11 DIR [DLL]    only the Windows 11 command's (QuilloNote.exe beside DLL)
//   QuilloBench --plain-window FOLDER    a plain window until it is closed (the cold floor)
//   QuilloBench --stability DLL          only the heap in use over long runs
//   QuilloBench --cold DLL               one cold right-click (library load included), in us
//   QuilloBench --save-peak DLL quillo|floor MIB   memory a save needs beyond its text
//   QuilloBench --stability-clicks|-notes|-plain|-cycles|-cycles-click DLL N   one stability run
#include <windows.h>
// (after windows.h, which it needs)
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/uBench.h"
#include "bench/uBenchStability.h"
#include "bench/uBenchWindows11.h"
#include "bench/uPlainWindow.h"
#include "note/uNote.h"
#include "ui/uActCtx.h"

namespace {

double OpenPlain(const TScratch& scratch, HWND& window) {
  const double t0 = NowMs();
  window = OpenPlainWindow(scratch.path);
  if (!window || !PumpUntil([&] { return Ready(window); })) Fail("no plain window");
  return NowMs() - t0;
}

// The plain window made on a thread started for it, which pumps it until it is gone: what a
// hand-over to a new thread costs any window, Quillo's or not.
struct TPlainThread {
  std::wstring folder;
  HWND window = nullptr;
  TKernelHandle made{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  static DWORD WINAPI Run(LPVOID p) {
    auto* self = static_cast<TPlainThread*>(p);
    self->window = OpenPlainWindow(self->folder);
    ::SetEvent(self->made.get());
    MSG msg;
    while (self->window && ::IsWindow(self->window) && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    return 0;
  }
};

double OpenPlainOnNewThread(const TScratch& scratch) {
  TPlainThread plain;
  plain.folder = scratch.path;
  const double t0 = NowMs();
  TKernelHandle thread(::CreateThread(nullptr, 0, &TPlainThread::Run, &plain, 0, nullptr));
  if (!thread || ::WaitForSingleObject(plain.made.get(), 10000) != WAIT_OBJECT_0 ||
      !plain.window || !PumpUntil([&] { return Ready(plain.window); }))
    Fail("no plain window on a new thread");
  const double ms = NowMs() - t0;
  CloseAndWait(plain.window);
  ::WaitForSingleObject(thread.get(), 10000);
  return ms;
}

// Lines of a real note, Korean and ASCII with CR LF, that make `bytes` bytes in the system's
// code page (the size of the file a save writes).
std::wstring TextOf(size_t bytes) {
  const std::wstring line = L"가나다라마바사 아자차카타파하 The quick brown fox 0123456789 메모 한 줄\r\n";
  const size_t lineBytes = ToCodePage(CP_ACP, line).size();
  if (lineBytes == 0) Fail("the system's code page cannot hold the benchmark's text");
  std::wstring s;
  s.reserve(bytes);
  size_t used = 0;
  for (; used + lineBytes <= bytes; used += lineBytes) s += line;
  s.append(bytes - used, L'x');
  return s;
}

// Taking the text out of the box, in the system's code page, and one raw write of those
// bytes: what any save costs.
bool RawSave(HWND memo, const std::wstring& file) {
  const LRESULT n = ::SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  const LRESULT got = ::SendMessageW(memo, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(static_cast<size_t>(got));
  const std::string bytes = ToCodePage(CP_ACP, text);
  TFileHandle f(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD put = 0;
  return f && ::WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
         put == static_cast<DWORD>(bytes.size());
}

struct TNoteUnderTest {
  HWND window = nullptr, memo = nullptr, title = nullptr, save = nullptr;
};

TNoteUnderTest OpenFilledNote(const THandlerDll& dll, const TScratch& scratch, size_t bytes) {
  TNoteUnderTest n;
  OpenNote(dll, scratch, n.window);
  n.memo = Child(n.window, L"Edit", nullptr, true);
  n.title = Child(n.window, L"Edit", nullptr, false);
  n.save = Child(n.window, L"Button", L"Save (&S)");
  if (!n.memo || !n.title || !n.save) Fail("note window controls not found");
  {
    const std::wstring text = TextOf(bytes);
    ::SendMessageW(n.memo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (static_cast<size_t>(::SendMessageW(n.memo, WM_GETTEXTLENGTH, 0, 0)) != text.size())
      Fail("the text box did not take the whole text");
  }
  ::SendMessageW(n.title, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"bench"));
  return n;
}

// ---- the child modes ----

int ColdMain(const std::string& dllPath) {
  TScratch scratch;
  // The platform is warm in a file manager that shows a menu: only the library is cold.
  wchar_t path[MAX_PATH + 1];
  ::SHGetPathFromIDListW(scratch.pidl.get(), path);
  ::DestroyMenu(::CreatePopupMenu());
  const double t0 = NowMs();
  THandlerDll dll(dllPath);
  HRESULT hr = RightClick(dll, scratch.pidl.get());
  const double ms = NowMs() - t0;
  if (FAILED(hr)) Fail("cold right-click", hr);
  std::printf("%.1f\n", ms * 1000);
  return 0;
}

// Memory in use (private commit), sampled from a second thread while the save runs.
struct TSampler {
  std::atomic<bool> stop{false};
  std::atomic<SIZE_T> max{0};
  std::thread thread;
  static SIZE_T Commit() {
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof pmc;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof pmc);
    return pmc.PagefileUsage;
  }
  void Note(SIZE_T c) {
    SIZE_T m = max.load();
    while (c > m && !max.compare_exchange_weak(m, c)) {
    }
  }
  // Returns the baseline, taken once the sampling thread (and its stack) exists.
  SIZE_T Start() {
    thread = std::thread([this] {
      while (!stop) Note(Commit());
    });
    ::Sleep(50);
    const SIZE_T base = Commit();
    max.store(base);
    return base;
  }
  SIZE_T Stop() {
    Note(Commit());
    stop = true;
    thread.join();
    return max.load();
  }
};

// The text sits in the note window's box in both cases; "floor" takes it out and writes it
// raw, "quillo" presses "Save (&S)".
int SavePeakMain(const std::string& dllPath, const std::string& what, size_t mib) {
  TScratch scratch;
  const size_t bytes = mib << 20;
  THandlerDll dll(dllPath);
  TNoteUnderTest n = OpenFilledNote(dll, scratch, bytes);
  PumpUntil([] { return false; }, 200);
  TSampler sampler;
  const SIZE_T before = sampler.Start();
  if (what == "floor" ? !RawSave(n.memo, scratch.path + L"\\bench.txt")
                      : (::SendMessageW(n.save, BM_CLICK, 0, 0), false))
    Fail("raw save");
  const SIZE_T peak = sampler.Stop();
  std::printf("%.0f\n", static_cast<double>(peak - before) - static_cast<double>(bytes));
  CloseAndWait(n.window);
  return 0;
}

// ---- everything ----

// The note window: the first (the UI thread starts), a second beside it, and one opened again
// after the last has closed, within the UI thread's grace period (the next note of a burst),
// each from InvokeCommand through the hand-over until ready, against the plain window on this
// thread.
void NoteWindowRows(const THandlerDll& quillo, const TScratch& scratch) {
  std::vector<double> q, q2, q3, f, ft, fv;
  for (int r = 0; r < kRuns; ++r) {
    HWND w = nullptr, second = nullptr, plain = nullptr;
    q.push_back(OpenNote(quillo, scratch, w));
    TKernelHandle uiThread = ThreadOf(w);
    q2.push_back(OpenNote(quillo, scratch, second, {w}));
    CloseAndWait(second);
    CloseAndWait(w);
    HWND again = nullptr;
    q3.push_back(OpenNote(quillo, scratch, again));
    CloseAndWait(again);
    WaitThreadGone(uiThread);  // so that the next first window starts the thread again
    f.push_back(OpenPlain(scratch, plain));
    CloseAndWait(plain);
    ft.push_back(OpenPlainOnNewThread(scratch));
    {  // the same plain window with ComCtl32 v6, as Quillo's UI thread makes its windows
      TActivationContext v6(quillo.module.get());
      fv.push_back(OpenPlain(scratch, plain));
      CloseAndWait(plain);
    }
  }
  Row("note window ready, first (thread start)", Median(q), Median(f), "ms", "target <= 1.25x");
  Row("note window ready, a second one", Median(q2), Median(f), "ms", "target <= 1.1x");
  Row("note window ready, again after the last closed", Median(q3), Median(f), "ms",
      "target <= 1.2x (within the grace period)");
  Row("plain window on a new thread (no Quillo)", Median(ft), Median(f), "ms",
      "what a new thread costs");
  Row("plain window, ComCtl32 v6 (no Quillo)", Median(fv), Median(f), "ms",
      "what v6 costs any window");
  // What the UI thread pays once, when it starts: its ComCtl32 v6 context from the library's
  // manifest, made, activated, deactivated and let go.
  std::vector<double> a;
  for (int r = 0; r < kRuns; ++r) {
    constexpr int kPerRun = 100;
    const double t0 = NowMs();
    for (int i = 0; i < kPerRun; ++i) {
      TActivationContext context(quillo.module.get());
      if (!context.Active()) Fail("no activation context from the library's manifest");
    }
    a.push_back((NowMs() - t0) / kPerRun);
  }
  Row("activation context, once per UI thread start", Median(a), Median(f), "ms",
      "floor: the plain window");
}

int AllMain(const std::string& quilloPath, const std::string& floorPath) {
  TScratch scratch;
  THandlerDll quillo(quilloPath), floor(floorPath);
  std::printf("QuilloBench: %s against %s\n", quilloPath.c_str(), floorPath.c_str());
  std::printf("median of %d runs (9 for the first right-click, 5 for 64 MiB), each against its "
              "floor measured in the same run\n\n", kRuns);

  {  // right-click, warm
    constexpr int kPerRun = 2000;
    std::vector<double> q, f;
    for (int r = 0; r < kRuns; ++r) {
      for (auto* dll : {&quillo, &floor}) {
        const double t0 = NowMs();
        for (int i = 0; i < kPerRun; ++i) {
          HRESULT hr = RightClick(*dll, scratch.pidl.get());
          if (FAILED(hr)) Fail("right-click", hr);
        }
        (dll == &quillo ? q : f).push_back((NowMs() - t0) / kPerRun);
      }
    }
    Row("right-click sequence (per sequence)", Median(q), Median(f), "ms", "target <= 1.05x");
  }
  {  // right-click, cold: a fresh process each time
    std::vector<double> q, f;
    for (int r = 0; r < 9; ++r) {
      q.push_back(std::atof(RunChild("--cold \"" + quilloPath + "\"").c_str()) / 1000);
      f.push_back(std::atof(RunChild("--cold \"" + floorPath + "\"").c_str()) / 1000);
    }
    Row("first right-click, library load included", Median(q), Median(f), "ms", "target <= 1.1x");
  }
  NoteWindowRows(quillo, scratch);
  if (sizeof(void*) == 8) Windows11Rows(quillo, scratch);  // the command is 64-bit only
  for (size_t mib : {size_t(1), size_t(64)}) {  // saving
    const std::wstring file = scratch.path + L"\\bench.txt", raw = scratch.path + L"\\raw.txt";
    // A note asks before replacing a file it did not write: each size's window starts without.
    ::DeleteFileW(file.c_str());
    TNoteUnderTest n = OpenFilledNote(quillo, scratch, mib << 20);
    // The window's command alone, and the whole click (the button's own press and redraw
    // included) against a click on the plain window's button that does nothing.
    HWND plain = nullptr;
    OpenPlain(scratch, plain);
    HWND plainButton = Child(plain, L"Button", L"Save (&S)");
    const WPARAM command = MAKEWPARAM(::GetDlgCtrlID(n.save), BN_CLICKED);
    std::vector<double> q, f, qc, fc;
    const int runs = mib > 8 ? 5 : kRuns;
    for (int r = 0; r < runs; ++r) {
      double t0 = NowMs();
      ::SendMessageW(::GetParent(n.save), WM_COMMAND, command, reinterpret_cast<LPARAM>(n.save));
      q.push_back(NowMs() - t0);
      t0 = NowMs();
      if (!RawSave(n.memo, raw)) Fail("raw save");
      f.push_back(NowMs() - t0);
      t0 = NowMs();
      ::SendMessageW(n.save, BM_CLICK, 0, 0);
      qc.push_back(NowMs() - t0);
      t0 = NowMs();
      ::SendMessageW(plainButton, BM_CLICK, 0, 0);
      if (!RawSave(n.memo, raw)) Fail("raw save");
      fc.push_back(NowMs() - t0);
    }
    ::DestroyWindow(plain);
    WIN32_FILE_ATTRIBUTE_DATA fa = {};
    if (!::GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &fa) ||
        fa.nFileSizeLow != static_cast<DWORD>(mib << 20))
      Fail("Save (&S) did not write the whole text");
    CloseAndWait(n.window);
    const std::string label = "Save (&S), " + std::to_string(mib) + " MiB";
    Row((label + ", the command").c_str(), Median(q), Median(f), "ms", "target <= 1.3x");
    Row((label + ", clicked").c_str(), Median(qc), Median(fc), "ms", "floor: a plain click too");
    const std::string peak = "--save-peak \"" + quilloPath + "\" ";
    const double qPeak = std::atof(RunChild(peak + "quillo " + std::to_string(mib)).c_str());
    const double fPeak = std::atof(RunChild(peak + "floor " + std::to_string(mib)).c_str());
    std::printf("%-44s %10.0f KiB  floor %10.0f KiB  (memory in use beyond the text)\n",
                (label + ", peak").c_str(), qPeak / 1024, fPeak / 1024);
  }
  {  // the first line of 64 Mi characters of blank lines
    std::u16string text;
    text.reserve((64u << 20) + 16);
    while (text.size() < (64u << 20)) text += u"  \t \r\n";
    text += u"   제목 줄\r\n";
    std::vector<double> q, f;
    for (int r = 0; r < 5; ++r) {
      double t0 = NowMs();
      std::optional<std::u16string> title = TitleFromFirstLine(text);
      q.push_back(NowMs() - t0);
      if (!title || *title != u"제목 줄") Fail("TitleFromFirstLine found no title");
      t0 = NowMs();
      // The floor: one pass to the first character that is not blank.
      volatile size_t at = static_cast<size_t>(
          std::find_if(text.begin(), text.end(), [](char16_t c) { return !IsBlank(c); }) -
          text.begin());
      (void)at;
      f.push_back(NowMs() - t0);
    }
    Row("TitleFromFirstLine, 64 MiB of blank lines", Median(q), Median(f), "ms", "one pass");
  }
  StabilityRows(quilloPath);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (FAILED(::OleInitialize(nullptr))) Fail("OleInitialize");
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--cold" && argc == 3) return ColdMain(argv[2]);
    if (mode == "--save-peak" && argc == 5)
      return SavePeakMain(argv[2], argv[3], std::strtoul(argv[4], nullptr, 10));
    if (argc == 4 && mode.rfind("--stability-", 0) == 0) {
      const long n = std::strtol(argv[3], nullptr, 10);
      if (mode == "--stability-clicks") return StabilityClicksMain(argv[2], n);
      if (mode == "--stability-notes") return StabilityNotesMain(argv[2], n);
      if (mode == "--stability-plain") return StabilityPlainMain(argv[2], n);
      if (mode == "--stability-cycles") return StabilityCyclesMain(argv[2], n, false);
      if (mode == "--stability-cycles-click") return StabilityCyclesMain(argv[2], n, true);
    }
    if (mode == "--stability" && argc == 3) return StabilityRows(argv[2]), 0;
    if (mode == "--plain-window" && argc == 3) return PlainWindowMain();
    // The DLL timed is the one given, else the one beside the floor.
    const bool noteOnly = mode == "--note-window", windows11 = mode == "--windows11";
    const int at = noteOnly || windows11 ? 2 : 1;
    if ((argc == at + 1 || argc == at + 2) && argv[at][0] != '-') {
      const std::string dir = argv[at];
      const std::string quilloPath = argc == at + 2 ? argv[at + 1] : dir + "\\Quillo.dll";
      if (!noteOnly && !windows11) return AllMain(quilloPath, dir + "\\QuilloFloor.dll");
      TScratch scratch;
      THandlerDll quillo(quilloPath);
      if (windows11)
        Windows11Rows(quillo, scratch);
      else
        NoteWindowRows(quillo, scratch);
      return 0;
    }
    std::fputs("usage: QuilloBench DIR [DLL]\n", stderr);
    return 1;
  } catch (...) {
    Fail("failed unexpectedly");
  }
}
