#include "ui/uApplication.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "common/uError.h"
#include "common/uWide.h"
#include "resources/uResourceIds.h"
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
    ThrowLastError("RegisterClassExW");
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
  if (!font) throw EQuilloError("CreateFontIndirectW");  // it sets no error code
  fonts_.push_back(TFontEntry{faces, height, bold, std::move(font)});
  return static_cast<HFONT>(fonts_.back().font.get());
}

HBRUSH TApplication::Brush(COLORREF color) {
  for (const auto& b : brushes_)
    if (b.color == color) return static_cast<HBRUSH>(b.brush.get());
  TGdiObject brush(::CreateSolidBrush(color));
  if (!brush) return nullptr;
  brushes_.push_back(TBrushEntry{color, std::move(brush)});
  return static_cast<HBRUSH>(brushes_.back().brush.get());
}

namespace {

// The heights the pictures are drawn at in the resources, IDB_SIZE_STEP identifiers apart.
constexpr int kPictureSizes[] = {kPictureDesignSize, 23, 27, 36};
constexpr int kPictureSizeStep = IDB_SIZE_STEP;

// One bitmap of the resources with its mask, 1 where the bottom-left pixel's colour is.
std::unique_ptr<TPicture> LoadPicture(HMODULE module, int id) {
  auto picture = std::make_unique<TPicture>();
  picture->bitmap.reset(::LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0));
  BITMAP bm{};
  if (!picture->bitmap || !::GetObjectW(picture->bitmap.get(), sizeof bm, &bm)) return nullptr;
  picture->width = bm.bmWidth;
  picture->height = bm.bmHeight;
  picture->mask.reset(::CreateBitmap(bm.bmWidth, bm.bmHeight, 1, 1, nullptr));
  TMemoryDC src(::CreateCompatibleDC(nullptr)), dst(::CreateCompatibleDC(nullptr));
  if (!picture->mask || !src || !dst) return nullptr;
  TSelectObject s1(src.get(), picture->bitmap.get()), s2(dst.get(), picture->mask.get());
  ::SetBkColor(src.get(), ::GetPixel(src.get(), 0, bm.bmHeight - 1));
  ::BitBlt(dst.get(), 0, 0, bm.bmWidth, bm.bmHeight, src.get(), 0, 0, SRCCOPY);
  return picture;
}

// The picture at another height: its colours scaled smoothly, blended at the edges with the
// button face it is drawn on, and its mask taken pixel by pixel.
std::unique_ptr<TPicture> ScalePicture(const TPicture& from, int size) {
  TWindowDC screen(nullptr);
  TMemoryDC src(::CreateCompatibleDC(screen.get())), dst(::CreateCompatibleDC(screen.get()));
  if (!screen || !src || !dst || from.height <= 0) return nullptr;
  auto picture = std::make_unique<TPicture>();
  picture->height = size;
  picture->width = layout::MulDivRound(from.width, size, from.height);
  TGdiObject onFace(::CreateCompatibleBitmap(screen.get(), from.width, from.height));
  picture->bitmap.reset(::CreateCompatibleBitmap(screen.get(), picture->width, size));
  picture->mask.reset(::CreateBitmap(picture->width, size, 1, 1, nullptr));
  if (!onFace || !picture->bitmap || !picture->mask) return nullptr;
  {
    TSelectObject s1(src.get(), from.bitmap.get()), s2(dst.get(), onFace.get());
    RECT all{0, 0, from.width, from.height};
    ::FillRect(dst.get(), &all, ::GetSysColorBrush(COLOR_BTNFACE));
    // Transparent copy, as the painter does it.
    TMemoryDC mask(::CreateCompatibleDC(screen.get()));
    if (!mask) return nullptr;
    TSelectObject s3(mask.get(), from.mask.get());
    ::SetTextColor(dst.get(), RGB(0, 0, 0));
    ::SetBkColor(dst.get(), RGB(255, 255, 255));
    ::BitBlt(dst.get(), 0, 0, from.width, from.height, src.get(), 0, 0, SRCINVERT);
    ::BitBlt(dst.get(), 0, 0, from.width, from.height, mask.get(), 0, 0, SRCAND);
    ::BitBlt(dst.get(), 0, 0, from.width, from.height, src.get(), 0, 0, SRCINVERT);
  }
  {
    TSelectObject s1(src.get(), onFace.get()), s2(dst.get(), picture->bitmap.get());
    ::SetStretchBltMode(dst.get(), HALFTONE);
    ::SetBrushOrgEx(dst.get(), 0, 0, nullptr);
    ::StretchBlt(dst.get(), 0, 0, picture->width, size, src.get(), 0, 0, from.width, from.height,
                 SRCCOPY);
  }
  {
    TSelectObject s1(src.get(), from.mask.get()), s2(dst.get(), picture->mask.get());
    ::SetStretchBltMode(dst.get(), COLORONCOLOR);
    ::StretchBlt(dst.get(), 0, 0, picture->width, size, src.get(), 0, 0, from.width, from.height,
                 SRCCOPY);
  }
  return picture;
}

}  // namespace

const TPicture* TApplication::Picture(int resourceId, int size) {
  for (const auto& p : pictures_)
    if (p.id == resourceId && p.size == size) return p.picture.get();
  // The size drawn for it, else the next larger (scaling down loses least), else the largest.
  int pick = -1;
  for (int k = 0; k < static_cast<int>(std::size(kPictureSizes)); ++k)
    if (pick < 0 && kPictureSizes[k] >= size) pick = k;
  if (pick < 0) pick = static_cast<int>(std::size(kPictureSizes)) - 1;
  std::unique_ptr<TPicture> picture = LoadPicture(resources_, resourceId + pick * kPictureSizeStep);
  if (!picture && pick > 0) picture = LoadPicture(resources_, resourceId);  // a module without them
  if (picture && picture->height != size) picture = ScalePicture(*picture, size);
  // A missing picture leaves its buttons with their captions only.
  pictures_.push_back(TPictureEntry{resourceId, size, std::move(picture)});
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
