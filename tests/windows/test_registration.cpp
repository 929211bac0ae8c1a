// DllRegisterServer and DllUnregisterServer against a private HKEY_CLASSES_ROOT, and Wine's
// own regsvr32 against the real one.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "common/uHandles.h"
#include "server/uComRegistry.h"
#include "support/uComTestSupport.h"
#include "support/uTestSupport.h"

namespace {

const std::string kClsid = "{7C3E5B12-9A4D-4F60-8E21-5D0B3A9C6F47}";
const std::string kClassKey = "CLSID\\" + kClsid;
const std::string kServerKey = kClassKey + "\\InprocServer32";
const std::string kHandlerKey = "Directory\\Background\\shellex\\ContextMenuHandlers\\OrvQuillo";

// A REG_SZ value as stored: the text and its terminating zero.
std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

TRegistryValues Expected(const std::string& modulePath, const std::string& progId) {
  return {
      {kClassKey + "|", Sz("")},
      {kServerKey + "|", Sz(modulePath)},
      {kServerKey + "|ThreadingModel", Sz("Apartment")},
      {progId + "|", Sz("")},
      {progId + "\\Clsid|", Sz(kClsid)},
      {kClassKey + "\\ProgID|", Sz(progId)},
      {kHandlerKey + "|", Sz(kClsid)},
  };
}

const std::vector<std::string> kParentKeys = {
    "CLSID", "Directory", "Directory\\Background", "Directory\\Background\\shellex",
    "Directory\\Background\\shellex\\ContextMenuHandlers"};

std::string LongPath(const std::string& path) {
  wchar_t buf[MAX_PATH];
  DWORD n = ::GetLongPathNameW(Wide(path).c_str(), buf, MAX_PATH);
  return n && n < MAX_PATH ? Utf8(std::wstring(buf, n)) : path;
}

std::string ShortPath(const std::string& path) {
  wchar_t buf[MAX_PATH];
  DWORD n = ::GetShortPathNameW(Wide(path).c_str(), buf, MAX_PATH);
  return n && n < MAX_PATH ? Utf8(std::wstring(buf, n)) : std::string();
}

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(classes.Active()) << "RegOverridePredefKey"; }
  TClassesRootOverride classes;
};

TEST_F(RegistrationTest, SevenValuesInSixKeys) {
  TQuilloDll dll;
  ASSERT_TRUE(dll.Loaded());
  ASSERT_EQ(dll.RegisterServer(), S_OK);
  const TRegistryValues values = ReadValues(classes.Root());
  EXPECT_EQ(values, Expected(LongPath(BuiltDllPath()), "Quillo.OrvQuillo"));
  std::vector<std::string> keysWithValues;
  for (const auto& v : values) {
    std::string key = v.first.substr(0, v.first.find('|'));
    if (keysWithValues.empty() || keysWithValues.back() != key) keysWithValues.push_back(key);
  }
  EXPECT_EQ(values.size(), 7u);
  EXPECT_EQ(keysWithValues.size(), 6u);

  // Registering again writes the same entries over themselves.
  ASSERT_EQ(dll.RegisterServer(), S_OK);
  EXPECT_EQ(ReadValues(classes.Root()), values);

  ASSERT_EQ(dll.UnregisterServer(), S_OK);
  EXPECT_EQ(ReadValues(classes.Root()), TRegistryValues());
  EXPECT_EQ(ReadKeys(classes.Root()), kParentKeys);  // parents stay
  EXPECT_EQ(dll.UnregisterServer(), S_OK);
  EXPECT_EQ(dll.CanUnloadNow(), S_OK);
}

// Written wide: a folder named outside the system's code page is registered as it is named.
TEST_F(RegistrationTest, ModulePathInLongFormOrShortWhenItHasASpace) {
  TTempDir spaced("Quillo Space");
  TTempDir plain("QuilloLongFolderName");
  TTempDir foreign("QuilloThưMục📝");  // Vietnamese and an emoji: in neither 949 nor 1252
  struct Case { std::string folder; std::string file; bool loadShort; };
  const std::vector<Case> cases = {
      {spaced.path(), "Quillo.dll", false},
      {spaced.path(), "Quillo.dll", true},
      {plain.path(), "Quillo.dll", true},    // loaded by its 8.3 path, registered long
      {plain.path(), "Quillo.dll", false},
      {plain.path(), "Notes Two.dll", false},  // the space is in the file name
      {foreign.path(), "Quillo.dll", false},
      {foreign.path(), "Quillo.dll", true},
      {foreign.path(), "Ghi chú.dll", false},  // a space, so the 8.3 form
  };
  for (const auto& c : cases) {
    const std::string longPath = LongPath(c.folder + "\\" + c.file);
    ASSERT_TRUE(CopyFileTo(BuiltDllPath(), longPath));
    const std::string shortPath = ShortPath(longPath);
    ASSERT_FALSE(shortPath.empty());
    ASSERT_EQ(shortPath.find(' '), std::string::npos);
    TQuilloDll dll(c.loadShort ? shortPath : longPath);
    ASSERT_TRUE(dll.Loaded()) << longPath;
    ASSERT_EQ(dll.RegisterServer(), S_OK);
    const bool spaceInLong = longPath.find(' ') != std::string::npos;
    const std::string progId = Utf8(StripFileExt(U16(c.file))) + ".OrvQuillo";
    EXPECT_EQ(ReadValues(classes.Root()), Expected(spaceInLong ? shortPath : longPath, progId))
        << longPath;
    EXPECT_EQ(dll.UnregisterServer(), S_OK);
    EXPECT_EQ(ReadValues(classes.Root()), TRegistryValues());
    dll.Unload();
    ::DeleteFileW(Wide(longPath).c_str());
  }
}

// regsvr32 /n /i:user: the same entries below the user's own classes and the class on the
// shell's approved list, nothing in the machine's classes; /u takes exactly that away; any
// other command line is refused and writes nothing.
TEST_F(RegistrationTest, PerUserInstallWritesOnlyTheUsersKeys) {
  TQuilloDll dll;
  ASSERT_TRUE(dll.Loaded());
  TClassesRootOverride user(HKEY_CURRENT_USER);
  ASSERT_TRUE(user.Active());
  for (const wchar_t* bad : {static_cast<const wchar_t*>(nullptr), L"machine", L"USER ", L"",
                             L"user,all"}) {
    for (BOOL install : {TRUE, FALSE}) {
      EXPECT_EQ(dll.Install(install, bad), E_INVALIDARG) << (bad ? Utf8(bad) : "null");
    }
  }
  EXPECT_EQ(ReadValues(user.Root()), TRegistryValues());

  ASSERT_EQ(dll.Install(TRUE, L"user"), S_OK);
  TRegistryValues expected;
  for (const auto& v : Expected(LongPath(BuiltDllPath()), "Quillo.OrvQuillo"))
    expected["Software\\Classes\\" + v.first] = v.second;
  expected["Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved|" +
           kClsid] = Sz("Quillo");
  EXPECT_EQ(ReadValues(user.Root()), expected);
  EXPECT_EQ(ReadValues(classes.Root()), TRegistryValues()) << "the machine's classes touched";

  ASSERT_EQ(dll.Install(FALSE, L"User"), S_OK);
  EXPECT_EQ(ReadValues(user.Root()), TRegistryValues());
  EXPECT_EQ(dll.Install(FALSE, L"user"), S_OK) << "removing what is not there";
  EXPECT_EQ(dll.CanUnloadNow(), S_OK);
}

// A module no longer where it was loaded from has no path to register: the registration
// fails and writes nothing, rather than a class whose server is an empty path.
TEST_F(RegistrationTest, AModuleThatCannotBeFoundIsNotRegistered) {
  TTempDir dir;
  const std::string loaded = dir.File("Quillo.dll");
  ASSERT_TRUE(CopyFileTo(BuiltDllPath(), loaded));
  TQuilloDll dll(loaded);
  ASSERT_TRUE(dll.Loaded());
  ASSERT_TRUE(::MoveFileW(Wide(loaded).c_str(), Wide(dir.File("Moved.dll")).c_str()));
  EXPECT_EQ(dll.RegisterServer(), E_FAIL);
  EXPECT_EQ(ReadValues(classes.Root()), TRegistryValues());
}

TEST_F(RegistrationTest, RenamedModuleLeavesItsOldProgIdBehind) {
  TTempDir dir;
  const std::string first = dir.File("First.dll");
  const std::string second = dir.File("Second.dll");
  ASSERT_TRUE(CopyFileTo(BuiltDllPath(), first));
  {
    TQuilloDll dll(first);
    ASSERT_TRUE(dll.Loaded());
    ASSERT_EQ(dll.RegisterServer(), S_OK);
  }
  ASSERT_TRUE(::MoveFileW(Wide(first).c_str(), Wide(second).c_str()));
  TQuilloDll dll(second);
  ASSERT_TRUE(dll.Loaded());
  ASSERT_EQ(dll.UnregisterServer(), S_OK);
  const TRegistryValues left = {
      {"First.OrvQuillo|", Sz("")},
      {"First.OrvQuillo\\Clsid|", Sz(kClsid)},
  };
  EXPECT_EQ(ReadValues(classes.Root()), left);
}

TEST_F(RegistrationTest, ForeignSubkeyKeepsTheClassKey) {
  TQuilloDll dll;
  ASSERT_EQ(dll.RegisterServer(), S_OK);
  TRegKey foreign;
  ASSERT_EQ(::RegCreateKeyExA(classes.Root(), (kClassKey + "\\Implemented Categories").c_str(),
                              0, nullptr, 0, KEY_ALL_ACCESS, nullptr, foreign.put(), nullptr),
            ERROR_SUCCESS);
  foreign.reset();
  EXPECT_EQ(dll.UnregisterServer(), S_OK);
  EXPECT_TRUE(KeyExists(classes.Root(), kClassKey + "\\Implemented Categories"));
  EXPECT_FALSE(KeyExists(classes.Root(), kServerKey));
  EXPECT_FALSE(KeyExists(classes.Root(), kClassKey + "\\ProgID"));
  EXPECT_FALSE(KeyExists(classes.Root(), "Quillo.OrvQuillo"));
  EXPECT_FALSE(KeyExists(classes.Root(), kHandlerKey));
  // What stays is the class key's own default value, written by registration.
  EXPECT_EQ(ReadValues(classes.Root()), (TRegistryValues{{kClassKey + "|", Sz("")}}));
  EXPECT_EQ(dll.UnregisterServer(), S_OK);
}

// A volatile key refuses lasting subkeys: the write of the handler key fails.
TEST_F(RegistrationTest, FailedWriteStopsWithEFailAndKeepsEarlierWrites) {
  TRegKey volatileKey;
  ASSERT_EQ(::RegCreateKeyExA(classes.Root(), "Directory", 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, volatileKey.put(), nullptr),
            ERROR_SUCCESS);
  volatileKey.reset();
  TQuilloDll dll;
  EXPECT_EQ(dll.RegisterServer(), E_FAIL);
  TRegistryValues expected = Expected(LongPath(BuiltDllPath()), "Quillo.OrvQuillo");
  expected.erase(kHandlerKey + "|");
  expected.erase(kServerKey + "|ThreadingModel");  // after the failure: never written
  EXPECT_EQ(ReadValues(classes.Root()), expected);
  EXPECT_EQ(dll.UnregisterServer(), S_OK);
  EXPECT_EQ(ReadValues(classes.Root()), TRegistryValues());
}

TEST(ModulePath, LongFormWalk) {
  TTempDir dir("Quillo Walk Folder");
  const std::string file = dir.File("Some Long Name.dll");
  ASSERT_TRUE(WriteFileBytes(file, "x"));
  const std::string longFile = LongPath(file);
  const std::string shortFile = ShortPath(file);
  struct Case { std::string in, out; };
  const std::vector<Case> cases = {
      {shortFile, longFile},
      {longFile, longFile},
      {"C:\\", "C:"},                                  // the root itself is never found
      {dir.File("missing.dll"), "C:"},                 // nothing found: the drive alone
      {"\\\\server\\share\\x.dll", "\\\\server\\share"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8(LongPathName(U16(c.in))), c.out) << c.in;
  EXPECT_EQ(Utf8(ModulePathForRegistry(U16(shortFile))), shortFile);
  EXPECT_EQ(Utf8(ModulePathForRegistry(U16(longFile))), shortFile);
}

// Wine's own registration tool, on the prefix's real registry.
TEST(Regsvr32, RegistersAndRemovesExactlyOurKeys) {
  const std::string dll = BuiltDllPath();
  const std::string tool = "C:\\windows\\system32\\regsvr32.exe";
  ASSERT_EQ(RunProgram(tool + " /s \"" + dll + "\""), 0);
  TRegKey server;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_CLASSES_ROOT, kServerKey.c_str(), 0, KEY_READ, server.put()),
            ERROR_SUCCESS);
  char data[MAX_PATH] = {};
  DWORD size = sizeof data;
  DWORD type = 0;
  EXPECT_EQ(::RegQueryValueExA(server.get(), "ThreadingModel", nullptr, &type,
                               reinterpret_cast<BYTE*>(data), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(data, "Apartment");
  server.reset();
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Quillo.OrvQuillo\\Clsid"));

  ASSERT_EQ(RunProgram(tool + " /s /u \"" + dll + "\""), 0);
  for (const std::string& key : {kClassKey, kServerKey, kHandlerKey,
                                 std::string("Quillo.OrvQuillo")})
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << key;
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Directory\\Background\\shellex"));
}

}  // namespace
