// The one server object of the module and what the four exports do with it.
#pragma once

#include "server/uComObj.h"

class TComServer : public TComServerObject {
 public:
  explicit TComServer(HMODULE module) noexcept;
  TComServer(const TComServer&) = delete;
  TComServer& operator=(const TComServer&) = delete;
  // Destroys every factory of this server; each unlinks itself from the registry.
  virtual ~TComServer();

  LONG AdjustObjectCount(bool created) noexcept override;
  LONG AdjustFactoryCount(bool created) noexcept override;
  std::u16string GetServerFileName() const override;
  std::u16string GetServerKey() const override;
  std::u16string GetServerName() const override;
  ITypeLib* GetTypeLib() const noexcept override;

  // Writes (true) or removes (false) the entries of every registrable factory, below
  // HKEY_CLASSES_ROOT or below another classes key (a user's). Raises EOleRegistrationError at
  // the first write that fails.
  void WriteServerRegistration(bool doRegister, HKEY root = HKEY_CLASSES_ROOT);

  LONG ObjectCount() const noexcept;
  LONG FactoryCount() const noexcept;
  bool IsInprocServer() const noexcept { return isInproc_; }
  bool Registering() const noexcept { return registering_; }

 private:
  volatile LONG objectCount_ = 0;
  volatile LONG factoryCount_ = 0;
  ITypeLib* typeLib_ = nullptr;  // filled only on demand, and nothing here asks for it
  std::u16string serverName_;
  bool isInproc_ = true;
  bool registering_ = false;
  HMODULE module_;
};

// The module's server while it is loaded; null before loading and from unloading on.
extern TComServer* ComServer;

// The bodies of the exports; none of them lets an exception out.
HRESULT ComServerGetClassObject(REFCLSID classId, REFIID iid, void** out) noexcept;
HRESULT ComServerCanUnloadNow() noexcept;
HRESULT ComServerRegister(bool doRegister) noexcept;
