// The factory registry's lock: many readers or one writer, and the writer may take it again.
// The teardown walks the registry exclusively while each factory it destroys unlinks itself,
// which takes the same lock on the same thread; a plain SRW lock would deadlock there.
#pragma once

#include <windows.h>

class TReentrantRWLock {
 public:
  TReentrantRWLock() noexcept = default;
  TReentrantRWLock(const TReentrantRWLock&) = delete;
  TReentrantRWLock& operator=(const TReentrantRWLock&) = delete;

  void BeginRead() noexcept;
  void EndRead() noexcept;
  void BeginWrite() noexcept;
  void EndWrite() noexcept;

  // True while the calling thread holds the lock exclusively.
  bool HeldExclusivelyByMe() const noexcept;

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
  // Only the holding thread writes its own id here, so another thread never mistakes
  // the lock for its own; the interlocked reads keep the value whole.
  volatile LONG owner_ = 0;
  LONG depth_ = 0;  // touched only by the exclusive holder
};

class TReadLock {
 public:
  explicit TReadLock(TReentrantRWLock& lock) noexcept : lock_(lock) { lock_.BeginRead(); }
  TReadLock(const TReadLock&) = delete;
  TReadLock& operator=(const TReadLock&) = delete;
  ~TReadLock() { lock_.EndRead(); }

 private:
  TReentrantRWLock& lock_;
};

class TWriteLock {
 public:
  explicit TWriteLock(TReentrantRWLock& lock) noexcept : lock_(lock) { lock_.BeginWrite(); }
  TWriteLock(const TWriteLock&) = delete;
  TWriteLock& operator=(const TWriteLock&) = delete;
  ~TWriteLock() { lock_.EndWrite(); }

 private:
  TReentrantRWLock& lock_;
};
