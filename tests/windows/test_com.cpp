// The COM frame inside one process: counts, the class factory, aggregation, identity,
// the registry lock and the construction-failure box.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <new>
#include <stdexcept>
#include <vector>

#include "common/uHandles.h"
#include "server/uComServer.h"
#include "support/uComTestSupport.h"
#include "uContextMenu.h"

namespace {

void* const kJunk = reinterpret_cast<void*>(static_cast<ULONG_PTR>(0xdeadbeef));

// An outer object that aggregates a part and counts what the part forwards to it.
class TCountingOuter : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    ++queries;
    if (::IsEqualIID(iid, IID_IUnknown)) {
      *out = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    ++addRefs;
    return static_cast<ULONG>(++refs);
  }
  ULONG STDMETHODCALLTYPE Release() override {
    ++releases;
    return static_cast<ULONG>(--refs);
  }
  IUnknown* inner = nullptr;
  int queries = 0, addRefs = 0, releases = 0;
  LONG refs = 1;
};

class ComTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    server = new TComServer(::GetModuleHandleA(nullptr));
    ComServer = server;
    factory = new TContextMenuFactory(server);
  }
  void TearDown() override {
    EXPECT_EQ(server->ObjectCount(), 0);
    EXPECT_EQ(server->FactoryCount(), 0);
    EXPECT_EQ(ComServerCanUnloadNow(), S_OK);
    ComServer = nullptr;
    delete server;  // walks the registry and destroys the factory inside the walk
    EXPECT_EQ(ComClassManager()->FindFactory(CLSID_QuilloContextMenu), nullptr);
    ::CoUninitialize();
  }
  IClassFactory* GetFactory() {
    void* p = nullptr;
    EXPECT_EQ(ComServerGetClassObject(CLSID_QuilloContextMenu, IID_IClassFactory, &p), S_OK);
    return static_cast<IClassFactory*>(p);
  }

  TComServer* server = nullptr;
  TContextMenuFactory* factory = nullptr;
};

TEST_F(ComTest, FactoryReferencesHoldTheServer) {
  EXPECT_EQ(ComServerCanUnloadNow(), S_OK);
  IClassFactory* cf = GetFactory();
  ASSERT_NE(cf, nullptr);
  EXPECT_EQ(server->FactoryCount(), 1);
  EXPECT_EQ(server->ObjectCount(), 0);
  EXPECT_EQ(ComServerCanUnloadNow(), S_FALSE);
  EXPECT_EQ(cf->AddRef(), 2u);
  EXPECT_EQ(cf->Release(), 1u);
  EXPECT_EQ(cf->Release(), 0u);
  EXPECT_EQ(ComServerCanUnloadNow(), S_OK);
  // The factory outlives its last reference: it is still found and still answers.
  EXPECT_EQ(ComClassManager()->FindFactory(CLSID_QuilloContextMenu), factory);
}

TEST_F(ComTest, CreateInstanceCountsTheObject) {
  IClassFactory* cf = GetFactory();
  void* p = kJunk;
  ASSERT_EQ(cf->CreateInstance(nullptr, IID_IContextMenu, &p), S_OK);
  auto* menu = static_cast<IContextMenu*>(p);
  EXPECT_EQ(server->ObjectCount(), 1);
  EXPECT_EQ(menu->AddRef(), 2u);  // the create left exactly one reference
  EXPECT_EQ(menu->Release(), 1u);
  EXPECT_EQ(ComServerCanUnloadNow(), S_FALSE);
  EXPECT_EQ(menu->Release(), 0u);
  EXPECT_EQ(server->ObjectCount(), 0);
  cf->Release();
}

TEST_F(ComTest, CreateInstanceRefusals) {
  IClassFactory* cf = GetFactory();
  TCountingOuter outer;
  struct Case { IUnknown* outer; const IID* iid; HRESULT hr; };
  const std::vector<Case> cases = {
      {nullptr, &IID_IDispatch, E_NOINTERFACE},
      {nullptr, &IID_IClassFactory, E_NOINTERFACE},
      {&outer, &IID_IContextMenu, CLASS_E_NOAGGREGATION},
      {&outer, &IID_IShellExtInit, CLASS_E_NOAGGREGATION},
  };
  for (const auto& c : cases) {
    void* p = kJunk;
    EXPECT_EQ(cf->CreateInstance(c.outer, *c.iid, &p), c.hr);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(server->ObjectCount(), 0);  // the object made for a failed query is gone
  }
  EXPECT_EQ(cf->CreateInstance(nullptr, IID_IContextMenu, nullptr), E_POINTER);
  EXPECT_EQ(cf->CreateInstance(&outer, IID_IContextMenu, nullptr), E_POINTER);
  EXPECT_EQ(outer.queries + outer.addRefs + outer.releases, 0);
  cf->Release();
}

TEST_F(ComTest, AggregatedPartForwardsToTheOuterObject) {
  IClassFactory* cf = GetFactory();
  TCountingOuter outer;
  void* p = kJunk;
  ASSERT_EQ(cf->CreateInstance(&outer, IID_IUnknown, &p), S_OK);
  outer.inner = static_cast<IUnknown*>(p);
  EXPECT_EQ(server->ObjectCount(), 1);
  EXPECT_EQ(outer.addRefs, 0);  // the inner IUnknown is not the outer's business

  // The outer object hands out the part's interface; every IUnknown call on it goes out.
  IContextMenu* menu = nullptr;
  ASSERT_EQ(outer.inner->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)),
            S_OK);
  EXPECT_EQ(outer.addRefs, 1);
  menu->AddRef();
  EXPECT_EQ(outer.addRefs, 2);
  IUnknown* identity = nullptr;
  ASSERT_EQ(menu->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, &outer);
  EXPECT_EQ(outer.queries, 1);
  identity->Release();
  IShellExtInit* init = nullptr;
  ASSERT_EQ(menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)), S_OK);
  EXPECT_EQ(outer.queries, 2);
  init->Release();
  menu->Release();
  menu->Release();
  EXPECT_EQ(outer.refs, 1);
  EXPECT_EQ(outer.addRefs, outer.releases);
  EXPECT_EQ(server->ObjectCount(), 1);  // only the inner IUnknown decides the part's life
  EXPECT_EQ(outer.inner->Release(), 0u);
  EXPECT_EQ(server->ObjectCount(), 0);
  cf->Release();
}

TEST_F(ComTest, IdentityAndCrossQueries) {
  IClassFactory* cf = GetFactory();
  IContextMenu* menu = nullptr;
  ASSERT_EQ(cf->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu)),
            S_OK);
  IShellExtInit* init = nullptr;
  ASSERT_EQ(menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)), S_OK);
  IContextMenu* menu2 = nullptr;
  ASSERT_EQ(init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu2)), S_OK);
  EXPECT_EQ(menu2, menu);
  IUnknown* u1 = nullptr;
  IUnknown* u2 = nullptr;
  IUnknown* u3 = nullptr;
  ASSERT_EQ(menu->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&u1)), S_OK);
  ASSERT_EQ(init->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&u2)), S_OK);
  ASSERT_EQ(u1->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&u3)), S_OK);
  EXPECT_EQ(u1, u2);
  EXPECT_EQ(u1, u3);
  EXPECT_NE(static_cast<void*>(u1), static_cast<void*>(menu));

  void* p = kJunk;
  EXPECT_EQ(menu->QueryInterface(IID_IDispatch, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(menu->QueryInterface(IID_IContextMenu, nullptr), E_POINTER);
  EXPECT_EQ(u1->QueryInterface(IID_IContextMenu, nullptr), E_POINTER);

  ISupportErrorInfo* info = nullptr;
  ASSERT_EQ(u1->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
  struct Case { const IID* iid; HRESULT hr; };
  const std::vector<Case> cases = {
      {&IID_IContextMenu, S_OK},      {&IID_IShellExtInit, S_OK},
      {&IID_ISupportErrorInfo, S_OK}, {&IID_IUnknown, S_OK},
      {&IID_IDispatch, S_FALSE},      {&IID_IContextMenu2, S_FALSE},
      {&IID_IClassFactory, S_FALSE},
  };
  for (const auto& c : cases) EXPECT_EQ(info->InterfaceSupportsErrorInfo(*c.iid), c.hr);

  for (IUnknown* u : {static_cast<IUnknown*>(info), u3, u2, u1, static_cast<IUnknown*>(menu2),
                      static_cast<IUnknown*>(init)})
    u->Release();
  EXPECT_EQ(server->ObjectCount(), 1);
  EXPECT_EQ(menu->Release(), 0u);
  cf->Release();
}

TEST_F(ComTest, LockServerCountsAsALiveObject) {
  IClassFactory* cf = GetFactory();
  EXPECT_EQ(cf->LockServer(TRUE), S_OK);
  EXPECT_EQ(cf->LockServer(TRUE), S_OK);
  EXPECT_EQ(cf->LockServer(FALSE), S_OK);
  EXPECT_EQ(server->ObjectCount(), 1);
  cf->Release();
  EXPECT_EQ(ComServerCanUnloadNow(), S_FALSE);
  IClassFactory* again = GetFactory();
  EXPECT_EQ(again->LockServer(FALSE), S_OK);
  again->Release();
  EXPECT_EQ(server->ObjectCount(), 0);
}

TEST_F(ComTest, ManyCyclesLeaveNothingBehind) {
  for (int i = 0; i < 2000; ++i) {
    IClassFactory* cf = GetFactory();
    ASSERT_NE(cf, nullptr);
    IUnknown* obj = nullptr;
    ASSERT_EQ(cf->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&obj)), S_OK);
    IContextMenu* menu = nullptr;
    ASSERT_EQ(obj->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
    obj->Release();
    menu->Release();
    cf->Release();
  }
}

// ---- construction failures -------------------------------------------------------------

const CLSID kFailingClass = {0x0BADC0DE, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 9}};

enum TFailure { FailNoMemory, FailMessage, FailMessageWithDot, FailEmptyMessage, FailNotStd };

TFailure g_failure = FailNoMemory;

// Construction fails inside the object's own start-up, after it has been counted.
class TFailingObject : public TComObject {
 public:
  void AfterCreate() override {
    switch (g_failure) {
      case FailNoMemory: throw std::bad_alloc();
      case FailMessage: throw std::runtime_error("Broken part");
      case FailMessageWithDot: throw std::runtime_error("Ends here.");
      case FailEmptyMessage: throw std::runtime_error("");
      case FailNotStd: throw 42;
    }
  }
};

TComObject* NewFailingObject() { return new TFailingObject(); }

class TFailingFactory : public TComObjectFactory {
 public:
  explicit TFailingFactory(TComServerObject* server)
      : TComObjectFactory(server, &NewFailingObject, kFailingClass, u"Failing", u"",
                          ciInternal, tmSingle) {}
};

// A factory that cannot even allocate its object.
class TNoMemoryFactory : public TComObjectFactory {
 public:
  explicit TNoMemoryFactory(TComServerObject* server)
      : TComObjectFactory(server, &NewFailingObject, kFailingClass, u"NoMemory", u"", ciInternal,
                          tmSingle) {}
  TComObject* MakeObject(IUnknown*) override { throw std::bad_alloc(); }
};

TEST_F(ComTest, FailedConstructionShowsZelErrorAndAnswersUnexpected) {
  auto* failing = new TFailingFactory(server);  // destroyed with the server
  struct Case { TFailure failure; bool box; const char* text; };
  const std::vector<Case> cases = {
      {FailNoMemory, true, "Out of memory."},
      {FailMessage, true, "Broken part."},
      {FailMessageWithDot, true, "Ends here."},
      {FailEmptyMessage, true, ""},
      {FailNotStd, false, ""},
  };
  for (const auto& c : cases) {
    g_failure = c.failure;
    TMessageBoxWatcher watcher("Zel Error", c.box ? 10000 : 300);
    void* p = kJunk;
    EXPECT_EQ(failing->CreateInstance(nullptr, IID_IUnknown, &p), E_UNEXPECTED);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(watcher.Wait(), c.box) << c.failure;
    if (c.box) {
      EXPECT_EQ(watcher.Text(), c.text);
      EXPECT_EQ(watcher.Owner(), nullptr);
    }
    EXPECT_EQ(server->ObjectCount(), 0) << c.failure;
  }
  failing->SetShowErrors(false);
  g_failure = FailNoMemory;
  TMessageBoxWatcher quiet("Zel Error", 300);
  void* p = kJunk;
  EXPECT_EQ(failing->CreateInstance(nullptr, IID_IUnknown, &p), E_UNEXPECTED);
  EXPECT_EQ(p, nullptr);
  EXPECT_FALSE(quiet.Wait());

  auto* noMemory = new TNoMemoryFactory(server);
  TMessageBoxWatcher box("Zel Error");
  EXPECT_EQ(noMemory->CreateInstance(nullptr, IID_IUnknown, &p), E_UNEXPECTED);
  ASSERT_TRUE(box.Wait());
  EXPECT_EQ(box.Text(), "Out of memory.");
}

// ---- the registry and its lock -----------------------------------------------------------

TEST_F(ComTest, RegistryListsNewestFirstAndRemovesExactlyOne) {
  auto* a = new TFailingFactory(server);
  auto* b = new TNoMemoryFactory(server);
  EXPECT_EQ(ComClassManager()->FindFactory(kFailingClass), b);  // the newest first
  ComClassManager()->RemoveFactory(b);
  EXPECT_EQ(ComClassManager()->FindFactory(kFailingClass), a);
  delete b;  // no longer listed: its own removal finds nothing and changes nothing
  EXPECT_EQ(ComClassManager()->FindFactory(kFailingClass), a);
  EXPECT_EQ(ComClassManager()->FindFactory(CLSID_QuilloContextMenu), factory);
  int visited = 0;
  TComServer otherServer(nullptr);
  ComClassManager()->VisitFactories(&otherServer, [&](TComObjectFactory*) { ++visited; });
  EXPECT_EQ(visited, 0);
  ComClassManager()->VisitFactories(server, [&](TComObjectFactory*) { ++visited; });
  EXPECT_EQ(visited, 2);
}

struct TReaderProbe {
  TReentrantRWLock* lock;
  HANDLE entered;
};

DWORD WINAPI ReadOnce(void* param) {
  auto* probe = static_cast<TReaderProbe*>(param);
  TReadLock guard(*probe->lock);
  ::SetEvent(probe->entered);
  return 0;
}

TEST(ComLock, ExclusiveHolderTakesItAgainAndReadersWait) {
  TReentrantRWLock lock;
  TKernelHandle entered(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  TReaderProbe probe{&lock, entered.get()};
  lock.BeginWrite();
  lock.BeginWrite();  // would deadlock without re-entrance
  lock.BeginRead();   // a lookup by the exclusive holder nests as well
  EXPECT_TRUE(lock.HeldExclusivelyByMe());
  TKernelHandle reader(::CreateThread(nullptr, 0, ReadOnce, &probe, 0, nullptr));
  EXPECT_EQ(::WaitForSingleObject(entered.get(), 200), static_cast<DWORD>(WAIT_TIMEOUT));
  lock.EndRead();
  lock.EndWrite();
  EXPECT_EQ(::WaitForSingleObject(entered.get(), 200), static_cast<DWORD>(WAIT_TIMEOUT));
  lock.EndWrite();
  EXPECT_FALSE(lock.HeldExclusivelyByMe());
  EXPECT_EQ(::WaitForSingleObject(entered.get(), 5000), WAIT_OBJECT_0);
  ::WaitForSingleObject(reader.get(), 5000);
  // Readers share.
  lock.BeginRead();
  ::ResetEvent(entered.get());
  TKernelHandle reader2(::CreateThread(nullptr, 0, ReadOnce, &probe, 0, nullptr));
  EXPECT_EQ(::WaitForSingleObject(entered.get(), 5000), WAIT_OBJECT_0);
  lock.EndRead();
  ::WaitForSingleObject(reader2.get(), 5000);
}

}  // namespace
