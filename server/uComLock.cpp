#include "server/uComLock.h"

namespace {
LONG CurrentThread() noexcept { return static_cast<LONG>(::GetCurrentThreadId()); }
}  // namespace

bool TReentrantRWLock::HeldExclusivelyByMe() const noexcept {
  return ::InterlockedCompareExchange(const_cast<volatile LONG*>(&owner_), 0, 0) ==
         CurrentThread();
}

// A reader that already holds the lock exclusively must not wait for itself: it nests.
void TReentrantRWLock::BeginRead() noexcept {
  if (HeldExclusivelyByMe()) {
    ++depth_;
    return;
  }
  ::AcquireSRWLockShared(&lock_);
}

void TReentrantRWLock::EndRead() noexcept {
  if (HeldExclusivelyByMe()) {
    EndWrite();
    return;
  }
  ::ReleaseSRWLockShared(&lock_);
}

void TReentrantRWLock::BeginWrite() noexcept {
  if (HeldExclusivelyByMe()) {
    ++depth_;
    return;
  }
  ::AcquireSRWLockExclusive(&lock_);
  ::InterlockedExchange(&owner_, CurrentThread());
  depth_ = 1;
}

void TReentrantRWLock::EndWrite() noexcept {
  if (--depth_ > 0) return;
  ::InterlockedExchange(&owner_, 0);
  ::ReleaseSRWLockExclusive(&lock_);
}
