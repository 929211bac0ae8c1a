// The windowing layer's life, as the library entry drives it, and the application object
// that owns every form.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

class TForm;

// Prepares window classes and the application object that owns every form.
void InitWindowing(HINSTANCE module);
// Destroys every form still open, then the application object. While the process exits
// (the loader's lock held, other threads gone) no window is touched.
void DoneWindowing(bool processExiting) noexcept;

class TApplication {
 public:
  explicit TApplication(HINSTANCE module);
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  HINSTANCE Module() const noexcept { return module_; }
  // Where pictures are loaded from: the module itself unless told otherwise (a test program
  // borrows them from Quillo.dll).
  HMODULE ResourceModule() const noexcept { return resources_; }
  void SetResourceModule(HMODULE m) noexcept { resources_ = m ? m : module_; }

  // Creates a form of class T (default-constructible) and its window; from then on the
  // window owns the form and frees it when destroyed. Throws when it cannot be made.
  template <typename T>
  T* CreateForm(HWND owner = nullptr) {
    auto form = std::make_unique<T>();
    form->Create(owner);
    T* raw = form.release();
    Adopt(raw);
    return raw;
  }

  int FormCount() const noexcept;
  // Registers the window class of a form class once, for this module.
  void EnsureClass(const char* className, WNDPROC proc);
  // Destroys the windows of every form of this thread (each frees its form).
  void DestroyForms() noexcept;

 private:
  friend class TForm;
  void Adopt(TForm* form) noexcept;
  void Add(TForm* form);
  void Remove(TForm* form) noexcept;

  HINSTANCE module_;
  HMODULE resources_;
  mutable CRITICAL_SECTION lock_;
  std::vector<TForm*> forms_;
  std::vector<std::string> classes_;
};

// The application object between InitWindowing and DoneWindowing, otherwise null.
TApplication* Application() noexcept;
