// The windowing layer's life and the application object that owns every form, with what
// forms share: window classes, fonts and button pictures, each made once.
//
// The layer belongs to one thread: the one that calls InitWindowing (in the library, its UI
// thread, when the first note opens). Everything here is used from that thread only.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "common/uHandles.h"

class TForm;

// Prepares the application object that owns every form. Throws when it cannot.
void InitWindowing(HINSTANCE module);
// Destroys every form still open, then the application object with its classes, fonts and
// pictures. Called on the layer's own thread, never from the library's unloading.
void DoneWindowing() noexcept;

// The height of the pictures of picture buttons at design (100 %).
constexpr int kPictureDesignSize = 18;

// A picture of a picture button: the bitmap (normal and greyed image side by side) and its
// mask, 1 where the picture is transparent.
struct TPicture {
  TGdiObject bitmap;
  TGdiObject mask;
  int width = 0, height = 0;
};

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
  // application owns the form and deletes it after its window is gone. Throws when it cannot
  // be made.
  template <typename T>
  T* CreateForm(HWND owner = nullptr) {
    auto form = std::make_unique<T>();
    form->Create(owner);
    return form.release();
  }

  // Forms whose window still exists.
  int FormCount() const noexcept;
  // Registers the window class of a form class once, for this module.
  void EnsureClass(const char16_t* className, WNDPROC proc);
  // A font, made on first use and shared by every form until the layer is torn down. `faces`
  // (null-terminated) are asked for in turn: the first one the system has is taken, the
  // first of all when it has none (the font mapper then finds the nearest).
  HFONT Font(const char16_t* const* faces, int height, bool bold);
  // A picture from the resource module with its mask, `size` pixels high, made on first use
  // and shared; null when the resource is missing. Drawn for that size where the module has
  // it, otherwise scaled smoothly from the next larger one (or the largest).
  const TPicture* Picture(int resourceId, int size = kPictureDesignSize);
  // A solid brush of that colour, made on first use and shared; null when none can be made.
  HBRUSH Brush(COLORREF color);
  // Destroys the windows of every form (each form is deleted afterwards).
  void DestroyForms() noexcept;

  // While one lives, no form is deleted: held around everything that runs a form's code, so
  // that a form destroyed from inside its own handler outlives the handler.
  class TBusy {
   public:
    TBusy() noexcept;
    ~TBusy();
    TBusy(const TBusy&) = delete;
    TBusy& operator=(const TBusy&) = delete;
  };

 private:
  friend class TForm;
  struct TFontEntry {
    const char16_t* const* faces;
    int height;
    bool bold;
    TGdiObject font;
  };
  struct TPictureEntry {
    int id;
    int size;
    std::unique_ptr<TPicture> picture;  // null: the resource is missing
  };
  void Add(TForm* form);
  void CollectDeadForms() noexcept;

  HINSTANCE module_;
  HMODULE resources_;
  std::vector<TForm*> forms_;
  std::vector<std::u16string> classes_;
  std::vector<TFontEntry> fonts_;
  std::vector<TPictureEntry> pictures_;
  struct TBrushEntry {
    COLORREF color;
    TGdiObject brush;
  };
  std::vector<TBrushEntry> brushes_;
};

// The application object between InitWindowing and DoneWindowing, otherwise null.
TApplication* Application() noexcept;
