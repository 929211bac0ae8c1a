// QuilloSetup.exe as a user runs it, in a prefix where Quillo was never installed, in both its
// modes (for all users, and for the current user only): a silent install, the registry and
// uninstall entry it leaves and the files it puts, the file manager stand-in finding the handler
// of the installed 64-bit DLL and a note saved through it (all users only: Wine does not merge a
// user's own classes into HKEY_CLASSES_ROOT, where the stand-in looks), an install over it, and a
// silent uninstall that takes everything away from both registry views. On Windows 11 (as the
// prefix's build number says) the package is registered and removed again through PowerShell,
// here a stand-in that records what it was told.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/uHandles.h"
#include "support/uComTestSupport.h"
#include "support/uTestSupport.h"

namespace {

constexpr char kClsid[] = "{7C3E5B12-9A4D-4F60-8E21-5D0B3A9C6F47}";
constexpr char kUninstallKey[] = "Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kApprovedKey[] = "Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
constexpr int kSetupExitOk = 0, kSetupExitNo32Bit = 3;
constexpr DWORD kWaitMs = 300000;  // the 32-bit regsvr32 may run emulated
constexpr char kActiveSetupKey[] =
    "Microsoft\\Active Setup\\Installed Components\\{5E8B2C41-7D3A-4F96-B0E5-2A1C9D4F6B83}";
constexpr char kRemoveOld[] = "Get-AppxPackage -Name 'Quillo.ContextMenu' | Remove-AppxPackage";
constexpr char kRemoveAll[] =
    "Get-AppxPackage -AllUsers -Name 'Quillo.ContextMenu' | Remove-AppxPackage -AllUsers";

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

// One way to install: what the setup program is told, where its files, classes and entry go.
struct TMode {
  const char* name;
  const char* firstSwitch;  // the first install's
  const char* againSwitch;  // the install over it
  HKEY root;                // classes and entry under its Software
  int folder;               // CSIDL_..., with the place below it
  const char* place;
  const char* approved;     // the user's Approved value for the class
};
void PrintTo(const TMode& mode, std::ostream* out) { *out << mode.name; }

// An administrator's silent install without a switch is for all users, as it always was. Wine
// runs the setup program as an administrator: /CurrentUser must still install for the user only.
const TMode kModes[] = {
    {"AllUsers", "", "/AllUsers", HKEY_LOCAL_MACHINE, CSIDL_PROGRAM_FILES, "\\Quillo", "(none)"},
    {"CurrentUser", "/CurrentUser", "/CurrentUser", HKEY_CURRENT_USER, CSIDL_LOCAL_APPDATA,
     "\\Programs\\Quillo", "Quillo"},
};
const TMode& kAllUsers = kModes[0];

std::string InstallDir(const TMode& mode) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, mode.folder, nullptr, 0, path))) return "";
  return Utf8(std::wstring(path)) + mode.place;
}

// A file's 8.3 path, as registration writes it for a path with a space.
std::string ShortPath(const std::string& path) {
  wchar_t shortPath[MAX_PATH] = {};
  ::GetShortPathNameW(Wide(path).c_str(), shortPath, MAX_PATH);
  return Utf8(std::wstring(shortPath));
}

// <root>\Software\<path> in one registry view (KEY_WOW64_64KEY or KEY_WOW64_32KEY).
TRegKey OpenKey(HKEY root, const std::string& path, REGSAM view) {
  TRegKey key;
  ::RegOpenKeyExW(root, Wide("Software\\" + path).c_str(), 0, KEY_READ | view, key.put());
  return key;
}

// Every key of one view's classes. The 64-bit view shows the 32-bit one's store as its
// subkey Wow6432Node: that belongs to the other view, and is left out.
std::vector<std::string> ClassKeys(HKEY root, REGSAM view) {
  TRegKey classes = OpenKey(root, "Classes", view);
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

// The Quillo keys that exist in one view of a root's classes.
std::vector<std::string> QuilloKeysIn(HKEY root, REGSAM view) {
  std::vector<std::string> found;
  for (const std::string& key : kQuilloKeys) {
    if (OpenKey(root, "Classes\\" + key, view)) found.push_back(key);
  }
  return found;
}

// The Quillo keys in HKEY_CLASSES_ROOT as Wine shows it: the machine's classes only.
std::vector<std::string> QuilloKeysInClassesRoot() {
  std::vector<std::string> found;
  for (const std::string& key : kQuilloKeys) {
    if (KeyExists(HKEY_CLASSES_ROOT, key)) found.push_back(key);
  }
  return found;
}

// No Quillo key in either view of either root.
bool NoQuilloKeys() {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
      if (!QuilloKeysIn(root, view).empty()) return false;
    }
  }
  return QuilloKeysInClassesRoot().empty();
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

// How many uninstall entries in a view of a root are Quillo's.
int QuilloEntries(HKEY root, REGSAM view) {
  TRegKey entries = OpenKey(root, kUninstallKey, view);
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

// The user's Approved value for the class, "(none)" without one.
std::string Approved() {
  return StringValue(OpenKey(HKEY_CURRENT_USER, kApprovedKey, KEY_WOW64_64KEY).get(), kClsid);
}

// The prefix as a Windows of the given build, with a stand-in PowerShell where Windows keeps it
// (and in system32, where a careless caller would look) that records each command line.
class TPowerShell {
 public:
  TPowerShell(const char* build, int exitCode, const char* says) {
    TRegKey version;
    ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                    KEY_SET_VALUE | KEY_WOW64_64KEY, version.put());
    ::RegSetValueExA(version.get(), "CurrentBuildNumber", 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(build), static_cast<DWORD>(strlen(build) + 1));
    char system[MAX_PATH] = {};
    ::GetSystemDirectoryA(system, MAX_PATH);
    program_ = std::string(system) + "\\WindowsPowerShell\\v1.0\\powershell.exe";
    ::CreateDirectoryA((std::string(system) + "\\WindowsPowerShell").c_str(), nullptr);
    ::CreateDirectoryA((std::string(system) + "\\WindowsPowerShell\\v1.0").c_str(), nullptr);
    const std::string standIn = TestProgramDir() + "\\standin\\powershell.exe";
    ok_ = CopyFileTo(standIn, program_) && CopyFileTo(standIn, std::string(system) + "\\powershell.exe");
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    log_ = std::string(temp) + "quillo-powershell.log";
    ::DeleteFileA(log_.c_str());
    ::SetEnvironmentVariableA("QUILLO_POWERSHELL_LOG", log_.c_str());
    ::SetEnvironmentVariableA("QUILLO_POWERSHELL_EXIT", std::to_string(exitCode).c_str());
    ::SetEnvironmentVariableA("QUILLO_POWERSHELL_SAYS", says);
  }
  bool ok() const { return ok_; }
  // A command line as the setup program must give it.
  std::string Call(const std::string& command) const {
    return Quoted(program_) + " -NoProfile -NonInteractive -Command " + Quoted(command);
  }
  std::vector<std::string> Calls() const {
    std::string bytes;
    std::vector<std::string> calls;
    if (!ReadFileBytes(log_, bytes)) return calls;
    for (size_t at = 0, end; (end = bytes.find('\n', at)) != std::string::npos; at = end + 1)
      calls.push_back(bytes.substr(at, end - at));
    return calls;
  }
  std::string LastCall() const {
    const std::vector<std::string> calls = Calls();
    return calls.empty() ? "(none)" : calls.back();
  }
  const std::string& program() const { return program_; }

 private:
  std::string program_, log_;
  bool ok_ = false;
};

// The registration, which reads the install folder from the mode's uninstall entry: no folder's
// name ever becomes PowerShell's text.
std::string AddPackage(HKEY root) {
  return std::string("$d = (Get-ItemProperty -LiteralPath '") +
         (root == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCU") +
         ":\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillo').InstallLocation; "
         "Add-AppxPackage -Path (Join-Path $d 'Quillo.msix') -ExternalLocation $d";
}

// The family the setup program noted for the classic handler, "(none)" without it.
std::string NotedFamily() {
  return StringValue(OpenKey(HKEY_CURRENT_USER, "Quillo", KEY_WOW64_64KEY).get(), "PackageFamily");
}

// The install folder's Setup.log (UTF-16), as UTF-8.
std::string SetupLog(const std::string& dir) {
  std::string bytes;
  if (!ReadFileBytes(dir + "\\Setup.log", bytes) || bytes.size() < 2) return "";
  std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
  return Utf8(text);
}

int Install(const std::string& option) {
  return RunProgram(Quoted(ShippedPath("x64\\QuilloSetup.exe")) + " /S " + option, kWaitMs);
}

// The uninstaller hands over to a copy of itself and returns at once: wait for the copy's work.
bool UninstallAndWait(const TMode& mode, std::string dir = std::string()) {
  if (dir.empty()) dir = InstallDir(mode);
  if (RunProgram(Quoted(dir + "\\Uninstall.exe") + " /S", kWaitMs) != 0) return false;
  for (int i = 0; i < 600; ++i) {
    if (!FileExists(dir) && QuilloEntries(mode.root, KEY_WOW64_64KEY) == 0 && NoQuilloKeys())
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

class SetupMode : public ::testing::TestWithParam<TMode> {};

TEST_P(SetupMode, InstallUseUpgradeAndUninstall) {
  const TMode& mode = GetParam();
  const std::string setup = ShippedPath("x64\\QuilloSetup.exe");
  ASSERT_TRUE(FileExists(setup)) << setup << " is not built: sh scripts/build.sh";
  const std::string dir = InstallDir(mode);
  ASSERT_FALSE(dir.empty());
  for (const TMode& m : kModes) ASSERT_FALSE(FileExists(InstallDir(m))) << "not a fresh prefix";
  // Without 32-bit programs the setup program must say that the 32-bit DLL is not registered;
  // with them, that part is judged by the test below.
  const bool runs32Bit = Runs32BitPrograms();
  auto installOk = [runs32Bit](int exitCode) {
    return exitCode == kSetupExitNo32Bit || (runs32Bit && exitCode == kSetupExitOk);
  };
  ASSERT_FALSE(ClassKeys(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY).empty());
  const std::vector<std::string> before = ClassKeys(mode.root, KEY_WOW64_64KEY);
  const HKEY otherRoot = mode.root == HKEY_LOCAL_MACHINE ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  const bool forAllUsers = mode.root == HKEY_LOCAL_MACHINE;
  const TPowerShell powerShell("22631", 0, "");
  ASSERT_TRUE(powerShell.ok());

  // What an install leaves, the first one and the one over it.
  auto expectInstalled = [&](const char* which) {
    SCOPED_TRACE(which);
    // Both DLLs as built, and the uninstaller, in this mode's folder only.
    const struct { const char* installed; const char* shipped; } files[] = {
        {"\\Quillo.dll", "x64\\Quillo.dll"}, {"\\x86\\Quillo.dll", "Quillo.dll"}};
    for (const auto& f : files) {
      std::string installed, shipped;
      EXPECT_TRUE(ReadFileBytes(dir + f.installed, installed)) << f.installed;
      ASSERT_TRUE(ReadFileBytes(ShippedPath(f.shipped), shipped)) << f.shipped;
      EXPECT_TRUE(installed == shipped) << f.installed << " differs from " << f.shipped;
    }
    EXPECT_TRUE(FileExists(dir + "\\Uninstall.exe"));
    std::string package, shippedPackage;
    EXPECT_TRUE(ReadFileBytes(dir + "\\Quillo.msix", package));
    ASSERT_TRUE(ReadFileBytes(ShippedPath("x64\\Quillo.msix"), shippedPackage));
    EXPECT_TRUE(package == shippedPackage) << "Quillo.msix differs from the one built";
    EXPECT_TRUE(FileExists(dir + "\\Quillo.png"));
    // The note program where the build made one (the package names it as its executable).
    std::string note, shippedNote;
    if (ReadFileBytes(ShippedPath("x64\\QuilloNote.exe"), shippedNote)) {
      EXPECT_TRUE(ReadFileBytes(dir + "\\QuilloNote.exe", note) && note == shippedNote);
    } else {
      EXPECT_FALSE(FileExists(dir + "\\QuilloNote.exe"));
    }
    // Registered for this user, which the classic handler learns through the family noted.
    EXPECT_EQ(powerShell.LastCall(), powerShell.Call(AddPackage(mode.root)));
    const std::string family = NotedFamily();
    EXPECT_EQ(family.rfind("Quillo.ContextMenu_", 0), 0u) << family;
    EXPECT_EQ(family.size(), std::string("Quillo.ContextMenu_").size() + 13) << family;
    // For all users, every other user gets the same at the next sign-in.
    TRegKey activeSetup = OpenKey(HKEY_LOCAL_MACHINE, kActiveSetupKey, KEY_WOW64_64KEY);
    EXPECT_EQ(static_cast<bool>(activeSetup), forAllUsers);
    if (forAllUsers) {
      EXPECT_EQ(StringValue(activeSetup.get(), "Version"), "1,1,0,0");
      EXPECT_EQ(StringValue(activeSetup.get(), "StubPath"),
                Quoted(powerShell.program()) +
                    " -NoProfile -NonInteractive -WindowStyle Hidden -Command " +
                    Quoted(AddPackage(HKEY_LOCAL_MACHINE) +
                       "; if ($?) { reg.exe add 'HKCU\\Software\\Quillo' /v PackageFamily /d '" +
                       family + "' /f } else { reg.exe delete 'HKCU\\Software\\" +
                       kActiveSetupKey + "' /f }"));
    }
    for (const TMode& m : kModes) {
      EXPECT_EQ(FileExists(InstallDir(m)), m.root == mode.root) << m.name;
    }

    // This mode's classes gained exactly Quillo's keys (and the parents a fresh prefix
    // lacked), written by the 64-bit DLL about itself; no other place holds any.
    for (const std::string& key : Added(before, ClassKeys(mode.root, KEY_WOW64_64KEY))) {
      EXPECT_TRUE(IsQuilloKey(key) || std::find(kParentKeys.begin(), kParentKeys.end(), key) !=
                                          kParentKeys.end())
          << "not Quillo's: " << key;
    }
    EXPECT_EQ(QuilloKeysIn(mode.root, KEY_WOW64_64KEY), kQuilloKeys);
    EXPECT_EQ(QuilloKeysIn(otherRoot, KEY_WOW64_64KEY), std::vector<std::string>());
    EXPECT_EQ(QuilloKeysIn(otherRoot, KEY_WOW64_32KEY), std::vector<std::string>());
    EXPECT_EQ(QuilloKeysInClassesRoot(), forAllUsers ? kQuilloKeys : std::vector<std::string>());
    TRegKey server = OpenKey(
        mode.root, std::string("Classes\\CLSID\\") + kClsid + "\\InprocServer32", KEY_WOW64_64KEY);
    EXPECT_EQ(StringValue(server.get(), ""), ShortPath(dir + "\\Quillo.dll"));
    EXPECT_EQ(StringValue(server.get(), "ThreadingModel"), "Apartment");
    EXPECT_EQ(Approved(), mode.approved);
    // One uninstall entry, in this mode's root (in the 64-bit view of the machine's).
    EXPECT_EQ(QuilloEntries(mode.root, KEY_WOW64_64KEY), 1);
    EXPECT_EQ(QuilloEntries(otherRoot, KEY_WOW64_64KEY), 0);
    EXPECT_EQ(QuilloEntries(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY), 0);
  };

  const int firstExit = Install(mode.firstSwitch);
  ASSERT_TRUE(installOk(firstExit)) << "exit code " << firstExit;
  expectInstalled("first install");
  EXPECT_EQ(powerShell.Calls(), std::vector<std::string>{powerShell.Call(AddPackage(mode.root))});
  if (forAllUsers) {
    // What another user's sign-in runs (Active Setup): the same registration, for them.
    TRegKey activeSetup = OpenKey(HKEY_LOCAL_MACHINE, kActiveSetupKey, KEY_WOW64_64KEY);
    EXPECT_EQ(RunProgram(StringValue(activeSetup.get(), "StubPath")), 0);
    EXPECT_EQ(powerShell.Calls().size(), 2u);
  }
  const size_t callsBeforeUpgrade = powerShell.Calls().size();
  {
    TRegKey entry = OpenKey(mode.root, std::string(kUninstallKey) + "\\Quillo", KEY_WOW64_64KEY);
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

  // The host finds the handler through the registration and the note is saved through it.
  if (forAllUsers) {
    TTempDir folder;
    EXPECT_EQ(SaveNoteThroughHost(folder.path(), "설치된 Quillo\r\nnote", "설치 메모"), "exit 0");
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(folder.File("설치 메모.txt"), bytes));
    EXPECT_EQ(bytes, InCodePage(CP_ACP, "설치된 Quillo\r\nnote"));
  }

  // Installing again upgrades in place, also while a program (Explorer) holds the DLL loaded.
  HMODULE held = ::LoadLibraryW(Wide(dir + "\\Quillo.dll").c_str());
  EXPECT_NE(held, nullptr);
  const int secondExit = Install(mode.againSwitch);
  EXPECT_TRUE(installOk(secondExit)) << "exit code " << secondExit;
  if (held) ::FreeLibrary(held);
  expectInstalled("install over it");
  // The upgrade took the earlier registration away before adding the package again.
  const std::vector<std::string> upgradeCalls = {powerShell.Call(kRemoveOld),
                                                 powerShell.Call(AddPackage(mode.root))};
  const std::vector<std::string> calls = powerShell.Calls();
  EXPECT_EQ(std::vector<std::string>(calls.begin() + std::min(callsBeforeUpgrade, calls.size()),
                                     calls.end()),
            upgradeCalls);

  // Quillo's folder in the profile: the drafts folder empty (all users), or holding a draft
  // (one user), which is unsaved text and stays.
  wchar_t localAppData[MAX_PATH] = {};
  ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, localAppData), S_OK);
  const std::string profileDir = Utf8(std::wstring(localAppData)) + "\\Quillo";
  ::CreateDirectoryW(Wide(profileDir).c_str(), nullptr);
  ::CreateDirectoryW(Wide(profileDir + "\\Drafts").c_str(), nullptr);
  const std::string draft = profileDir + "\\Drafts\\kept.draft";
  if (!forAllUsers) {
    ASSERT_TRUE(WriteFileBytes(draft, "unsaved"));
  }

  // Uninstalling leaves nothing of Quillo: no key in either view, no file, no entry, no empty
  // folder in the profile.
  EXPECT_TRUE(UninstallAndWait(mode));
  EXPECT_FALSE(FileExists(dir)) << dir;
  EXPECT_EQ(FileExists(profileDir), !forAllUsers);
  EXPECT_EQ(FileExists(draft), !forAllUsers);
  ::DeleteFileW(Wide(draft).c_str());
  ::RemoveDirectoryW(Wide(profileDir + "\\Drafts").c_str());
  ::RemoveDirectoryW(Wide(profileDir).c_str());
  // The package went for this user, or for every user; nothing registers it any more.
  EXPECT_EQ(powerShell.LastCall(), powerShell.Call(forAllUsers ? kRemoveAll : kRemoveOld));
  EXPECT_FALSE(OpenKey(HKEY_LOCAL_MACHINE, kActiveSetupKey, KEY_WOW64_64KEY));
  EXPECT_EQ(NotedFamily(), "(none)");
  EXPECT_TRUE(NoQuilloKeys());
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    EXPECT_EQ(QuilloEntries(root, KEY_WOW64_64KEY), 0);
  }
  EXPECT_EQ(QuilloEntries(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY), 0);
  EXPECT_EQ(Approved(), "(none)");
  for (const std::string& key : Added(before, ClassKeys(mode.root, KEY_WOW64_64KEY))) {
    EXPECT_FALSE(IsQuilloKey(key)) << key;
  }
}

INSTANTIATE_TEST_SUITE_P(Setup, SetupMode, ::testing::ValuesIn(kModes),
                         [](const ::testing::TestParamInfo<TMode>& info) {
                           return std::string(info.param.name);
                         });

// Windows before build 22000 gets no package (its menu has one level: the classic item is the
// one), Windows 11 from its first build does, and takes it away at uninstall. A registration that
// fails (here as for a certificate Windows does not trust) fails no install: the classic item
// stays, no family is noted, Setup.log says why, and for all users no one else is asked to
// register at sign-in (Active Setup).
TEST(Setup, PackageOnlyOnWindows11AndNoInstallFailsForIt) {
  struct Case { const char* what; const TMode& mode; const char* build; int exitCode;
                const char* says; size_t installCalls, uninstallCalls; bool noted;
                const char* logged; };
  const Case cases[] = {
      {"Windows 10", kModes[1], "19045", 0, "", 0, 0, false, "19045"},
      {"the build before Windows 11", kModes[1], "21999", 0, "", 0, 0, false, "21999"},
      {"Windows 11's first build", kModes[1], "22000", 0, "", 1, 2, true, ""},
      {"untrusted certificate", kModes[1], "22631", 1,
       "Add-AppxPackage : Deployment failed with HRESULT: 0x800B0109", 1, 2, false, "0x800B0109"},
      {"untrusted certificate, for all users", kAllUsers, "22631", 1,
       "Add-AppxPackage : Deployment failed with HRESULT: 0x800B0109", 1, 2, false, "0x800B0109"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TMode& mode = c.mode;
    const TPowerShell powerShell(c.build, c.exitCode, c.says);
    ASSERT_TRUE(powerShell.ok());
    const int exitCode = Install(mode.firstSwitch);
    EXPECT_TRUE(exitCode == kSetupExitOk || exitCode == kSetupExitNo32Bit) << exitCode;
    EXPECT_EQ(QuilloKeysIn(mode.root, KEY_WOW64_64KEY), kQuilloKeys);
    EXPECT_EQ(powerShell.Calls().size(), c.installCalls);
    EXPECT_EQ(NotedFamily() != "(none)", c.noted) << NotedFamily();
    EXPECT_FALSE(OpenKey(HKEY_LOCAL_MACHINE, kActiveSetupKey, KEY_WOW64_64KEY));
    EXPECT_NE(SetupLog(InstallDir(mode)).find(c.logged), std::string::npos)
        << SetupLog(InstallDir(mode));
    EXPECT_TRUE(UninstallAndWait(mode));
    EXPECT_EQ(powerShell.Calls().size(), c.uninstallCalls);
    if (c.uninstallCalls) {
      EXPECT_EQ(powerShell.LastCall(),
                powerShell.Call(mode.root == HKEY_LOCAL_MACHINE ? kRemoveAll : kRemoveOld));
    }
  }
}

// /D= installs into the folder it names, in either mode, and the uninstaller removes it from
// there. The folder's name may hold what would end a PowerShell string ("’") and a command:
// PowerShell gets the very same command as for any folder, and no name in it.
TEST(Setup, ChosenFolderOfAnyName) {
  for (const TMode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    TTempDir parent("quillo-setup");
    const std::string dir = parent.File("O’Brien; echo pwned") + "\\Quillo";
    const TPowerShell powerShell("22631", 0, "");
    ASSERT_TRUE(powerShell.ok());
    const int exitCode = Install(std::string(mode.firstSwitch) + " /D=" + dir);
    EXPECT_TRUE(exitCode == kSetupExitOk || exitCode == kSetupExitNo32Bit) << exitCode;
    EXPECT_TRUE(FileExists(dir + "\\Quillo.dll")) << dir;
    EXPECT_TRUE(FileExists(dir + "\\Uninstall.exe")) << dir;
    EXPECT_FALSE(FileExists(InstallDir(mode))) << "installed in the mode's own folder";
    TRegKey entry = OpenKey(mode.root, std::string(kUninstallKey) + "\\Quillo", KEY_WOW64_64KEY);
    EXPECT_EQ(StringValue(entry.get(), "InstallLocation"), dir);
    EXPECT_EQ(powerShell.Calls(), std::vector<std::string>{powerShell.Call(AddPackage(mode.root))});
    TRegKey activeSetup = OpenKey(HKEY_LOCAL_MACHINE, kActiveSetupKey, KEY_WOW64_64KEY);
    EXPECT_EQ(StringValue(activeSetup.get(), "StubPath").find("pwned"), std::string::npos);
    EXPECT_TRUE(UninstallAndWait(mode, dir));
    EXPECT_FALSE(FileExists(dir)) << dir;
    EXPECT_TRUE(NoQuilloKeys());
  }
}

// Both regsvr32 programs (the native one in system32, the x86 one in SysWOW64) replaced by the
// recording stand-in for as long as this lives: the ARM64 DLL cannot load under x64 Wine.
class TStandInRegsvr {
 public:
  TStandInRegsvr() {
    char windows[MAX_PATH] = {}, system[MAX_PATH] = {};
    ::GetWindowsDirectoryA(windows, MAX_PATH);
    ::GetSystemDirectoryA(system, MAX_PATH);
    paths_[0] = std::string(system) + "\\regsvr32.exe";
    paths_[1] = std::string(windows) + "\\SysWOW64\\regsvr32.exe";
    // Wine runs its own regsvr32 for system32's unless told to take the file there.
    ok_ = ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", 0, nullptr, 0,
                            KEY_SET_VALUE, nullptr, overrides_.put(), nullptr) == ERROR_SUCCESS &&
          ::RegSetValueExW(overrides_.get(), L"regsvr32.exe", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(L"native"), sizeof L"native") ==
              ERROR_SUCCESS;
    for (int i = 0; i < 2; ++i) {
      // A prefix without 32-bit Wine has no x86 regsvr32 at all.
      existed_[i] = ReadFileBytes(paths_[i], saved_[i]);
      ok_ = CopyFileTo(TestProgramDir() + "\\standin\\powershell.exe", paths_[i]) && ok_;
    }
  }
  ~TStandInRegsvr() {
    if (overrides_) ::RegDeleteValueW(overrides_.get(), L"regsvr32.exe");
    for (int i = 0; i < 2; ++i) {
      if (existed_[i]) {
        WriteFileBytes(paths_[i], saved_[i]);
      } else {
        ::DeleteFileA(paths_[i].c_str());
      }
    }
  }
  bool ok() const { return ok_; }
  // The command line the setup program must give the native (0) or the x86 (1) one.
  std::string Call(int which, const std::string& args, const std::string& dll) const {
    return Quoted(paths_[which]) + " /s " + args + " " + Quoted(dll);
  }

 private:
  std::string paths_[2], saved_[2];
  bool existed_[2] = {false, false};
  TRegKey overrides_;
  bool ok_ = false;
};

// The machine's native architecture picks the 64-bit DLL, the note process and the package;
// 32-bit programs get the x86 DLL everywhere; any other machine gets nothing and exit code 2.
// Each DLL goes to the regsvr32 of its own kind, and the uninstaller undoes it the same way.
TEST(Setup, NativeArchitectureTable) {
  struct Row { const char* arch; int exitCode; const char* dll; const char* note;
               const char* package; };
  const Row rows[] = {
      {"x64", kSetupExitOk, "x64\\Quillo.dll", "x64\\QuilloNote.exe", "x64\\Quillo.msix"},
      {"arm64", kSetupExitOk, "arm64\\Quillo.dll", "arm64\\QuilloNote.exe",
       "arm64\\Quillo-arm64.msix"},
      {"x86", 2, nullptr, nullptr, nullptr},
      {"ia64", 2, nullptr, nullptr, nullptr},
  };
  const TMode& mode = kModes[1];
  const std::string dir = InstallDir(mode);
  const std::string args = "/n /i:user";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arch);
    const TPowerShell powerShell("22631", 0, "");
    const TStandInRegsvr regsvr;
    ASSERT_TRUE(powerShell.ok() && regsvr.ok());
    EXPECT_EQ(Install(std::string(mode.firstSwitch) + " /QUILLOARCH=" + row.arch), row.exitCode);
    if (!row.dll) {
      EXPECT_FALSE(FileExists(dir));
      EXPECT_EQ(QuilloEntries(mode.root, KEY_WOW64_64KEY), 0);
      EXPECT_EQ(powerShell.Calls(), std::vector<std::string>());
      continue;
    }
    const struct { std::string installed; const char* shipped; } files[] = {
        {"\\Quillo.dll", row.dll}, {"\\QuilloNote.exe", row.note},
        {"\\Quillo.msix", row.package}, {"\\x86\\Quillo.dll", "Quillo.dll"}};
    for (const auto& f : files) {
      std::string installed, shipped;
      EXPECT_TRUE(ReadFileBytes(dir + f.installed, installed)) << f.installed;
      ASSERT_TRUE(ReadFileBytes(ShippedPath(f.shipped), shipped)) << f.shipped;
      EXPECT_TRUE(installed == shipped) << f.installed << " is not " << f.shipped;
    }
    // The x86 DLL first (the 32-bit view), then the native one, then the package.
    EXPECT_EQ(powerShell.Calls(),
              (std::vector<std::string>{regsvr.Call(1, args, dir + "\\x86\\Quillo.dll"),
                                        regsvr.Call(0, args, dir + "\\Quillo.dll"),
                                        powerShell.Call(AddPackage(mode.root))}));
    EXPECT_EQ(QuilloEntries(mode.root, KEY_WOW64_64KEY), 1);
    EXPECT_EQ(RunProgram(Quoted(dir + "\\Uninstall.exe") + " /S", kWaitMs), 0);
    for (int i = 0; i < 600 && FileExists(dir); ++i) ::Sleep(100);
    EXPECT_FALSE(FileExists(dir));
    const std::vector<std::string> calls = powerShell.Calls();
    EXPECT_EQ(std::vector<std::string>(calls.begin() + std::min<size_t>(3, calls.size()), calls.end()),
              (std::vector<std::string>{powerShell.Call(kRemoveOld),
                                        regsvr.Call(0, "/u " + args, dir + "\\Quillo.dll"),
                                        regsvr.Call(1, "/u " + args, dir + "\\x86\\Quillo.dll")}));
  }
}

// The 32-bit DLL is registered by the 32-bit regsvr32 into the 32-bit view and taken out again.
// The view of its own is the class's: the other keys are in classes both views share.
TEST(Setup, X86DllRegisteredInThe32BitView) {
  if (!Runs32BitPrograms()) {
    GTEST_SKIP() << "this machine cannot run 32-bit programs, so the 32-bit regsvr32 cannot "
                    "register the x86 DLL here: not verified";
  }
  ASSERT_EQ(Install(kAllUsers.firstSwitch), kSetupExitOk);
  for (const std::string& key : kQuilloKeys) {
    if (key.rfind("CLSID\\", 0) == 0) {
      EXPECT_TRUE(OpenKey(HKEY_LOCAL_MACHINE, "Classes\\" + key, KEY_WOW64_32KEY)) << key;
    }
  }
  TRegKey server = OpenKey(HKEY_LOCAL_MACHINE,
                           std::string("Classes\\CLSID\\") + kClsid + "\\InprocServer32",
                           KEY_WOW64_32KEY);
  EXPECT_EQ(StringValue(server.get(), ""), ShortPath(InstallDir(kAllUsers) + "\\x86\\Quillo.dll"));
  EXPECT_TRUE(UninstallAndWait(kAllUsers));
  EXPECT_TRUE(NoQuilloKeys());
}

}  // namespace
