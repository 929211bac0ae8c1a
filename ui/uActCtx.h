// The activation context of a module's manifest (resource 3, kept for this use: the loader
// reads only resource 2, and only at load), active on the calling thread
// while the owner lives: windows, controls and message boxes made meanwhile are ComCtl32 v6
// whatever the host process declared. mingw-w64 has no IsolationAware wrappers, so by hand.
#pragma once

#include <windows.h>

class TActivationContext {
 public:
  // ISOLATIONAWARE_NOSTATICIMPORT_MANIFEST_RESOURCE_ID
  static constexpr WORD kManifestId = 3;

  // Activates the manifest of `module` on this thread; without one (or where the system
  // refuses) the thread simply goes on with the host's context.
  explicit TActivationContext(HMODULE module) noexcept {
    ACTCTXW ctx{};
    ctx.cbSize = sizeof ctx;
    ctx.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    ctx.hModule = module;
    ctx.lpResourceName = MAKEINTRESOURCEW(kManifestId);
    context_ = ::CreateActCtxW(&ctx);
    if (context_ == INVALID_HANDLE_VALUE) return;
    if (!::ActivateActCtx(context_, &cookie_)) {
      ::ReleaseActCtx(context_);
      context_ = INVALID_HANDLE_VALUE;
    }
  }
  ~TActivationContext() {
    if (context_ == INVALID_HANDLE_VALUE) return;
    ::DeactivateActCtx(0, cookie_);
    ::ReleaseActCtx(context_);
  }
  TActivationContext(const TActivationContext&) = delete;
  TActivationContext& operator=(const TActivationContext&) = delete;

  bool Active() const noexcept { return context_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE context_ = INVALID_HANDLE_VALUE;
  ULONG_PTR cookie_ = 0;
};
