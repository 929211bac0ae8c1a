#include "support/uComTestSupport.h"

#include <algorithm>

#include "common/uComPtr.h"
#include "common/uHandles.h"
#include "support/uTestSupport.h"

std::string TestProgramDir() {
  wchar_t path[MAX_PATH];
  DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::string p = Utf8(std::wstring(path, n));
  return p.substr(0, p.find_last_of('\\'));
}

std::string BuiltDllPath() { return TestProgramDir() + "\\Quillo.dll"; }

std::string ShippedPath(const std::string& relative) {
#ifdef QUILLO_SHIPPED_DIR
  // The tree is named by its host path; Wine shows the host's root as drive Z:.
  std::string dir = QUILLO_SHIPPED_DIR;
  std::replace(dir.begin(), dir.end(), '/', '\\');
  if (!dir.empty() && dir[0] == '\\') dir = "Z:" + dir;
  return dir + "\\" + relative;
#else
  (void)relative;
  return std::string();
#endif
}

namespace {
// GetProcAddress gives a generic pointer; the export's real type is known to the caller.
template <typename Fn>
Fn Export(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}
}  // namespace

TQuilloDll::TQuilloDll(const std::string& path) : module_(::LoadLibraryW(Wide(path).c_str())) {
  if (!module_) return;
  getClassObject_ = Export<GetClassObjectFn>(module_, "DllGetClassObject");
  canUnloadNow_ = Export<NoArgFn>(module_, "DllCanUnloadNow");
  registerServer_ = Export<NoArgFn>(module_, "DllRegisterServer");
  unregisterServer_ = Export<NoArgFn>(module_, "DllUnregisterServer");
  install_ = Export<InstallFn>(module_, "DllInstall");
  if (!getClassObject_ || !canUnloadNow_ || !registerServer_ || !unregisterServer_) Unload();
}

TQuilloDll::~TQuilloDll() { Unload(); }

void TQuilloDll::Unload() {
  if (module_) ::FreeLibrary(module_);
  module_ = nullptr;
}

HRESULT TQuilloDll::GetClassObject(REFCLSID classId, REFIID iid, void** out) const {
  return module_ ? getClassObject_(classId, iid, out) : E_UNEXPECTED;
}
HRESULT TQuilloDll::CanUnloadNow() const { return module_ ? canUnloadNow_() : E_UNEXPECTED; }
HRESULT TQuilloDll::Install(BOOL install, const wchar_t* cmdLine) const {
  return module_ && install_ ? install_(install, cmdLine) : E_UNEXPECTED;
}

HRESULT TQuilloDll::RegisterServer() const {
  return module_ ? registerServer_() : E_UNEXPECTED;
}
HRESULT TQuilloDll::UnregisterServer() const {
  return module_ ? unregisterServer_() : E_UNEXPECTED;
}

TClassesRootOverride::TClassesRootOverride(HKEY predefined) : predefined_(predefined) {
  static int counter = 0;
  path_ = "Software\\QuilloTest\\classes-" + std::to_string(::GetCurrentProcessId()) + "-" +
          std::to_string(++counter);
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &root_, nullptr) != ERROR_SUCCESS) {
    root_ = nullptr;
    return;
  }
  active_ = ::RegOverridePredefKey(predefined_, root_) == ERROR_SUCCESS;
}

TClassesRootOverride::~TClassesRootOverride() {
  if (active_) ::RegOverridePredefKey(predefined_, nullptr);
  if (root_) ::RegCloseKey(root_);
  ::RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
  ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\QuilloTest");
}

namespace {

void WalkKeys(HKEY key, const std::string& prefix, std::vector<std::string>& keys,
              TRegistryValues* values) {
  if (values) {
    for (DWORD i = 0;; ++i) {
      wchar_t name[16384];
      DWORD nameLen = 16384;
      DWORD type = 0;
      wchar_t data[2048];
      DWORD dataLen = sizeof data;
      if (::RegEnumValueW(key, i, name, &nameLen, nullptr, &type,
                          reinterpret_cast<BYTE*>(data), &dataLen) != ERROR_SUCCESS)
        break;
      std::string text;
      if (type == REG_SZ) {
        // Keep the stored units, terminator included, so that the length is checked too.
        text = Utf8(std::wstring(data, dataLen / sizeof(wchar_t)));
      } else {
        text = "<type " + std::to_string(type) + ">";
      }
      (*values)[prefix + "|" + Utf8(std::wstring(name, nameLen))] = text;
    }
  }
  for (DWORD i = 0;; ++i) {
    wchar_t wideName[256];
    DWORD nameLen = 256;
    if (::RegEnumKeyExW(key, i, wideName, &nameLen, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    const std::string name = Utf8(std::wstring(wideName, nameLen));
    std::string path = prefix.empty() ? name : prefix + "\\" + name;
    keys.push_back(path);
    TRegKey sub;
    if (::RegOpenKeyExW(key, wideName, 0, KEY_READ, sub.put()) == ERROR_SUCCESS)
      WalkKeys(sub.get(), path, keys, values);
  }
}

}  // namespace

TRegistryValues ReadValues(HKEY root) {
  std::vector<std::string> keys;
  TRegistryValues values;
  WalkKeys(root, "", keys, &values);
  return values;
}

std::vector<std::string> ReadKeys(HKEY root) {
  std::vector<std::string> keys;
  WalkKeys(root, "", keys, nullptr);
  std::sort(keys.begin(), keys.end());
  return keys;
}

bool KeyExists(HKEY root, const std::string& path) {
  TRegKey k;
  return ::RegOpenKeyExW(root, Wide(path).c_str(), 0, KEY_READ, k.put()) == ERROR_SUCCESS;
}

void CloseWindows(const std::vector<HWND>& windows) {
  for (HWND w : windows)
    if (::IsWindow(w)) ::PostMessageA(w, WM_CLOSE, 0, 0);
  // A closed note window frees itself through a posted message, on whichever thread it
  // lives: wait until each is gone.
  for (int round = 0; round < 500; ++round) {
    PumpMessages();
    bool left = false;
    for (HWND w : windows) left |= ::IsWindow(w) != FALSE;
    if (!left) break;
    ::Sleep(10);
  }
  // A form is let go just after its window, on its own thread.
  ::Sleep(50);
}

std::vector<HWND> NewWindows(const std::vector<HWND>& before, const std::vector<HWND>& after) {
  std::vector<HWND> fresh;
  for (HWND w : after)
    if (std::find(before.begin(), before.end(), w) == before.end()) fresh.push_back(w);
  return fresh;
}

TMessageBoxWatcher::TMessageBoxWatcher(const std::string& caption, DWORD timeoutMs)
    : caption_(caption), timeoutMs_(timeoutMs) {
  thread_ = ::CreateThread(nullptr, 0, &Run, this, 0, nullptr);
}

TMessageBoxWatcher::~TMessageBoxWatcher() { Wait(); }

bool TMessageBoxWatcher::Wait() {
  if (thread_) {
    ::WaitForSingleObject(thread_, INFINITE);
    ::CloseHandle(thread_);
    thread_ = nullptr;
  }
  return seen_;
}

namespace {
struct TBoxSearch {
  const std::string* caption;
  HWND found;
};
BOOL CALLBACK FindBox(HWND wnd, LPARAM param) {
  auto* search = reinterpret_cast<TBoxSearch*>(param);
  wchar_t cls[64] = {};
  wchar_t title[256] = {};
  ::GetClassNameW(wnd, cls, 64);
  ::GetWindowTextW(wnd, title, 256);
  if (std::wstring(cls) == L"#32770" && ::IsWindowVisible(wnd) &&
      *search->caption == Utf8(std::wstring(title))) {
    search->found = wnd;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

DWORD WINAPI TMessageBoxWatcher::Run(void* param) {
  auto* self = static_cast<TMessageBoxWatcher*>(param);
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < self->timeoutMs_) {
    TBoxSearch search{&self->caption_, nullptr};
    ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    if (search.found) {
      wchar_t text[1024] = {};
      ::GetDlgItemTextW(search.found, 0xFFFF, text, 1024);
      self->text_ = Utf8(std::wstring(text));
      self->owner_ = ::GetWindow(search.found, GW_OWNER);
      self->style_ = ::GetWindowLongPtrA(search.found, GWL_STYLE);
      self->seen_ = true;
      ::PostMessageW(search.found, WM_COMMAND, IDOK, 0);
      return 0;
    }
    ::Sleep(20);
  }
  return 0;
}

int RunProgram(const std::string& commandLine, DWORD timeoutMs) {
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::wstring cmd = Wide(commandLine);
  if (!::CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
    return -1;
  TKernelHandle process(pi.hProcess);
  TKernelHandle thread(pi.hThread);
  if (::WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 1);
    return -1;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  return static_cast<int>(code);
}

int Regsvr32(const std::string& args, DWORD timeoutMs) {
  wchar_t sys[MAX_PATH] = {};
  const UINT n = ::GetSystemDirectoryW(sys, MAX_PATH);
  return RunProgram("\"" + Utf8(std::wstring(sys, n)) + "\\regsvr32.exe\" " + args + " \"" +
                        BuiltDllPath() + "\"",
                    timeoutMs);
}

bool CopyFileTo(const std::string& from, const std::string& to) {
  return ::CopyFileW(Wide(from).c_str(), Wide(to).c_str(), FALSE) != FALSE;
}

TShellInvoke NoteCommand(const std::string& folder, IClassFactory* factory, REFCLSID classId) {
  TShellInvoke job;
  job.classId = classId;
  job.factory = factory;
  job.folder = Wide(folder);
  job.verb = L"Quillo.NewNote";
  return job;
}
