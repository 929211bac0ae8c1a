#include "server/uComObj.h"

#include <new>
#include <stdexcept>

#include "common/uWide.h"
#include "server/uComRegistry.h"

namespace {
TComClassManager* g_classManager = nullptr;
volatile LONG g_unloadFinishing = 0;
}  // namespace

// ---- factory registry ---------------------------------------------------------------

TComClassManager* ComClassManager() {
  if (!g_classManager) g_classManager = new TComClassManager();
  return g_classManager;
}

TComClassManager* ExistingComClassManager() noexcept { return g_classManager; }

void DestroyComClassManager() noexcept {
  ::InterlockedExchange(&g_unloadFinishing, 1);
  delete g_classManager;
  g_classManager = nullptr;
}

bool ComUnloadFinishing() noexcept {
  return ::InterlockedCompareExchange(&g_unloadFinishing, 0, 0) != 0;
}

TComObjectFactory* TComClassManager::NextOf(TComObjectFactory* f) noexcept { return f->next_; }

const TComServerObject* TComClassManager::ServerOf(TComObjectFactory* f) noexcept {
  return f->server_;
}

void TComClassManager::AddFactory(TComObjectFactory* factory) noexcept {
  TWriteLock guard(lock_);
  factory->next_ = head_;
  head_ = factory;
}

void TComClassManager::RemoveFactory(TComObjectFactory* factory) noexcept {
  TWriteLock guard(lock_);
  for (TComObjectFactory** link = &head_; *link; link = &(*link)->next_) {
    if (*link == factory) {
      *link = factory->next_;
      factory->next_ = nullptr;
      return;
    }
  }
}

TComObjectFactory* TComClassManager::FindFactory(REFCLSID classId) noexcept {
  TReadLock guard(lock_);
  for (TComObjectFactory* f = head_; f; f = f->next_)
    if (::IsEqualGUID(f->classId_, classId)) return f;
  return nullptr;
}

// ---- class factory --------------------------------------------------------------------

TComObjectFactory::TComObjectFactory(TComServerObject* server, TComObjectClass objectClass,
                                     REFCLSID classId, const std::u16string& className,
                                     const std::u16string& description,
                                     TClassInstancing instancing,
                                     TThreadingModel threadingModel)
    : server_(server),
      objectClass_(objectClass),
      classId_(classId),
      className_(className),
      description_(description),
      instancing_(instancing),
      threadingModel_(threadingModel) {
  ComClassManager()->AddFactory(this);
  showErrors_ = true;
}

TComObjectFactory::~TComObjectFactory() {
  if (g_classManager) g_classManager->RemoveFactory(this);
}

HRESULT STDMETHODCALLTYPE TComObjectFactory::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (::IsEqualIID(iid, IID_IClassFactory) || ::IsEqualIID(iid, IID_IUnknown)) {
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

// The factory lives until the module unloads; its references only keep the module loaded.
ULONG STDMETHODCALLTYPE TComObjectFactory::AddRef() {
  return static_cast<ULONG>(server_->AdjustFactoryCount(true));
}

ULONG STDMETHODCALLTYPE TComObjectFactory::Release() {
  return static_cast<ULONG>(server_->AdjustFactoryCount(false));
}

HRESULT STDMETHODCALLTYPE TComObjectFactory::CreateInstance(IUnknown* outer, REFIID iid,
                                                            void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer && !::IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  TComObject* obj = nullptr;
  try {
    obj = MakeObject(outer);
  } catch (const std::bad_alloc&) {
    // Told apart by its own handler: a type test on the caught object would pull the
    // runtime's whole dynamic-cast machinery into the DLL.
    ReportCreateError("Out of memory");
    return E_UNEXPECTED;
  } catch (const std::exception& e) {
    ReportCreateError(e.what());
    return E_UNEXPECTED;
  } catch (...) {
    ReportCreateError(nullptr);
    return E_UNEXPECTED;
  }
  if (!obj) return E_UNEXPECTED;
  HRESULT hr = obj->InnerQueryInterface(iid, out);
  // Nobody holds an object whose query failed: give it back at once.
  if (obj->RefCount() == 0) delete obj;
  return hr;
}

HRESULT STDMETHODCALLTYPE TComObjectFactory::LockServer(BOOL lock) {
  HRESULT hr = ::CoLockObjectExternal(static_cast<IClassFactory*>(this), lock, TRUE);
  server_->AdjustObjectCount(lock != FALSE);
  return hr;
}

std::u16string TComObjectFactory::GetProgID() const {
  if (className_.empty()) return std::u16string();
  return server_->GetServerName() + u"." + className_;
}

TComObject* TComObjectFactory::MakeObject(IUnknown* outer) {
  TComObject* obj = objectClass_();
  try {
    obj->CreateFromFactory(this, outer);
  } catch (...) {
    delete obj;
    throw;
  }
  return obj;
}

namespace {
const char16_t* ThreadingModelName(TThreadingModel model) {
  switch (model) {
    case tmApartment: return u"Apartment";
    case tmFree: return u"Free";
    case tmBoth: return u"Both";
    case tmNeutral: return u"Neutral";
    default: return u"";
  }
}
}  // namespace

void TComObjectFactory::WriteRegistration(bool doRegister) {
  if (instancing_ == ciInternal) return;
  const std::u16string classKey = u"CLSID\\" + GUIDToString(classId_);
  const std::u16string progId = GetProgID();
  const std::u16string serverKey = classKey + u"\\" + server_->GetServerKey();
  if (doRegister) {
    // Known before anything is written: a class without a server to load is worse than none.
    const std::u16string modulePath = ModulePathForRegistry(server_->GetServerFileName());
    if (modulePath.empty()) throw EOleRegistrationError("The module's path cannot be found");
    WriteKeyValue(classKey, u"", description_);
    WriteKeyValue(serverKey, u"", modulePath);
    if (threadingModel_ != tmSingle)
      WriteKeyValue(serverKey, u"ThreadingModel", ThreadingModelName(threadingModel_));
    if (!progId.empty()) {
      WriteKeyValue(progId, u"", description_);
      WriteKeyValue(progId + u"\\Clsid", u"", GUIDToString(classId_));
      WriteKeyValue(classKey + u"\\ProgID", u"", progId);
    }
  } else {
    if (!progId.empty()) {
      RemoveKey(classKey + u"\\ProgID");
      RemoveKey(progId + u"\\Clsid");
      RemoveKey(progId);
    }
    RemoveKey(serverKey);
    RemoveKey(classKey);
  }
}

void TComObjectFactory::ReportCreateError(const char* message) const noexcept {
  if (!showErrors_ || !message) return;
  try {
    // Quillo's own messages and the runtime's are ASCII: each byte is its character.
    std::u16string text(message, message + std::char_traits<char>::length(message));
    if (!text.empty() && text.back() > u'.') text += u'.';
    ::MessageBoxW(nullptr, W(text), L"Zel Error", MB_OK | MB_ICONSTOP | MB_SETFOREGROUND);
  } catch (...) {
    // No memory even for the message: the caller still gets its failure code.
  }
}

// ---- COM object -----------------------------------------------------------------------

TComObject::TComObject() noexcept : inner_(this) {}

TComObject::~TComObject() {
  // Once unloading has passed the server, nothing of it may be touched any more.
  if (ComUnloadFinishing()) return;
  if (factory_ && !notCounted_) factory_->ComServer()->AdjustObjectCount(false);
  if (refCount_ > 0) ::CoDisconnectObject(&inner_, 0);
}

void TComObject::CreateFromFactory(TComObjectFactory* factory, IUnknown* controller) {
  // Plain steps: nobody else can see the object yet. The count of 1 keeps anything done
  // during construction from destroying it.
  refCount_ = 1;
  factory_ = factory;
  controller_ = controller;
  if (!notCounted_) factory_->ComServer()->AdjustObjectCount(true);
  try {
    AfterCreate();
  } catch (...) {
    refCount_ = 0;
    throw;
  }
  refCount_ = refCount_ - 1;
}

HRESULT TComObject::ObjQueryInterface(REFIID iid, void** out) noexcept {
  if (controller_) return controller_->QueryInterface(iid, out);
  return InnerQueryInterface(iid, out);
}

ULONG TComObject::ObjAddRef() noexcept {
  if (controller_) return controller_->AddRef();
  return static_cast<ULONG>(InnerAddRef());
}

ULONG TComObject::ObjRelease() noexcept {
  if (controller_) return controller_->Release();
  return static_cast<ULONG>(InnerRelease());
}

void* TComObject::FindInterface(REFIID iid) noexcept {
  if (::IsEqualIID(iid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
  if (::IsEqualIID(iid, IID_IUnknown)) return &inner_;
  return nullptr;
}

HRESULT TComObject::InnerQueryInterface(REFIID iid, void** out) noexcept {
  if (!out) return E_POINTER;
  void* found = FindInterface(iid);
  *out = found;
  if (!found) return E_NOINTERFACE;
  static_cast<IUnknown*>(found)->AddRef();
  return S_OK;
}

LONG TComObject::InnerAddRef() noexcept { return ::InterlockedIncrement(&refCount_); }

LONG TComObject::InnerRelease() noexcept {
  LONG n = ::InterlockedDecrement(&refCount_);
  if (n == 0) delete this;
  return n;
}

HRESULT STDMETHODCALLTYPE TComObject::InterfaceSupportsErrorInfo(REFIID iid) {
  return FindInterface(iid) ? S_OK : S_FALSE;
}
