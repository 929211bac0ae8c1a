// QuilloHost: plays the file manager's part for one folder's background, through the public
// shell-extension contract only. It finds the background menu handlers in the registry, makes
// each with CoCreateInstance (so the COM runtime reads their registration), initialises them
// with the folder, lets them fill a popup menu, invokes the chosen command, lets them go, and
// then pumps its apartment thread until no visible window of its process is left.
//
//   QuilloHost [--invoke TEXT] [--invoke-on-window-thread] [--list] [FOLDER]
//
// Without --invoke the folder's background is a small window: the menu opens at the cursor
// (once at the start, and on every right-click). With --invoke the item whose text is TEXT
// is chosen without showing anything. --list prints the menu and exits. Everything is wide:
// the arguments are read as UTF-16 whatever the system's code page, menus and the folder's
// path too; what the host prints goes to a console as UTF-16, and anywhere else (a pipe, a
// file) as UTF-8.
//
// The chosen command is invoked as the current file manager does: the item's canonical verb
// is read (GCS_VERBW), and a worker thread with its own apartment creates a second handler,
// initialises it, fills a menu, invokes the verb (CMINVOKECOMMANDINFOEX, Unicode and ANSI
// verb), lets everything go, uninitialises COM and ends at once; without a verb the item is
// found again by its text and invoked by its offset. --invoke-on-window-thread invokes the
// first handler by offset on the window thread instead, as older file managers did.
//
// Exit codes: 0 done, 1 usage or COM start-up, 2 folder missing or without a file-system path,
// 3 no handler registered, 4 the item was not found or its command failed.
#include <objbase.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/uComPtr.h"
#include "common/uHandles.h"

namespace {

constexpr wchar_t kHandlersKey[] = L"Directory\\Background\\shellex\\ContextMenuHandlers";
constexpr wchar_t kBackgroundKey[] = L"Directory\\Background";
constexpr wchar_t kHostClass[] = L"QuilloHostWindow";

// Handlers share the identifiers 1..0x7FFF; the host's own items sit above them.
constexpr UINT kFirstHandlerId = 1;
constexpr UINT kLastHandlerId = 0x7FFF;
constexpr UINT kIdView = 0x8001, kIdRefresh = 0x8002, kIdProperties = 0x8003;

constexpr UINT kTimerMs = 1000;
constexpr DWORD kUnloadDelayMs = 1000;
constexpr UINT WM_HOST_SHOWMENU = WM_APP + 1;

enum ExitCode { kExitOk = 0, kExitUsage = 1, kExitFolder = 2, kExitNoHandler = 3, kExitInvoke = 4 };

std::wstring FromBytes(UINT codePage, const std::string& s) {
  if (s.empty()) return std::wstring();
  const int n = ::MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring w(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

std::string ToBytes(UINT codePage, const std::wstring& w) {
  if (w.empty()) return std::string();
  const int n = ::WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), nullptr,
                                      0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string a(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), &a[0], n, nullptr,
                        nullptr);
  return a;
}

// The host's own texts are UTF-8 while it formats them.
std::string Utf8(const std::wstring& w) { return ToBytes(CP_UTF8, w); }

// Readable wherever it goes: a console takes UTF-16, so that no code page stands between the
// text and the screen; a pipe or a file gets UTF-8.
void Print(DWORD stdHandle, const std::string& utf8) {
  const HANDLE out = ::GetStdHandle(stdHandle);
  if (!out || out == INVALID_HANDLE_VALUE || utf8.empty()) return;
  DWORD mode = 0, done = 0;
  if (::GetConsoleMode(out, &mode)) {
    const std::wstring w = FromBytes(CP_UTF8, utf8);
    ::WriteConsoleW(out, w.data(), static_cast<DWORD>(w.size()), &done, nullptr);
  } else {
    ::WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &done, nullptr);
  }
}

// printf-style, UTF-8 arguments.
void Say(const char* fmt, ...) {
  char text[2048];
  va_list args;
  va_start(args, fmt);
  const int n = std::vsnprintf(text, sizeof text, fmt, args);
  va_end(args);
  if (n < 0) return;
  Print(STD_ERROR_HANDLE, std::string("QuilloHost: ") + text + "\n");
}

// An item identifier list from the shell's allocator.
struct TPidlTraits {
  static PIDLIST_ABSOLUTE Invalid() noexcept { return nullptr; }
  static void Close(PIDLIST_ABSOLUTE p) noexcept { ::CoTaskMemFree(p); }
};
using TPidl = TUniqueHandle<PIDLIST_ABSOLUTE, TPidlTraits>;

// OleInitialize / OleUninitialize for the thread's life in the apartment.
class TOleScope {
 public:
  TOleScope() noexcept : hr_(::OleInitialize(nullptr)) {}
  ~TOleScope() {
    if (SUCCEEDED(hr_)) ::OleUninitialize();
  }
  HRESULT result() const noexcept { return hr_; }

 private:
  HRESULT hr_;
};

class TComScope {
 public:
  TComScope() noexcept : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~TComScope() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  HRESULT result() const noexcept { return hr_; }

 private:
  HRESULT hr_;
};

// The folder as the shell knows it.
struct TFolder {
  TPidl pidl;
  std::wstring path;  // its file-system path, as the shell gives it
};

// The folder's absolute identifier list, checked to be a file-system folder that exists.
int OpenFolder(const std::wstring& given, TFolder& folder) {
  // A file-system name is made absolute and checked first: the shell's parser is not meant
  // for names that do not exist (Wine's even crashes on some). Namespace names ("::{...}",
  // "shell:...") go to the parser as they are.
  std::wstring name = given;
  if (given.rfind(L"::", 0) != 0 && given.rfind(L"shell:", 0) != 0) {
    wchar_t full[MAX_PATH] = {};
    const DWORD n = ::GetFullPathNameW(given.c_str(), MAX_PATH, full, nullptr);
    if (n == 0 || n >= MAX_PATH) {
      const DWORD error = ::GetLastError();
      Say("the folder \"%s\" does not exist (%lu)", Utf8(given).c_str(), error);
      return kExitFolder;
    }
    const DWORD fa = ::GetFileAttributesW(full);
    if (fa == INVALID_FILE_ATTRIBUTES || !(fa & FILE_ATTRIBUTE_DIRECTORY)) {
      Say("\"%s\" is not a folder that exists", Utf8(full).c_str());
      return kExitFolder;
    }
    name = full;
  }
  SFGAOF attrs = 0;
  HRESULT hr = name.empty() ? E_INVALIDARG
                            : ::SHParseDisplayName(name.c_str(), nullptr, folder.pidl.put(), 0, &attrs);
  if (FAILED(hr) || !folder.pidl) {
    Say("the folder \"%s\" does not exist (0x%08lX)", Utf8(name).c_str(),
        static_cast<unsigned long>(hr));
    return kExitFolder;
  }
  wchar_t path[MAX_PATH + 1] = {};
  if (!::SHGetPathFromIDListW(folder.pidl.get(), path)) {
    Say("\"%s\" has no file-system path", Utf8(name).c_str());
    return kExitFolder;
  }
  const DWORD fa = ::GetFileAttributesW(path);
  if (fa == INVALID_FILE_ATTRIBUTES || !(fa & FILE_ATTRIBUTE_DIRECTORY)) {
    Say("the folder \"%s\" does not exist", Utf8(path).c_str());
    return kExitFolder;
  }
  folder.path = path;
  return kExitOk;
}

// Each registered handler: the subkey's default value names its class, or else the subkey's
// own name does (both forms are in use).
std::vector<CLSID> RegisteredHandlers() {
  std::vector<CLSID> found;
  TRegKey key;
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, kHandlersKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return found;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLen = 256;
    LONG rc = ::RegEnumKeyExW(key.get(), i, name, &nameLen, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) continue;
    std::wstring candidates[2];
    TRegKey sub;
    if (::RegOpenKeyExW(key.get(), name, 0, KEY_READ, sub.put()) == ERROR_SUCCESS) {
      wchar_t value[256] = {};
      DWORD type = 0, size = sizeof value - sizeof(wchar_t);
      if (::RegQueryValueExW(sub.get(), L"", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
              ERROR_SUCCESS && type == REG_SZ)
        candidates[0] = value;
    }
    candidates[1] = name;
    for (std::wstring& text : candidates) {
      CLSID clsid;
      if (!text.empty() && text[0] == L'{' && SUCCEEDED(::CLSIDFromString(&text[0], &clsid))) {
        found.push_back(clsid);
        break;
      }
    }
  }
  return found;
}

std::string ClsidText(const CLSID& clsid) {
  wchar_t w[64] = {};
  if (!::StringFromGUID2(clsid, w, 64)) return "?";
  return Utf8(w);
}

// One handler's share of the menu's identifiers.
struct THandlerRange {
  TComPtr<IContextMenu> menu;
  UINT first = 0;
  UINT count = 0;
};

// A background menu as the file manager builds it: its own items, and the handlers' items
// inserted before "Properties".
struct TBackgroundMenu {
  TMenu menu;
  std::vector<THandlerRange> handlers;

  // The handler that owns a command identifier, with the identifier's offset in its range.
  IContextMenu* Owner(UINT id, UINT& offset) const {
    for (const auto& h : handlers) {
      if (id >= h.first && id < h.first + h.count) {
        offset = id - h.first;
        return h.menu.get();
      }
    }
    return nullptr;
  }
};

HRESULT AppendItem(HMENU menu, UINT id, const wchar_t* text) {
  MENUITEMINFOW mii = {};
  mii.cbSize = sizeof mii;
  if (text) {
    mii.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE;
    mii.fType = MFT_STRING;
    mii.wID = id;
    mii.dwTypeData = const_cast<wchar_t*>(text);
  } else {
    mii.fMask = MIIM_FTYPE;
    mii.fType = MFT_SEPARATOR;
  }
  return ::InsertMenuItemW(menu, ::GetMenuItemCount(menu), TRUE, &mii)
             ? S_OK
             : HRESULT_FROM_WIN32(::GetLastError());
}

// Creates every registered handler and lets each add its items. Handlers that cannot be
// created or refuse the folder are left out, as the file manager leaves them out.
int BuildMenu(const TFolder& folder, const std::vector<CLSID>& classes, TBackgroundMenu& out,
              bool verbose) {
  out.menu.reset(::CreatePopupMenu());
  if (!out.menu) {
    Say("CreatePopupMenu failed (%lu)", ::GetLastError());
    return kExitUsage;
  }
  HRESULT hr = S_OK;
  for (const auto& [id, text] : {std::pair<UINT, const wchar_t*>{kIdView, L"보기(&V)"},
                                 {kIdRefresh, L"새로 고침(&E)"}, {0, nullptr}, {0, nullptr},
                                 {kIdProperties, L"속성(&R)"}}) {
    if (FAILED(hr = AppendItem(out.menu.get(), id, text))) {
      Say("cannot build the menu (0x%08lX)", static_cast<unsigned long>(hr));
      return kExitUsage;
    }
  }
  TRegKey progId;
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, kBackgroundKey, 0, KEY_READ, progId.put()) != ERROR_SUCCESS)
    progId.reset();

  UINT next = kFirstHandlerId;
  for (const CLSID& clsid : classes) {
    TComPtr<IShellExtInit> init;
    hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.put_void());
    if (FAILED(hr)) {
      if (verbose) Say("handler %s: not created (0x%08lX)", ClsidText(clsid).c_str(), static_cast<unsigned long>(hr));
      continue;
    }
    hr = init->Initialize(folder.pidl.get(), nullptr, progId.get());
    if (FAILED(hr)) {
      if (verbose) Say("handler %s: refused the folder (0x%08lX)", ClsidText(clsid).c_str(), static_cast<unsigned long>(hr));
      continue;
    }
    THandlerRange range;
    hr = init->QueryInterface(IID_IContextMenu, range.menu.put_void());
    if (FAILED(hr) || !range.menu) {
      if (verbose) Say("handler %s: no IContextMenu (0x%08lX)", ClsidText(clsid).c_str(), static_cast<unsigned long>(hr));
      continue;
    }
    if (next > kLastHandlerId) break;
    // Handlers go between the two separators, each after the ones before it.
    const int count = ::GetMenuItemCount(out.menu.get());
    const UINT position = count >= 2 ? static_cast<UINT>(count - 2) : 0;
    hr = range.menu->QueryContextMenu(out.menu.get(), position, next, kLastHandlerId, CMF_NORMAL);
    if (FAILED(hr)) {
      if (verbose) Say("handler %s: QueryContextMenu failed (0x%08lX)", ClsidText(clsid).c_str(), static_cast<unsigned long>(hr));
      continue;
    }
    range.first = next;
    range.count = HRESULT_CODE(hr);
    if (range.count > kLastHandlerId + 1 - next) range.count = kLastHandlerId + 1 - next;
    next += range.count;
    out.handlers.push_back(std::move(range));
  }
  return kExitOk;
}

std::wstring MenuText(HMENU menu, int pos) {
  wchar_t text[512] = {};
  int n = ::GetMenuStringW(menu, static_cast<UINT>(pos), text, 512, MF_BYPOSITION);
  return n > 0 ? std::wstring(text, static_cast<size_t>(n)) : std::wstring();
}

std::wstring WithoutMnemonic(const std::wstring& s) {
  std::wstring r;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == L'&' && i + 1 < s.size()) ++i;
    r += s[i];
  }
  return r;
}

// The command identifier of the item that reads TEXT (exactly, or without its mnemonic
// marks), searched through submenus too; 0 when there is none.
UINT FindItem(HMENU menu, const std::wstring& text) {
  const int count = ::GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    if (HMENU sub = ::GetSubMenu(menu, i)) {
      if (UINT id = FindItem(sub, text)) return id;
      continue;
    }
    const std::wstring item = MenuText(menu, i);
    if (!item.empty() && (item == text || WithoutMnemonic(item) == text)) {
      const UINT id = ::GetMenuItemID(menu, i);
      if (id != static_cast<UINT>(-1)) return id;
    }
  }
  return 0;
}

void ListMenu(HMENU menu, int depth, std::string& out) {
  const int count = ::GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    HMENU sub = ::GetSubMenu(menu, i);
    const std::wstring text = MenuText(menu, i);
    out.append(static_cast<size_t>(depth) * 2, ' ');
    if (text.empty() && !sub)
      out += "-\n";
    else
      out += Utf8(text) + (sub ? " >\n" : "\n");
    if (sub) ListMenu(sub, depth + 1, out);
  }
}

void PrintMenu(HMENU menu, int depth) {
  std::string out;
  ListMenu(menu, depth, out);
  Print(STD_OUTPUT_HANDLE, out);
}

// The plain record older file managers fill: the ANSI fields only, in the system's code page.
HRESULT Invoke(IContextMenu* handler, UINT offset, HWND owner, const std::wstring& folder) {
  const std::string folderA = ToBytes(CP_ACP, folder);
  CMINVOKECOMMANDINFO ici = {};
  ici.cbSize = sizeof ici;
  ici.hwnd = owner;
  ici.lpVerb = MAKEINTRESOURCEA(offset);
  ici.lpDirectory = folderA.c_str();
  ici.nShow = SW_SHOWNORMAL;
  return handler->InvokeCommand(&ici);
}

// By the canonical verb, in both forms, as the current file manager invokes.
HRESULT InvokeVerb(IContextMenu* handler, const std::wstring& verb, HWND owner,
                   const std::wstring& folder) {
  const std::string verbA = ToBytes(CP_ACP, verb);
  const std::string folderA = ToBytes(CP_ACP, folder);
  CMINVOKECOMMANDINFOEX ici = {};
  ici.cbSize = sizeof ici;
  ici.fMask = CMIC_MASK_UNICODE;
  ici.hwnd = owner;
  ici.lpVerb = verbA.c_str();
  ici.lpVerbW = verb.c_str();
  ici.lpDirectory = folderA.c_str();
  ici.lpDirectoryW = folder.c_str();
  ici.nShow = SW_SHOWNORMAL;
  return handler->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&ici));
}

// The handler's canonical verb for an item, empty when it offers none.
std::wstring VerbOf(IContextMenu* handler, UINT offset) {
  wchar_t verb[256] = {};
  HRESULT hr = handler->GetCommandString(offset, GCS_VERBW, nullptr,
                                         reinterpret_cast<char*>(verb), 256);
  verb[255] = 0;
  return SUCCEEDED(hr) ? std::wstring(verb) : std::wstring();
}

// The visible top-level windows of this process, whichever thread made them.
struct TVisibleWindows {
  std::vector<HWND> windows;
  static BOOL CALLBACK Add(HWND wnd, LPARAM self) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(wnd))
      reinterpret_cast<TVisibleWindows*>(self)->windows.push_back(wnd);
    return TRUE;
  }
  TVisibleWindows() { ::EnumWindows(&TVisibleWindows::Add, reinterpret_cast<LPARAM>(this)); }
};

std::string Caption(HWND wnd) {
  wchar_t text[256] = {};
  ::GetWindowTextW(wnd, text, 256);
  return Utf8(text);
}

// What the worker thread needs to find the chosen item again, and what it saw.
struct TWorkerJob {
  const TFolder* folder = nullptr;
  std::vector<CLSID> classes;
  std::wstring verb;  // the handler's canonical verb, if it offers one
  std::wstring text;  // the item's text, to find it by resemblance otherwise
  HWND host = nullptr;
  HRESULT result = E_FAIL;
};

DWORD WINAPI WorkerMain(LPVOID param) {
  auto* job = static_cast<TWorkerJob*>(param);
  try {
    TComScope com;
    if (FAILED(com.result())) {
      Say("worker: CoInitializeEx failed (0x%08lX)", static_cast<unsigned long>(com.result()));
    } else {
      TBackgroundMenu menu;
      if (BuildMenu(*job->folder, job->classes, menu, false) == kExitOk) {
        IContextMenu* owner = nullptr;
        UINT offset = 0;
        if (!job->verb.empty()) {
          // The file manager asks each handler whether the verb is one of its own.
          for (const auto& h : menu.handlers)
            for (UINT i = 0; i < h.count && !owner; ++i)
              if (VerbOf(h.menu.get(), i) == job->verb) owner = h.menu.get(), offset = i;
        } else {
          owner = menu.Owner(FindItem(menu.menu.get(), job->text), offset);
        }
        if (!owner) {
          Say("worker: the item is not in the worker's menu");
        } else {
          job->result = job->verb.empty()
                            ? Invoke(owner, offset, job->host, job->folder->path)
                            : InvokeVerb(owner, job->verb, job->host, job->folder->path);
          const std::vector<HWND> windows = TVisibleWindows().windows;
          Say("worker: InvokeCommand returned 0x%08lX; the process shows %u window(s); the "
              "worker ends now",
              static_cast<unsigned long>(job->result), static_cast<unsigned>(windows.size()));
          for (HWND w : windows) Say("worker:   window \"%s\"", Caption(w).c_str());
        }
      }
    }  // the handlers are released here, before the apartment ends
  } catch (...) {
    Say("worker: failed");
  }
  return 0;
}

class THost {
 public:
  THost(const TFolder& folder, std::vector<CLSID> classes, bool onWorker)
      : folder_(folder), classes_(std::move(classes)), onWorker_(onWorker) {}
  ~THost() {
    if (worker_) ::WaitForSingleObject(worker_.get(), INFINITE);
  }

  bool CreateHostWindow(bool visible) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &THost::WndProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kHostClass;
    if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    const std::wstring caption = L"QuilloHost - " + folder_.path;
    wnd_ = ::CreateWindowExW(0, kHostClass, caption.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                             CW_USEDEFAULT, 420, 240, nullptr, nullptr, wc.hInstance, this);
    if (!wnd_) return false;
    if (visible) {
      ::ShowWindow(wnd_, SW_SHOWNORMAL);
      ::UpdateWindow(wnd_);
    }
    // A thread timer, so that it outlives the host's window. Failing to set it costs only the
    // unloading of unused libraries and the check for a finished worker.
    timer_ = ::SetTimer(nullptr, 0, kTimerMs, &THost::OnTimer);
    if (!timer_) Say("SetTimer failed (%lu)", ::GetLastError());
    return true;
  }

  HWND window() const { return wnd_; }

  // Builds the menu, lets the user (or TEXT) choose, and invokes the choice. Returns an exit code.
  int RightClick(const std::wstring* scripted, bool listOnly, POINT at) {
    TBackgroundMenu menu;
    int rc = BuildMenu(folder_, classes_, menu, true);
    if (rc != kExitOk) return rc;
    if (listOnly) {
      PrintMenu(menu.menu.get(), 0);
      return kExitOk;
    }
    UINT id = 0;
    if (scripted) {
      id = FindItem(menu.menu.get(), *scripted);
      if (!id) {
        Say("no menu item reads \"%s\"; the menu holds:", Utf8(*scripted).c_str());
        PrintMenu(menu.menu.get(), 1);
        return kExitInvoke;
      }
    } else {
      // The menu needs its owner in the foreground to close when the user clicks elsewhere.
      ::SetForegroundWindow(wnd_);
      id = static_cast<UINT>(::TrackPopupMenu(menu.menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                              at.x, at.y, 0, wnd_, nullptr));
      ::PostMessageW(wnd_, WM_NULL, 0, 0);
      if (!id) return kExitOk;  // dismissed
    }
    UINT offset = 0;
    IContextMenu* owner = menu.Owner(id, offset);
    if (!owner) return kExitOk;  // one of the host's own items: nothing to do here
    const std::wstring text = [&] {
      wchar_t t[512] = {};
      ::GetMenuStringW(menu.menu.get(), id, t, 512, MF_BYCOMMAND);
      return std::wstring(t);
    }();
    if (onWorker_) return HandToWorker(owner, offset, text);
    const HRESULT hr = Invoke(owner, offset, wnd_, folder_.path);
    if (FAILED(hr)) {
      Say("InvokeCommand failed (0x%08lX)", static_cast<unsigned long>(hr));
      return kExitInvoke;
    }
    return kExitOk;
  }  // the handlers are released here, once the command has been invoked, as the file manager does

  // The plain loop of the thread's apartment; returns once no visible window of the thread is
  // left (and no worker is running).
  int Run() {
    MSG msg;
    while (!Finished()) {
      BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0) break;  // WM_QUIT
      if (got == -1) {
        Say("GetMessage failed (%lu)", ::GetLastError());
        return kExitUsage;
      }
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    return exitCode_;
  }

  void Stop() {
    if (timer_) ::KillTimer(nullptr, timer_);
    timer_ = 0;
    if (wnd_) ::DestroyWindow(wnd_);
    wnd_ = nullptr;
  }

 private:
  int HandToWorker(IContextMenu* owner, UINT offset, const std::wstring& text) {
    // One worker at a time: the job it reads is the host's.
    if (worker_) {
      ::WaitForSingleObject(worker_.get(), INFINITE);
      WorkerDone();
    }
    job_.folder = &folder_;
    job_.classes = classes_;
    job_.verb = VerbOf(owner, offset);
    job_.text = text;
    job_.host = wnd_;
    Say("handing the command to a worker thread (verb \"%s\", text \"%s\")",
        Utf8(job_.verb).c_str(), Utf8(text).c_str());
    DWORD id = 0;
    worker_.reset(::CreateThread(nullptr, 0, &WorkerMain, &job_, 0, &id));
    if (!worker_) {
      Say("CreateThread failed (%lu)", ::GetLastError());
      return kExitInvoke;
    }
    return kExitOk;
  }

  void WorkerDone() {
    if (!worker_) return;
    ::WaitForSingleObject(worker_.get(), INFINITE);
    worker_.reset();
    Say("worker ended: the process shows %u window(s)",
        static_cast<unsigned>(TVisibleWindows().windows.size()));
    if (FAILED(job_.result)) exitCode_ = kExitInvoke;
  }

  // Called after every message and on every tick: the host is done when its process shows
  // no window any more, whichever thread made it (a handler may keep its windows on a thread
  // of its own). A closing window may still wait for its posted release, so the queue is
  // drained first.
  bool Finished() {
    if (worker_ && ::WaitForSingleObject(worker_.get(), 0) == WAIT_OBJECT_0) WorkerDone();
    if (worker_) return false;
    if (!TVisibleWindows().windows.empty()) return false;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return true;
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    return TVisibleWindows().windows.empty() && !worker_;
  }

  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    try {
      ::CoFreeUnusedLibrariesEx(kUnloadDelayMs, 0);
    } catch (...) {
    }
  }

  static LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    try {
      if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        ::SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
      }
      auto* self = reinterpret_cast<THost*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
      if (self) {
        switch (msg) {
          case WM_CONTEXTMENU:
          case WM_HOST_SHOWMENU: {
            POINT at;
            if (msg == WM_CONTEXTMENU && lp != -1) {
              at.x = static_cast<short>(LOWORD(lp));
              at.y = static_cast<short>(HIWORD(lp));
            } else if (!::GetCursorPos(&at)) {
              at = POINT{100, 100};
            }
            const int rc = self->RightClick(nullptr, false, at);
            if (rc != kExitOk) self->exitCode_ = rc;
            return 0;
          }
          case WM_PAINT: {
            TPaintDC dc(wnd);
            RECT r;
            ::GetClientRect(wnd, &r);
            const std::wstring text = L"이 창의 빈 곳을 오른쪽 단추로 누르세요.\n" + self->folder_.path;
            ::SetBkMode(dc.get(), TRANSPARENT);
            ::DrawTextW(dc.get(), text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_WORDBREAK);
            return 0;
          }
          case WM_DESTROY:
            if (self->wnd_ == wnd) self->wnd_ = nullptr;
            return 0;
          default:
            break;
        }
      }
      return ::DefWindowProcW(wnd, msg, wp, lp);
    } catch (...) {
      return 0;
    }
  }

  const TFolder& folder_;
  std::vector<CLSID> classes_;
  bool onWorker_;
  HWND wnd_ = nullptr;
  UINT_PTR timer_ = 0;
  TKernelHandle worker_;
  TWorkerJob job_;
  int exitCode_ = kExitOk;
};

void Usage() {
  Print(STD_ERROR_HANDLE,
        "usage: QuilloHost [--invoke TEXT] [--invoke-on-window-thread] [--list] [FOLDER]\n");
}

// The command line as UTF-16 arguments: the narrow ones would hold only what the system's
// code page can spell.
struct TArguments {
  TArguments() : argv(::CommandLineToArgvW(::GetCommandLineW(), &argc)) {}
  ~TArguments() { ::LocalFree(argv); }
  TArguments(const TArguments&) = delete;
  TArguments& operator=(const TArguments&) = delete;
  int argc = 0;
  wchar_t** argv;
};

int HostMain() {
  const TArguments args;
  if (!args.argv) {
    Say("cannot read the command line (%lu)", ::GetLastError());
    return kExitUsage;
  }
  std::wstring folderName;
  std::wstring invokeText;
  bool scripted = false, onWorker = true, listOnly = false;
  for (int i = 1; i < args.argc; ++i) {
    const std::wstring arg = args.argv[i];
    if (arg == L"--invoke" && i + 1 < args.argc) {
      scripted = true;
      invokeText = args.argv[++i];
    } else if (arg == L"--invoke-on-window-thread") {
      onWorker = false;
    } else if (arg == L"--list") {
      listOnly = true;
    } else if (!arg.empty() && arg[0] == L'-' && arg.size() > 1) {
      Usage();
      return kExitUsage;
    } else if (folderName.empty()) {
      folderName = arg;
    } else {
      Usage();
      return kExitUsage;
    }
  }
  if (folderName.empty()) {
    wchar_t cwd[MAX_PATH] = {};
    const DWORD n = ::GetCurrentDirectoryW(MAX_PATH, cwd);
    if (n == 0 || n >= MAX_PATH) {
      Say("cannot read the current folder (%lu)", ::GetLastError());
      return kExitFolder;
    }
    folderName = cwd;
  }

  TOleScope ole;
  if (FAILED(ole.result())) {
    Say("OleInitialize failed (0x%08lX)", static_cast<unsigned long>(ole.result()));
    return kExitUsage;
  }
  int rc;
  {
    TFolder folder;
    if ((rc = OpenFolder(folderName, folder)) != kExitOk) return rc;
    std::vector<CLSID> classes = RegisteredHandlers();
    if (classes.empty()) {
      Say("no context menu handler is registered for folder backgrounds (HKCR\\%s)",
          Utf8(kHandlersKey).c_str());
      return kExitNoHandler;
    }
    THost host(folder, std::move(classes), onWorker);
    if (!host.CreateHostWindow(!scripted && !listOnly)) {
      Say("cannot create the host window (%lu)", ::GetLastError());
      return kExitUsage;
    }
    if (listOnly || scripted) {
      // The host's window stays hidden in these modes; it still owns what the command opens.
      rc = host.RightClick(scripted ? &invokeText : nullptr, listOnly, POINT{0, 0});
      if (rc != kExitOk || listOnly) {
        host.Stop();
        return rc;
      }
    } else {
      ::PostMessageW(host.window(), WM_HOST_SHOWMENU, 0, 0);  // the menu opens once by itself
    }
    rc = host.Run();
    host.Stop();
  }
  ::CoFreeUnusedLibrariesEx(0, 0);
  return rc;
}

}  // namespace

int main() {
  try {
    return HostMain();
  } catch (...) {
    Say("failed unexpectedly");
    return kExitUsage;
  }
}
