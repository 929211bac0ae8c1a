// The folder-background handler with real identifier lists, a real menu and real windows,
// which open on Quillo's UI thread whichever thread invokes the command.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "common/uHandles.h"
#include "common/uWide.h"
#include "note/fQuillo.h"
#include "note/uNoteThread.h"
#include "server/uComServer.h"
#include "ui/uApplication.h"
#include "support/uWindowTestSupport.h"
#include "support/uComTestSupport.h"
#include "support/uTestSupport.h"
#include "uContextMenu.h"
#include "uPackagedMenu.h"

namespace {

// Counted on the UI thread, read on the test thread.
volatile LONG g_opened = 0;
volatile LONG g_closed = 0;
void CountWindow(bool opened) noexcept { ::InterlockedIncrement(opened ? &g_opened : &g_closed); }

class ContextMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    server = new TComServer(::GetModuleHandleA(nullptr));
    ComServer = server;
    new TContextMenuFactory(server);
    SetNoteWindowCountHook(&CountWindow);
    g_opened = g_closed = 0;
    void* cf = nullptr;
    ASSERT_EQ(ComServerGetClassObject(CLSID_QuilloContextMenu, IID_IClassFactory, &cf), S_OK);
    factory = static_cast<IClassFactory*>(cf);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu,
                                      reinterpret_cast<void**>(&menu)),
              S_OK);
    ASSERT_EQ(menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)), S_OK);
    before = ProcessWindows();
  }
  void TearDown() override {
    CloseWindows(NewWindows(before, ProcessWindows()));
    EXPECT_EQ(g_opened, g_closed);
    if (init) init->Release();
    if (menu) {
      EXPECT_EQ(menu->Release(), 0u);
    }
    if (factory) factory->Release();
    EXPECT_EQ(server->ObjectCount(), 0);
    EXPECT_EQ(server->FactoryCount(), 0);
    // With its last window gone for the grace period, the UI thread ends by itself.
    EXPECT_TRUE(PumpUntil([] { return !NoteThreadRunning(); }, kNoteGraceMs + 5000));
    SetNoteWindowCountHook(nullptr);
    ComServer = nullptr;
    delete server;
    ::CoUninitialize();
  }
  TContextMenu& Handler() { return *static_cast<TContextMenu*>(menu); }
  HRESULT InitializeWithPath(const std::string& path) {
    return init->Initialize(PidlFromPath(Wide(path)).get(), nullptr, nullptr);
  }
  HRESULT Invoke(LPCSTR verb) {
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof info;
    info.lpVerb = verb;
    info.nShow = SW_SHOWNORMAL;
    return menu->InvokeCommand(&info);
  }

  TComServer* server = nullptr;
  IClassFactory* factory = nullptr;
  IContextMenu* menu = nullptr;
  IShellExtInit* init = nullptr;
  std::vector<HWND> before;
};

// The path exactly as UTF-16, whatever the system's code page could spell of it.
TEST_F(ContextMenuTest, InitializeKeepsTheFolderPath) {
  TTempDir dir("quillo menu");
  const char* const names[] = {
      "",                        // the folder itself, with a space
      "메모 폴더",               // Korean
      "Thư mục ghi chú",         // Vietnamese: outside code page 949
      "Σημειώσεις",              // Greek
      "notes 📝",                // an emoji: a surrogate pair
  };
  for (const char* name : names) {
    const std::string path = *name ? dir.File(name) : dir.path();
    if (*name) {
      ASSERT_TRUE(::CreateDirectoryW(Wide(path).c_str(), nullptr)) << name;
    }
    ASSERT_EQ(InitializeWithPath(path), S_OK) << name;
    EXPECT_EQ(Handler().Folder(), U16(path)) << name;
  }

  // The shell's own parse of a drive root: the path keeps its backslash.
  TPidl root;
  ASSERT_EQ(::SHParseDisplayName(L"C:\\", nullptr, root.put(), 0, nullptr), S_OK);
  ASSERT_EQ(init->Initialize(root.get(), nullptr, nullptr), S_OK);
  EXPECT_EQ(Handler().Folder(), u"C:\\");
}

TEST_F(ContextMenuTest, OnlyFileSystemFoldersAreTaken) {
  TTempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("plain.txt"), "x"));
  for (int csidl : {CSIDL_DRIVES, CSIDL_CONTROLS, CSIDL_BITBUCKET, -1}) {
    ASSERT_EQ(InitializeWithPath(dir.path()), S_OK);
    TPidl other;
    if (csidl < 0)
      other = PidlFromPath(Wide(dir.File("plain.txt")));  // a file, not a folder
    else
      ASSERT_EQ(::SHGetSpecialFolderLocation(nullptr, csidl, other.put()), S_OK) << csidl;
    ASSERT_TRUE(other);
    EXPECT_EQ(init->Initialize(other.get(), nullptr, nullptr), E_INVALIDARG) << csidl;
    EXPECT_EQ(Handler().Folder(), u"") << csidl;
  }
  ASSERT_EQ(InitializeWithPath(dir.path()), S_OK);
  EXPECT_EQ(init->Initialize(nullptr, nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(Handler().Folder(), u"");
}

TEST_F(ContextMenuTest, QueryContextMenuInsertsOneStringItem) {
  TMenu popup(::CreatePopupMenu());
  ASSERT_TRUE(popup);
  ::AppendMenuA(popup.get(), MF_STRING, 1, "first");
  ::AppendMenuA(popup.get(), MF_STRING, 2, "second");
  for (UINT flags : {CMF_NORMAL, CMF_EXPLORE | CMF_EXTENDEDVERBS, CMF_VERBSONLY}) {
    EXPECT_EQ(menu->QueryContextMenu(popup.get(), 1, 100, 100, flags),
              MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1));
  }
  ASSERT_EQ(::GetMenuItemCount(popup.get()), 5);
  for (int pos : {1, 2, 3}) {
    wchar_t text[64] = {};
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_TYPE | MIIM_DATA;
    item.dwTypeData = text;
    item.cch = 64;
    ASSERT_TRUE(::GetMenuItemInfoW(popup.get(), pos, TRUE, &item));
    EXPECT_EQ(item.fType, static_cast<UINT>(MFT_STRING));
    EXPECT_EQ(item.fState, 0u);
    EXPECT_EQ(item.wID, 100u);
    EXPECT_EQ(item.hSubMenu, nullptr);
    EXPECT_EQ(item.hbmpChecked, nullptr);
    EXPECT_EQ(item.hbmpUnchecked, nullptr);
    EXPECT_EQ(item.dwItemData, 0u);
    EXPECT_EQ(std::u16string(U(text)), u"Quillo 파일 만들기");
    EXPECT_EQ(item.cch, 13u);
    EXPECT_EQ(std::u16string(U(text)), kContextMenuItemText);
    wchar_t shown[64] = {};
    EXPECT_EQ(::GetMenuStringW(popup.get(), static_cast<UINT>(pos), shown, 64, MF_BYPOSITION), 13);
    EXPECT_EQ(std::u16string(U(shown)), u"Quillo 파일 만들기");
  }
  EXPECT_EQ(::GetMenuItemID(popup.get(), 0), 1u);
  EXPECT_EQ(::GetMenuItemID(popup.get(), 4), 2u);
}

// What the package lookup answers for the family the user's value names (-1: the system cannot
// say), and what it was asked.
int g_packages = 0, g_lookups = 0;
std::wstring g_askedFamily;
int StandInLookup(const wchar_t* family) {
  g_askedFamily = family;
  ++g_lookups;
  return g_packages;
}

// The value the setup program writes once the package is registered for this user.
constexpr wchar_t kFamily[] = L"Quillo.ContextMenu_nvd85qxj2e4fj";
void SetFamilyValue(const wchar_t* family) {
  if (!family) {
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Quillo", L"PackageFamily");
    return;
  }
  ::RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Quillo", L"PackageFamily", REG_SZ, family,
                    static_cast<DWORD>((std::wcslen(family) + 1) * sizeof(wchar_t)));
}

// What today's hosts rely on: no item where the host asked for none or gave no room for one,
// and the item's identifier always inside the range the host offered. With the package
// registered for this user (Windows 11 shows its command), no item either: one per menu.
TEST_F(ContextMenuTest, MenuContract) {
  enum TMenuKind { kGood, kDestroyed, kBogus };
  // The package: no value (everywhere but Windows 11), or the value and what the lookup says;
  // kSystem asks the system itself, which under Wine cannot say.
  enum TPackage { kNoValue, kRegistered, kNotRegistered, kCannotSay, kSystem };
  struct Case {
    const char* what; TMenuKind kind; UINT first, last, flags; TPackage package; UINT items;
  };
  const Case cases[] = {
      {"normal", kGood, 7, 7, CMF_NORMAL, kNoValue, 1},
      {"wide range", kGood, 7, 0x7FFF, CMF_NORMAL, kNoValue, 1},
      {"default only", kGood, 7, 0x7FFF, CMF_DEFAULTONLY, kNoValue, 0},
      {"default only and more", kGood, 7, 0x7FFF, CMF_DEFAULTONLY | CMF_EXPLORE, kNoValue, 0},
      {"first above last", kGood, 8, 7, CMF_NORMAL, kNoValue, 0},
      {"destroyed menu", kDestroyed, 7, 7, CMF_NORMAL, kNoValue, 0},
      {"bogus menu", kBogus, 7, 7, CMF_NORMAL, kNoValue, 0},
      {"package registered", kGood, 7, 7, CMF_NORMAL, kRegistered, 0},
      {"package registered, extended", kGood, 7, 7, CMF_EXPLORE | CMF_EXTENDEDVERBS, kRegistered, 0},
      {"package removed since", kGood, 7, 7, CMF_NORMAL, kNotRegistered, 1},
      {"lookup cannot say", kGood, 7, 7, CMF_NORMAL, kCannotSay, 1},
      {"system without the lookup", kGood, 7, 7, CMF_NORMAL, kSystem, 1},
  };
  struct TRestore {
    ~TRestore() {
      SetPackageLookupHook(nullptr);
      SetFamilyValue(nullptr);
    }
  } restore;
  for (const auto& c : cases) {
    SetFamilyValue(c.package == kNoValue ? nullptr : kFamily);
    SetPackageLookupHook(c.package == kSystem ? nullptr : &StandInLookup);
    g_packages = c.package == kRegistered ? 1 : c.package == kNotRegistered ? 0 : -1;
    g_askedFamily.clear();
    HMENU m = ::CreatePopupMenu();
    ASSERT_NE(m, nullptr);
    ::AppendMenuA(m, MF_STRING, 1, "first");
    if (c.kind == kDestroyed) ::DestroyMenu(m);
    HMENU target = c.kind == kBogus ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(0x1234)) : m;
    // The package serves 64-bit Explorer only: a 32-bit program keeps its item.
    const bool asks = sizeof(void*) == 8 && c.package != kNoValue;
    const UINT items = sizeof(void*) == 8 || c.package != kRegistered ? c.items : 1;
    EXPECT_EQ(menu->QueryContextMenu(target, 0, c.first, c.last, c.flags),
              MAKE_HRESULT(SEVERITY_SUCCESS, 0, items)) << c.what;
    if (c.kind == kDestroyed) continue;
    EXPECT_EQ(::GetMenuItemCount(m), static_cast<int>(1 + items)) << c.what;
    if (items) {
      const UINT id = ::GetMenuItemID(m, 0);
      EXPECT_TRUE(id >= c.first && id <= c.last) << c.what << ": " << id;
    }
    // The lookup is asked only where the value names the family, and for that family.
    if (c.package != kSystem && c.kind == kGood && !(c.flags & CMF_DEFAULTONLY) &&
        c.first <= c.last) {
      EXPECT_EQ(g_askedFamily, asks ? kFamily : L"") << c.what;
    }
    ::DestroyMenu(m);
  }
  // The answer is kept for 2 s (one lookup for a burst of menus), and a change of the
  // registration is seen after them. Only the 64-bit library asks.
  if (sizeof(void*) != 8) return;
  SetFamilyValue(kFamily);
  SetPackageLookupHook(&StandInLookup);
  g_lookups = 0;
  const struct { const char* what; DWORD pauseMs; int packages; UINT items; int lookups; } steps[] = {
      {"registered", 0, 1, 0, 1},
      {"removed, within 2 s: the kept answer", 0, 0, 0, 1},
      {"removed, after 2 s: seen", 2100, 0, 1, 2},
  };
  for (const auto& step : steps) {
    ::Sleep(step.pauseMs);
    g_packages = step.packages;
    HMENU m = ::CreatePopupMenu();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(menu->QueryContextMenu(m, 0, 7, 7, CMF_NORMAL),
              MAKE_HRESULT(SEVERITY_SUCCESS, 0, step.items)) << step.what;
    EXPECT_EQ(g_lookups, step.lookups) << step.what;
    ::DestroyMenu(m);
  }
}

TEST_F(ContextMenuTest, InvokeCommandByOffsetAndByVerbOpensOnTheUiThread) {
  TTempDir dir;
  ASSERT_EQ(InitializeWithPath(dir.path()), S_OK);
  // Unicode records carry both verbs; the Unicode one counts when the size says it is there.
  struct Case { LPCSTR verb; LPCWSTR verbW; DWORD size; HRESULT hr; int windows; };
  const DWORD plain = sizeof(CMINVOKECOMMANDINFO), ex = sizeof(CMINVOKECOMMANDINFOEX);
  const std::vector<Case> cases = {
      {"open", nullptr, plain, E_FAIL, 0},
      {"Quillo", nullptr, plain, E_FAIL, 0},
      {"Quillo.NewNote.", nullptr, plain, E_FAIL, 0},
      {MAKEINTRESOURCEA(1), nullptr, plain, S_OK, 0},
      {MAKEINTRESOURCEA(2), nullptr, plain, S_OK, 0},
      {MAKEINTRESOURCEA(3), nullptr, plain, E_FAIL, 0},
      {MAKEINTRESOURCEA(0xFFFF), nullptr, plain, E_FAIL, 0},
      {MAKEINTRESOURCEA(0), nullptr, 0, E_FAIL, 0},  // no room for a verb at all
      {MAKEINTRESOURCEA(0), nullptr, plain, S_OK, 1},
      {"Quillo.NewNote", nullptr, plain, S_OK, 1},
      {"qUILLO.nEWnOTE", nullptr, plain, S_OK, 1},
      {"open", L"QUILLO.newnote", ex, S_OK, 1},
      {"Quillo.NewNote", L"open", ex, E_FAIL, 0},
      {"Quillo.NewNote", nullptr, ex, S_OK, 1},
      // A record too short for the Unicode verb: it is not read, whatever the mask says.
      {MAKEINTRESOURCEA(1), reinterpret_cast<LPCWSTR>(1), plain, S_OK, 0},
  };
  int expected = 0;
  for (const auto& c : cases) {
    CMINVOKECOMMANDINFOEX info = {};
    info.cbSize = c.size;
    info.lpVerb = c.verb;
    info.nShow = SW_SHOWNORMAL;
    if (c.verbW) {
      info.fMask = CMIC_MASK_UNICODE;
      info.lpVerbW = c.verbW;
    }
    EXPECT_EQ(menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info)), c.hr)
        << (IS_INTRESOURCE(c.verb) ? "offset" : c.verb);
    expected += c.windows;
    EXPECT_EQ(static_cast<int>(NewWindows(before, ProcessWindows()).size()), expected);
  }
  EXPECT_EQ(g_opened, expected);
  const std::vector<HWND> notes = NewWindows(before, ProcessWindows());
  const DWORD ui = notes.empty() ? 0 : ::GetWindowThreadProcessId(notes[0], nullptr);
  EXPECT_NE(ui, ::GetCurrentThreadId()) << "a note window on the invoking thread";
  for (HWND w : notes) {
    EXPECT_EQ(::GetWindowThreadProcessId(w, nullptr), ui) << "note windows on two threads";
    auto* form = dynamic_cast<TFormQuillo*>(TForm::FromHandle(w));
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->Folder(), U16(dir.path()));
  }
  EXPECT_EQ(menu->InvokeCommand(nullptr), E_INVALIDARG);

  // The windows outlive the handler that opened them.
  menu->Release();
  menu = nullptr;
  init->Release();
  init = nullptr;
  EXPECT_EQ(server->ObjectCount(), 0);
  CloseWindows(notes);
  EXPECT_EQ(g_closed, expected);
  EXPECT_EQ(NewWindows(before, ProcessWindows()).size(), 0u);
}

TEST_F(ContextMenuTest, WithoutAFolderNothingOpens) {
  EXPECT_EQ(Invoke(MAKEINTRESOURCEA(0)), E_FAIL) << "never initialised";
  TPidl drives;
  ASSERT_EQ(::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, drives.put()), S_OK);
  EXPECT_EQ(init->Initialize(drives.get(), nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(Invoke(MAKEINTRESOURCEA(0)), E_FAIL) << "initialisation refused";
  EXPECT_EQ(Invoke(kContextMenuVerb), E_FAIL);
  EXPECT_EQ(NewWindows(before, ProcessWindows()).size(), 0u);
  EXPECT_EQ(g_opened, 0);
  EXPECT_FALSE(NoteThreadRunning());
  // Asked with no folder (only the drafts' recovery is wanted): no note, and yes.
  CleanDrafts();
  EXPECT_EQ(OpenNoteOnUiThread(u""), S_OK);
  EXPECT_EQ(NewWindows(before, ProcessWindows()).size(), 0u);
}

TEST_F(ContextMenuTest, GetCommandStringGivesTheCanonicalVerbAndHelp) {
  const std::wstring helpW = L"이 폴더에 새 메모를 쓰고 텍스트 파일로 저장합니다.";
  // The ANSI help is in the system's code page; where that cannot hold it, there is none.
  const char* helpA = nullptr;
  if (::GetACP() == 949)
    helpA = "\xC0\xCC \xC6\xFA\xB4\xF5\xBF\xA1 \xBB\xF5 \xB8\xDE\xB8\xF0\xB8\xA6 \xBE\xB2\xB0\xED "
            "\xC5\xD8\xBD\xBA\xC6\xAE \xC6\xC4\xC0\xCF\xB7\xCE \xC0\xFA\xC0\xE5\xC7\xD5\xB4\xCF\xB4\xD9.";
  else if (::GetACP() == CP_UTF8)
    helpA = "이 폴더에 새 메모를 쓰고 텍스트 파일로 저장합니다.";
  struct Case { UINT type; bool wide; std::wstring textW; std::string textA; };
  std::vector<Case> cases = {
      {GCS_VERBA, false, L"", "Quillo.NewNote"},
      {GCS_VERBW, true, L"Quillo.NewNote", ""},
      {GCS_HELPTEXTW, true, helpW, ""},
  };
  if (helpA) {
    cases.push_back({GCS_HELPTEXTA, false, L"", helpA});
  } else {
    char buffer[256];
    EXPECT_EQ(menu->GetCommandString(0, GCS_HELPTEXTA, nullptr, buffer, sizeof buffer), E_FAIL);
  }
  for (const auto& c : cases) {
    const size_t length = c.wide ? c.textW.size() : c.textA.size();
    for (UINT size : {static_cast<UINT>(length + 1), 64u, static_cast<UINT>(length), 1u, 0u}) {
      wchar_t buffer[80];
      std::memset(buffer, 0xAB, sizeof buffer);
      auto* bytes = reinterpret_cast<char*>(buffer);
      const HRESULT hr = menu->GetCommandString(0, c.type, nullptr, bytes, size);
      if (size > length) {
        EXPECT_EQ(hr, S_OK) << c.type << " " << size;
        if (c.wide) {
          EXPECT_EQ(std::wstring(buffer), c.textW);
        } else {
          EXPECT_EQ(std::string(bytes), c.textA);
        }
        const size_t used = (length + 1) * (c.wide ? 2 : 1);
        EXPECT_EQ(static_cast<unsigned char>(bytes[used]), 0xABu) << "written past the text";
      } else {
        EXPECT_TRUE(FAILED(hr)) << c.type << " " << size;
        EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xABu) << "a refused buffer was written";
      }
    }
    EXPECT_TRUE(FAILED(menu->GetCommandString(0, c.type, nullptr, nullptr, 64))) << c.type;
    char buffer[64];
    std::memset(buffer, 0xAB, sizeof buffer);
    EXPECT_EQ(menu->GetCommandString(1, c.type, nullptr, buffer, sizeof buffer), E_INVALIDARG);
    EXPECT_EQ(static_cast<unsigned char>(buffer[0]), 0xABu);
  }
  for (UINT type : {GCS_VALIDATEA, GCS_VALIDATEW}) {
    EXPECT_EQ(menu->GetCommandString(0, type, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(menu->GetCommandString(1, type, nullptr, nullptr, 0), S_FALSE);
    EXPECT_EQ(menu->GetCommandString(7, type, nullptr, nullptr, 0), S_FALSE);
  }
}

// Explorer's worker invokes the item it finds in its own menu, by the verb or, for a handler
// without verbs, by the text; nothing else.
TEST_F(ContextMenuTest, AWorkerInvokesOnlyAnItemItsMenuHolds) {
  TTempDir dir;
  const HRESULT missing = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
  struct Case {
    const wchar_t* verb;
    const wchar_t* text;
    HRESULT hr;
    TShellStep step;
    size_t windows;
  };
  const Case cases[] = {
      {L"Quillo.NewNote", L"", S_OK, TShellStep::Invoke, 1},
      {L"", L"Quillo 파일 만들기", S_OK, TShellStep::Invoke, 1},
      {L"Quillo.Other", L"Quillo 파일 만들기", missing, TShellStep::Find, 0},
      {L"", L"Quillo", missing, TShellStep::Find, 0},
  };
  for (const Case& c : cases) {
    TShellInvoke job = NoteCommand(dir.path(), factory);
    job.verb = c.verb;
    job.text = c.text;
    const TKernelHandle worker = StartWorker(job);
    ASSERT_EQ(::WaitForSingleObject(worker.get(), 20000), WAIT_OBJECT_0);
    EXPECT_EQ(job.result, c.hr) << Utf8(std::wstring(c.verb)) << Utf8(std::wstring(c.text));
    EXPECT_EQ(job.step, c.step);
    const std::vector<HWND> notes = NewWindows(before, ProcessWindows());
    EXPECT_EQ(notes.size(), c.windows);
    CloseWindows(notes);
  }
}

// The windows of two invoking threads, on the one UI thread; what a modal About dialog there
// disables; and what a quit message means on that thread.
HWND FindVisible(const char* cls) {
  HWND w = ::FindWindowA(cls, nullptr);
  return w && ::IsWindowVisible(w) ? w : nullptr;
}

TEST_F(ContextMenuTest, TwoInvokingThreadsOneUiThreadAndItsAboutDialog) {
  TTempDir a("quillo-a"), b("quillo-b");
  TShellInvoke invokers[] = {NoteCommand(a.path(), factory), NoteCommand(b.path(), factory)};
  const TKernelHandle threads[] = {StartWorker(invokers[0]), StartWorker(invokers[1])};
  const HANDLE waits[] = {threads[0].get(), threads[1].get()};
  ASSERT_EQ(::WaitForMultipleObjects(2, waits, TRUE, 20000), WAIT_OBJECT_0);
  EXPECT_EQ(invokers[0].result, S_OK);
  EXPECT_EQ(invokers[1].result, S_OK);
  PumpUntil([] { return false; }, 300);  // the workers are gone: the windows live on
  const std::vector<HWND> notes = NewWindows(before, ProcessWindows());
  ASSERT_EQ(notes.size(), 2u);
  const DWORD ui = ::GetWindowThreadProcessId(notes[0], nullptr);
  EXPECT_EQ(::GetWindowThreadProcessId(notes[1], nullptr), ui);

  // A window of the "host", on this thread.
  HWND host = ::CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                200, 100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(host, nullptr);
  HWND aboutButton = TForm::FromHandle(notes[0])->ControlHandle("AboutButton");
  for (bool quit : {false, true, false}) {
    ::PostMessageA(aboutButton, BM_CLICK, 0, 0);
    HWND about = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (about = FindVisible("TFormAbout")) != nullptr; }));
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindowEnabled(notes[0]) && !::IsWindowEnabled(notes[1]); }))
        << "the About dialog leaves a note window usable";
    EXPECT_TRUE(::IsWindowEnabled(host)) << "the About dialog disabled a window of the host";
    HWND third = nullptr;
    if (!quit) {
      // A note a new command opens meanwhile is held like the others, until the dialog closes.
      TShellInvoke late = NoteCommand(a.path(), factory);
      const TKernelHandle t = StartWorker(late);
      EXPECT_TRUE(
          PumpUntil([&] { return ::WaitForSingleObject(t.get(), 0) == WAIT_OBJECT_0; }, 20000));
      EXPECT_EQ(late.result, S_OK);
      std::vector<HWND> now = NewWindows(before, ProcessWindows());
      for (HWND w : now)
        if (w != notes[0] && w != notes[1] && w != about && w != host) third = w;
      ASSERT_NE(third, nullptr);
      EXPECT_FALSE(::IsWindowEnabled(third)) << "a note opened under the About dialog is usable";
    }
    if (quit) {
      // On Quillo's own thread a quit message ends the dialog, and nothing more.
      ::PostThreadMessageA(ui, WM_QUIT, 5, 0);
    } else {
      ::PostMessageA(about, WM_CLOSE, 0, 0);
    }
    EXPECT_TRUE(PumpUntil([] { return !FindVisible("TFormAbout"); }));
    EXPECT_TRUE(PumpUntil([&] { return ::IsWindowEnabled(notes[0]) && ::IsWindowEnabled(notes[1]); }));
    if (third) {
      EXPECT_TRUE(PumpUntil([&] { return ::IsWindowEnabled(third) != FALSE; }));
      CloseWindows({third});
    }
  }
  ::DestroyWindow(host);
  EXPECT_TRUE(::IsWindow(notes[0]) && ::IsWindow(notes[1]));
  CloseWindows(notes);
  EXPECT_EQ(g_opened, 4);  // two, and one under each dialog closed by hand
  EXPECT_EQ(g_closed, 4);
}

// What the UI thread does while a request waits for its window: in each case the answer says
// what happened, and no window opens that the answer denies.
HWND g_invoker = nullptr;           // a window of the invoking thread
volatile LONG g_slowOpens = 0;      // windows whose making takes longer than the wait
void HandOverHook(bool opened) noexcept {
  CountWindow(opened);
  if (!opened) return;
  if (::InterlockedCompareExchange(&g_slowOpens, 0, 0) > 0) {
    ::InterlockedDecrement(&g_slowOpens);
    ::Sleep(kNoteHandOverMs + 1000);
  }
  // The UI thread waits on the invoking thread: it must be answered while the invoker waits.
  if (g_invoker) ::SendMessageW(g_invoker, WM_NULL, 0, 0);
}

DWORD WINAPI DelayedInvoke(LPVOID job) {
  ::Sleep(500);
  return TShellInvoke::Run(job);
}

TEST_F(ContextMenuTest, TheHandOverAnswersWhatItDid) {
  TTempDir dir;
  ASSERT_EQ(InitializeWithPath(dir.path()), S_OK);
  SetNoteWindowCountHook(&HandOverHook);
  g_invoker = ::CreateWindowExW(0, L"STATIC", L"invoker", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                nullptr, nullptr);
  ASSERT_NE(g_invoker, nullptr);
  struct Case {
    const char* what;
    LONG slow;   // windows made slowly, one after another
    int invokes; // from this thread and, beyond the first, from workers
    std::vector<HRESULT> answers;
    size_t windows;
  };
  const std::vector<Case> cases = {
      {"a message sent to the invoker", 0, 1, {S_OK}, 1},
      {"taken, and slower than the wait", 1, 1, {S_OK}, 1},
      // The first blocks the thread past the second's wait: the second is withdrawn.
      {"not taken in time", 1, 2, {S_OK, E_FAIL}, 1},
  };
  for (const Case& c : cases) {
    g_slowOpens = c.slow;
    std::vector<TShellInvoke> workers(static_cast<size_t>(c.invokes - 1),
                                      NoteCommand(dir.path(), factory));
    std::vector<TKernelHandle> threads;
    const DWORD start = ::GetTickCount();
    HRESULT first = E_UNEXPECTED;
    {
      // A worker asks half a second after this request, while the UI thread makes its window.
      for (auto& w : workers)
        threads.emplace_back(::CreateThread(nullptr, 0, &DelayedInvoke, &w, 0, nullptr));
      first = Invoke(MAKEINTRESOURCEA(0));
    }
    const DWORD took = ::GetTickCount() - start;
    for (const TKernelHandle& t : threads) {
      EXPECT_TRUE(
          PumpUntil([&] { return ::WaitForSingleObject(t.get(), 0) == WAIT_OBJECT_0; }, 30000));
    }
    std::vector<HRESULT> answers = {first};
    for (const auto& w : workers) answers.push_back(w.result);
    EXPECT_EQ(answers, c.answers) << c.what;
    if (c.slow == 0) {
      EXPECT_LT(took, kNoteHandOverMs / 2) << c.what << ": the invoker did not answer the UI thread";
    }
    PumpUntil([] { return false; }, 300);
    std::vector<HWND> open = NewWindows(before, ProcessWindows());
    EXPECT_EQ(open.size(), c.windows) << c.what;
    CloseWindows(open);
  }
  ::DestroyWindow(g_invoker);
  g_invoker = nullptr;
  SetNoteWindowCountHook(&CountWindow);
}

// A request that arrives while the last window closes (the UI thread on its way out) is
// never lost: it is taken, or a new thread starts.
TEST_F(ContextMenuTest, ARequestWhileTheLastWindowClosesStillOpensOne) {
  TTempDir dir;
  ASSERT_EQ(InitializeWithPath(dir.path()), S_OK);
  ASSERT_EQ(Invoke(MAKEINTRESOURCEA(0)), S_OK);
  for (int round = 0; round < 12; ++round) {
    std::vector<HWND> open = NewWindows(before, ProcessWindows());
    ASSERT_EQ(open.size(), 1u) << round;
    ::PostMessageA(open[0], WM_CLOSE, 0, 0);
    ::Sleep(static_cast<DWORD>(round % 4));
    ASSERT_EQ(Invoke(MAKEINTRESOURCEA(0)), S_OK) << round;
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(open[0]); })) << round;
  }
  EXPECT_EQ(NewWindows(before, ProcessWindows()).size(), 1u);
}

// A host that offers its process reference (as Explorer does) has it held while a note is
// open, and given back once the UI thread is gone.
class TProcessReference : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = ::IsEqualIID(iid, IID_IUnknown) ? this : nullptr;
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ::InterlockedIncrement(&refs); }
  ULONG STDMETHODCALLTYPE Release() override { return ::InterlockedDecrement(&refs); }
  volatile LONG refs = 1;
};

TEST_F(ContextMenuTest, TheHostsProcessReferenceIsHeldWhileANoteIsOpen) {
  TProcessReference host;
  ::SHSetInstanceExplorer(&host);
  TTempDir dir;
  ASSERT_EQ(InitializeWithPath(dir.path()), S_OK);
  EXPECT_EQ(Invoke(MAKEINTRESOURCEA(0)), S_OK);
  EXPECT_GT(host.refs, 1) << "the host could end under an open note";
  CloseWindows(NewWindows(before, ProcessWindows()));
  EXPECT_TRUE(PumpUntil([&] { return host.refs == 1; }, 5000)) << host.refs;
  ::SHSetInstanceExplorer(nullptr);
}

}  // namespace
