// QuilloSetup.exe as a user runs it, in a prefix where Quillo was never installed: a silent
// install, the file manager stand-in finding the handler of the installed 64-bit DLL and a note
// saved through it, the registry and uninstall entry it leaves, an install over it, and a silent
// uninstall that takes everything away from both registry views.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/uHandles.h"
#include "support/uComTestSupport.h"
#include "support/uTestSupport.h"

namespace {

constexpr char kClsid[] = "{7C3E5B12-9A4D-4F60-8E21-5D0B3A9C6F47}";
constexpr char kUninstallKey[] = "Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr int kSetupExitOk = 0, kSetupExitNo32Bit = 3;
constexpr DWORD kWaitMs = 300000;  // the 32-bit regsvr32 may run emulated

const std::vector<std::string> kQuilloKeys = {
    std::string("CLSID\\") + kClsid,
    std::string("CLSID\\") + kClsid + "\\InprocServer32",
    std::string("CLSID\\") + kClsid + "\\ProgID",
    "Directory\\Background\\shellex\\ContextMenuHandlers\\OrvQuillo",
    "Quillo.OrvQuillo",
    "Quillo.OrvQuillo\\Clsid",
};
const std::vector<std::string> kParentKeys = {
    "CLSID", "Directory", "Directory\\Background", "Directory\\Background\\shellex",
    "Directory\\Background\\shellex\\ContextMenuHandlers"};

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string InstallDir() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, path))) return "";
  return Utf8(std::wstring(path)) + "\\Quillo";
}

// A file's 8.3 path, as registration writes it for a path with a space.
std::string ShortPath(const std::string& path) {
  wchar_t shortPath[MAX_PATH] = {};
  ::GetShortPathNameW(Wide(path).c_str(), shortPath, MAX_PATH);
  return Utf8(std::wstring(shortPath));
}

// HKLM\Software\<path> in one registry view (KEY_WOW64_64KEY or KEY_WOW64_32KEY).
TRegKey OpenMachineKey(const std::string& path, REGSAM view) {
  TRegKey key;
  ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, ("Software\\" + path).c_str(), 0, KEY_READ | view,
                  key.put());
  return key;
}

// Every key of one view's classes. The 64-bit view shows the 32-bit one's store as its
// subkey Wow6432Node: that belongs to the other view, and is left out.
std::vector<std::string> ClassKeys(REGSAM view) {
  TRegKey classes = OpenMachineKey("Classes", view);
  std::vector<std::string> keys = classes ? ReadKeys(classes.get()) : std::vector<std::string>();
  keys.erase(std::remove_if(keys.begin(), keys.end(),
                            [](const std::string& key) { return key.rfind("Wow6432Node", 0) == 0; }),
             keys.end());
  return keys;
}

// The keys in "after" that are not in "before".
std::vector<std::string> Added(const std::vector<std::string>& before,
                               const std::vector<std::string>& after) {
  std::vector<std::string> added;
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                      std::back_inserter(added));
  return added;
}

bool IsQuilloKey(const std::string& key) {
  return std::find(kQuilloKeys.begin(), kQuilloKeys.end(), key) != kQuilloKeys.end();
}

// The Quillo keys that exist in one view.
std::vector<std::string> QuilloKeysIn(REGSAM view) {
  std::vector<std::string> found;
  for (const std::string& key : kQuilloKeys) {
    if (OpenMachineKey("Classes\\" + key, view)) found.push_back(key);
  }
  return found;
}

std::string StringValue(HKEY key, const char* name) {
  wchar_t data[1024] = {};
  DWORD size = sizeof data - sizeof(wchar_t), type = 0;
  if (::RegQueryValueExW(key, Wide(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return "(none)";
  return Utf8(std::wstring(data));
}

DWORD DwordValue(HKEY key, const char* name) {
  DWORD data = 0xDEADBEEF, size = sizeof data, type = 0;
  if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD)
    return 0xDEADBEEF;
  return data;
}

// How many uninstall entries in a view are Quillo's.
int QuilloEntries(REGSAM view) {
  TRegKey entries = OpenMachineKey(kUninstallKey, view);
  int count = 0;
  for (DWORD i = 0; entries; ++i) {
    char name[256];
    DWORD length = sizeof name;
    if (::RegEnumKeyExA(entries.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    TRegKey entry;
    if (::RegOpenKeyExA(entries.get(), name, 0, KEY_READ | view, entry.put()) == ERROR_SUCCESS &&
        StringValue(entry.get(), "DisplayName") == "Quillo")
      ++count;
  }
  return count;
}

// Whether this prefix runs 32-bit programs (the 32-bit regsvr32 needs them).
bool Runs32BitPrograms() {
  char windows[MAX_PATH] = {};
  ::GetWindowsDirectoryA(windows, MAX_PATH);
  return RunProgram(Quoted(std::string(windows) + "\\SysWOW64\\cmd.exe") + " /c exit 7", 60000) == 7;
}

int Install() { return RunProgram(Quoted(ShippedPath("x64\\QuilloSetup.exe")) + " /S", kWaitMs); }

// The uninstaller hands over to a copy of itself and returns at once: wait for the copy's work.
bool UninstallAndWait() {
  const std::string dir = InstallDir();
  if (RunProgram(Quoted(dir + "\\Uninstall.exe") + " /S", kWaitMs) != 0) return false;
  for (int i = 0; i < 600; ++i) {
    if (!FileExists(dir) && QuilloEntries(KEY_WOW64_64KEY) == 0 &&
        QuilloKeysIn(KEY_WOW64_64KEY).empty())
      return true;
    ::Sleep(100);
  }
  return false;
}

// Chooses "Quillo 파일 만들기" in the stand-in host on the folder, writes the note into the window
// that opens (whichever thread of the host made it), presses "만들기" and waits for the host to end.
// Returns the host's exit code, or a text saying what went wrong.
std::string SaveNoteThroughHost(const std::string& folder, const std::string& text,
                                const std::string& title) {
  std::wstring command = Wide(Quoted(TestProgramDir() + "\\QuilloHost.exe") +
                              " --invoke \"Quillo 파일 만들기\" " + Quoted(folder));
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
    return "the host did not start";
  TKernelHandle process(pi.hProcess), thread(pi.hThread);
  HWND note = nullptr;
  for (int i = 0; i < 300 && !note; ++i) {
    if (::WaitForSingleObject(process.get(), 100) == WAIT_OBJECT_0) break;
    const std::vector<HWND> notes = ProcessWindows(pi.dwProcessId, "TFormQuillo");
    if (!notes.empty()) note = notes.front();
  }
  std::string outcome;
  const TNoteControls c = note ? FindNoteControls(note) : TNoteControls();
  if (!note) {
    outcome = "no note window appeared";
  } else if (!c.memo || !c.title || !c.create) {
    outcome = "the note window lacks its controls";
  } else {
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(c.memo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(text).c_str()),
                          SMTO_ABORTIFHUNG, 10000, &ignored);
    ::SendMessageTimeoutW(c.title, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(title).c_str()),
                          SMTO_ABORTIFHUNG, 10000, &ignored);
    ::PostMessageW(c.create, BM_CLICK, 0, 0);
  }
  DWORD code = STILL_ACTIVE;
  if (::WaitForSingleObject(process.get(), 30000) == WAIT_OBJECT_0) {
    ::GetExitCodeProcess(process.get(), &code);
  } else {
    ::TerminateProcess(process.get(), 99);
    if (outcome.empty()) outcome = "the host did not end after the note window closed";
  }
  return outcome.empty() ? "exit " + std::to_string(code) : outcome;
}

TEST(Setup, InstallUseUpgradeAndUninstall) {
  const std::string setup = ShippedPath("x64\\QuilloSetup.exe");
  ASSERT_TRUE(FileExists(setup)) << setup << " is not built: sh scripts/build.sh";
  const std::string dir = InstallDir();
  ASSERT_FALSE(dir.empty());
  ASSERT_FALSE(FileExists(dir)) << "not a fresh prefix";
  // Without 32-bit programs the setup program must say that the 32-bit DLL is not registered;
  // with them, that part is judged by the test below.
  const bool runs32Bit = Runs32BitPrograms();
  auto installOk = [runs32Bit](int exitCode) {
    return exitCode == kSetupExitNo32Bit || (runs32Bit && exitCode == kSetupExitOk);
  };
  const std::vector<std::string> before = ClassKeys(KEY_WOW64_64KEY);
  ASSERT_FALSE(before.empty());

  const int firstExit = Install();
  ASSERT_TRUE(installOk(firstExit)) << "exit code " << firstExit;
  // Both DLLs as built, and the uninstaller.
  const struct { const char* installed; const char* shipped; } files[] = {
      {"\\Quillo.dll", "x64\\Quillo.dll"}, {"\\x86\\Quillo.dll", "Quillo.dll"}};
  for (const auto& f : files) {
    std::string installed, shipped;
    EXPECT_TRUE(ReadFileBytes(dir + f.installed, installed)) << f.installed;
    ASSERT_TRUE(ReadFileBytes(ShippedPath(f.shipped), shipped)) << f.shipped;
    EXPECT_TRUE(installed == shipped) << f.installed << " differs from " << f.shipped;
  }
  EXPECT_TRUE(FileExists(dir + "\\Uninstall.exe"));

  // The 64-bit view gained exactly Quillo's keys (and the parents a fresh prefix lacked), written
  // by the 64-bit DLL about itself.
  for (const std::string& key : Added(before, ClassKeys(KEY_WOW64_64KEY))) {
    EXPECT_TRUE(IsQuilloKey(key) || std::find(kParentKeys.begin(), kParentKeys.end(), key) !=
                                        kParentKeys.end())
        << "not Quillo's: " << key;
  }
  EXPECT_EQ(QuilloKeysIn(KEY_WOW64_64KEY), kQuilloKeys);
  {
    TRegKey server = OpenMachineKey(std::string("Classes\\CLSID\\") + kClsid + "\\InprocServer32",
                                    KEY_WOW64_64KEY);
    EXPECT_EQ(StringValue(server.get(), ""), ShortPath(dir + "\\Quillo.dll"));
    EXPECT_EQ(StringValue(server.get(), "ThreadingModel"), "Apartment");
  }

  // The uninstall entry, in the 64-bit view only.
  {
    TRegKey entry = OpenMachineKey(std::string(kUninstallKey) + "\\Quillo", KEY_WOW64_64KEY);
    ASSERT_TRUE(entry);
    const std::string uninstaller = Quoted(dir + "\\Uninstall.exe");
    const struct { const char* name; std::string value; } strings[] = {
        {"DisplayName", "Quillo"},
        {"DisplayVersion", "1.1.0.0"},
        {"Publisher", "the Quillo developers"},
        {"DisplayIcon", dir + "\\Uninstall.exe,0"},
        {"UninstallString", uninstaller},
        {"QuietUninstallString", uninstaller + " /S"},
        {"InstallLocation", dir},
    };
    for (const auto& s : strings) EXPECT_EQ(StringValue(entry.get(), s.name), s.value) << s.name;
    const DWORD size = DwordValue(entry.get(), "EstimatedSize");
    EXPECT_GE(size, 200u);  // KiB: both DLLs and the uninstaller
    EXPECT_LT(size, 2000u);
    EXPECT_EQ(DwordValue(entry.get(), "NoModify"), 1u);
    EXPECT_EQ(DwordValue(entry.get(), "NoRepair"), 1u);
  }
  EXPECT_EQ(QuilloEntries(KEY_WOW64_64KEY), 1);
  EXPECT_EQ(QuilloEntries(KEY_WOW64_32KEY), 0);

  // The host finds the handler through the registration and the note is saved through it.
  {
    TTempDir folder;
    EXPECT_EQ(SaveNoteThroughHost(folder.path(), "설치된 Quillo\r\nnote", "설치 메모"), "exit 0");
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(folder.File("설치 메모.txt"), bytes));
    EXPECT_EQ(bytes, InCodePage(CP_ACP, "설치된 Quillo\r\nnote"));
  }

  // Installing again upgrades in place, also while a program (Explorer) holds the DLL loaded:
  // one entry, the same keys, the DLL as built at its place.
  HMODULE held = ::LoadLibraryW(Wide(dir + "\\Quillo.dll").c_str());
  EXPECT_NE(held, nullptr);
  const int secondExit = Install();
  EXPECT_TRUE(installOk(secondExit)) << "exit code " << secondExit;
  if (held) ::FreeLibrary(held);
  std::string installed64, shipped64;
  EXPECT_TRUE(ReadFileBytes(dir + "\\Quillo.dll", installed64));
  EXPECT_TRUE(ReadFileBytes(ShippedPath("x64\\Quillo.dll"), shipped64));
  EXPECT_TRUE(installed64 == shipped64);
  EXPECT_EQ(QuilloEntries(KEY_WOW64_64KEY), 1);
  EXPECT_EQ(QuilloKeysIn(KEY_WOW64_64KEY), kQuilloKeys);

  // Uninstalling leaves nothing of Quillo: no key in either view, no file, no entry.
  EXPECT_TRUE(UninstallAndWait());
  EXPECT_FALSE(FileExists(dir)) << dir;
  EXPECT_EQ(QuilloKeysIn(KEY_WOW64_64KEY), std::vector<std::string>());
  EXPECT_EQ(QuilloKeysIn(KEY_WOW64_32KEY), std::vector<std::string>());
  EXPECT_EQ(QuilloEntries(KEY_WOW64_64KEY), 0);
  EXPECT_EQ(QuilloEntries(KEY_WOW64_32KEY), 0);
  for (const std::string& key : Added(before, ClassKeys(KEY_WOW64_64KEY))) {
    EXPECT_FALSE(IsQuilloKey(key)) << key;
  }
}

// The 32-bit DLL is registered by the 32-bit regsvr32 into the 32-bit view and taken out again.
TEST(Setup, X86DllRegisteredInThe32BitView) {
  if (!Runs32BitPrograms()) {
    GTEST_SKIP() << "this machine cannot run 32-bit programs, so the 32-bit regsvr32 cannot "
                    "register the x86 DLL here: not verified";
  }
  ASSERT_EQ(Install(), kSetupExitOk);
  EXPECT_EQ(QuilloKeysIn(KEY_WOW64_32KEY), kQuilloKeys);
  TRegKey server = OpenMachineKey(std::string("Classes\\CLSID\\") + kClsid + "\\InprocServer32",
                                  KEY_WOW64_32KEY);
  EXPECT_EQ(StringValue(server.get(), ""), ShortPath(InstallDir() + "\\x86\\Quillo.dll"));
  EXPECT_TRUE(UninstallAndWait());
  EXPECT_EQ(QuilloKeysIn(KEY_WOW64_32KEY), std::vector<std::string>());
  EXPECT_EQ(QuilloKeysIn(KEY_WOW64_64KEY), std::vector<std::string>());
}

}  // namespace
