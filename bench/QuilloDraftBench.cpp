// What a draft costs the UI thread, measured in-process on the note window itself (Quillo's
// own code linked in, as the tests link it): the pause's write (a copy of the text handed to
// the writer thread), the end of the session (a whole write before the yes), and the look
// for orphaned drafts when there are none. Medians of kRuns; figures only, no verdicts.
// With --keys [N]: keystroke latency on a 1 MiB note, with drafts and without (see KeyBench).
// With --big: what Save and Close cost the UI thread on a 64 MiB note while its draft is being
// written (see BigBench).
// Usage (under Wine, in a prefix of its own): QuilloDraftBench.exe [--keys [N] | --big]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
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

HWND FindChild(HWND parent, const wchar_t* text) {
  struct TFind {
    const wchar_t* text;
    HWND found;
  } find{text, nullptr};
  ::EnumChildWindows(
      parent,
      [](HWND w, LPARAM p) -> BOOL {
        auto* f = reinterpret_cast<TFind*>(p);
        wchar_t t[64] = {};
        ::GetWindowTextW(w, t, 64);
        if (std::wcscmp(t, f->text) != 0) return TRUE;
        f->found = w;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&find));
  return find.found;
}

// A 64 MiB note (32 Mi UTF-16 units): the pause's copy, one whole draft write (on this thread,
// as the end of the session makes it), and then Save and Close pressed while the writer is in
// the middle of writing that draft, against Save pressed with no write going on. The UI thread
// may wait for the disk only in the end-of-session row. Each row kBigRuns times: max and median.
int BigBench(HWND note, HWND memo, const std::wstring& folder) {
  constexpr int kBigRuns = 5;
  HWND save = FindChild(note, L"Save (&S)");
  HWND title = ::FindWindowExW(note, nullptr, L"Edit", nullptr);
  while (title && (::GetWindowLongPtrW(title, GWL_STYLE) & ES_MULTILINE))
    title = ::FindWindowExW(note, title, L"Edit", nullptr);
  if (!save || !title) return 1;
  ::SendMessageW(title, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"QuilloDraftBench big"));
  const std::wstring text = NoteText(64 * 1024);
  ::SendMessageW(memo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  const std::wstring file = folder + L"QuilloDraftBench big.txt";  // folder ends in "\\"
  ::DeleteFileW(file.c_str());  // a file it did not write would be asked about
  std::vector<double> copy, whole, saveIdle, saveBusy, closeBusy, dropBusy;
  auto dirty = [&] { ::SendMessageW(memo, EM_SETMODIFY, TRUE, 0); };
  auto timed = [](std::vector<double>& into, auto step) {
    const double t0 = NowMs();
    step();
    into.push_back(NowMs() - t0);
  };
  // The writer is given a moment to take the copy and start writing it.
  auto writing = [&] {
    dirty();
    timed(copy, [&] { ::SendMessageW(note, WM_TIMER, 1, 0); });
    Pump(30);
  };
  for (int run = 0; run < kBigRuns; ++run) {
    dirty();
    timed(whole, [&] { ::SendMessageW(note, WM_QUERYENDSESSION, 0, 0); });
    dirty();
    Pump(2000);  // no write left
    timed(saveIdle, [&] { ::SendMessageW(save, BM_CLICK, 0, 0); });
    writing();
    timed(saveBusy, [&] { ::SendMessageW(save, BM_CLICK, 0, 0); });
    Pump(3000);
  }
  // The draft's own part of Save and Close, apart from the note's save and the window's end.
  for (int run = 0; run < kBigRuns; ++run) {
    TNoteDraft draft;
    TDraft d;
    d.text.assign(text.begin(), text.end());
    draft.Keep(std::move(d), false);
    Pump(30);
    timed(dropBusy, [&] { draft.Drop(); });
    Pump(3000);
  }
  for (int run = 0; run < kBigRuns; ++run) {
    if (run > 0 && !OpenNoteWindow(std::u16string(folder.begin(), folder.end()))) return 1;
    note = ::FindWindowW(L"TFormQuillo", nullptr);
    memo = TextBox(note);
    if (run > 0) ::SendMessageW(memo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    writing();
    timed(closeBusy, [&] { ::SendMessageW(note, WM_CLOSE, 0, 0); });
    Pump(3000);
  }
  const struct {
    const char* what;
    std::vector<double>* v;
  } rows[] = {
      {"the pause's copy (UI thread)", &copy},
      {"one whole draft write (end of session)", &whole},
      {"Save, no draft being written", &saveIdle},
      {"Save, while the draft is written", &saveBusy},
      {"Close, while the draft is written", &closeBusy},
      {"the draft's Drop, while it is written", &dropBusy},
  };
  for (const auto& r : rows)
    std::printf("big: 64 MiB note: %-40s max %9.3f ms, median %9.3f ms\n", r.what,
                Percentile(*r.v, 1.0), Percentile(*r.v, 0.5));
  ::DeleteFileW(file.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool keys = argc > 1 && std::strcmp(argv[1], "--keys") == 0;
  const bool big = argc > 1 && std::strcmp(argv[1], "--big") == 0;
  const int keyCount = keys && argc > 2 ? std::max(1, std::atoi(argv[2])) : 300;
  InitWindowing(::GetModuleHandleW(nullptr));
  Clean();
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring t = temp;
  if (big) {
    if (!OpenNoteWindow(std::u16string(t.begin(), t.end()))) return 1;
    HWND note = ::FindWindowW(L"TFormQuillo", nullptr);
    HWND memo = TextBox(note);
    const int rc = memo ? BigBench(note, memo, t) : 1;
    Pump(200);
    DoneWindowing();
    Clean();
    return rc;
  }
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
