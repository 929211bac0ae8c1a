// Quillo.dll as the host sees it: the four exports, unloading only when nothing is open, and
// the COM runtime finding the class from its registration.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cwctype>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "note/uNoteThread.h"
#include "support/uComTestSupport.h"
#include "support/uHeapUse.h"
#include "support/uTestSupport.h"
#include "uContextMenu.h"

namespace {

void* const kJunk = reinterpret_cast<void*>(static_cast<ULONG_PTR>(0xdeadbeef));

class ComDllTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    dll = std::make_unique<TQuilloDll>();
    ASSERT_TRUE(dll->Loaded()) << BuiltDllPath() << " error " << ::GetLastError();
    before = ProcessWindows();
  }
  void TearDown() override {
    CloseWindows(NewWindows(before, ProcessWindows()));
    if (dll->Loaded()) {
      EXPECT_EQ(dll->CanUnloadNow(), S_OK);
    }
    dll.reset();
    ::CoUninitialize();
  }
  IClassFactory* Factory() {
    void* p = nullptr;
    EXPECT_EQ(dll->GetClassObject(CLSID_QuilloContextMenu, IID_IClassFactory, &p), S_OK);
    return static_cast<IClassFactory*>(p);
  }
  // The right-click sequence: make the handler, give it the folder, invoke offset 0.
  HRESULT OpenNoteFor(IClassFactory* cf, const std::string& folder) {
    TShellHandler handler;
    HRESULT hr = handler.Create(CLSID_QuilloContextMenu, cf);
    if (SUCCEEDED(hr)) hr = handler.Initialize(Wide(folder));
    return FAILED(hr) ? hr : handler.InvokeOffset(0);
  }
  // One right-click on a fresh factory reference: the note window it opened, or null.
  HWND OpenOneNote(const std::string& folder) {
    IClassFactory* cf = Factory();
    if (!cf) return nullptr;
    const HRESULT hr = OpenNoteFor(cf, folder);
    cf->Release();
    EXPECT_EQ(hr, S_OK);
    std::vector<HWND> notes = NewWindows(before, ProcessWindows());
    EXPECT_EQ(notes.size(), 1u);
    return notes.size() == 1 ? notes[0] : nullptr;
  }

  std::unique_ptr<TQuilloDll> dll;
  std::vector<HWND> before;
};

TEST_F(ComDllTest, UnloadableRightAfterLoading) { EXPECT_EQ(dll->CanUnloadNow(), S_OK); }

TEST_F(ComDllTest, GetClassObjectResults) {
  const GUID other = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
  struct Case { const CLSID* cls; const IID* iid; HRESULT hr; };
  const std::vector<Case> cases = {
      {&other, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
      {&other, &IID_IUnknown, CLASS_E_CLASSNOTAVAILABLE},
      {&CLSID_QuilloContextMenu, &IID_IContextMenu, E_NOINTERFACE},
      {&CLSID_QuilloContextMenu, &IID_IDispatch, E_NOINTERFACE},
  };
  for (const auto& c : cases) {
    void* p = kJunk;
    EXPECT_EQ(dll->GetClassObject(*c.cls, *c.iid, &p), c.hr);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(dll->CanUnloadNow(), S_OK);
  }
  EXPECT_EQ(dll->GetClassObject(CLSID_QuilloContextMenu, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(dll->GetClassObject(other, IID_IClassFactory, nullptr), E_POINTER);
  // IUnknown and IClassFactory are the factory's one pointer.
  void* unknown = nullptr;
  ASSERT_EQ(dll->GetClassObject(CLSID_QuilloContextMenu, IID_IUnknown, &unknown), S_OK);
  IClassFactory* cf = Factory();
  EXPECT_EQ(unknown, static_cast<void*>(cf));
  cf->Release();
  static_cast<IUnknown*>(unknown)->Release();
}

TEST_F(ComDllTest, EveryReferenceHoldsTheLibrary) {
  IClassFactory* cf = Factory();
  ASSERT_NE(cf, nullptr);
  EXPECT_EQ(dll->CanUnloadNow(), S_FALSE);
  IUnknown* obj = nullptr;
  ASSERT_EQ(cf->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&obj)), S_OK);
  cf->Release();
  EXPECT_EQ(dll->CanUnloadNow(), S_FALSE);  // the object alone
  obj->Release();
  EXPECT_EQ(dll->CanUnloadNow(), S_OK);

  cf = Factory();
  EXPECT_EQ(cf->LockServer(TRUE), S_OK);
  cf->Release();
  EXPECT_EQ(dll->CanUnloadNow(), S_FALSE);  // the lock alone
  cf = Factory();
  EXPECT_EQ(cf->LockServer(FALSE), S_OK);
  cf->Release();
}

TEST_F(ComDllTest, AnOpenNoteKeepsTheLibraryLoaded) {
  TTempDir dir;
  IClassFactory* cf = Factory();
  ASSERT_EQ(OpenNoteFor(cf, dir.path()), S_OK);
  ASSERT_EQ(OpenNoteFor(cf, dir.path()), S_OK);
  cf->Release();
  // The handler is gone, the windows are not.
  std::vector<HWND> notes = NewWindows(before, ProcessWindows());
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(dll->CanUnloadNow(), S_FALSE);
  CloseWindows({notes[0]});
  EXPECT_EQ(dll->CanUnloadNow(), S_FALSE);
  CloseWindows({notes[1]});
  EXPECT_EQ(dll->CanUnloadNow(), S_OK);
}

// The whole right-click: the note window the DLL opens saves into the folder and closes.
TEST_F(ComDllTest, RightClickSequenceSavesANoteIntoTheFolder) {
  TTempDir dir;
  const HWND note = OpenOneNote(dir.path());
  ASSERT_NE(note, nullptr);
  const TNoteControls c = FindNoteControls(note);
  ASSERT_TRUE(c.memo && c.title && c.create);
  ::SendMessageW(c.memo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"첫 줄\r\n둘째"));
  ::SendMessageW(c.title, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"메모"));
  ::PostMessageW(c.create, BM_CLICK, 0, 0);  // clicked on the UI thread, in its own loop
  for (int i = 0; i < 300 && ::IsWindow(note); ++i) {
    PumpMessages();
    ::Sleep(10);
  }
  EXPECT_FALSE(::IsWindow(note));
  ::Sleep(50);  // the form is let go just after its window
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(dir.File("메모.txt"), bytes));
  EXPECT_EQ(bytes, InCodePage(CP_ACP, "첫 줄\r\n둘째"));
  EXPECT_EQ(dll->CanUnloadNow(), S_OK);
}

// The UI thread makes its windows in the library's own ComCtl32 v6 context, whatever the host
// declared (this test program declares nothing): themed controls, from comctl32.
TEST_F(ComDllTest, TheNotesControlsAreVersion6InAnyHost) {
  TTempDir dir;
  const HWND note = OpenOneNote(dir.path());
  ASSERT_NE(note, nullptr);
  const HWND button = ::FindWindowExW(note, nullptr, L"Button", L"첫줄을 제목으로");
  ASSERT_NE(button, nullptr);
  SIZE ideal{};
  EXPECT_TRUE(::SendMessageW(button, 0x1601 /* BCM_GETIDEALSIZE */, 0,
                             reinterpret_cast<LPARAM>(&ideal)));
  HMODULE owner = nullptr;
  ASSERT_TRUE(::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(::GetClassLongPtrW(button, GCLP_WNDPROC)), &owner));
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(owner, path, MAX_PATH);
  std::wstring lower(path);
  std::transform(lower.begin(), lower.end(), lower.begin(), ::towlower);
  EXPECT_NE(lower.find(L"comctl32"), std::wstring::npos) << Utf8(lower);
  CloseWindows({note});
}

bool WaitUntil(const std::function<bool()>& done, DWORD ms = 10000) {
  for (DWORD waited = 0; waited < ms; waited += 20) {
    if (done()) return true;
    PumpMessages();
    ::Sleep(20);
  }
  return done();
}

// A host that unloads anyway: the UI thread's own reference keeps the code, the note stays
// usable, and the library goes once the last window and the thread are gone.
TEST_F(ComDllTest, UnloadingWithANoteOpenLeavesItUsableUntilItCloses) {
  TTempDir dir;
  const HWND note = OpenOneNote(dir.path());
  ASSERT_NE(note, nullptr);
  const std::string path = BuiltDllPath();
  dll->Unload();
  EXPECT_NE(::GetModuleHandleW(Wide(path).c_str()), nullptr) << "unloaded under an open note";
  ASSERT_TRUE(::IsWindow(note));
  const TNoteControls c = FindNoteControls(note);
  ASSERT_TRUE(c.memo && c.title && c.create);
  ::SendMessageW(c.memo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"kept"));
  ::SendMessageW(c.title, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"kept"));
  ::PostMessageW(c.create, BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(note); }));
  std::string bytes;
  EXPECT_TRUE(ReadFileBytes(dir.File("kept.txt"), bytes));
  EXPECT_EQ(bytes, "kept");
  EXPECT_TRUE(WaitUntil([&] { return ::GetModuleHandleW(Wide(path).c_str()) == nullptr; },
                        kNoteGraceMs + 10000))
      << "the library outlived its last window";
  dll = std::make_unique<TQuilloDll>();
  ASSERT_TRUE(dll->Loaded());
  EXPECT_EQ(dll->CanUnloadNow(), S_OK);
}

// Notes come in bursts: after the last one closes, the UI thread and its windowing layer stay
// for the grace period (shortened in the test build), so that the next note opens on them.
// The unload check says yes at once all the same; the thread's own reference keeps the code
// until the period ends, and then the library goes. A request at the very end of the period
// opens exactly one window, on a thread that stays for it.
TEST_F(ComDllTest, TheUiThreadStaysForItsGracePeriodThenGoes) {
  TTempDir dir;
  const std::string path = BuiltDllPath();
  auto closeNote = [&](HWND note) {
    ::PostMessageW(note, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(note); }));
  };
  HWND first = OpenOneNote(dir.path());
  ASSERT_NE(first, nullptr);
  const DWORD uiThread = ::GetWindowThreadProcessId(first, nullptr);
  const HANDLE thread = ::OpenThread(SYNCHRONIZE, FALSE, uiThread);
  ASSERT_NE(thread, nullptr);
  closeNote(first);
  EXPECT_TRUE(WaitUntil([&] { return dll->CanUnloadNow() == S_OK; }, 1000));
  EXPECT_EQ(::WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT))
      << "the thread went at once";

  HWND second = OpenOneNote(dir.path());
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(::GetWindowThreadProcessId(second, nullptr), uiThread) << "a new thread was made";
  closeNote(second);

  // Requests around the end of the period: each opens one window, which lives.
  for (int offset : {-40, -15, -5, 0, 5, 15, 40}) {
    HWND note = OpenOneNote(dir.path());
    ASSERT_NE(note, nullptr);
    closeNote(note);
    ::Sleep(static_cast<DWORD>(static_cast<int>(kNoteGraceMs) + offset));
    HWND racing = OpenOneNote(dir.path());
    ASSERT_NE(racing, nullptr) << "offset " << offset;
    ::Sleep(100);
    EXPECT_TRUE(::IsWindow(racing) && ::IsWindowVisible(racing)) << "offset " << offset;
    EXPECT_EQ(NewWindows(before, ProcessWindows()).size(), 1u) << "offset " << offset;
    closeNote(racing);
  }
  // A request while the thread is on its way out, held there by the test build while this
  // event exists (note/uTestHooks.h): the thread begins again, and the note lives on it.
  {
    HWND note = OpenOneNote(dir.path());
    ASSERT_NE(note, nullptr);
    const DWORD id = ::GetWindowThreadProcessId(note, nullptr);
    const TKernelHandle last(::OpenThread(SYNCHRONIZE, FALSE, id));
    wchar_t name[64];
    ::wsprintfW(name, L"Quillo.Test.OnTheWayOut.%lu", ::GetCurrentProcessId());
    const TKernelHandle onTheWayOut(::CreateEventW(nullptr, FALSE, FALSE, name));
    ASSERT_TRUE(last && onTheWayOut);
    closeNote(note);
    ASSERT_EQ(::WaitForSingleObject(onTheWayOut.get(), kNoteGraceMs + 5000), WAIT_OBJECT_0);
    HWND late = OpenOneNote(dir.path());
    ASSERT_NE(late, nullptr) << "refused on the way out";
    ::Sleep(100);
    EXPECT_TRUE(::IsWindow(late) && ::IsWindowVisible(late));
    EXPECT_EQ(NewWindows(before, ProcessWindows()).size(), 1u);
    EXPECT_EQ(::GetWindowThreadProcessId(late, nullptr), id) << "not the thread on its way out";
    EXPECT_EQ(::WaitForSingleObject(last.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    closeNote(late);
  }

  dll->Unload();
  EXPECT_NE(::GetModuleHandleW(Wide(path).c_str()), nullptr) << "gone before the period ended";
  EXPECT_TRUE(WaitUntil([&] { return ::GetModuleHandleW(Wide(path).c_str()) == nullptr; },
                        kNoteGraceMs + 10000))
      << "the library outlived its grace period";
  EXPECT_EQ(::WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
  ::CloseHandle(thread);
  dll = std::make_unique<TQuilloDll>();
  ASSERT_TRUE(dll->Loaded());
}

// On the UI thread while a row says so: every edit control's creation is refused, so that a
// note's form fails half made.
HHOOK g_refuseEdits = nullptr;
LRESULT CALLBACK RefuseEdits(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND) {
    // Under the library's ComCtl32 v6 context the name comes versioned ("6.0.x.y!Edit").
    const wchar_t* cls = reinterpret_cast<CBT_CREATEWNDW*>(lp)->lpcs->lpszClass;
    if (!IS_INTRESOURCE(cls)) {
      const wchar_t* bang = ::wcsrchr(cls, L'!');
      if (::lstrcmpiW(bang ? bang + 1 : cls, L"EDIT") == 0) return 1;
    }
  }
  return ::CallNextHookEx(g_refuseEdits, code, wp, lp);
}

// Refuses every window of its class.
LRESULT CALLBACK RefuseWindows(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  return msg == WM_NCCREATE ? FALSE : ::DefWindowProcW(wnd, msg, wp, lp);
}

// A note that cannot be shown fails the command and nothing else: the host lives on, nothing
// stays counted or loaded, other notes stay, and a note opens once windows can be made again.
// The first row runs only where the process has no display (ctest's test_com_dll.nodisplay:
// a copy of the prefix without one, on a wineserver of its own), the others only with one.
TEST_F(ComDllTest, ANoteThatCannotBeShownFailsTheCommandCleanly) {
  TTempDir dir;
  const std::string path = BuiltDllPath();
  const bool noDisplay = ::GetEnvironmentVariableW(L"QUILLO_NO_DISPLAY", nullptr, 0) > 0;
  auto invoke = [&] {
    IClassFactory* cf = Factory();
    const HRESULT hr = cf ? OpenNoteFor(cf, dir.path()) : E_POINTER;
    if (cf) cf->Release();
    return hr;
  };
  // No UI thread left of an earlier note: the next request starts the windowing afresh.
  auto freshLibrary = [&] {
    dll->Unload();
    EXPECT_TRUE(WaitUntil([&] { return ::GetModuleHandleW(Wide(path).c_str()) == nullptr; },
                          kNoteGraceMs + 10000))
        << "the UI thread kept the library";
    dll = std::make_unique<TQuilloDll>();
  };
  std::vector<HGDIOBJ> brushes;
  HWND other = nullptr;  // a note open while the row's fails
  struct Row {
    const char* what;
    bool withoutDisplay;
    int failures;  // requests that fail in a row
    std::function<void()> deny, allow;  // allow null: windows never come back
  };
  const Row rows[] = {
      {"no display", true, 2, [&] {
         const HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr,
                                              nullptr, nullptr, nullptr);
         EXPECT_EQ(probe, nullptr) << "this process can make windows";
         if (probe) ::DestroyWindow(probe);
       }, nullptr},
      // The UI thread's message-only window cannot be made: its class is taken first, under
      // the library's name for it, by one that refuses its windows. The thread cannot start
      // its layer, answers at once, ends, and takes that class with it; once the library has
      // gone, the next request starts afresh.
      {"mailbox refused", false, 1, [&] {
         freshLibrary();
         WNDCLASSEXW wc{};
         wc.cbSize = sizeof wc;
         wc.lpfnWndProc = &RefuseWindows;
         wc.hInstance = dll->Module();
         wc.lpszClassName = L"Quillo.NoteThread";
         ASSERT_TRUE(::RegisterClassExW(&wc));
       }, [&] { freshLibrary(); }},
      {"GDI objects used up", false, 2, [&] {
         freshLibrary();
         while (brushes.size() < 200000)
           if (HBRUSH b = ::CreateSolidBrush(RGB(brushes.size() & 0xFF, 0, 0)))
             brushes.push_back(b);
           else
             break;
       }, [&] {
         for (HGDIOBJ b : brushes) ::DeleteObject(b);
         brushes.clear();
       }},
      {"a form on a living thread", false, 2, [&] {
         other = OpenOneNote(dir.path());
         ASSERT_NE(other, nullptr);
         g_refuseEdits = ::SetWindowsHookExW(WH_CBT, &RefuseEdits, nullptr,
                                             ::GetWindowThreadProcessId(other, nullptr));
         ASSERT_NE(g_refuseEdits, nullptr);
       }, [&] { ::UnhookWindowsHookEx(std::exchange(g_refuseEdits, nullptr)); }},
  };
  for (const Row& row : rows) {
    if (row.withoutDisplay != noDisplay) continue;
    row.deny();
    const size_t others = other ? 1 : 0;
    for (int attempt = 1; attempt <= row.failures; ++attempt) {
      const HRESULT hr = invoke();
      EXPECT_TRUE(FAILED(hr)) << row.what << ", attempt " << attempt << ": 0x" << std::hex << hr;
      EXPECT_EQ(NewWindows(before, ProcessWindows()).size(), others) << row.what;
      EXPECT_EQ(dll->CanUnloadNow(), others ? S_FALSE : S_OK) << row.what << ": left counted";
    }
    if (!row.allow) {
      // The thread went with its layer and gave the library back.
      freshLibrary();
      continue;
    }
    row.allow();
    const HRESULT hr = invoke();
    EXPECT_EQ(hr, S_OK) << row.what << ": no note once windows can be made";
    std::vector<HWND> notes = NewWindows(before, ProcessWindows());
    EXPECT_EQ(notes.size(), others + 1) << row.what;
    notes.erase(std::remove(notes.begin(), notes.end(), other), notes.end());
    CloseWindows(notes);
  }
  if (!other) return;
  // The note that was open all along still saves.
  const TNoteControls c = FindNoteControls(other);
  ASSERT_TRUE(c.memo && c.title && c.create);
  ::SendMessageW(c.memo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"still here"));
  ::SendMessageW(c.title, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"other"));
  ::PostMessageW(c.create, BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(other); }));
  std::string bytes;
  EXPECT_TRUE(ReadFileBytes(dir.File("other.txt"), bytes));
  EXPECT_EQ(bytes, "still here");
}

// The file manager's way: a worker thread makes the handler through the runtime, invokes it,
// uninitialises COM and ends. The window outlives it and keeps its count; once it is closed
// the count is back to 0 and the runtime unloads the library.
// Registered in the prefix's real HKEY_CLASSES_ROOT, so that the runtime itself loads us.
TEST_F(ComDllTest, TheRuntimeCreatesTheClassAndUnloadsOnlyWhenNothingIsOpen) {
  ASSERT_EQ(dll->RegisterServer(), S_OK);
  dll->Unload();
  const std::string path = BuiltDllPath();
  // The UI thread of an earlier test holds the library until its grace period is over.
  ASSERT_TRUE(WaitUntil([&] { return ::GetModuleHandleW(Wide(path).c_str()) == nullptr; },
                        kNoteGraceMs + 10000));

  TTempDir dir;
  TShellInvoke invoker = NoteCommand(dir.path(), nullptr, CLSID_QuilloContextMenu);
  const TKernelHandle worker = StartWorker(invoker);
  ASSERT_TRUE(worker);
  EXPECT_EQ(::WaitForSingleObject(worker.get(), 20000), WAIT_OBJECT_0);
  EXPECT_EQ(invoker.result, S_OK);
  const std::vector<HWND> notes = NewWindows(before, ProcessWindows());
  EXPECT_EQ(notes.size(), 1u) << "the window went with the worker";
  ::CoFreeUnusedLibraries();
  EXPECT_NE(::GetModuleHandleW(Wide(path).c_str()), nullptr) << "unloaded under an open note";
  CloseWindows(notes);
  // Wine's runtime keeps the worker apartment's reference, so the library itself may stay;
  // what must be back is its count.
  if (HMODULE loaded = ::GetModuleHandleW(Wide(path).c_str())) {
    using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();
    auto canUnloadNow = reinterpret_cast<CanUnloadNowFn>(
        reinterpret_cast<void*>(::GetProcAddress(loaded, "DllCanUnloadNow")));
    ASSERT_NE(canUnloadNow, nullptr);
    EXPECT_EQ(canUnloadNow(), S_OK) << "the window's count never went back";
  }
  dll = std::make_unique<TQuilloDll>();
  ASSERT_TRUE(dll->Loaded());
  EXPECT_EQ(dll->UnregisterServer(), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\{7C3E5B12-9A4D-4F60-8E21-5D0B3A9C6F47}"));
}

// A host that loads and drops the library again and again must not grow: after 100 loads and
// unloads the heap is where it was after the first. Checked on this tree's DLL and on the 64-bit
// one as shipped (win32 thread model), each from a path no other test loads.
// At process exit the other threads are killed where they stand, perhaps inside Quillo with
// its locks held (here: a registration, which holds the factory registry's lock): the library
// must do nothing then, or the process never ends. The child is this program again, running
// the disabled test below.
TEST(ComDllExit, AProcessEndsWhileAThreadIsInsideTheLibrary) {
  wchar_t self[MAX_PATH] = {};
  ASSERT_TRUE(::GetModuleFileNameW(nullptr, self, MAX_PATH));
  const std::string child = "\"" + Utf8(std::wstring(self)) +
                            "\" --gtest_also_run_disabled_tests "
                            "--gtest_filter=ComDllExit.DISABLED_ExitWhileRegistering";
  for (int round = 0; round < 3; ++round)
    EXPECT_EQ(RunProgram(child, 20000), 7) << "round " << round << ": the process hung at exit";
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\QuilloTest");  // the children's private roots
}

DWORD WINAPI RegisterForever(LPVOID dll) {
  for (;;) static_cast<TQuilloDll*>(dll)->RegisterServer();
}

TEST(ComDllExit, DISABLED_ExitWhileRegistering) {
  TClassesRootOverride classes;
  TQuilloDll dll;
  if (!dll.Loaded()) ::ExitProcess(1);
  for (int i = 0; i < 2; ++i) ::CreateThread(nullptr, 0, &RegisterForever, &dll, 0, nullptr);
  ::Sleep(200);
  ::ExitProcess(7);
}

TEST(ComDllCycles, LoadAndUnloadLeaveTheHeapAsItWas) {
  const SIZE_T kTolerance = 4096;
  // The 32-bit test tree's library carries the posix thread model's layer, which 32-bit
  // Wine leaks a little of at every unload; there the library as shipped is the one to weigh.
  std::vector<std::string> dlls;
  if (sizeof(void*) == 8 || ShippedPath("Quillo.dll").empty()) dlls.push_back(BuiltDllPath());
  const std::string shipped = ShippedPath(sizeof(void*) == 8 ? "x64\\Quillo.dll" : "Quillo.dll");
  if (!shipped.empty()) dlls.push_back(shipped);
  for (const std::string& path : dlls) {
    TTempDir dir;
    const std::string copy = dir.File("Quillo.dll");
    ASSERT_TRUE(CopyFileTo(path, copy)) << path;
    SIZE_T afterFirst = 0;
    for (int cycle = 1; cycle <= 100; ++cycle) {
      HMODULE module = ::LoadLibraryW(Wide(copy).c_str());
      ASSERT_NE(module, nullptr) << path << " error " << ::GetLastError();
      ASSERT_TRUE(::FreeLibrary(module));
      ASSERT_EQ(::GetModuleHandleW(Wide(copy).c_str()), nullptr) << path << " still loaded";
      if (cycle == 1) afterFirst = HeapBytesInUse();
    }
    const SIZE_T afterLast = HeapBytesInUse();
    EXPECT_LE(afterLast, afterFirst + kTolerance)
        << path << ": " << afterFirst << " bytes in use after the first cycle, " << afterLast
        << " after the 100th";
  }
}

}  // namespace
