// The shipped Quillo.dll driven as Explorer and a registration tool drive it, from one plain
// program: where 32-bit code is only emulated every Wine process costs a minute or more, so
// this is a single process that checks what only the built
// library can show: export names, registration in this bitness's registry view, the menu
// item record, exceptions thrown and caught inside the library, the type library, the note
// window saving a Korean text as the exact bytes of the system's code page, and unloading
// with and without an open note. Texts go in and come out through the wide functions.
//
// The note window is found by its class among this process's windows and driven only by
// messages that also work across threads, so it may live on whichever thread Quillo chooses.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/uComPtr.h"
#include "common/uHandles.h"
#include "note/uNoteThread.h"
#include "resources/Quillo_TLB.h"
#include "support/uComTestSupport.h"
#include "support/uTestSupport.h"
#include "support/uWindowTestSupport.h"
#include "ui/uMessageLoop.h"

// The test support pumps through the library's delivery; the smoke program holds no form of
// its own, so plain translation and dispatch is all of it.
void DeliverMessage(MSG& msg) noexcept {
  ::TranslateMessage(&msg);
  ::DispatchMessageW(&msg);
}

namespace {

int g_passed = 0, g_failed = 0;

std::string Show(const std::string& s) {
  std::string r = "\"";
  for (unsigned char ch : s) {
    char buf[8];
    if (ch >= 0x20 && ch < 0x7F && ch != '"' && ch != '\\') {
      r += static_cast<char>(ch);
    } else {
      std::snprintf(buf, sizeof buf, "\\x%02X", ch);
      r += buf;
    }
  }
  return r + "\"";
}
std::string Show(const char* s) { return s ? Show(std::string(s)) : "null"; }
std::string Show(const std::u16string& s) { return Show(Utf8(s)); }
std::string Show(std::nullptr_t) { return "null"; }
std::string Show(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%p", p);
  return buf;
}
std::string Show(unsigned long long v) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%llu (0x%llX)", v, v);
  return buf;
}
std::string Show(long v) { return Show(static_cast<unsigned long long>(static_cast<unsigned long>(v))); }
std::string Show(int v) { return Show(static_cast<long>(v)); }
std::string Show(unsigned v) { return Show(static_cast<unsigned long long>(v)); }
std::string Show(unsigned long v) { return Show(static_cast<unsigned long long>(v)); }
std::string Show(bool v) { return v ? "true" : "false"; }
std::string Show(const std::vector<std::string>& v) {
  std::string r = "{";
  for (const auto& s : v) r += (r.size() > 1 ? ", " : "") + Show(s);
  return r + "}";
}
std::string Show(const TRegistryValues& values) {
  std::string r = "{";
  for (const auto& v : values) r += "\n    " + Show(v.first) + " = " + Show(v.second);
  return r + "}";
}

template <typename A, typename E>
bool Check(const A& actual, const E& expected, const char* what, int line) {
  if (actual == expected) {
    ++g_passed;
    return true;
  }
  ++g_failed;
  std::printf("FAIL line %d: %s\n  actual:   %s\n  expected: %s\n", line, what,
              Show(actual).c_str(), Show(expected).c_str());
  std::fflush(stdout);
  return false;
}
#define CHECK_EQ(actual, expected) Check((actual), (expected), #actual, __LINE__)
#define CHECK(cond) Check(static_cast<bool>(cond), true, #cond, __LINE__)

void Step(const char* name) {
  static const DWORD start = ::GetTickCount();
  std::printf("== %s (%.1f s)\n", name, (::GetTickCount() - start) / 1000.0);
  std::fflush(stdout);
}

const CLSID kClsid = {0x7C3E5B12, 0x9A4D, 0x4F60, {0x8E, 0x21, 0x5D, 0x0B, 0x3A, 0x9C, 0x6F, 0x47}};
const std::string kClassKey = "CLSID\\{7C3E5B12-9A4D-4F60-8E21-5D0B3A9C6F47}";
const std::string kServerKey = kClassKey + "\\InprocServer32";
const std::string kHandlerKey = "Directory\\Background\\shellex\\ContextMenuHandlers\\OrvQuillo";
// "Quillo 파일 만들기", spelt out in UTF-16 units so that no compiler setting can change it.
const std::u16string kItemText = {u'Q', u'u', u'i', u'l', u'l', u'o', u' ', 0xD30C, 0xC77C, u' ',
                                  0xB9CC, 0xB4E4, 0xAE30};
// Emulated Wine is slow: waits end as soon as their condition holds.
constexpr DWORD kWaitMs = 60000;

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

std::string LongPath(const std::string& path) {
  wchar_t buf[MAX_PATH];
  DWORD n = ::GetLongPathNameW(Wide(path).c_str(), buf, MAX_PATH);
  return n && n < MAX_PATH ? Utf8(std::wstring(buf, n)) : path;
}

// The names in the module's export directory, as the loader sees them.
std::vector<std::string> ExportNames(HMODULE module) {
  std::vector<std::string> names;
  const auto* base = reinterpret_cast<const BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (!dir.VirtualAddress) return names;
  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  const auto* rvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i)
    names.push_back(reinterpret_cast<const char*>(base + rvas[i]));
  return names;
}

void CheckExports(const TQuilloDll& dll) {
  Step("exports");
  CHECK_EQ(ExportNames(dll.Module()),
           (std::vector<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllInstall",
                                     "DllRegisterServer", "DllUnregisterServer",
                                     "QuilloNoteMain"}));
  for (const char* decorated : {"DllGetClassObject@12", "_DllGetClassObject@12", "DllCanUnloadNow@0"})
    CHECK_EQ(reinterpret_cast<void*>(::GetProcAddress(dll.Module(), decorated)), nullptr);
  CHECK_EQ(dll.CanUnloadNow(), S_OK);
}

// The seven values a registration writes, in a private class root; a volatile parent key
// makes a write fail, which the library raises and catches as its own exception.
void CheckRegistration(const TQuilloDll& dll) {
  Step("registration against a private class root");
  TClassesRootOverride classes;
  if (!CHECK(classes.Active())) return;
  const std::string progId = "Quillo.OrvQuillo";
  const std::string clsidText = "{7C3E5B12-9A4D-4F60-8E21-5D0B3A9C6F47}";
  TRegistryValues expected = {
      {kClassKey + "|", Sz("")},
      {kServerKey + "|", Sz(LongPath(BuiltDllPath()))},
      {kServerKey + "|ThreadingModel", Sz("Apartment")},
      {progId + "|", Sz("")},
      {progId + "\\Clsid|", Sz(clsidText)},
      {kClassKey + "\\ProgID|", Sz(progId)},
      {kHandlerKey + "|", Sz(clsidText)},
  };
  CHECK_EQ(dll.RegisterServer(), S_OK);
  CHECK_EQ(ReadValues(classes.Root()), expected);
  CHECK_EQ(dll.UnregisterServer(), S_OK);
  CHECK_EQ(ReadValues(classes.Root()).size(), 0u);
  CHECK(KeyExists(classes.Root(), "Directory\\Background\\shellex\\ContextMenuHandlers"));

  TRegKey volatileKey;
  ::RegDeleteTreeA(classes.Root(), "Directory");
  CHECK_EQ(::RegCreateKeyExA(classes.Root(), "Directory", 0, nullptr, REG_OPTION_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, volatileKey.put(), nullptr),
           ERROR_SUCCESS);
  volatileKey.reset();
  CHECK_EQ(dll.RegisterServer(), E_FAIL);
  expected.erase(kHandlerKey + "|");
  expected.erase(kServerKey + "|ThreadingModel");
  CHECK_EQ(ReadValues(classes.Root()), expected);
  CHECK_EQ(dll.UnregisterServer(), S_OK);
  CHECK_EQ(ReadValues(classes.Root()).size(), 0u);
  CHECK_EQ(dll.CanUnloadNow(), S_OK);
}

void CheckTypeLibrary() {
  Step("type library");
  const std::string path = BuiltDllPath();
  TComPtr<ITypeLib> lib;
  if (!CHECK_EQ(::LoadTypeLibEx(Wide(path).c_str(), REGKIND_NONE, lib.put()), S_OK))
    return;
  TLIBATTR* attr = nullptr;
  if (!CHECK_EQ(lib->GetLibAttr(&attr), S_OK)) return;
  CHECK(::IsEqualGUID(attr->guid, LIBID_Quillo));
  // Each library says which Windows it is for: the 64-bit one SYS_WIN64.
  CHECK_EQ(static_cast<int>(attr->syskind),
           static_cast<int>(sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32));
  CHECK_EQ(attr->lcid, 0u);
  CHECK_EQ(static_cast<int>(attr->wMajorVerNum), 1);
  CHECK_EQ(static_cast<int>(attr->wMinorVerNum), 0);
  CHECK_EQ(attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);
  lib->ReleaseTLibAttr(attr);
  BSTR name = nullptr, doc = nullptr;
  CHECK_EQ(lib->GetDocumentation(-1, &name, &doc, nullptr, nullptr), S_OK);
  CHECK(name && std::wstring(name) == L"Quillo");
  CHECK(doc && std::wstring(doc) == L"Quillo Library");
  ::SysFreeString(name);
  ::SysFreeString(doc);
  CHECK_EQ(lib->GetTypeInfoCount(), 0u);
}

// The item the handler puts into a menu, read back through the platform's own record.
void CheckMenuItem(TShellHandler& handler) {
  TMenu popup(::CreatePopupMenu());
  ::AppendMenuA(popup.get(), MF_STRING, 7, "first");
  CHECK_EQ(handler.QueryMenu(popup.get(), 1, 100, 0x7FFF), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1));
  CHECK_EQ(::GetMenuItemCount(popup.get()), 2);
  if (sizeof(void*) == 4) CHECK_EQ(static_cast<unsigned>(sizeof(MENUITEMINFOW)), 48u);
  wchar_t text[64] = {};
  MENUITEMINFOW item = {};
  item.cbSize = sizeof item;
  item.fMask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_FTYPE | MIIM_DATA |
               MIIM_STRING;
  item.dwTypeData = text;
  item.cch = 64;
  if (!CHECK(::GetMenuItemInfoW(popup.get(), 1, TRUE, &item))) return;
  CHECK_EQ(std::u16string(reinterpret_cast<const char16_t*>(text), item.cch), kItemText);
  CHECK_EQ(item.fType, static_cast<UINT>(MFT_STRING));
  CHECK_EQ(item.fState, 0u);
  CHECK_EQ(item.wID, 100u);
  CHECK_EQ(static_cast<void*>(item.hSubMenu), nullptr);
  CHECK_EQ(static_cast<void*>(item.hbmpChecked), nullptr);
  CHECK_EQ(static_cast<void*>(item.hbmpUnchecked), nullptr);
  CHECK_EQ(static_cast<unsigned long long>(item.dwItemData), 0ull);
  CHECK(handler.Verb(0) == L"Quillo.NewNote");
  CHECK(handler.HelpText(0) == L"이 폴더에 새 메모를 쓰고 텍스트 파일로 저장합니다.");
}

// The handler as the loaded library's factory makes it; nothing is invoked here, so the
// library can go again afterwards.
void CheckHandler(const TQuilloDll& dll, const std::string& folder) {
  Step("handler from DllGetClassObject");
  TComPtr<IClassFactory> factory;
  if (!CHECK_EQ(dll.GetClassObject(kClsid, IID_IClassFactory, factory.put_void()), S_OK)) return;
  CHECK_EQ(dll.CanUnloadNow(), S_FALSE);
  TShellHandler handler;
  if (!CHECK_EQ(handler.Create(kClsid, factory.get()), S_OK)) return;
  factory.reset();
  CHECK_EQ(dll.CanUnloadNow(), S_FALSE);
  CHECK_EQ(handler.Initialize(Wide(folder)), S_OK);
  CheckMenuItem(handler);
  CHECK_EQ(handler.InvokeOffset(3), E_FAIL);
  handler = TShellHandler();  // every reference let go
  CHECK_EQ(dll.CanUnloadNow(), S_OK);
}

// A text value in one registry view ("<missing>" when there is none).
std::string Value(HKEY root, const std::string& key, const char* name, REGSAM view = 0) {
  TRegKey k;
  if (::RegOpenKeyExW(root, Wide(key).c_str(), 0, KEY_READ | view, k.put()) != ERROR_SUCCESS)
    return "<missing>";
  wchar_t data[MAX_PATH * 2] = {};
  DWORD size = sizeof data - sizeof(wchar_t);
  DWORD type = 0;
  if (::RegQueryValueExW(k.get(), name ? Wide(name).c_str() : nullptr, nullptr, &type,
                         reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return "<missing>";
  return Utf8(std::wstring(data));
}

// The class root as a host of this bitness sees it, and, for a 32-bit library on 64-bit
// Windows, only there: a 64-bit Explorer must not be told to load it.
void CheckRegisteredView() {
  const std::string clsidText = "{7C3E5B12-9A4D-4F60-8E21-5D0B3A9C6F47}";
  CHECK_EQ(Value(HKEY_CLASSES_ROOT, kServerKey, nullptr), LongPath(BuiltDllPath()));
  CHECK_EQ(Value(HKEY_CLASSES_ROOT, kServerKey, "ThreadingModel"), "Apartment");
  CHECK_EQ(Value(HKEY_CLASSES_ROOT, kHandlerKey, nullptr), clsidText);
  BOOL wow64 = FALSE;
  if (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64) {
    const std::string machineKey = "Software\\Classes\\" + kServerKey;
    CHECK_EQ(Value(HKEY_LOCAL_MACHINE, machineKey, nullptr, KEY_WOW64_32KEY), LongPath(BuiltDllPath()));
    CHECK_EQ(Value(HKEY_LOCAL_MACHINE, machineKey, nullptr, KEY_WOW64_64KEY), "<missing>");
  }
}

std::vector<HWND> NoteWindows() {
  return ProcessWindows(::GetCurrentProcessId(), "TFormQuillo");
}

struct TButtonSearch {
  const char* caption;
  HWND found;
};

BOOL CALLBACK FindButton(HWND w, LPARAM lp) {
  auto* s = reinterpret_cast<TButtonSearch*>(lp);
  if (WindowText(w) == s->caption) s->found = w;
  return s->found ? FALSE : TRUE;
}

bool SetText(HWND w, const std::string& text) {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutW(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(text).c_str()),
                               SMTO_NORMAL, kWaitMs, &result) &&
         result == TRUE;
}

bool ModuleLoaded() { return ::GetModuleHandleW(Wide(BuiltDllPath()).c_str()) != nullptr; }

// What regsvr32 does: load the library, call its export against the real class root, free it.
// Here rather than in a regsvr32 process of its own: emulated, each costs a minute or more
// (the 64-bit tests run Wine's regsvr32 itself).
HRESULT AsRegsvr32(bool unregister) {
  TQuilloDll dll;
  if (!dll.Loaded()) return E_FAIL;
  return unregister ? dll.UnregisterServer() : dll.RegisterServer();
}

// The note's text, and its file's bytes spelt out for the code pages that hold Korean; any
// other code page asks first, and the answer Yes writes UTF-8 with a byte-order mark.
const std::string kNoteText = "첫 줄\r\n\r\n둘째 줄: 'quoted' \"and\" <more>\t\\ 끝\r\n";
std::string NoteBytes(UINT codePage) {
  switch (codePage) {
    case 949:
      return "\xC3\xB9 \xC1\xD9\r\n\r\n\xB5\xD1\xC2\xB0 \xC1\xD9: 'quoted' \"and\" <more>\t\\ "
             "\xB3\xA1\r\n";
    case CP_UTF8:
      return kNoteText;
    default:
      return "\xEF\xBB\xBF" + kNoteText;
  }
}

// The way Explorer gets there: the COM runtime finds the registration, loads the library,
// the command opens a note, the text is saved through the window, and the runtime's
// unloading rounds leave the library alone until the note is closed.
void CheckNoteThroughTheRuntime(const std::string& folder) {
  Step("note window through the COM runtime");
  TShellHandler handler;
  if (!CHECK_EQ(handler.Create(kClsid), S_OK)) return;
  CHECK(ModuleLoaded());
  CHECK_EQ(handler.Initialize(Wide(folder)), S_OK);
  CheckMenuItem(handler);
  CHECK_EQ(handler.InvokeOffset(0), S_OK);
  handler = TShellHandler();  // every reference let go
  std::vector<HWND> notes;
  PumpUntil([&] { return !(notes = NoteWindows()).empty(); }, kWaitMs);
  if (!CHECK_EQ(notes.size(), 1u)) return;
  const HWND note = notes[0];

  for (int round = 0; round < 3; ++round) {
    ::CoFreeUnusedLibraries();
    PumpUntil([] { return false; }, 200);
  }
  CHECK(ModuleLoaded());
  CHECK(::IsWindow(note));

  TBoxWatcher notices("알림");
  notices.SetAnswer(IDYES);
  const UINT codePage = ::GetACP();
  const bool asks = codePage != 949 && codePage != CP_UTF8;
  const TNoteControls c = FindNoteControls(note);
  TButtonSearch save{"Save (&S)", nullptr};
  ::EnumChildWindows(note, FindButton, reinterpret_cast<LPARAM>(&save));
  if (!CHECK(c.memo && c.title && save.found)) return;
  const std::string title = "스모크 메모";
  CHECK(SetText(c.memo, kNoteText));
  CHECK(SetText(c.title, title));
  CHECK(::PostMessageW(save.found, BM_CLICK, 0, 0));
  std::string bytes;
  const std::string expected = NoteBytes(codePage);
  const std::string file = folder + "\\" + title + ".txt";
  PumpUntil([&] { return ReadFileBytes(file, bytes) && bytes == expected; }, kWaitMs);
  CHECK_EQ(bytes, expected);
  CHECK_EQ(ListFolder(folder), title + ".txt");
  CHECK(::IsWindow(note));  // saved and still open

  CHECK(::PostMessageW(note, WM_CLOSE, 0, 0));
  CHECK(PumpUntil([&] { return !::IsWindow(note); }, kWaitMs));
  // No notice, and a question only where the code page lacks Korean.
  const std::vector<TSeenBox> boxes = notices.Take();
  CHECK_EQ(boxes.size(), asks ? 1u : 0u);
  for (const TSeenBox& box : boxes) CHECK(box.text.find("UTF-8") != std::string::npos);
  // The UI thread keeps the library until the note has been gone for its grace period.
  CHECK(PumpUntil([] {
    ::CoFreeUnusedLibraries();
    return !ModuleLoaded();
  }, kNoteGraceMs + kWaitMs));
}

}  // namespace

int main() {
  const DWORD start = ::GetTickCount();
  std::printf("smoke: %s, %u-bit, code page %u\n", BuiltDllPath().c_str(),
              static_cast<unsigned>(sizeof(void*) * 8), ::GetACP());
  CHECK_EQ(::CoInitialize(nullptr), S_OK);
  {
    TTempDir dir("quillo-smoke");
    {
      Step("loading");
      TQuilloDll dll;
      if (CHECK(dll.Loaded())) {
        CheckExports(dll);
        CheckRegistration(dll);
        CheckTypeLibrary();
        CheckHandler(dll, dir.path());
      }
    }
    CHECK(!ModuleLoaded());

    Step("registered as regsvr32 /s does it");
    CHECK_EQ(AsRegsvr32(false), S_OK);
    CHECK(!ModuleLoaded());
    CheckRegisteredView();
    CheckNoteThroughTheRuntime(dir.path());

    Step("unregistered as regsvr32 /u /s does it");
    CHECK_EQ(AsRegsvr32(true), S_OK);
    CHECK(!ModuleLoaded());
    for (const std::string& key : {kClassKey, kHandlerKey, std::string("Quillo.OrvQuillo")})
      CHECK_EQ(KeyExists(HKEY_CLASSES_ROOT, key), false);
  }
  ::CoUninitialize();
  std::printf("smoke took %.1f s\n%d passed, %d failed\n", (::GetTickCount() - start) / 1000.0,
              g_passed, g_failed);
  return g_failed == 0 && g_passed > 0 ? 0 : 1;
}
