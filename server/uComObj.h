// The COM frame every object of the module is built on: the server object's abstract face,
// the factory registry, the class factory and the COM object base class.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oaidl.h>

#include <exception>
#include <string>

#include "server/uComLock.h"

// The module-wide server as the factories and objects see it.
class TComServerObject {
 public:
  virtual LONG AdjustObjectCount(bool created) noexcept = 0;
  virtual LONG AdjustFactoryCount(bool created) noexcept = 0;
  virtual std::u16string GetServerFileName() const = 0;
  virtual std::u16string GetServerKey() const = 0;
  virtual std::u16string GetServerName() const = 0;
  virtual ITypeLib* GetTypeLib() const noexcept = 0;

 protected:
  ~TComServerObject() = default;
};

enum TClassInstancing { ciInternal = 0, ciSingleInstance = 1, ciMultiInstance = 2 };
enum TThreadingModel { tmSingle = 0, tmApartment = 1, tmFree = 2, tmBoth = 3, tmNeutral = 4 };

class TComObject;
class TComObjectFactory;

// Makes one not yet initialised object of a class (a plain new; may throw).
using TComObjectClass = TComObject* (*)();

// The registry of class factories: a list, newest first, linked through the factories.
class TComClassManager {
 public:
  TComClassManager() noexcept = default;
  TComClassManager(const TComClassManager&) = delete;
  TComClassManager& operator=(const TComClassManager&) = delete;

  void AddFactory(TComObjectFactory* factory) noexcept;
  void RemoveFactory(TComObjectFactory* factory) noexcept;
  TComObjectFactory* FindFactory(REFCLSID classId) noexcept;

  // Holds the lock exclusively for the whole walk; the operation may remove or destroy the
  // factory it is given, because the successor is taken first.
  template <typename Op>
  void VisitFactories(const TComServerObject* server, Op&& op) {
    TWriteLock guard(lock_);
    TComObjectFactory* next = nullptr;
    for (TComObjectFactory* f = head_; f; f = next) {
      next = NextOf(f);
      if (ServerOf(f) == server) op(f);
    }
  }

  TReentrantRWLock& Lock() noexcept { return lock_; }

 private:
  static TComObjectFactory* NextOf(TComObjectFactory* f) noexcept;
  static const TComServerObject* ServerOf(TComObjectFactory* f) noexcept;

  TComObjectFactory* head_ = nullptr;
  TReentrantRWLock lock_;
};

// The registry, made on first use.
TComClassManager* ComClassManager();
// The registry if it exists: for teardown, which must not make one.
TComClassManager* ExistingComClassManager() noexcept;
// Unload's last step: from here on a COM object's destruction leaves the server alone.
void DestroyComClassManager() noexcept;
bool ComUnloadFinishing() noexcept;

class TComObjectFactory : public IClassFactory {
 public:
  TComObjectFactory(TComServerObject* server, TComObjectClass objectClass, REFCLSID classId,
                    const std::u16string& className, const std::u16string& description,
                    TClassInstancing instancing, TThreadingModel threadingModel);
  TComObjectFactory(const TComObjectFactory&) = delete;
  TComObjectFactory& operator=(const TComObjectFactory&) = delete;
  virtual ~TComObjectFactory();

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IClassFactory
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

  virtual std::u16string GetProgID() const;
  virtual TComObject* MakeObject(IUnknown* outer);
  virtual void WriteRegistration(bool doRegister);

  TComServerObject* ComServer() const noexcept { return server_; }
  const CLSID& ClassID() const noexcept { return classId_; }
  const std::u16string& ClassName() const noexcept { return className_; }
  const std::u16string& Description() const noexcept { return description_; }
  TClassInstancing Instancing() const noexcept { return instancing_; }
  TThreadingModel ThreadingModel() const noexcept { return threadingModel_; }
  bool ShowErrors() const noexcept { return showErrors_; }
  void SetShowErrors(bool show) noexcept { showErrors_ = show; }

 private:
  friend class TComClassManager;
  void ReportCreateError(const char* message) const noexcept;

  TComObjectFactory* next_ = nullptr;
  TComServerObject* server_;
  TComObjectClass objectClass_;
  CLSID classId_;
  std::u16string className_;
  std::u16string description_;
  TClassInstancing instancing_;
  bool showErrors_ = false;
  TThreadingModel threadingModel_;
};

// Forwards the first three slots of every interface a derived class adds to the object's
// delegating IUnknown (the controller's when aggregated, else the object's own).
#define QUILLO_DELEGATING_IUNKNOWN                                                          \
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {              \
    return ObjQueryInterface(iid, out);                                                    \
  }                                                                                        \
  ULONG STDMETHODCALLTYPE AddRef() override { return ObjAddRef(); }                        \
  ULONG STDMETHODCALLTYPE Release() override { return ObjRelease(); }

class TComObject : public ISupportErrorInfo {
 public:
  TComObject() noexcept;
  TComObject(const TComObject&) = delete;
  TComObject& operator=(const TComObject&) = delete;
  virtual ~TComObject();

  QUILLO_DELEGATING_IUNKNOWN
  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

  // Called by the factory once the object is made: counts it and runs AfterCreate.
  void CreateFromFactory(TComObjectFactory* factory, IUnknown* controller);

  virtual void AfterCreate() {}
  virtual LONG InnerAddRef() noexcept;
  virtual HRESULT InnerQueryInterface(REFIID iid, void** out) noexcept;
  virtual LONG InnerRelease() noexcept;

  IUnknown* Controller() const noexcept { return controller_; }
  TComObjectFactory* Factory() const noexcept { return factory_; }
  LONG RefCount() const noexcept { return refCount_; }
  // The object's own, non-delegating IUnknown: its identity when it stands alone.
  IUnknown* InnerUnknown() noexcept { return &inner_; }

 protected:
  HRESULT ObjQueryInterface(REFIID iid, void** out) noexcept;
  ULONG ObjAddRef() noexcept;
  ULONG ObjRelease() noexcept;

  // The interface lookup, most derived class first: each class answers for the interfaces
  // it declares, in their order, and asks its base for the rest. Null when none matches.
  virtual void* FindInterface(REFIID iid) noexcept;

  bool notCounted_ = false;

 private:
  class TInnerUnknown : public IUnknown {
   public:
    explicit TInnerUnknown(TComObject* owner) noexcept : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
      return owner_->InnerQueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return owner_->InnerAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner_->InnerRelease(); }

   private:
    TComObject* owner_;
  };

  IUnknown* controller_ = nullptr;  // no reference held: the outer object owns us
  TComObjectFactory* factory_ = nullptr;
  volatile LONG refCount_ = 0;
  TInnerUnknown inner_;
};

