// Quillo's own failures. They carry a fixed message and allocate nothing, so that raising one
// never needs the standard library's string-carrying exception classes.
#pragma once

#include <exception>

#ifdef _WIN32
#include <windows.h>
#endif

class EQuilloError : public std::exception {
 public:
  // error: the system's code for the failure (GetLastError), 0 where it gave none.
  explicit EQuilloError(const char* message, unsigned long error = 0) noexcept
      : message_(message), error_(error) {}
  const char* what() const noexcept override { return message_; }
  unsigned long Error() const noexcept { return error_; }

 private:
  const char* message_;
  unsigned long error_;
};

#ifdef _WIN32
// For a call that failed just now and set the thread's last error.
[[noreturn]] inline void ThrowLastError(const char* message) {
  throw EQuilloError(message, ::GetLastError());
}

// What a failure answers across a COM boundary: the system's code where there is one.
inline HRESULT FailureResult(const EQuilloError& e) noexcept {
  return e.Error() ? HRESULT_FROM_WIN32(e.Error()) : E_FAIL;
}
#endif
