// An owning COM interface reference: one Release for every reference it was given.
#pragma once

#include <objbase.h>
#include <unknwn.h>

#include <utility>

#include "common/uHandles.h"

template <typename T>
class TComPtr {
 public:
  TComPtr() noexcept = default;
  TComPtr(std::nullptr_t) noexcept {}
  // Takes over a reference the caller already holds.
  static TComPtr Attach(T* p) noexcept {
    TComPtr r;
    r.p_ = p;
    return r;
  }
  TComPtr(const TComPtr& o) noexcept : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  TComPtr(TComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  TComPtr& operator=(TComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~TComPtr() { reset(); }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  void reset() noexcept {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  T* detach() noexcept { return std::exchange(p_, nullptr); }
  // For out-parameters; releases what it held first.
  T** put() noexcept {
    reset();
    return &p_;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

 private:
  T* p_ = nullptr;
};

// For memory the COM runtime hands over (StringFromCLSID and the like), as a unique_ptr deleter.
struct TCoTaskMemFree {
  void operator()(void* p) const noexcept { ::CoTaskMemFree(p); }
};

// Memory the COM runtime's allocator handed out (a display name, an identifier list).
template <typename P>
struct TCoTaskMemTraits {
  static P Invalid() noexcept { return nullptr; }
  static void Close(P p) noexcept { ::CoTaskMemFree(p); }
};
template <typename P>
using TCoTaskMem = TUniqueHandle<P, TCoTaskMemTraits<P>>;

// The calling thread in a single-threaded apartment while it lives; a thread already in an
// apartment (of either kind) keeps it, and only a successful entry is left again.
class TComApartment {
 public:
  TComApartment() noexcept : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~TComApartment() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  TComApartment(const TComApartment&) = delete;
  TComApartment& operator=(const TComApartment&) = delete;

 private:
  HRESULT hr_;
};
