// The Windows 11 command (64-bit only): the shell client plays the menu, with a site of its own
// whose view hands out Wine's real IShellFolder, and the notes open in QuilloNote.exe, one
// process for every request, which ends after its last note and the grace period.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/uComPtr.h"
#include "common/uHandles.h"
#include "shellclient/uShellCommand.h"
#include "support/uComTestSupport.h"
#include "support/uTestSupport.h"

namespace {

const CLSID kCommand = {0xD2390739, 0xD35F, 0x4362, {0x88, 0xC0, 0x4A, 0x09, 0x74, 0x38, 0xFC, 0x69}};
constexpr char kCaption[] = "Quillo  Ver1.1";
constexpr DWORD kWaitMs = 20000;

bool WaitFor(const std::function<bool()>& done, DWORD ms = kWaitMs) {
  for (DWORD waited = 0; waited < ms; waited += 50) {
    if (done()) return true;
    ::Sleep(50);
  }
  return done();
}

constexpr wchar_t kNoteProcessClass[] = L"Quillo.NoteProcess";

// The living note process's window and id, passing over this process's own (a squatter).
HWND NoteProcessWindow() {
  for (HWND wnd = nullptr; (wnd = ::FindWindowExW(HWND_MESSAGE, wnd, kNoteProcessClass, nullptr));) {
    DWORD id = 0;
    ::GetWindowThreadProcessId(wnd, &id);
    if (id != ::GetCurrentProcessId()) return wnd;
  }
  return nullptr;
}
DWORD NoteProcessId() {
  DWORD id = 0;
  if (const HWND wnd = NoteProcessWindow()) ::GetWindowThreadProcessId(wnd, &id);
  return id;
}

// A program run to its end: its exit code and what it wrote to stderr.
struct TRun {
  DWORD code = STILL_ACTIVE;
  std::string err;
};
TRun RunCapturing(const std::wstring& commandLine) {
  TRun run;
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &sa, 0)) return run;
  TKernelHandle reader(readEnd), writer(writeEnd);
  ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdError = writeEnd;
  PROCESS_INFORMATION pi = {};
  std::wstring cmd = commandLine;
  if (!::CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
    return run;
  TKernelHandle process(pi.hProcess), thread(pi.hThread);
  writer.reset();
  char buffer[512];
  DWORD n = 0;
  while (::ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n) run.err.append(buffer, n);
  if (::WaitForSingleObject(process.get(), kWaitMs) == WAIT_OBJECT_0)
    ::GetExitCodeProcess(process.get(), &run.code);
  else
    ::TerminateProcess(process.get(), 99);
  return run;
}

std::wstring NoteExe() { return Wide(TestProgramDir() + "\\QuilloNote.exe"); }

class ExplorerCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(apartment_.Result()));
    ASSERT_TRUE(dll_.Loaded());
    ASSERT_EQ(dll_.GetClassObject(kCommand, IID_IClassFactory, factory_.put_void()), S_OK);
    ASSERT_EQ(NoteProcessId(), 0u) << "a note process is left from before";
  }
  void TearDown() override {
    factory_.reset();
    // Whatever a failed case left open goes, and with it the note process.
    if (const DWORD id = NoteProcessId()) {
      TKernelHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id));
      CloseWindows(ProcessWindows(id, nullptr, kCaption));
      if (process && ::WaitForSingleObject(process.get(), kWaitMs) != WAIT_OBJECT_0)
        ::TerminateProcess(process.get(), 99);
    }
  }
  TExplorerInvoke Invoke(PCIDLIST_ABSOLUTE folder, TSiteKind site, TItemArray items) {
    TExplorerInvoke job;
    job.factory = factory_.get();
    job.folder = folder;
    job.site = site;
    job.items = items;
    RunExplorerCommand(job);
    return job;
  }

  TApartmentScope apartment_;
  TQuilloDll dll_;
  TComPtr<IClassFactory> factory_;
};

TEST_F(ExplorerCommand, ShowsItselfAsTheMenuReadsIt) {
  TTempDir dir("quillo-w11");
  const TPidl folder = PidlFromPath(Wide(dir.path()));
  TComPtr<IExplorerCommand> command;
  ASSERT_EQ(factory_->CreateInstance(nullptr, IID_IExplorerCommand, command.put_void()), S_OK);
  LPWSTR text = nullptr;
  ASSERT_EQ(command->GetTitle(nullptr, &text), S_OK);
  EXPECT_EQ(Utf8(text), "Quillo 파일 만들기");
  ::CoTaskMemFree(text);
  ASSERT_EQ(command->GetToolTip(nullptr, &text), S_OK);
  EXPECT_FALSE(std::wstring(text).empty());
  ::CoTaskMemFree(text);
  ASSERT_EQ(command->GetIcon(nullptr, &text), S_OK);
  const std::wstring icon = text;
  ::CoTaskMemFree(text);
  // "<the library's path>,-<id>", and the icon is there.
  const size_t comma = icon.rfind(L",-");
  ASSERT_NE(comma, std::wstring::npos) << Utf8(icon);
  EXPECT_EQ(::lstrcmpiW(icon.substr(0, comma).c_str(), Wide(BuiltDllPath()).c_str()), 0)
      << Utf8(icon);
  const int id = std::stoi(icon.substr(comma + 2));
  EXPECT_TRUE(::LoadImageW(dll_.Module(), MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0));
  EXPECT_TRUE(::LoadImageW(dll_.Module(), MAKEINTRESOURCEW(id), IMAGE_ICON, 32, 32, 0));
  GUID name = GUID_NULL;
  ASSERT_EQ(command->GetCanonicalName(&name), S_OK);
  EXPECT_NE(name, GUID_NULL);
  EXPECT_NE(name, kCommand);
  EXPCMDFLAGS flags = 99;
  ASSERT_EQ(command->GetFlags(&flags), S_OK);
  EXPECT_EQ(flags, static_cast<EXPCMDFLAGS>(ECF_DEFAULT));
  EXPCMDSTATE state = 99;
  ASSERT_EQ(command->GetState(nullptr, FALSE, &state), S_OK);
  EXPECT_EQ(state, static_cast<EXPCMDSTATE>(ECS_ENABLED));
  IEnumExplorerCommand* sub = reinterpret_cast<IEnumExplorerCommand*>(1);
  EXPECT_EQ(command->EnumSubCommands(&sub), E_NOTIMPL);
  EXPECT_EQ(sub, nullptr);
  // Null out-parameters are refused, never written through.
  EXPECT_EQ(command->GetTitle(nullptr, nullptr), E_POINTER);
  EXPECT_EQ(command->GetToolTip(nullptr, nullptr), E_POINTER);
  EXPECT_EQ(command->GetIcon(nullptr, nullptr), E_POINTER);
  EXPECT_EQ(command->GetCanonicalName(nullptr), E_POINTER);
  EXPECT_EQ(command->GetFlags(nullptr), E_POINTER);
  EXPECT_EQ(command->GetState(nullptr, TRUE, nullptr), E_POINTER);
  TComPtr<IObjectWithSite> withSite;
  ASSERT_EQ(command->QueryInterface(IID_IObjectWithSite, withSite.put_void()), S_OK);
  EXPECT_EQ(withSite->GetSite(IID_IUnknown, nullptr), E_POINTER);
  void* site = &name;
  EXPECT_EQ(withSite->GetSite(IID_IUnknown, &site), E_FAIL);
  EXPECT_EQ(site, nullptr);
  const TComPtr<IUnknown> given = MakeFolderSite(TSiteKind::FolderView, folder.get());
  ASSERT_EQ(withSite->SetSite(given.get()), S_OK);
  TComPtr<IServiceProvider> back;
  EXPECT_EQ(withSite->GetSite(IID_IServiceProvider, back.put_void()), S_OK);
  EXPECT_TRUE(back);
  back.reset();
  EXPECT_EQ(withSite->SetSite(nullptr), S_OK);
  command.reset();
  withSite.reset();

  // The classic registration never names the command: the package does.
  TClassesRootOverride root;
  ASSERT_TRUE(root.Active());
  ASSERT_EQ(dll_.RegisterServer(), S_OK);
  EXPECT_FALSE(KeyExists(root.Root(), "CLSID\\{D2390739-D35F-4362-88C0-4A097438FC69}"));
  EXPECT_TRUE(KeyExists(root.Root(), "CLSID\\{7C3E5B12-9A4D-4F60-8E21-5D0B3A9C6F47}"));
  EXPECT_EQ(dll_.UnregisterServer(), S_OK);
}

// Every way Windows 11 may give the folder opens a note in the one note process, bound to the
// folder; the note saves there; the process ends after its last note and the grace period.
TEST_F(ExplorerCommand, NotesOpenInOneNoteProcess) {
  TTempDir dir("quillo-w11");
  const TPidl folder = PidlFromPath(Wide(dir.path()));
  ASSERT_TRUE(folder);
  struct Case {
    const char* what;
    TSiteKind site;
    TItemArray items;
    bool host;  // through QuilloHost --windows11 (the view's site, no array), as a user would
  } const cases[] = {
      {"QuilloHost --windows11", TSiteKind::FolderView, TItemArray::Null, true},
      {"the view's site, no array", TSiteKind::FolderView, TItemArray::Null, false},
      {"the browser's site, an empty array", TSiteKind::Browser, TItemArray::Empty, false},
      {"no site, the folder in the array", TSiteKind::None, TItemArray::Folder, false},
  };
  DWORD processId = 0;
  TKernelHandle process;
  std::vector<HWND> notes;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.host) {
      ASSERT_EQ(RunProgram("\"" + TestProgramDir() + "\\QuilloHost.exe\" --windows11 \"" +
                           dir.path() + "\"", kWaitMs), 0);
    } else {
      const TExplorerInvoke job = Invoke(folder.get(), c.site, c.items);
      ASSERT_EQ(job.result, S_OK);
      EXPECT_EQ(Utf8(job.title), "Quillo 파일 만들기");
      EXPECT_EQ(job.state, static_cast<EXPCMDSTATE>(ECS_ENABLED));
    }
    std::vector<HWND> now;
    ASSERT_TRUE(WaitFor([&] {
      const DWORD id = NoteProcessId();
      if (!id) return false;
      now = ProcessWindows(id, nullptr, kCaption);
      return now.size() == notes.size() + 1;
    })) << "no new note window in QuilloNote.exe";
    const DWORD id = NoteProcessId();
    if (!processId) {
      processId = id;
      process.reset(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
      ASSERT_TRUE(process);
    }
    EXPECT_EQ(id, processId) << "a second note process";
    EXPECT_NE(id, ::GetCurrentProcessId());
    notes = now;
  }
  // One of them saves into the folder, and closes.
  const TNoteControls controls = FindNoteControls(notes.front());
  ASSERT_TRUE(controls.memo && controls.title && controls.create);
  ASSERT_TRUE(::SendMessageW(controls.memo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"w11 note")));
  ASSERT_TRUE(::SendMessageW(controls.title, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"w11")));
  ASSERT_TRUE(::PostMessageW(controls.create, BM_CLICK, 0, 0));
  std::string bytes;
  EXPECT_TRUE(WaitFor([&] { return ReadFileBytes(dir.File("w11.txt"), bytes) && bytes == "w11 note"; }));
  EXPECT_TRUE(WaitFor([&] { return !::IsWindow(notes.front()); }));
  // The rest close; then the process goes by itself.
  CloseWindows(ProcessWindows(processId, nullptr, kCaption));
  ASSERT_EQ(::WaitForSingleObject(process.get(), kWaitMs), WAIT_OBJECT_0)
      << "the note process did not end after its last note";
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(process.get(), &code);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(NoteProcessId(), 0u);
}

// The visible note windows of every process.
std::vector<HWND> AllNotes() {
  std::vector<HWND> notes;
  for (HWND w = nullptr; (w = ::FindWindowExW(nullptr, w, nullptr, Wide(kCaption).c_str()));)
    if (::IsWindowVisible(w)) notes.push_back(w);
  return notes;
}

// A request that races the note process's end (its last note closed a grace period ago, give
// or take its check's step) opens exactly one window: in the old process, or in a new one.
TEST_F(ExplorerCommand, ARequestRacingTheEndOpensOneNote) {
  TTempDir dir("quillo-w11");
  const TPidl folder = PidlFromPath(Wide(dir.path()));
  for (DWORD delay = 900; delay <= 1300; delay += 80) {
    SCOPED_TRACE(delay);
    ASSERT_EQ(Invoke(folder.get(), TSiteKind::FolderView, TItemArray::Null).result, S_OK);
    std::vector<HWND> notes;
    ASSERT_TRUE(WaitFor([&] { return !(notes = AllNotes()).empty(); })) << "no note window";
    ::Sleep(300);  // a second window, were one coming, would be there by now
    ASSERT_EQ(AllNotes().size(), 1u);
    CloseWindows(notes);
    ::Sleep(delay);
  }
}

// Without a folder the command answers an error and nothing opens. The menu hides it where what
// Explorer passes shows no file-system folder; with nothing to go on (Explorer may ask before it
// sets the site) it shows.
TEST_F(ExplorerCommand, NoFolderNoNote) {
  TTempDir dir("quillo-w11");
  ASSERT_TRUE(WriteFileBytes(dir.File("plain.txt"), "x"));
  const TPidl file = PidlFromPath(Wide(dir.File("plain.txt")));
  // (Wine's "My Computer" gives the desktop as its current folder; the control panel, none.)
  PIDLIST_ABSOLUTE controls = nullptr;
  ASSERT_EQ(::SHGetSpecialFolderLocation(nullptr, CSIDL_CONTROLS, &controls), S_OK);
  const TPidl pathless(controls);
  struct Case {
    const char* what;
    PCIDLIST_ABSOLUTE folder;
    TSiteKind site;
    TItemArray items;
    EXPCMDSTATE state;
  } const cases[] = {
      {"no site, no array", nullptr, TSiteKind::None, TItemArray::Null, ECS_ENABLED},
      {"no site, an empty array", nullptr, TSiteKind::None, TItemArray::Empty, ECS_ENABLED},
      {"a file in the array", file.get(), TSiteKind::None, TItemArray::Folder, ECS_HIDDEN},
      {"a view of a folder without a path", pathless.get(), TSiteKind::FolderView,
       TItemArray::Null, ECS_HIDDEN},
      {"a browser of a folder without a path", pathless.get(), TSiteKind::Browser,
       TItemArray::Empty, ECS_HIDDEN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TExplorerInvoke job = Invoke(c.folder, c.site, c.items);
    EXPECT_TRUE(FAILED(job.result));
    EXPECT_EQ(job.state, c.state);
  }
  ::Sleep(500);
  EXPECT_EQ(NoteProcessId(), 0u) << "a note process started without a folder";
}

// A window of the note process's class that another program made (here, this one), answering
// "taken" to everything.
int g_squatted = 0;
LRESULT CALLBACK SquatterProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != WM_COPYDATA) return ::DefWindowProcW(wnd, msg, wp, lp);
  ++g_squatted;
  return 1;
}

// The folder a note window shows ("저장 폴더: <folder>"), empty without that label.
std::wstring NoteFolderLabel(HWND note) {
  std::wstring found;
  ::EnumChildWindows(note, [](HWND child, LPARAM out) -> BOOL {
    wchar_t text[MAX_PATH + 32] = {};
    ::GetWindowTextW(child, text, MAX_PATH + 32);
    const std::wstring prefix = L"저장 폴더: ";
    if (std::wstring(text).rfind(prefix, 0) != 0) return TRUE;
    *reinterpret_cast<std::wstring*>(out) = std::wstring(text).substr(prefix.size());
    return FALSE;
  }, reinterpret_cast<LPARAM>(&found));
  return found;
}

// The hand-over trusts only the QuilloNote.exe beside the library: a squatting window gets no
// folder and a note opens all the same (here for a drive's root, whose trailing backslash must
// survive QuilloNote.exe's command line). The note process takes only well-formed, fresh
// requests for absolute folders, and opens a note only for a folder that is there.
TEST_F(ExplorerCommand, TheHandOverTrustsOnlyItsOwnNoteProcess) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &SquatterProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = kNoteProcessClass;
  ASSERT_TRUE(::RegisterClassExW(&wc));
  TWindow squatter(::CreateWindowExW(0, kNoteProcessClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                     nullptr, wc.hInstance, nullptr));
  ASSERT_TRUE(squatter);
  const TPidl root = PidlFromPath(L"C:\\");
  ASSERT_TRUE(root);
  ASSERT_EQ(Invoke(root.get(), TSiteKind::None, TItemArray::Folder).result, S_OK);
  std::vector<HWND> notes;
  ASSERT_TRUE(WaitFor([&] {
    return NoteProcessId() && (notes = ProcessWindows(NoteProcessId(), nullptr, kCaption)).size() == 1;
  })) << "no note in QuilloNote.exe";
  EXPECT_EQ(g_squatted, 0);
  EXPECT_TRUE(WaitFor([&] { return NoteFolderLabel(notes.front()) == L"C:\\"; }))
      << Utf8(NoteFolderLabel(notes.front()));
  squatter.reset();
  ::UnregisterClassW(kNoteProcessClass, wc.hInstance);

  // Requests sent straight to the note process's window.
  TTempDir dir("quillo-w11");
  const HWND target = NoteProcessWindow();
  ASSERT_TRUE(target);
  constexpr ULONG_PTR kTag = 0x516E6F32;
  struct Case {
    const char* what;
    ULONG_PTR tag;
    ULONGLONG age;  // ms since it was sent
    std::wstring folder;
    LRESULT answer;  // 1 taken, 2 refused
    size_t notes;    // new note windows
  } const cases[] = {
      {"another tag", 0x516E6F74, 0, Wide(dir.path()), 2, 0},
      {"the current folder", kTag, 0, L".", 2, 0},
      {"a drive's current folder", kTag, 0, L"C:", 2, 0},
      {"a relative folder", kTag, 0, L"sub\\folder", 2, 0},
      {"sent 5 s ago (its sender gave up)", kTag, 5000, Wide(dir.path()), 2, 0},
      {"a folder that is not there", kTag, 0, Wide(dir.File("gone")), 1, 0},
      {"a folder", kTag, 0, Wide(dir.path()), 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<unsigned char> bytes(sizeof(ULONGLONG) + c.folder.size() * sizeof(wchar_t));
    const ULONGLONG sentAt = ::GetTickCount64() - c.age;
    std::memcpy(bytes.data(), &sentAt, sizeof sentAt);
    std::memcpy(bytes.data() + sizeof sentAt, c.folder.data(), c.folder.size() * sizeof(wchar_t));
    COPYDATASTRUCT data = {c.tag, static_cast<DWORD>(bytes.size()), bytes.data()};
    DWORD_PTR answer = 0;
    ASSERT_TRUE(::SendMessageTimeoutW(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                      SMTO_ABORTIFHUNG, 5000, &answer));
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(c.answer));
    const size_t wanted = notes.size() + c.notes;
    if (c.notes)
      WaitFor([&] { return ProcessWindows(NoteProcessId(), nullptr, kCaption).size() == wanted; });
    else
      ::Sleep(500);  // a window, were one coming, would be there by now
    notes = ProcessWindows(NoteProcessId(), nullptr, kCaption);
    EXPECT_EQ(notes.size(), wanted);
  }
}

// QuilloNote.exe refuses what it cannot serve, with an exit code and a line on stderr.
TEST(NoteProcess, RefusesBadArguments) {
  TTempDir dir("quillo-w11");
  ASSERT_TRUE(WriteFileBytes(dir.File("plain.txt"), "x"));
  const std::wstring exe = L"\"" + NoteExe() + L"\"";
  const std::wstring longPath = Wide(dir.path()) + L"\\" + std::wstring(300, L'a');
  struct Case {
    const char* what;
    std::wstring args;
    DWORD code;
  } const cases[] = {
      {"no folder", L"", 2},
      {"two folders", L" \"" + Wide(dir.path()) + L"\" \"" + Wide(dir.path()) + L"\"", 2},
      {"an empty folder name", L" \"\"", 2},
      {"a file", L" \"" + Wide(dir.File("plain.txt")) + L"\"", 3},
      {"a folder that is not there", L" \"" + Wide(dir.File("gone")) + L"\"", 3},
      {"a path too long", L" \"" + longPath + L"\"", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TRun run = RunCapturing(exe + c.args);
    EXPECT_EQ(run.code, c.code);
    EXPECT_EQ(run.err.rfind("QuilloNote: ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  EXPECT_EQ(NoteProcessId(), 0u);
  // The recovery alone, with no draft to recover, opens nothing and ends after the grace period.
  const TRun recover = RunCapturing(exe + L" --recover");
  EXPECT_EQ(recover.code, 0u) << recover.err;
  EXPECT_EQ(recover.err, "");
  EXPECT_EQ(AllNotes().size(), 0u);
}

}  // namespace
