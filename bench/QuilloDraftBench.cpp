// What a draft costs the UI thread, measured in-process on the note window itself (Quillo's
// own code linked in, as the tests link it): the pause's write (a copy of the text handed to
// the writer thread), the end of the session (a whole write before the yes), and the look
// for orphaned drafts when there are none. Medians of kRuns; figures only, no verdicts.
// Usage (under Wine, in a prefix of its own): QuilloDraftBench.exe
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "note/fQuillo.h"
#include "note/uDraft.h"
#include "ui/uApplication.h"

namespace {

constexpr int kRuns = 9;

double NowMs() {
  LARGE_INTEGER f, c;
  ::QueryPerformanceFrequency(&f);
  ::QueryPerformanceCounter(&c);
  return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

template <typename F>
double MedianMs(F step) {
  std::vector<double> v;
  for (int i = 0; i < kRuns; ++i) {
    const double t0 = NowMs();
    step();
    v.push_back(NowMs() - t0);
  }
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void Pump(DWORD ms) {
  const double end = NowMs() + ms;
  MSG msg;
  while (NowMs() < end) {
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    ::Sleep(1);
  }
}

void Clean() {
  const std::u16string folder = DraftsFolder(false);
  WIN32_FIND_DATAW fd;
  HANDLE find = ::FindFirstFileW((reinterpret_cast<const wchar_t*>(folder.c_str()) + std::wstring(L"\\*")).c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      ::DeleteFileW((reinterpret_cast<const wchar_t*>(folder.c_str()) + std::wstring(L"\\") + fd.cFileName).c_str());
  } while (::FindNextFileW(find, &fd));
  ::FindClose(find);
}

bool NoRecovery(TDraft&, const std::u16string&) { return false; }

}  // namespace

int main() {
  InitWindowing(::GetModuleHandleW(nullptr));
  Clean();
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring t = temp;
  std::printf("drafts: look for orphans, none (no folder):   %.3f ms\n",
              MedianMs([] { RecoverDrafts(&NoRecovery); }));
  DraftsFolder(true);
  std::printf("drafts: look for orphans, none (empty folder): %.3f ms\n",
              MedianMs([] { RecoverDrafts(&NoRecovery); }));
  if (!OpenNoteWindow(std::u16string(t.begin(), t.end()))) return 1;
  HWND note = ::FindWindowW(L"TFormQuillo", nullptr);
  HWND memo = ::FindWindowExW(note, nullptr, L"Edit", nullptr);
  while (memo && !(::GetWindowLongPtrW(memo, GWL_STYLE) & ES_MULTILINE))
    memo = ::FindWindowExW(note, memo, L"Edit", nullptr);
  if (!memo) return 1;
  for (size_t kib : {64u, 1024u}) {
    // Korean text in lines of 64 units: kib KiB of UTF-16.
    std::wstring text;
    while (text.size() < kib * 512) text += std::wstring(62, L'\xD55C') + L"\r\n";
    text.resize(kib * 512);
    ::SendMessageW(memo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    ::SendMessageW(memo, EM_SETMODIFY, TRUE, 0);
    std::wstring copy(text.size() + 1, L'\0');
    const double get = MedianMs([&] {
      ::SendMessageW(memo, WM_GETTEXT, copy.size(), reinterpret_cast<LPARAM>(&copy[0]));
    });
    const double pause = MedianMs([&] {
      ::SendMessageW(note, WM_TIMER, 1, 0);  // the pause's write
    });
    Pump(500);
    const double end = MedianMs([&] { ::SendMessageW(note, WM_QUERYENDSESSION, 0, 0); });
    std::printf("drafts: %4zu KiB note: UI thread per write after the pause %.3f ms (of which "
                "WM_GETTEXT %.3f ms), WM_QUERYENDSESSION answered in %.3f ms\n", kib, pause, get,
                end);
  }
  std::printf("drafts: look for orphans, one living draft:    %.3f ms\n",
              MedianMs([] { RecoverDrafts(&NoRecovery); }));
  ::SendMessageW(note, WM_CLOSE, 0, 0);
  Pump(200);
  DoneWindowing();
  Clean();
  return 0;
}
