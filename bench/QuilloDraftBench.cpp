// What a draft costs the UI thread, measured in-process on the note window itself (Quillo's
// own code linked in, as the tests link it): the pause's write (a copy of the text handed to
// the writer thread), the end of the session (a whole write before the yes), and the look
// for orphaned drafts when there are none. Medians of kRuns; figures only, no verdicts.
// With --keys [N]: keystroke latency on a 1 MiB note, with drafts and without (see KeyBench).
// Usage (under Wine, in a prefix of its own): QuilloDraftBench.exe [--keys [N]]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "note/fQuillo.h"
#include "note/uDraft.h"
#include "ui/uApplication.h"
#include "ui/uMessageLoop.h"

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

// The note's text box: its only multi-line edit.
HWND TextBox(HWND note) {
  HWND memo = ::FindWindowExW(note, nullptr, L"Edit", nullptr);
  while (memo && !(::GetWindowLongPtrW(memo, GWL_STYLE) & ES_MULTILINE))
    memo = ::FindWindowExW(note, memo, L"Edit", nullptr);
  return memo;
}

// Korean text in lines of 64 units: kib KiB of UTF-16.
std::wstring NoteText(size_t kib) {
  std::wstring text;
  while (text.size() < kib * 512) text += std::wstring(62, L'\xD55C') + L"\r\n";
  text.resize(kib * 512);
  return text;
}

// The window's own loop, as the library delivers (key preview first). Without drafts, the
// pause's timer (the form's only one, id 1) is taken off the queue unseen: no copy is made and
// no writer runs; only the SetTimer of each change is left.
bool DeliverOne(HWND note, bool drafts) {
  MSG msg;
  if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (!drafts && msg.message == WM_TIMER && msg.hwnd == note && msg.wParam == 1) {
    ::KillTimer(note, 1);
    return true;
  }
  DeliverMessage(msg);
  return true;
}

void PumpUntil(HWND note, bool drafts, double until) {
  while (NowMs() < until)
    if (!DeliverOne(note, drafts)) ::Sleep(1);
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

// Keystroke latency: a character posted to the text box until the box's length has grown,
// typed in the middle of a 1 MiB note, in bursts of kBurst keys kGapMs apart; each burst ends
// with a pause just past kDraftPauseMs, so that with drafts the next burst's first keys meet
// the pause's copy and the writer thread. The two modes take turns (with, without, without,
// with: ABBA, so that a drift over the run falls on both alike too).
int KeyBench(HWND note, HWND memo, int keys) {
  constexpr int kBurst = 30, kGapMs = 30, kRounds = 2;
  const std::wstring text = NoteText(1024);
  std::vector<double> lat[2], first[2];
  // Round -1 is a warm-up of one burst, not counted: the first keys of a fresh window are slower.
  for (int round = -1; round < kRounds; ++round) {
    for (int turn = 0; turn < (round < 0 ? 1 : 2); ++turn) {
      const int mode = turn ^ (round & 1) ^ 1;  // 1: with drafts
      const bool drafts = mode == 1;
      const size_t from = lat[mode].size();
      const int count = round < 0 ? kBurst : keys;
      ::SendMessageW(memo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
      ::SendMessageW(memo, EM_SETSEL, text.size() / 2, text.size() / 2);
      PumpUntil(note, drafts, NowMs() + kDraftPauseMs + 10);  // WM_SETTEXT's own change settles
      for (int k = 0; k < count; ++k) {
        const LRESULT before = ::SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0);
        const double t0 = NowMs();
        ::PostMessageW(memo, WM_CHAR, L'\xD55C', 1);
        while (::SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0) <= before)
          if (!DeliverOne(note, drafts)) {
            if (NowMs() - t0 > 5000) return 1;  // the character never arrived
            ::Sleep(0);
          }
        const double ms = NowMs() - t0;
        lat[mode].push_back(ms);
        if (k % kBurst == 0) first[mode].push_back(ms);
        const bool pause = k % kBurst == kBurst - 1;
        PumpUntil(note, drafts, t0 + (pause ? kDraftPauseMs + 10 : kGapMs));
      }
      if (round < 0) {
        lat[mode].resize(from);
        first[mode].clear();
        continue;
      }
      const std::vector<double> turnLat(lat[mode].begin() + static_cast<std::ptrdiff_t>(from),
                                        lat[mode].end());
      std::printf("keys: turn %d, %s drafts: median %.3f ms\n", round * 2 + turn,
                  drafts ? "with" : "without", Percentile(turnLat, 0.5));
    }
  }
  const double med[2] = {Percentile(lat[0], 0.5), Percentile(lat[1], 0.5)};
  const double p99[2] = {Percentile(lat[0], 0.99), Percentile(lat[1], 0.99)};
  for (int mode = 1; mode >= 0; --mode)
    std::printf("keys: 1 MiB note, %s drafts: %zu keys, median %.3f ms, p99 %.3f ms, max %.3f ms; "
                "first key after a pause: median %.3f ms, max %.3f ms\n",
                mode ? "with" : "without", lat[mode].size(), med[mode], p99[mode],
                Percentile(lat[mode], 1.0), Percentile(first[mode], 0.5),
                Percentile(first[mode], 1.0));
  std::printf("keys: with/without drafts: median %.3f, p99 %.3f\n", med[1] / med[0],
              p99[1] / p99[0]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool keys = argc > 1 && std::strcmp(argv[1], "--keys") == 0;
  const int keyCount = keys && argc > 2 ? std::max(1, std::atoi(argv[2])) : 300;
  InitWindowing(::GetModuleHandleW(nullptr));
  Clean();
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring t = temp;
  if (keys) {
    if (!OpenNoteWindow(std::u16string(t.begin(), t.end()))) return 1;
    HWND note = ::FindWindowW(L"TFormQuillo", nullptr);
    HWND memo = TextBox(note);
    const int rc = memo ? KeyBench(note, memo, keyCount) : 1;
    ::SendMessageW(memo, EM_SETMODIFY, FALSE, 0);
    ::SendMessageW(note, WM_CLOSE, 0, 0);
    Pump(200);
    DoneWindowing();
    Clean();
    return rc;
  }
  std::printf("drafts: look for orphans, none (no folder):   %.3f ms\n",
              MedianMs([] { RecoverDrafts(&NoRecovery); }));
  DraftsFolder(true);
  std::printf("drafts: look for orphans, none (empty folder): %.3f ms\n",
              MedianMs([] { RecoverDrafts(&NoRecovery); }));
  if (!OpenNoteWindow(std::u16string(t.begin(), t.end()))) return 1;
  HWND note = ::FindWindowW(L"TFormQuillo", nullptr);
  HWND memo = TextBox(note);
  if (!memo) return 1;
  for (size_t kib : {64u, 1024u}) {
    const std::wstring text = NoteText(kib);
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
