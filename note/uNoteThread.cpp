#include "note/uNoteThread.h"

#include <shlobj.h>

#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "common/uComPtr.h"
#include "common/uError.h"
#include "common/uHandles.h"
#include "common/uModuleThread.h"
#include "common/uWide.h"
#include "note/fQuillo.h"
#include "note/uDraft.h"
#include "ui/uActCtx.h"
#include "ui/uApplication.h"
#include "ui/uDpi.h"
#include "ui/uMessageLoop.h"

namespace {

constexpr UINT kWakeMessage = WM_APP + 1;
const wchar_t kMailboxClass[] = L"Quillo.NoteThread";

// A request's life: taken by the UI thread, or abandoned by a caller that stopped waiting.
enum : LONG { kPending = 0, kTaken = 1, kAbandoned = 2 };

struct TRequest {
  TRequest() = default;
  TRequest(const TRequest&) = delete;
  TRequest& operator=(const TRequest&) = delete;
  ~TRequest() {
    if (host) host->Release();
  }
  std::u16string folder;
  TKernelHandle done;  // set once the request has been dealt with
  volatile LONG state = kPending;
  HRESULT result = E_FAIL;  // S_OK once its window is open, else why it could not be
  IUnknown* host = nullptr;  // the host process's reference, for the UI thread to hold
};
using TRequestPtr = std::shared_ptr<TRequest>;

// Shared between the callers and the UI thread, under g_lock.
SRWLOCK g_lock = SRWLOCK_INIT;
std::vector<TRequestPtr> g_queue;
bool g_running = false;     // a UI thread exists, and it looks at the queue before it ends
HWND g_mailbox = nullptr;   // its message-only window, while it takes requests
DWORD g_uiThread = 0;       // its identifier, while it takes requests

class TExclusive {
 public:
  TExclusive() noexcept { ::AcquireSRWLockExclusive(&g_lock); }
  ~TExclusive() { ::ReleaseSRWLockExclusive(&g_lock); }
  TExclusive(const TExclusive&) = delete;
  TExclusive& operator=(const TExclusive&) = delete;
};

bool QueueEmpty() {
  TExclusive lock;
  return g_queue.empty();
}

// On the UI thread only: the host process's reference, held while a note is open, so that
// the host does not end under it; let go when the last note closes.
IUnknown* g_hostHeld = nullptr;

void LetHostGo() noexcept {
  if (IUnknown* host = std::exchange(g_hostHeld, nullptr)) host->Release();
}

// On the UI thread: opens the window of each request, or answers each with `refusal` (the
// reason the layer could not start) when that is a failure.
void Serve(const std::vector<TRequestPtr>& requests, HRESULT refusal = S_OK) noexcept {
  bool looked = false;
  for (const TRequestPtr& r : requests) {
    if (::InterlockedCompareExchange(&r->state, kTaken, kPending) != kPending) continue;
    // Notes a host that died left behind open first, beside the one asked for.
    if (SUCCEEDED(refusal) && !looked) RecoverDrafts(&OpenRecoveredNote);
    looked = true;
    if (FAILED(refusal))
      r->result = refusal;
    else if (r->folder.empty())
      r->result = S_OK;  // an empty folder asks for nothing but the recovery
    else
      (void)OpenNoteWindow(r->folder, &r->result);  // the result says it
    if (SUCCEEDED(r->result) && !g_hostHeld) g_hostHeld = std::exchange(r->host, nullptr);
    ::SetEvent(r->done.get());
  }
}

void ServeRequests() noexcept {
  std::vector<TRequestPtr> requests;
  {
    TExclusive lock;
    requests.swap(g_queue);
  }
  Serve(requests);
}

LRESULT CALLBACK MailboxProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  if (msg == kWakeMessage) {
    ServeRequests();  // delivered by whatever loop runs: the thread's own, a modal run, a box
    return 0;
  }
  return ::DefWindowProcW(wnd, msg, wp, lp);
}

HWND CreateMailbox(HMODULE module) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &MailboxProc;
  wc.hInstance = module;
  wc.lpszClassName = kMailboxClass;
  if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    ThrowLastError("RegisterClassExW (mailbox)");
  ::SetLastError(ERROR_SUCCESS);  // a refusal may set none
  HWND mailbox = ::CreateWindowExW(0, kMailboxClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   module, nullptr);
  if (!mailbox) ThrowLastError("CreateWindowExW (mailbox)");
  return mailbox;
}

// Once the grace period has passed without a request, the thread stops taking requests: from
// then on a request makes it begin again. False when one came in at the last moment.
bool StopTakingRequests() {
  TExclusive lock;
  if (!g_queue.empty()) return false;
  g_mailbox = nullptr;
  g_uiThread = 0;
  return true;
}

// The thread's own loop, until its last window is gone and no request has come for the
// grace period.
void RunLoop() {
  bool idle = false;
  DWORD idleSince = 0;
  for (;;) {
    ServeRequests();  // also those whose wake-up message could not be posted
    TApplication* app = Application();
    if (!app) return;
    MSG msg;
    if (app->FormCount() > 0 || !QueueEmpty()) {
      idle = false;
      const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
      if (got == -1) return;
      // A quit message means nothing here: nobody but this thread decides when it ends, and
      // it ends after its last window. (A modal run it ended has already closed with Cancel.)
      if (got != 0) DeliverMessage(msg);
      continue;
    }
    if (!idle) {
      // The last note has closed: the host need not be kept for it any longer.
      idle = true;
      idleSince = ::GetTickCount();
      LetHostGo();
    }
    const DWORD spent = ::GetTickCount() - idleSince;
    if (spent >= kNoteGraceMs) {
      if (StopTakingRequests()) return;
      continue;  // served on the living layer
    }
    // Whatever arrives is delivered; the mailbox's wake-up serves a request.
    ::MsgWaitForMultipleObjectsEx(0, nullptr, kNoteGraceMs - spent, QS_ALLINPUT,
                                  MWMO_INPUTAVAILABLE);
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
      if (msg.message != WM_QUIT) DeliverMessage(msg);
  }
}

// One life of the windowing layer on this thread: S_OK once it ran, otherwise why it could
// not be set up (what is left of it is taken down again either way).
HRESULT RunWindowing(HMODULE module) noexcept {
  HRESULT started = E_FAIL;
  HWND mailbox = nullptr;
  try {
    InitWindowing(module);
    mailbox = CreateMailbox(module);
    started = S_OK;
  } catch (const EQuilloError& e) {
    started = FailureResult(e);
  } catch (const std::bad_alloc&) {
    started = E_OUTOFMEMORY;
  } catch (...) {
    started = E_FAIL;
  }
  const bool ready = SUCCEEDED(started);
  if (ready) {
    {
      TExclusive lock;
      g_mailbox = mailbox;
      g_uiThread = ::GetCurrentThreadId();
    }
    try {
      RunLoop();
    } catch (...) {
    }
    LetHostGo();
    TExclusive lock;
    g_mailbox = nullptr;
    g_uiThread = 0;
  }
  if (mailbox) ::DestroyWindow(mailbox);
  // Ignored failure: a class still in use is left to the process's end.
  ::UnregisterClassW(kMailboxClass, module);
  DoneWindowing();
  return started;
}

#ifdef QUILLO_TEST_HOOKS
// Test builds only: while the test has made this event, the thread signals it and stays a
// moment between its last look at the queue and its end, so that a request can come just then.
void HoldOnTheWayOut() noexcept {
  wchar_t name[64];
  ::wsprintfW(name, L"Quillo.Test.OnTheWayOut.%lu", ::GetCurrentProcessId());
  if (HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, name)) {
    ::SetEvent(event);
    ::CloseHandle(event);
    ::Sleep(500);
  }
}
#endif

void RunNoteThread(HMODULE module) noexcept {
  for (;;) {
    const HRESULT started = RunWindowing(module);
    FinishDraftWrites();  // the host may end with this thread
#ifdef QUILLO_TEST_HOOKS
    HoldOnTheWayOut();
#endif
    const bool ready = SUCCEEDED(started);
    std::vector<TRequestPtr> refused;
    {
      TExclusive lock;
      // A request that came in on the way out is taken by this thread, which begins again.
      if (ready && !g_queue.empty()) continue;
      refused.swap(g_queue);
      g_running = false;
    }
    // Without a layer nobody may wait in vain: each is told why it could not start.
    Serve(refused, ready ? E_FAIL : started);
    return;
  }
}

DWORD WINAPI NoteThreadMain(LPVOID param) {
  const HMODULE module = static_cast<HMODULE>(param);
  // Before any window: the notes follow their monitor's scale whatever the host process
  // declared, and the system never stretches them.
  BecomePerMonitorDpiAware();
  {
    // Every window and message box of this thread is ComCtl32 v6, in any host; let go of
    // before the thread lets go of the library.
    TActivationContext visualStyles(module);
    // An apartment for the thread's life: the screen readers' annotation service is COM.
    TComApartment com;
    RunNoteThread(module);
  }
  // The library's code may go only once this thread has left it.
  ::FreeLibraryAndExitThread(module, 0);
  return 0;
}

// Waits for the event while delivering the messages other threads send to this one.
bool WaitDelivering(HANDLE event, DWORD ms) {
  const DWORD begin = ::GetTickCount();
  for (;;) {
    const DWORD spent = ::GetTickCount() - begin;
    if (spent >= ms) return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
    const DWORD r = ::MsgWaitForMultipleObjects(1, &event, FALSE, ms - spent, QS_SENDMESSAGE);
    if (r == WAIT_OBJECT_0) return true;
    if (r != WAIT_OBJECT_0 + 1) return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

}  // namespace

HRESULT OpenNoteOnUiThread(const std::u16string& folder) noexcept {
  try {
    bool onUiThread = false;
    {
      TExclusive lock;
      onUiThread = g_uiThread != 0 && g_uiThread == ::GetCurrentThreadId();
    }
    // Asked on the UI thread itself (from inside one of its windows): waiting for the thread
    // would only wait for ourselves.
    if (onUiThread) {
      RecoverDrafts(&OpenRecoveredNote);
      if (folder.empty()) return S_OK;
      HRESULT result = E_FAIL;
      (void)OpenNoteWindow(folder, &result);
      return result;
    }
    auto request = std::make_shared<TRequest>();
    request->folder = folder;
    // Taken here, on the host's thread, for the UI thread to hold while the note is open; a
    // host without one is fine.
    if (FAILED(::SHGetInstanceExplorer(&request->host))) request->host = nullptr;
    request->done.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!request->done) return E_FAIL;
    {
      TExclusive lock;
      g_queue.push_back(request);
      if (g_running) {
        // Without a mailbox the thread is starting or on its way out; either way it looks
        // at the queue before it goes.
        if (g_mailbox) ::PostMessageW(g_mailbox, kWakeMessage, 0, 0);
      } else if (StartModuleThread(&NoteThreadMain)) {
        g_running = true;
      } else {
        g_queue.pop_back();
        return E_FAIL;
      }
    }
    if (!WaitDelivering(request->done.get(), kNoteHandOverMs)) {
      // Given up: a request not yet taken never opens a window.
      if (::InterlockedCompareExchange(&request->state, kAbandoned, kPending) == kPending)
        return E_FAIL;
      // Taken: its window is being made, and the answer must say whether it opened, or the
      // user would see a failure and then a note (and a second try, two notes).
      WaitDelivering(request->done.get(), INFINITE);
    }
    return request->result;
  } catch (...) {
    return E_FAIL;
  }
}

bool NoteThreadRunning() noexcept {
  TExclusive lock;
  return g_running;
}
