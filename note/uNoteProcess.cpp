#include "note/uNoteProcess.h"

#include <shellapi.h>

#include <cstring>
#include <vector>

#include "common/uHandles.h"
#include "common/uWide.h"
#include "note/uDraft.h"
#include "note/uNoteThread.h"

const wchar_t kNoteProcessWindowClass[] = L"Quillo.NoteProcess";
const wchar_t kNoteProcessMutex[] = L"Local\\Quillo.NoteProcess";
const wchar_t kNoteProcessExe[] = L"QuilloNote.exe";

namespace {

// WM_COPYDATA's tag for a request: a TRequestHead, then the folder (UTF-16, no terminator;
// empty: recovery only). The window's answers.
constexpr ULONG_PTR kFolderTag = 0x516E6F32;  // "Qno2"
enum : LRESULT { kGone = 0, kTaken = 1, kRefused = 2 };
struct TRequestHead {
  ULONGLONG sentAt;  // GetTickCount64 at sending: one clock for every process of the machine
};
// A living process answers at once (it only queues the folder); one that does not within
// this time is taken for hung, and the sender goes on without it (a new process).
constexpr UINT kAnswerMs = 3000;
// So a request is taken only while its sender surely still waits: a message delivered later
// (its sender gave up, and another process may be serving the same click) is dropped. The
// margin covers the window procedure's own few steps.
constexpr ULONGLONG kTakeMs = 2000;
// How long a second process waits for the first to take its request or to end.
constexpr DWORD kHandOverMs = 10000;
constexpr UINT kServeMessage = WM_APP + 1;

bool NamesFolder(const std::u16string& folder) noexcept {
  return folder.empty() || IsNoteFolder(folder);
}

// A line on stderr, in UTF-8; nothing where the process has none (started from the shell).
// (Wide texts are std::u16string throughout the library: std::wstring would link a second
// copy of the string code.)
void Say(const char16_t* text, const std::u16string& path = std::u16string()) noexcept {
  try {
    std::u16string line = u"QuilloNote: ";
    line += text;
    if (!path.empty()) line += u": " + path;
    line += u"\n";
    const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    if (!err || err == INVALID_HANDLE_VALUE) return;
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, W(line), static_cast<int>(line.size()),
                                        nullptr, 0, nullptr, nullptr);
    if (n <= 0) return;
    std::vector<char> bytes(static_cast<size_t>(n));  // (std::string would link its own code)
    ::WideCharToMultiByte(CP_UTF8, 0, W(line), static_cast<int>(line.size()), bytes.data(), n,
                          nullptr, nullptr);
    DWORD written = 0;
    ::WriteFile(err, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  } catch (...) {
  }
}

enum class THandOver { Taken, Refused, NoProcess };

// The folder of the module this code is in (Quillo.dll), with its final backslash.
std::u16string ModuleFolder() {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&ModuleFolder), &module))
    return std::u16string();
  std::u16string path(MAX_PATH, u'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(module, W(&path[0]), static_cast<DWORD>(path.size()));
    if (n == 0) return std::u16string();
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    if (path.size() >= 32768) return std::u16string();
    path.resize(path.size() * 2);
  }
  const size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
}

// A path in one spelling for comparing: long names, as the system reports a process's image.
std::u16string LongPath(const std::u16string& path) {
  std::u16string full(32768, u'\0');
  const DWORD n = ::GetLongPathNameW(W(path), W(&full[0]), static_cast<DWORD>(full.size()));
  if (n == 0 || n >= full.size()) return path;
  full.resize(n);
  return full;
}

bool SamePath(const std::u16string& a, const std::u16string& b) {
  const std::u16string x = LongPath(a), y = LongPath(b);
  return ::CompareStringOrdinal(W(x), static_cast<int>(x.size()), W(y),
                                static_cast<int>(y.size()), TRUE) == CSTR_EQUAL;
}

// The mandatory integrity level of a process's token (its label's last sub-authority); -1
// when it cannot be read.
long long IntegrityOf(HANDLE process) {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(process, TOKEN_QUERY, &raw)) return -1;
  TKernelHandle token(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenIntegrityLevel, nullptr, 0, &size);
  if (size < sizeof(TOKEN_MANDATORY_LABEL)) return -1;
  std::vector<unsigned char> buffer(size);
  if (!::GetTokenInformation(token.get(), TokenIntegrityLevel, buffer.data(), size, &size))
    return -1;
  const PSID sid = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data())->Label.Sid;
  if (!sid || !::IsValidSid(sid) || *::GetSidSubAuthorityCount(sid) == 0) return -1;
  return *::GetSidSubAuthority(sid, *::GetSidSubAuthorityCount(sid) - 1u);
}

// Whether the window belongs to a note process this library would have started: the
// QuilloNote.exe beside it, in this session, at this process's integrity or above (a window
// of lower integrity could collect every folder and stop every note).
bool IsOurNoteProcess(HWND wnd, const std::u16string& exe) {
  DWORD processId = 0;
  if (!::GetWindowThreadProcessId(wnd, &processId) || !processId) return false;
  DWORD session = 0, ourSession = 0;
  if (!::ProcessIdToSessionId(processId, &session) ||
      !::ProcessIdToSessionId(::GetCurrentProcessId(), &ourSession) || session != ourSession)
    return false;
  TKernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return false;
  std::u16string image(32768, u'\0');
  DWORD n = static_cast<DWORD>(image.size());
  if (!::QueryFullProcessImageNameW(process.get(), 0, W(&image[0]), &n) || n == 0) return false;
  image.resize(n);
  if (!SamePath(image, exe)) return false;
  const long long theirs = IntegrityOf(process.get()), ours = IntegrityOf(::GetCurrentProcess());
  return theirs >= 0 && ours >= 0 && theirs >= ours;
}

// Hands the folder to the living note process's window, letting that process come to the
// front first. Windows of the class that another program made are passed over.
THandOver HandToLivingProcess(const std::u16string& folder) noexcept {
  try {
    const std::u16string dir = ModuleFolder();
    if (dir.empty()) return THandOver::NoProcess;
    const std::u16string exe = dir + U(kNoteProcessExe);
    std::vector<unsigned char> message(sizeof(TRequestHead) + folder.size() * sizeof(char16_t));
    if (!folder.empty())
      std::memcpy(message.data() + sizeof(TRequestHead), folder.data(),
                  folder.size() * sizeof(char16_t));
    for (HWND wnd = nullptr;
         (wnd = ::FindWindowExW(HWND_MESSAGE, wnd, kNoteProcessWindowClass, nullptr));) {
      if (!IsOurNoteProcess(wnd, exe)) continue;
      DWORD processId = 0;
      ::GetWindowThreadProcessId(wnd, &processId);
      ::AllowSetForegroundWindow(processId);
      const TRequestHead head{::GetTickCount64()};
      std::memcpy(message.data(), &head, sizeof head);
      COPYDATASTRUCT data{};
      data.dwData = kFolderTag;
      data.cbData = static_cast<DWORD>(message.size());
      data.lpData = message.data();
      DWORD_PTR answer = kGone;
      // A window destroyed before it answers (its process on the way out) answers nothing;
      // one that answers late drops the request (kTakeMs).
      if (!::SendMessageTimeoutW(wnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                 SMTO_ABORTIFHUNG, kAnswerMs, &answer))
        return THandOver::NoProcess;
      if (answer == kTaken) return THandOver::Taken;
      return answer == kRefused ? THandOver::Refused : THandOver::NoProcess;
    }
    return THandOver::NoProcess;
  } catch (...) {
    return THandOver::NoProcess;
  }
}

// An absolute path, on a drive ("X:\...") or a share ("\\server\share..."): one that means the
// same folder in every process, whatever its current folder. Never ".", "C:" or "dir".
bool IsAbsoluteFolder(const std::u16string& path) {
  if (path.size() >= 3 && ((path[0] >= u'A' && path[0] <= u'Z') ||
                           (path[0] >= u'a' && path[0] <= u'z')))
    return path[1] == u':' && path[2] == u'\\';
  // A share, not a device ("\\.\", "\\?\").
  return path.size() >= 5 && path[0] == u'\\' && path[1] == u'\\' && path[2] != u'\\' &&
         path[2] != u'.' && path[2] != u'?' && path.find(u'\\', 3) != std::u16string::npos;
}

// One argument on a command line, quoted so that CommandLineToArgvW reads it back whole: a
// backslash before the closing quote (a drive's root, "C:\") is doubled.
void AppendQuoted(std::u16string& line, const std::u16string& arg) {
  line += u'"';
  line += arg;
  if (!arg.empty() && arg.back() == u'\\') line += u'\\';
  line += u'"';
}

HRESULT StartNoteProcess(const std::u16string& folder) {
  const std::u16string dir = ModuleFolder();
  if (dir.empty()) return E_FAIL;
  const std::u16string exe = dir + U(kNoteProcessExe);
  std::u16string line;
  AppendQuoted(line, exe);
  line += u' ';
  if (folder.empty())
    line += u"--recover";
  else
    AppendQuoted(line, folder);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  // Suspended until it may come to the front, so that its first window surely can; in its own
  // folder, so that it holds no other folder open.
  if (!::CreateProcessW(W(exe), W(&line[0]), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        W(dir), &si, &pi))
    return HRESULT_FROM_WIN32(::GetLastError());
  TKernelHandle process(pi.hProcess), thread(pi.hThread);
  ::AllowSetForegroundWindow(pi.dwProcessId);
  if (::ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
    ::TerminateProcess(process.get(), kNoteExitFailed);
    return E_FAIL;
  }
  return S_OK;
}

// The living process's side, all on its main thread: the folders handed over, in order.
std::vector<std::u16string>* g_pending = nullptr;

LRESULT CALLBACK NoteProcessProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  if (msg == WM_COPYDATA) {
    // From another process: hostile until checked. Only the shape is checked here, so that
    // the answer comes at once; whether the folder is there, when it is served.
    try {
      const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lp);
      if (!g_pending || !data || data->dwData != kFolderTag || !data->lpData ||
          data->cbData < sizeof(TRequestHead))
        return kRefused;
      const DWORD textBytes = data->cbData - sizeof(TRequestHead);
      if (textBytes % sizeof(char16_t) != 0 || textBytes >= MAX_PATH * sizeof(char16_t))
        return kRefused;
      TRequestHead head;
      std::memcpy(&head, data->lpData, sizeof head);
      const ULONGLONG now = ::GetTickCount64();
      if (head.sentAt > now || now - head.sentAt >= kTakeMs) return kRefused;
      std::u16string folder(textBytes / sizeof(char16_t), u'\0');
      if (textBytes)
        std::memcpy(&folder[0], static_cast<const unsigned char*>(data->lpData) + sizeof head,
                    textBytes);
      if (folder.find(u'\0') != std::u16string::npos) return kRefused;
      if (!folder.empty() && !IsAbsoluteFolder(folder)) return kRefused;
      g_pending->push_back(std::move(folder));
      // Served by the main loop, not here: the sender must not wait on the note.
      ::PostMessageW(wnd, kServeMessage, 0, 0);
      return kTaken;
    } catch (...) {
      return kRefused;
    }
  }
  return ::DefWindowProcW(wnd, msg, wp, lp);
}

// Serves the folders handed over. A folder that is not there (any more) opens nothing; the
// request was answered long ago, so nothing is said.
void ServePending() {
  while (!g_pending->empty()) {
    const std::u16string folder = std::move(g_pending->front());
    g_pending->erase(g_pending->begin());
    // Messages sent to this thread meanwhile (further folders) are queued behind this one.
    if (NamesFolder(folder)) (void)OpenNoteOnUiThread(folder);  // nobody waits on the result
  }
}

// The first process of the session, holding the mutex: its window takes the requests until
// the UI thread has ended.
int ServeAsFirst(const std::u16string& folder, HINSTANCE module) {
  std::vector<std::u16string> pending;
  g_pending = &pending;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &NoteProcessProc;
  wc.hInstance = module;
  wc.lpszClassName = kNoteProcessWindowClass;
  if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    g_pending = nullptr;
    Say(u"cannot make its message window");
    return kNoteExitFailed;
  }
  TWindow window(::CreateWindowExW(0, kNoteProcessWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                   nullptr, module, nullptr));
  if (!window) {
    g_pending = nullptr;
    Say(u"cannot make its message window");
    return kNoteExitFailed;
  }
  // This process may be restarted while it holds a draft (a crash, an update): it comes back
  // with the recovery only, which reopens the drafts.
  SetDraftRestartCommand(L"--recover");
  // This process's own folder, served with the window already taking further requests; its
  // result alone is this process's (a later folder's is nobody's to hear).
  int code = kNoteExitOk;
  if (FAILED(OpenNoteOnUiThread(folder))) {
    Say(u"the note window could not be opened", folder);
    code = kNoteExitFailed;
  }
  for (;;) {
    ServePending();
    // Deciding to end and taking the window away happen with no message delivered between
    // them: a request either was taken before, or finds no window and starts a new process,
    // which waits for the mutex below.
    if (pending.empty() && !NoteThreadRunning()) break;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 200, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
  }
  window.reset();
  g_pending = nullptr;
  return code;
}

int Run(const std::u16string& folder) {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&NoteProcessProc), &module);
  TKernelHandle mutex(::CreateMutexW(nullptr, FALSE, kNoteProcessMutex));
  if (!mutex) {
    Say(u"cannot make its session mutex");
    return kNoteExitFailed;
  }
  const DWORD begin = ::GetTickCount();
  for (;;) {
    const DWORD w = ::WaitForSingleObject(mutex.get(), 0);
    if (w == WAIT_OBJECT_0 || w == WAIT_ABANDONED) {
      const int code = ServeAsFirst(folder, module);
      ::ReleaseMutex(mutex.get());
      return code;
    }
    switch (HandToLivingProcess(folder)) {
      case THandOver::Taken:
        return kNoteExitOk;
      case THandOver::Refused:
        Say(u"the note process refused the folder", folder);
        return kNoteExitBadFolder;
      case THandOver::NoProcess:
        break;  // starting, or on its way out: ask again
    }
    if (::GetTickCount() - begin >= kHandOverMs) {
      Say(u"the running note process does not answer");
      return kNoteExitFailed;
    }
    ::Sleep(20);
  }
}

}  // namespace

bool IsNoteFolder(const std::u16string& path) noexcept {
  if (path.empty() || path.size() >= MAX_PATH) return false;
  if (path.find(u'\0') != std::u16string::npos) return false;
  const DWORD attributes = ::GetFileAttributesW(W(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

HRESULT OpenNoteInNoteProcess(const std::u16string& folder) noexcept {
  try {
    if (!NamesFolder(folder)) return E_INVALIDARG;
    switch (HandToLivingProcess(folder)) {
      case THandOver::Taken:
        return S_OK;
      case THandOver::Refused:
        return E_INVALIDARG;
      case THandOver::NoProcess:
        break;
    }
    // A process on its way out still holds the mutex: the new one waits for it and then
    // serves the folder itself.
    return StartNoteProcess(folder);
  } catch (...) {
    return E_FAIL;
  }
}

int RunNoteProcess(const wchar_t* commandLine) noexcept {
  try {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(commandLine ? commandLine : L"", &argc);
    if (!argv) {
      Say(u"cannot read its command line");
      return kNoteExitUsage;
    }
    const std::u16string arg = argc == 2 ? U(argv[1]) : u"";
    ::LocalFree(argv);
    if (argc != 2 || arg.empty()) {
      Say(u"usage: QuilloNote.exe FOLDER | QuilloNote.exe --recover");
      return kNoteExitUsage;
    }
    std::u16string folder;
    if (arg != u"--recover") {
      // Absolute, since the request may be served by a process in another current folder.
      std::u16string full(MAX_PATH + 1, u'\0');
      const DWORD n = ::GetFullPathNameW(W(arg), static_cast<DWORD>(full.size()), W(&full[0]),
                                         nullptr);
      if (n == 0 || n >= full.size()) {
        Say(u"the folder's path is too long or invalid", arg);
        return kNoteExitBadFolder;
      }
      full.resize(n);
      folder = full;
      if (!IsNoteFolder(folder)) {
        Say(folder.size() >= MAX_PATH ? u"the folder's path is too long" : u"not a folder",
            folder);
        return kNoteExitBadFolder;
      }
    }
    return Run(folder);
  } catch (...) {
    Say(u"failed unexpectedly");
    return kNoteExitFailed;
  }
}
