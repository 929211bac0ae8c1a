// The folder-background handler with real identifier lists, a real menu and real windows.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <vector>

#include "common/uHandles.h"
#include "note/fQuillo.h"
#include "server/uComServer.h"
#include "ui/uApplication.h"
#include "support/uComTestSupport.h"
#include "support/uTestSupport.h"
#include "uContextMenu.h"

namespace {

int g_opened = 0;
int g_closed = 0;
void CountWindow(bool opened) noexcept { ++(opened ? g_opened : g_closed); }

struct TPidl {
  PIDLIST_ABSOLUTE p = nullptr;
  ~TPidl() { ::CoTaskMemFree(p); }
};

class ContextMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    InitWindowing(::GetModuleHandleA(nullptr));
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
    before = ThreadWindows();
  }
  void TearDown() override {
    CloseWindows(NewWindows(before, ThreadWindows()));
    EXPECT_EQ(g_opened, g_closed);
    if (init) init->Release();
    if (menu) {
      EXPECT_EQ(menu->Release(), 0u);
    }
    if (factory) factory->Release();
    EXPECT_EQ(server->ObjectCount(), 0);
    EXPECT_EQ(server->FactoryCount(), 0);
    SetNoteWindowCountHook(nullptr);
    ComServer = nullptr;
    delete server;
    DoneWindowing(false);
    ::CoUninitialize();
  }
  TContextMenu& Handler() { return *static_cast<TContextMenu*>(menu); }
  HRESULT InitializeWithPath(const std::string& path) {
    TPidl pidl;
    pidl.p = ::ILCreateFromPathA(path.c_str());
    if (!pidl.p) return E_OUTOFMEMORY;
    return init->Initialize(pidl.p, nullptr, nullptr);
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

TEST_F(ContextMenuTest, InitializeKeepsTheFolderPath) {
  TTempDir dir("quillo menu");
  ASSERT_EQ(InitializeWithPath(dir.path()), S_OK);
  EXPECT_EQ(Handler().Folder(), dir.path());

  // The shell's own parse of a drive root: the path keeps its backslash.
  TPidl root;
  ASSERT_EQ(::SHParseDisplayName(L"C:\\", nullptr, &root.p, 0, nullptr), S_OK);
  ASSERT_EQ(init->Initialize(root.p, nullptr, nullptr), S_OK);
  EXPECT_EQ(Handler().Folder(), "C:\\");
}

TEST_F(ContextMenuTest, FoldersWithoutAPathAreRefused) {
  TTempDir dir;
  for (int csidl : {CSIDL_DRIVES, CSIDL_CONTROLS, CSIDL_BITBUCKET}) {
    ASSERT_EQ(InitializeWithPath(dir.path()), S_OK);
    TPidl virt;
    ASSERT_EQ(::SHGetSpecialFolderLocation(nullptr, csidl, &virt.p), S_OK) << csidl;
    EXPECT_EQ(init->Initialize(virt.p, nullptr, nullptr), E_INVALIDARG) << csidl;
    EXPECT_EQ(Handler().Folder(), "") << csidl;
  }
  ASSERT_EQ(InitializeWithPath(dir.path()), S_OK);
  EXPECT_EQ(init->Initialize(nullptr, nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(Handler().Folder(), "");
}

TEST_F(ContextMenuTest, QueryContextMenuInsertsOneStringItem) {
  TMenu popup(::CreatePopupMenu());
  ASSERT_TRUE(popup);
  ::AppendMenuA(popup.get(), MF_STRING, 1, "first");
  ::AppendMenuA(popup.get(), MF_STRING, 2, "second");
  // Every flag set, the default-only request included, still gets the item.
  for (UINT flags : {CMF_NORMAL, CMF_DEFAULTONLY, CMF_EXPLORE | CMF_EXTENDEDVERBS}) {
    EXPECT_EQ(menu->QueryContextMenu(popup.get(), 1, 100, 100, flags),
              MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1));
  }
  ASSERT_EQ(::GetMenuItemCount(popup.get()), 5);
  for (int pos : {1, 2, 3}) {
    char text[64] = {};
    MENUITEMINFOA item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_TYPE | MIIM_DATA;
    item.dwTypeData = text;
    item.cch = sizeof text;
    ASSERT_TRUE(::GetMenuItemInfoA(popup.get(), pos, TRUE, &item));
    EXPECT_EQ(item.fType, static_cast<UINT>(MFT_STRING));
    EXPECT_EQ(item.fState, 0u);
    EXPECT_EQ(item.wID, 100u);
    EXPECT_EQ(item.hSubMenu, nullptr);
    EXPECT_EQ(item.hbmpChecked, nullptr);
    EXPECT_EQ(item.hbmpUnchecked, nullptr);
    EXPECT_EQ(item.dwItemData, 0u);
    // "Quillo 파일 만들기" in code page 949.
    const char expected[] = "Quillo \xC6\xC4\xC0\xCF \xB8\xB8\xB5\xE9\xB1\xE2";
    EXPECT_EQ(std::string(text), std::string(expected));
    EXPECT_EQ(std::string(text), std::string(kContextMenuItemText));
  }
  EXPECT_EQ(::GetMenuItemID(popup.get(), 0), 1u);
  EXPECT_EQ(::GetMenuItemID(popup.get(), 4), 2u);
}

TEST_F(ContextMenuTest, InvokeCommandOpensOneWindowPerOffsetZero) {
  TTempDir dir;
  ASSERT_EQ(InitializeWithPath(dir.path()), S_OK);
  struct Case { LPCSTR verb; HRESULT hr; int windows; };
  const std::vector<Case> cases = {
      {"open", E_FAIL, 0},
      {"Quillo", E_FAIL, 0},
      {MAKEINTRESOURCEA(1), S_OK, 0},
      {MAKEINTRESOURCEA(2), S_OK, 0},
      {MAKEINTRESOURCEA(3), E_FAIL, 0},
      {MAKEINTRESOURCEA(0xFFFF), E_FAIL, 0},
      {MAKEINTRESOURCEA(0), S_OK, 1},
      {MAKEINTRESOURCEA(0), S_OK, 1},
  };
  int expected = 0;
  for (const auto& c : cases) {
    EXPECT_EQ(Invoke(c.verb), c.hr);
    expected += c.windows;
    EXPECT_EQ(static_cast<int>(NewWindows(before, ThreadWindows()).size()), expected);
  }
  EXPECT_EQ(g_opened, 2);
  for (HWND w : NewWindows(before, ThreadWindows())) {
    auto* form = dynamic_cast<TFormQuillo*>(TForm::FromHandle(w));
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->Folder(), dir.path());
  }
  EXPECT_EQ(menu->InvokeCommand(nullptr), E_INVALIDARG);

  // The windows outlive the handler that opened them.
  menu->Release();
  menu = nullptr;
  init->Release();
  init = nullptr;
  EXPECT_EQ(server->ObjectCount(), 0);
  EXPECT_EQ(NewWindows(before, ThreadWindows()).size(), 2u);
  CloseWindows(NewWindows(before, ThreadWindows()));
  EXPECT_EQ(g_closed, 2);
  EXPECT_EQ(NewWindows(before, ThreadWindows()).size(), 0u);
}

TEST_F(ContextMenuTest, NoWindowingLayerMeansEFailAndNoWindow) {
  TTempDir dir;
  ASSERT_EQ(InitializeWithPath(dir.path()), S_OK);
  DoneWindowing(false);  // the note window now has no application to belong to
  EXPECT_EQ(Invoke(MAKEINTRESOURCEA(0)), E_FAIL);
  EXPECT_EQ(NewWindows(before, ThreadWindows()).size(), 0u);
  EXPECT_EQ(g_opened, 0);
}

TEST_F(ContextMenuTest, GetCommandStringAnswersOnlyValidation) {
  struct Case { UINT type; HRESULT hr; };
  const std::vector<Case> cases = {
      {GCS_VERBA, E_NOTIMPL},     {GCS_HELPTEXTA, E_NOTIMPL}, {GCS_VERBW, E_NOTIMPL},
      {GCS_HELPTEXTW, E_NOTIMPL}, {GCS_VERBICONW, E_NOTIMPL}, {GCS_VALIDATEA, S_OK},
      {GCS_VALIDATEW, S_OK},
  };
  for (const auto& c : cases) {
    for (UINT_PTR id : {0u, 1u, 7u}) {
      char buffer[64];
      std::memset(buffer, 0xAB, sizeof buffer);
      EXPECT_EQ(menu->GetCommandString(id, c.type, nullptr, buffer, sizeof buffer), c.hr)
          << c.type;
      EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '\xAB'));
    }
    EXPECT_EQ(menu->GetCommandString(0, c.type, nullptr, nullptr, 0), c.hr);
  }
}

}  // namespace
