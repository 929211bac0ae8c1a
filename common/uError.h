// Quillo's own failures. They carry a fixed message and allocate nothing, so that raising one
// never needs the standard library's string-carrying exception classes.
#pragma once

#include <exception>

class EQuilloError : public std::exception {
 public:
  explicit EQuilloError(const char* message) noexcept : message_(message) {}
  const char* what() const noexcept override { return message_; }

 private:
  const char* message_;
};
