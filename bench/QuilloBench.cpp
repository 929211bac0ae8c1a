// QuilloBench: what Quillo.dll costs its host, each figure against the floor measured in the
// same run (the median of several runs). Run through bench/run.sh.
//
//   QuilloBench DIR                      every benchmark; DIR holds Quillo.dll and QuilloFloor.dll
//   QuilloBench --cold DLL               one cold right-click (library load included), in us
//   QuilloBench --save-peak DLL quillo|floor MIB   memory a save needs beyond its text
//   QuilloBench --stability DLL N        counters before and after N right-clicks
//   QuilloBench --note-window DIR        only the note window's figures
#include <windows.h>
// (after windows.h, which it needs)
#include <psapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/uFloorHandler.h"
#include "bench/uPlainWindow.h"
#include "common/uComPtr.h"
#include "common/uHandles.h"
#include "note/uNote.h"

namespace {

// {7C3E5B12-9A4D-4F60-8E21-5D0B3A9C6F47}
constexpr CLSID CLSID_Quillo = {
    0x7c3e5b12, 0x9a4d, 0x4f60, {0x8e, 0x21, 0x5d, 0x0b, 0x3a, 0x9c, 0x6f, 0x47}};
constexpr char kCaption[] = "Quillo  Ver1.1";
constexpr char kFolderLabel[] = "저장 폴더: ";
constexpr int kRuns = 7;

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

double NowMs() {
  static LARGE_INTEGER freq = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

[[noreturn]] void Fail(const char* what, long code = 0) {
  std::fprintf(stderr, "QuilloBench: %s (0x%08lX)\n", what, static_cast<unsigned long>(code));
  std::exit(1);
}

struct TPidlTraits {
  static PIDLIST_ABSOLUTE Invalid() noexcept { return nullptr; }
  static void Close(PIDLIST_ABSOLUTE p) noexcept { ::CoTaskMemFree(p); }
};
using TPidl = TUniqueHandle<PIDLIST_ABSOLUTE, TPidlTraits>;

// A scratch folder for the benchmarks' notes, emptied and removed at the end.
struct TScratch {
  std::string path;
  TPidl pidl;
  TScratch() {
    char tmp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, tmp);
    path = std::string(tmp) + "quillo-bench-" + std::to_string(::GetCurrentProcessId());
    ::CreateDirectoryA(path.c_str(), nullptr);
    wchar_t wide[MAX_PATH] = {};
    ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    HRESULT hr = ::SHParseDisplayName(wide, nullptr, pidl.put(), 0, nullptr);
    if (FAILED(hr)) Fail("SHParseDisplayName", hr);
  }
  ~TScratch() {
    WIN32_FIND_DATAA fd;
    TFindHandle f(::FindFirstFileA((path + "\\*").c_str(), &fd));
    if (f) {
      do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
          ::DeleteFileA((path + "\\" + fd.cFileName).c_str());
      } while (::FindNextFileA(f.get(), &fd));
    }
    f.reset();
    ::RemoveDirectoryA(path.c_str());
  }
};

struct THandlerDll {
  TModule module;
  GetClassObjectFn getClassObject = nullptr;
  CanUnloadNowFn canUnloadNow = nullptr;
  CLSID clsid{};
  explicit THandlerDll(const std::string& path) {
    module.reset(::LoadLibraryA(path.c_str()));
    if (!module) Fail(("LoadLibrary " + path).c_str(), static_cast<long>(::GetLastError()));
    getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(::GetProcAddress(module.get(), "DllGetClassObject")));
    canUnloadNow = reinterpret_cast<CanUnloadNowFn>(
        reinterpret_cast<void*>(::GetProcAddress(module.get(), "DllCanUnloadNow")));
    if (!getClassObject || !canUnloadNow) Fail("exports missing");
    clsid = path.find("QuilloFloor") != std::string::npos ? CLSID_QuilloFloor : CLSID_Quillo;
  }
};

// One right-click: the factory, a new handler, Initialize, QueryContextMenu into a fresh
// menu, and every reference let go. The handler is handed out when asked for.
HRESULT RightClick(const THandlerDll& dll, PCIDLIST_ABSOLUTE folder,
                   TComPtr<IContextMenu>* keep = nullptr, HMENU into = nullptr) {
  TComPtr<IClassFactory> factory;
  HRESULT hr = dll.getClassObject(dll.clsid, IID_IClassFactory, factory.put_void());
  if (FAILED(hr)) return hr;
  TComPtr<IShellExtInit> init;
  if (FAILED(hr = factory->CreateInstance(nullptr, IID_IShellExtInit, init.put_void()))) return hr;
  if (FAILED(hr = init->Initialize(folder, nullptr, nullptr))) return hr;
  TComPtr<IContextMenu> menu;
  if (FAILED(hr = init->QueryInterface(IID_IContextMenu, menu.put_void()))) return hr;
  TMenu popup;
  if (!into) popup.reset(into = ::CreatePopupMenu());
  if (FAILED(hr = menu->QueryContextMenu(into, 0, 1, 0x7FFF, CMF_NORMAL))) return hr;
  if (keep) *keep = menu;
  return hr;
}

// Delivers this thread's messages until the condition holds; false after the time limit.
template <typename Cond>
bool PumpUntil(Cond cond, DWORD limitMs = 10000) {
  const double end = NowMs() + limitMs;
  MSG msg;
  for (;;) {
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    if (cond()) return true;
    if (NowMs() > end) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

struct TCaptionSearch {
  const char* caption;
  std::vector<HWND> skip;
  HWND found;
};

BOOL CALLBACK ProcessWindowProc(HWND w, LPARAM lp) {
  auto* s = reinterpret_cast<TCaptionSearch*>(lp);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(w, &pid);
  char text[64] = {};
  ::GetWindowTextA(w, text, sizeof text);
  if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(w) && std::string(text) == s->caption &&
      std::find(s->skip.begin(), s->skip.end(), w) == s->skip.end()) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}

// A visible window of this process with the caption (Quillo's note windows live on its own
// UI thread), other than those given.
HWND ProcessWindow(const char* caption, const std::vector<HWND>& skip = {}) {
  TCaptionSearch s{caption, skip, nullptr};
  ::EnumWindows(ProcessWindowProc, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

struct TChildSearch {
  const char* cls;
  const char* prefix;
  bool multiline;
  HWND found;
};

BOOL CALLBACK ChildProc(HWND w, LPARAM lp) {
  auto* s = reinterpret_cast<TChildSearch*>(lp);
  char c[64] = {}, t[512] = {};
  ::GetClassNameA(w, c, sizeof c);
  ::GetWindowTextA(w, t, sizeof t);
  if (::lstrcmpiA(c, s->cls) != 0) return TRUE;
  if (s->prefix && std::string(t).rfind(s->prefix, 0) != 0) return TRUE;
  if (!::lstrcmpiA(s->cls, "Edit") &&
      ((::GetWindowLongPtrA(w, GWL_STYLE) & ES_MULTILINE) != 0) != s->multiline)
    return TRUE;
  s->found = w;
  return FALSE;
}

// A child window of the given class (and, when given, text prefix and multi-line style).
HWND Child(HWND parent, const char* cls, const char* textPrefix, bool multiline = false) {
  TChildSearch s{cls, textPrefix, multiline, nullptr};
  ::EnumChildWindows(parent, ChildProc, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

// Shown, in front and its folder label set: the window is ready for the user.
bool Ready(HWND w) {
  return w && ::IsWindowVisible(w) && ::GetForegroundWindow() == w &&
         Child(w, "Static", kFolderLabel) != nullptr;
}

void CloseAndWait(HWND w) {
  ::PostMessageA(w, WM_CLOSE, 0, 0);
  if (!PumpUntil([&] { return !::IsWindow(w); })) Fail("a window did not close");
}

HRESULT InvokeOffset0(IContextMenu* menu, const std::string& folder) {
  CMINVOKECOMMANDINFO ici = {};
  ici.cbSize = sizeof ici;
  ici.lpVerb = MAKEINTRESOURCEA(0);
  ici.lpDirectory = folder.c_str();
  ici.nShow = SW_SHOWNORMAL;
  return menu->InvokeCommand(&ici);
}

// Opens a note window through the handler; the time from InvokeCommand, through the hand-over
// to Quillo's UI thread, until the window is ready, in ms. `open` are note windows already open.
double OpenNote(const THandlerDll& dll, const TScratch& scratch, HWND& window,
                const std::vector<HWND>& open = {}) {
  TComPtr<IContextMenu> menu;
  TMenu popup(::CreatePopupMenu());
  HRESULT hr = RightClick(dll, scratch.pidl.get(), &menu, popup.get());
  if (FAILED(hr)) Fail("right-click", hr);
  const double t0 = NowMs();
  if (FAILED(hr = InvokeOffset0(menu.get(), scratch.path))) Fail("InvokeCommand", hr);
  window = nullptr;
  if (!PumpUntil([&] { return Ready(window = ProcessWindow(kCaption, open)); }))
    Fail("no note window");
  return NowMs() - t0;
}

double OpenPlain(const TScratch& scratch, HWND& window) {
  const double t0 = NowMs();
  window = OpenPlainWindow(scratch.path);
  if (!window || !PumpUntil([&] { return Ready(window); })) Fail("no plain window");
  return NowMs() - t0;
}

// The plain window made on a thread started for it, which pumps it until it is gone: what a
// hand-over to a new thread costs any window, Quillo's or not.
struct TPlainThread {
  std::string folder;
  HWND window = nullptr;
  TKernelHandle made{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  static DWORD WINAPI Run(LPVOID p) {
    auto* self = static_cast<TPlainThread*>(p);
    self->window = OpenPlainWindow(self->folder);
    ::SetEvent(self->made.get());
    MSG msg;
    while (self->window && ::IsWindow(self->window) && ::GetMessageA(&msg, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
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

std::string TextOf(size_t bytes) {
  // Lines of a real note: Korean and ASCII, CR LF.
  const std::string line = "가나다라마바사 아자차카타파하 The quick brown fox 0123456789 메모 한 줄\r\n";
  std::string s;
  s.reserve(bytes);
  while (s.size() + line.size() <= bytes) s += line;
  s.append(bytes - s.size(), 'x');
  return s;
}

// Taking the text out of the box and one raw write of the same bytes: what any save costs.
bool RawSave(HWND memo, const std::string& file) {
  const LRESULT n = ::SendMessageA(memo, WM_GETTEXTLENGTH, 0, 0);
  std::string text(static_cast<size_t>(n) + 1, '\0');
  const LRESULT got = ::SendMessageA(memo, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
  TFileHandle f(::CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD put = 0;
  return f && ::WriteFile(f.get(), text.data(), static_cast<DWORD>(got), &put, nullptr) &&
         put == static_cast<DWORD>(got);
}

struct TNoteUnderTest {
  HWND window = nullptr, memo = nullptr, title = nullptr, save = nullptr;
};

TNoteUnderTest OpenFilledNote(const THandlerDll& dll, const TScratch& scratch, size_t bytes) {
  TNoteUnderTest n;
  OpenNote(dll, scratch, n.window);
  n.memo = Child(n.window, "Edit", nullptr, true);
  n.title = Child(n.window, "Edit", nullptr, false);
  n.save = Child(n.window, "Button", "Save (&S)");
  if (!n.memo || !n.title || !n.save) Fail("note window controls not found");
  {
    const std::string text = TextOf(bytes);
    ::SendMessageA(n.memo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (static_cast<size_t>(::SendMessageA(n.memo, WM_GETTEXTLENGTH, 0, 0)) != bytes)
      Fail("the text box did not take the whole text");
  }
  ::SendMessageA(n.title, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("bench"));
  return n;
}

void Row(const char* what, double quillo, double floor, const char* unit, const char* target) {
  std::printf("%-44s %10.3f %s  floor %10.3f %s  ratio %5.2f   (%s)\n", what, quillo, unit, floor,
              unit, floor > 0 ? quillo / floor : 0.0, target);
  std::fflush(stdout);
}

// Runs this program again with ARGS and returns the number it prints.
double RunChild(const std::string& args) {
  char self[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string cmd = "\"" + std::string(self) + "\" " + args;
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE rd = nullptr, wr = nullptr;
  if (!::CreatePipe(&rd, &wr, &sa, 0)) Fail("CreatePipe");
  TKernelHandle read(rd), write(wr);
  ::SetHandleInformation(rd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = wr;
  si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi = {};
  if (!::CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
    Fail("CreateProcess", static_cast<long>(::GetLastError()));
  TKernelHandle process(pi.hProcess), thread(pi.hThread);
  write.reset();
  std::string out;
  char buf[256];
  DWORD got = 0;
  while (::ReadFile(rd, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
  ::WaitForSingleObject(pi.hProcess, INFINITE);
  return std::atof(out.c_str());
}

// ---- the child modes ----

int ColdMain(const std::string& dllPath) {
  TScratch scratch;
  // The platform is warm in a file manager that shows a menu: only the library is cold.
  char path[MAX_PATH + 1];
  ::SHGetPathFromIDListA(scratch.pidl.get(), path);
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
  if (what == "floor" ? !RawSave(n.memo, scratch.path + "\\bench.txt")
                      : (::SendMessageA(n.save, BM_CLICK, 0, 0), false))
    Fail("raw save");
  const SIZE_T peak = sampler.Stop();
  std::printf("%.0f\n", static_cast<double>(peak - before) - static_cast<double>(bytes));
  CloseAndWait(n.window);
  return 0;
}

int StabilityMain(const std::string& dllPath, long count) {
  TScratch scratch;
  THandlerDll dll(dllPath);
  auto report = [&](long done) {
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof pmc;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof pmc);
    DWORD handles = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handles);
    std::fprintf(stderr,
                 "  after %6ld right-clicks: commit %7zu KiB, working set %7zu KiB, handles %lu, "
                 "GDI %lu, USER %lu, DllCanUnloadNow %s\n",
                 done, static_cast<size_t>(pmc.PagefileUsage >> 10),
                 static_cast<size_t>(pmc.WorkingSetSize >> 10), handles,
                 ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS),
                 ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS),
                 dll.canUnloadNow() == S_OK ? "S_OK" : "S_FALSE");
    return pmc.PagefileUsage;
  };
  const long warm = count / 10;
  SIZE_T at = 0;
  for (long i = 1; i <= count; ++i) {
    HRESULT hr = RightClick(dll, scratch.pidl.get());
    if (FAILED(hr)) Fail("right-click", hr);
    if (i == warm) at = report(i);
  }
  const SIZE_T end = report(count);
  std::printf("%.0f\n", static_cast<double>(end) - static_cast<double>(at));
  return 0;
}

// ---- everything ----

// The note window: the first (the UI thread starts) and a second beside it, each from
// InvokeCommand through the hand-over until ready, against the plain window on this thread.
void NoteWindowRows(const THandlerDll& quillo, const TScratch& scratch) {
  std::vector<double> q, q2, f, ft;
  for (int r = 0; r < kRuns; ++r) {
    HWND w = nullptr, second = nullptr, plain = nullptr;
    ::Sleep(200);  // the UI thread of the last run has ended
    q.push_back(OpenNote(quillo, scratch, w));
    q2.push_back(OpenNote(quillo, scratch, second, {w}));
    CloseAndWait(second);
    CloseAndWait(w);
    f.push_back(OpenPlain(scratch, plain));
    CloseAndWait(plain);
    ft.push_back(OpenPlainOnNewThread(scratch));
  }
  Row("note window ready, first (thread start)", Median(q), Median(f), "ms", "target <= 1.25x");
  Row("note window ready, a second one", Median(q2), Median(f), "ms", "target <= 1.1x");
  Row("plain window on a new thread (no Quillo)", Median(ft), Median(f), "ms",
      "what a new thread costs");
}

int AllMain(const std::string& dir) {
  const std::string quilloPath = dir + "\\Quillo.dll", floorPath = dir + "\\QuilloFloor.dll";
  TScratch scratch;
  THandlerDll quillo(quilloPath), floor(floorPath);
  std::printf("QuilloBench: median of %d runs, each against its floor measured in the same run\n\n", kRuns);

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
    Row("right-click sequence (per sequence)", Median(q), Median(f), "ms", "target <= 2x");
  }
  {  // right-click, cold: a fresh process each time
    std::vector<double> q, f;
    for (int r = 0; r < 5; ++r) {
      q.push_back(RunChild("--cold \"" + quilloPath + "\"") / 1000);
      f.push_back(RunChild("--cold \"" + floorPath + "\"") / 1000);
    }
    Row("first right-click, library load included", Median(q), Median(f), "ms", "cold");
  }
  NoteWindowRows(quillo, scratch);
  for (size_t mib : {size_t(1), size_t(64)}) {  // saving
    TNoteUnderTest n = OpenFilledNote(quillo, scratch, mib << 20);
    const std::string file = scratch.path + "\\bench.txt", raw = scratch.path + "\\raw.txt";
    // The window's command alone, and the whole click (the button's own press and redraw
    // included) against a click on the plain window's button that does nothing.
    HWND plain = nullptr;
    OpenPlain(scratch, plain);
    HWND plainButton = Child(plain, "Button", "Save (&S)");
    const WPARAM command = MAKEWPARAM(::GetDlgCtrlID(n.save), BN_CLICKED);
    std::vector<double> q, f, qc, fc;
    const int runs = mib > 8 ? 5 : kRuns;
    for (int r = 0; r < runs; ++r) {
      double t0 = NowMs();
      ::SendMessageA(::GetParent(n.save), WM_COMMAND, command, reinterpret_cast<LPARAM>(n.save));
      q.push_back(NowMs() - t0);
      t0 = NowMs();
      if (!RawSave(n.memo, raw)) Fail("raw save");
      f.push_back(NowMs() - t0);
      t0 = NowMs();
      ::SendMessageA(n.save, BM_CLICK, 0, 0);
      qc.push_back(NowMs() - t0);
      t0 = NowMs();
      ::SendMessageA(plainButton, BM_CLICK, 0, 0);
      if (!RawSave(n.memo, raw)) Fail("raw save");
      fc.push_back(NowMs() - t0);
    }
    ::DestroyWindow(plain);
    WIN32_FILE_ATTRIBUTE_DATA fa = {};
    if (!::GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &fa) ||
        fa.nFileSizeLow != static_cast<DWORD>(mib << 20))
      Fail("Save (&S) did not write the whole text");
    CloseAndWait(n.window);
    const std::string label = "Save (&S), " + std::to_string(mib) + " MiB";
    Row((label + ", the command").c_str(), Median(q), Median(f), "ms", "target <= 1.3x");
    Row((label + ", clicked").c_str(), Median(qc), Median(fc), "ms", "floor: a plain click too");
    const std::string peak = "--save-peak \"" + quilloPath + "\" ";
    const double qPeak = RunChild(peak + "quillo " + std::to_string(mib));
    const double fPeak = RunChild(peak + "floor " + std::to_string(mib));
    std::printf("%-44s %10.0f KiB  floor %10.0f KiB  (memory in use beyond the text)\n",
                (label + ", peak").c_str(), qPeak / 1024, fPeak / 1024);
  }
  {  // the first line of 64 MiB of blank lines
    std::string text;
    text.reserve((64u << 20) + 16);
    while (text.size() < (64u << 20)) text += "  \t \r\n";
    text += "   제목 줄\r\n";
    std::vector<double> q, f;
    for (int r = 0; r < 5; ++r) {
      double t0 = NowMs();
      std::optional<std::string> title = TitleFromFirstLine(text);
      q.push_back(NowMs() - t0);
      if (!title || *title != "제목 줄") Fail("TitleFromFirstLine found no title");
      t0 = NowMs();
      // The floor: one pass to the first byte that is not blank.
      volatile size_t at = static_cast<size_t>(
          std::find_if(text.begin(), text.end(), [](char c) { return !IsBlank(static_cast<unsigned char>(c)); }) -
          text.begin());
      (void)at;
      f.push_back(NowMs() - t0);
    }
    Row("TitleFromFirstLine, 64 MiB of blank lines", Median(q), Median(f), "ms", "one pass");
  }
  {  // stability
    constexpr long kCount = 100000;
    std::printf("stability, %ld right-click sequences (Quillo.dll):\n", kCount);
    std::fflush(stdout);
    const double growth = RunChild("--stability \"" + quilloPath + "\" " + std::to_string(kCount));
    std::printf("  commit growth from %ld to %ld sequences: %.0f KiB\n", kCount / 10, kCount, growth / 1024);
  }
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
    if (mode == "--stability" && argc == 4) return StabilityMain(argv[2], std::strtol(argv[3], nullptr, 10));
    if (argc == 2 && mode[0] != '-') return AllMain(mode);
    if (mode == "--note-window" && argc == 3) {
      const std::string dir = argv[2];
      TScratch scratch;
      THandlerDll quillo(dir + "\\Quillo.dll");
      NoteWindowRows(quillo, scratch);
      return 0;
    }
    std::fputs("usage: QuilloBench DIR\n", stderr);
    return 1;
  } catch (...) {
    Fail("failed unexpectedly");
  }
}
