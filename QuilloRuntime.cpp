// The C++ runtime, trimmed for a library that lives inside Explorer. Linked straight into
// Quillo.dll, these definitions stand in for libstdc++'s own: those pull in the C++ demangler
// and the copy-on-write string and exception classes, most of the library's size, for
// nothing Quillo needs. Every failure still travels as an exception and is caught at the
// library's boundaries.
#include <cstdlib>
#include <new>

#include "common/uError.h"

// libc++ (the ARM64 build, Zig's clang) throws from inline functions of its headers and has
// none of these entry points to stand in for.
#ifdef __GLIBCXX__

namespace __gnu_cxx {
// Nothing may escape into the host; should anything reach here, the process ends as it
// would anyway, without naming the exception's type on a console a library does not have.
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_array_new_length(); }
void __throw_length_error(const char*) { throw std::bad_alloc(); }  // a string too long
void __throw_logic_error(const char* what) { throw EQuilloError(what); }
void __throw_out_of_range(const char* what) { throw EQuilloError(what); }
void __throw_out_of_range_fmt(const char* what, ...) { throw EQuilloError(what); }
void __throw_invalid_argument(const char* what) { throw EQuilloError(what); }
}  // namespace std
#endif  // __GLIBCXX__
