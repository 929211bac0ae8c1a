#include "tools/uHostArgs.h"

#include <shellapi.h>

#include "tools/uHostOutput.h"

namespace {

void Usage() {
  Print(STD_ERROR_HANDLE,
        "usage: QuilloHost [--invoke TEXT] [--invoke-on-window-thread] [--list] [FOLDER]\n"
        "       QuilloHost --windows11 [FOLDER]\n");
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

}  // namespace

int ReadArguments(THostOptions& options) {
  const TArguments args;
  if (!args.argv) {
    Say("cannot read the command line (%lu)", ::GetLastError());
    return kExitUsage;
  }
  for (int i = 1; i < args.argc; ++i) {
    const std::wstring arg = args.argv[i];
    if (arg == L"--invoke" && i + 1 < args.argc) {
      options.scripted = true;
      options.invokeText = args.argv[++i];
    } else if (arg == L"--invoke-on-window-thread") {
      options.onWorker = false;
    } else if (arg == L"--list") {
      options.listOnly = true;
    } else if (arg == L"--windows11") {
      options.windows11 = true;
    } else if (!arg.empty() && arg[0] == L'-' && arg.size() > 1) {
      Usage();
      return kExitUsage;
    } else if (options.folder.empty()) {
      options.folder = arg;
    } else {
      Usage();
      return kExitUsage;
    }
  }
  if (options.folder.empty()) {
    wchar_t cwd[MAX_PATH] = {};
    const DWORD n = ::GetCurrentDirectoryW(MAX_PATH, cwd);
    if (n == 0 || n >= MAX_PATH) {
      Say("cannot read the current folder (%lu)", ::GetLastError());
      return kExitFolder;
    }
    options.folder = cwd;
  }
  return kExitOk;
}

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
  const HRESULT hr =
      name.empty() ? E_INVALIDARG
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
