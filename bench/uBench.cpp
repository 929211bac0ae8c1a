#include "bench/uBench.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "bench/uFloorHandler.h"
#include "note/uNoteThread.h"

namespace {

// {7C3E5B12-9A4D-4F60-8E21-5D0B3A9C6F47}
constexpr CLSID CLSID_Quillo = {
    0x7c3e5b12, 0x9a4d, 0x4f60, {0x8e, 0x21, 0x5d, 0x0b, 0x3a, 0x9c, 0x6f, 0x47}};
constexpr wchar_t kFolderLabel[] = L"저장 폴더: ";

struct TChildSearch {
  const wchar_t* cls;
  const wchar_t* prefix;
  bool multiline;
  HWND found;
};

BOOL CALLBACK ChildProc(HWND w, LPARAM lp) {
  auto* s = reinterpret_cast<TChildSearch*>(lp);
  wchar_t c[64] = {}, t[512] = {};
  ::GetClassNameW(w, c, 64);
  ::GetWindowTextW(w, t, 512);
  if (::lstrcmpiW(c, s->cls) != 0) return TRUE;
  if (s->prefix && std::wstring(t).rfind(s->prefix, 0) != 0) return TRUE;
  if (!::lstrcmpiW(s->cls, L"Edit") &&
      ((::GetWindowLongPtrW(w, GWL_STYLE) & ES_MULTILINE) != 0) != s->multiline)
    return TRUE;
  s->found = w;
  return FALSE;
}

}  // namespace

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

void Fail(const char* what, long code) {
  std::fprintf(stderr, "QuilloBench: %s (0x%08lX)\n", what, static_cast<unsigned long>(code));
  std::exit(1);
}

TScratch::TScratch() {
  wchar_t tmp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, tmp);
  path = std::wstring(tmp) + L"quillo-bench-" + std::to_wstring(::GetCurrentProcessId());
  ::CreateDirectoryW(path.c_str(), nullptr);
  HRESULT hr = ::SHParseDisplayName(path.c_str(), nullptr, pidl.put(), 0, nullptr);
  if (FAILED(hr)) Fail("SHParseDisplayName", hr);
}

TScratch::~TScratch() {
  WIN32_FIND_DATAW fd;
  TFindHandle f(::FindFirstFileW((path + L"\\*").c_str(), &fd));
  if (f) {
    do {
      if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        ::DeleteFileW((path + L"\\" + fd.cFileName).c_str());
    } while (::FindNextFileW(f.get(), &fd));
  }
  f.reset();
  ::RemoveDirectoryW(path.c_str());
}

THandlerDll::THandlerDll(const std::string& path) {
  module.reset(::LoadLibraryA(path.c_str()));
  if (!module) Fail(("LoadLibrary " + path).c_str(), static_cast<long>(::GetLastError()));
  getClassObject = reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void*>(::GetProcAddress(module.get(), "DllGetClassObject")));
  canUnloadNow = reinterpret_cast<CanUnloadNowFn>(
      reinterpret_cast<void*>(::GetProcAddress(module.get(), "DllCanUnloadNow")));
  if (!getClassObject || !canUnloadNow) Fail("exports missing");
  clsid = path.find("QuilloFloor") != std::string::npos ? CLSID_QuilloFloor : CLSID_Quillo;
}

HRESULT RightClick(const THandlerDll& dll, PCIDLIST_ABSOLUTE folder, TShellHandler* keep,
                   HMENU into) {
  TComPtr<IClassFactory> factory;
  HRESULT hr = dll.getClassObject(dll.clsid, IID_IClassFactory, factory.put_void());
  if (FAILED(hr)) return hr;
  TShellHandler handler;
  if (FAILED(hr = handler.Open(dll.clsid, factory.get(), folder))) return hr;
  TMenu popup;
  if (!into) popup.reset(into = ::CreatePopupMenu());
  if (FAILED(hr = handler.QueryMenu(into, 0, 1, 0x7FFF))) return hr;
  if (keep) *keep = std::move(handler);
  return hr;
}

HWND ProcessWindow(const wchar_t* caption, const std::vector<HWND>& skip) {
  for (HWND w : VisibleWindows(::GetCurrentProcessId(), nullptr, caption))
    if (std::find(skip.begin(), skip.end(), w) == skip.end()) return w;
  return nullptr;
}

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* textPrefix, bool multiline) {
  TChildSearch s{cls, textPrefix, multiline, nullptr};
  ::EnumChildWindows(parent, ChildProc, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

bool Ready(HWND w) {
  return w && ::IsWindowVisible(w) && ::GetForegroundWindow() == w &&
         Child(w, L"Static", kFolderLabel) != nullptr;
}

void CloseAndWait(HWND w) {
  ::PostMessageW(w, WM_CLOSE, 0, 0);
  if (!PumpUntil([&] { return !::IsWindow(w); })) Fail("a window did not close");
}

double OpenNote(const THandlerDll& dll, const TScratch& scratch, HWND& window,
                const std::vector<HWND>& open) {
  TShellHandler handler;
  TMenu popup(::CreatePopupMenu());
  HRESULT hr = RightClick(dll, scratch.pidl.get(), &handler, popup.get());
  if (FAILED(hr)) Fail("right-click", hr);
  const double t0 = NowMs();
  if (FAILED(hr = handler.InvokeOffset(0, nullptr, scratch.path))) Fail("InvokeCommand", hr);
  window = nullptr;
  if (!PumpUntil([&] { return Ready(window = ProcessWindow(kNoteCaption, open)); }))
    Fail("no note window");
  return NowMs() - t0;
}

TKernelHandle ThreadOf(HWND w) {
  TKernelHandle thread(::OpenThread(SYNCHRONIZE, FALSE, ::GetWindowThreadProcessId(w, nullptr)));
  if (!thread) Fail("OpenThread", static_cast<long>(::GetLastError()));
  return thread;
}

void WaitThreadGone(const TKernelHandle& thread) {
  if (!PumpUntil([&] { return ::WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0; },
                 kNoteGraceMs + 10000))
    Fail("a window's thread did not end");
}

std::string RunChild(const std::string& args) {
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
  DWORD code = 0;
  ::GetExitCodeProcess(pi.hProcess, &code);
  if (code != 0) Fail(("child failed: " + args).c_str(), static_cast<long>(code));
  return out;
}

void Row(const char* what, double quillo, double floor, const char* unit, const char* target) {
  std::printf("%-44s %10.3f %s  floor %10.3f %s  ratio %5.2f   (%s)\n", what, quillo, unit, floor,
              unit, floor > 0 ? quillo / floor : 0.0, target);
  std::fflush(stdout);
}
