#include "server/uComServer.h"

#include "common/uWide.h"
#include "server/uComRegistry.h"

TComServer* ComServer = nullptr;

TComServer::TComServer(HMODULE module) noexcept : module_(module) {}

TComServer::~TComServer() {
  if (TComClassManager* manager = ExistingComClassManager())
    manager->VisitFactories(this, [](TComObjectFactory* f) { delete f; });
  if (typeLib_) typeLib_->Release();
}

LONG TComServer::AdjustObjectCount(bool created) noexcept {
  return created ? ::InterlockedIncrement(&objectCount_) : ::InterlockedDecrement(&objectCount_);
}

LONG TComServer::AdjustFactoryCount(bool created) noexcept {
  return created ? ::InterlockedIncrement(&factoryCount_)
                 : ::InterlockedDecrement(&factoryCount_);
}

LONG TComServer::ObjectCount() const noexcept {
  return ::InterlockedCompareExchange(const_cast<volatile LONG*>(&objectCount_), 0, 0);
}

LONG TComServer::FactoryCount() const noexcept {
  return ::InterlockedCompareExchange(const_cast<volatile LONG*>(&factoryCount_), 0, 0);
}

std::u16string TComServer::GetServerFileName() const {
  // Any folder name, in whatever language: the wide path names every one. Longer than a
  // classic path only with the system's long-path support, which a module path may use.
  std::u16string path(MAX_PATH + 2, u'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(path.size());
    const DWORD n = ::GetModuleFileNameW(module_, W(&path[0]), size);
    if (n == 0) return std::u16string();
    if (n < size) {
      path.resize(n);
      return path;
    }
    if (size >= 32768) return std::u16string();  // no path is longer
    path.resize(size * 2);
  }
}

std::u16string TComServer::GetServerKey() const { return u"InprocServer32"; }

std::u16string TComServer::GetServerName() const {
  if (!serverName_.empty()) return serverName_;
  return StripFileExt(ExtractFileName(LongPathName(GetServerFileName())));
}

ITypeLib* TComServer::GetTypeLib() const noexcept { return typeLib_; }

void TComServer::WriteServerRegistration(bool doRegister, HKEY root) {
  TComClassManager* manager = ComClassManager();
  // One registration at a time: the root is shared by the writes (the walk below takes the
  // same lock again, which its holder may).
  TWriteLock guard(manager->Lock());
  TRegistrationRoot at(root);
  // The type library stays out of the registry: it is carried, never loaded.
  registering_ = doRegister;
  manager->VisitFactories(this, [doRegister](TComObjectFactory* f) {
    if (f->Instancing() != ciInternal) f->WriteRegistration(doRegister);
  });
}

HRESULT ComServerGetClassObject(REFCLSID classId, REFIID iid, void** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  try {
    TComObjectFactory* factory = ComClassManager()->FindFactory(classId);
    if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
    return SUCCEEDED(factory->QueryInterface(iid, out)) ? S_OK : E_NOINTERFACE;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT ComServerCanUnloadNow() noexcept {
  if (!ComServer) return S_OK;
  if (ComServer->ObjectCount() != 0) return S_FALSE;
  if (ComServer->FactoryCount() != 0) return S_FALSE;
  return S_OK;
}

HRESULT ComServerRegister(bool doRegister) noexcept {
  try {
    if (!ComServer) return E_FAIL;
    ComServer->WriteServerRegistration(doRegister);
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}
