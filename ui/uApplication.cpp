#include "ui/uApplication.h"

#include <algorithm>
#include <utility>

#include "common/uError.h"
#include "ui/uForm.h"

namespace {

TApplication* g_application = nullptr;

class TLock {
 public:
  explicit TLock(CRITICAL_SECTION& cs) noexcept : cs_(cs) { ::EnterCriticalSection(&cs_); }
  ~TLock() { ::LeaveCriticalSection(&cs_); }
  TLock(const TLock&) = delete;
  TLock& operator=(const TLock&) = delete;

 private:
  CRITICAL_SECTION& cs_;
};

}  // namespace

void InitWindowing(HINSTANCE module) {
  if (!g_application) g_application = new TApplication(module);
}

void DoneWindowing(bool processExiting) noexcept {
  TApplication* app = std::exchange(g_application, nullptr);
  if (!app) return;
  // At process exit the windows are going away with the process, and the loader lock is
  // held: touching them (or unregistering their classes) could only deadlock.
  if (processExiting) return;
  g_application = app;  // forms unregister themselves while being destroyed
  app->DestroyForms();
  g_application = nullptr;
  delete app;
}

TApplication* Application() noexcept { return g_application; }

TApplication::TApplication(HINSTANCE module) : module_(module), resources_(module) {
  ::InitializeCriticalSection(&lock_);
}

TApplication::~TApplication() {
  for (const auto& name : classes_) {
    // Fails while a window of the class still exists (another thread's); nothing to do then.
    ::UnregisterClassA(name.c_str(), module_);
  }
  ::DeleteCriticalSection(&lock_);
}

int TApplication::FormCount() const noexcept {
  TLock l(lock_);
  return static_cast<int>(forms_.size());
}

void TApplication::EnsureClass(const char* className, WNDPROC proc) {
  TLock l(lock_);
  if (std::find(classes_.begin(), classes_.end(), className) != classes_.end()) return;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = proc;
  wc.hInstance = module_;
  wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = className;
  if (!::RegisterClassExA(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw EQuilloError("RegisterClassExA");
  classes_.emplace_back(className);
}

void TApplication::Adopt(TForm* form) noexcept { form->ownedByWindow_ = true; }

void TApplication::Add(TForm* form) {
  TLock l(lock_);
  forms_.push_back(form);
}

void TApplication::Remove(TForm* form) noexcept {
  TLock l(lock_);
  forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
}

void TApplication::DestroyForms() noexcept {
  std::vector<HWND> windows;
  {
    TLock l(lock_);
    for (TForm* f : forms_) {
      // A window can only be destroyed by its own thread; another thread's windows keep
      // the library loaded through their count, so they are not met here in practice.
      HWND h = f->Handle();
      if (h && ::GetWindowThreadProcessId(h, nullptr) == ::GetCurrentThreadId())
        windows.push_back(h);
    }
  }
  for (HWND h : windows)
    if (::IsWindow(h)) ::DestroyWindow(h);
}
