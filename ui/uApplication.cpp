#include "ui/uApplication.h"

#include <algorithm>
#include <utility>

#include "common/uError.h"
#include "common/uWide.h"
#include "ui/uForm.h"

namespace {

TApplication* g_application = nullptr;
// Form code running on the layer's thread (see TApplication::TBusy).
int g_busy = 0;

int CALLBACK FaceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;  // one is enough
}

// Whether the system has a font family of that name. A Korean face is asked for by its
// Korean name, which every system that has the font knows, whatever its language.
bool HasFace(HDC dc, const char16_t* face) {
  LOGFONTW lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  ::lstrcpynW(lf.lfFaceName, W(face), LF_FACESIZE);
  bool found = false;
  ::EnumFontFamiliesExW(dc, &lf, &FaceFound, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

const char16_t* ChooseFace(const char16_t* const* faces) {
  if (!faces || !faces[0]) return u"";
  TWindowDC screen(nullptr);
  if (screen)
    for (const char16_t* const* f = faces; *f; ++f)
      if (HasFace(screen.get(), *f)) return *f;
  return faces[0];
}

}  // namespace

void InitWindowing(HINSTANCE module) {
  if (!g_application) g_application = new TApplication(module);
}

void DoneWindowing() noexcept {
  TApplication* app = g_application;  // forms find their application while being destroyed
  if (!app) return;
  app->DestroyForms();
  g_application = nullptr;
  delete app;
}

TApplication* Application() noexcept { return g_application; }

TApplication::TApplication(HINSTANCE module) : module_(module), resources_(module) {}

TApplication::~TApplication() {
  // Whatever still runs, these forms' windows are gone and nothing can reach them any more.
  const int busy = std::exchange(g_busy, 0);
  CollectDeadForms();
  g_busy = busy;
  // Forms whose window could not be destroyed (none on this thread's own roads) stay
  // allocated: their windows may still call into them.
  for (const auto& name : classes_) {
    // Fails while a window of the class still exists; nothing to do then.
    ::UnregisterClassW(W(name), module_);
  }
}

int TApplication::FormCount() const noexcept {
  int n = 0;
  for (const TForm* f : forms_) n += f->dead_ ? 0 : 1;
  return n;
}

void TApplication::EnsureClass(const char16_t* className, WNDPROC proc) {
  if (std::find(classes_.begin(), classes_.end(), className) != classes_.end()) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = proc;
  wc.hInstance = module_;
  wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = W(className);
  if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw EQuilloError("RegisterClassExW");
  classes_.emplace_back(className);
}

HFONT TApplication::Font(const char16_t* const* faces, int height, bool bold) {
  for (const auto& f : fonts_)
    if (f.height == height && f.bold == bold && f.faces == faces)
      return static_cast<HFONT>(f.font.get());
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  ::lstrcpynW(lf.lfFaceName, W(ChooseFace(faces)), LF_FACESIZE);
  TGdiObject font(::CreateFontIndirectW(&lf));
  if (!font) throw EQuilloError("CreateFontIndirectW");
  fonts_.push_back(TFontEntry{faces, height, bold, std::move(font)});
  return static_cast<HFONT>(fonts_.back().font.get());
}

const TPicture* TApplication::Picture(int resourceId) {
  for (const auto& p : pictures_)
    if (p.id == resourceId) return p.picture.get();
  auto picture = std::make_unique<TPicture>();
  picture->bitmap.reset(
      ::LoadImageW(resources_, MAKEINTRESOURCEW(resourceId), IMAGE_BITMAP, 0, 0, 0));
  BITMAP bm{};
  if (picture->bitmap && ::GetObjectW(picture->bitmap.get(), sizeof bm, &bm)) {
    picture->width = bm.bmWidth;
    picture->height = bm.bmHeight;
    picture->mask.reset(::CreateBitmap(bm.bmWidth, bm.bmHeight, 1, 1, nullptr));
    TMemoryDC src(::CreateCompatibleDC(nullptr)), dst(::CreateCompatibleDC(nullptr));
    if (picture->mask && src && dst) {
      TSelectObject s1(src.get(), picture->bitmap.get()), s2(dst.get(), picture->mask.get());
      // The bottom-left pixel names the transparent colour.
      ::SetBkColor(src.get(), ::GetPixel(src.get(), 0, bm.bmHeight - 1));
      ::BitBlt(dst.get(), 0, 0, bm.bmWidth, bm.bmHeight, src.get(), 0, 0, SRCCOPY);
    } else {
      picture.reset();
    }
  } else {
    picture.reset();  // a missing picture leaves its buttons with their captions only
  }
  pictures_.push_back(TPictureEntry{resourceId, std::move(picture)});
  return pictures_.back().picture.get();
}

void TApplication::Add(TForm* form) {
  forms_.push_back(form);
  form->listed_ = true;
}

void TApplication::DestroyForms() noexcept {
  {
    TBusy busy;  // the list holds still while windows go
    std::vector<HWND> windows;
    for (TForm* f : forms_)
      if (f->Handle()) windows.push_back(f->Handle());
    for (HWND h : windows)
      if (::IsWindow(h)) ::DestroyWindow(h);
  }
  CollectDeadForms();
}

void TApplication::CollectDeadForms() noexcept {
  if (g_busy > 0) return;
  std::vector<TForm*> dead;
  for (TForm* f : forms_)
    if (f->dead_) dead.push_back(f);
  if (dead.empty()) return;
  forms_.erase(std::remove_if(forms_.begin(), forms_.end(), [](TForm* f) { return f->dead_; }),
               forms_.end());
  for (TForm* f : dead) {
    f->listed_ = false;
    delete f;
  }
}

TApplication::TBusy::TBusy() noexcept { ++g_busy; }

TApplication::TBusy::~TBusy() {
  if (--g_busy == 0 && g_application) g_application->CollectDeadForms();
}
