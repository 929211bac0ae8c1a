// glibc's iconv as the fuzzers' independent judge of encodings.
#pragma once

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

class TConverter {
 public:
  TConverter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) std::abort();  // a missing gconv module
  }
  TConverter(const TConverter&) = delete;
  TConverter& operator=(const TConverter&) = delete;
  ~TConverter() { iconv_close(cd_); }

  // The whole input converted, or nothing when any of it does not convert. Room for two
  // bytes out per byte in is enough between code page 949, UTF-16LE and UTF-8.
  std::optional<std::string> operator()(std::string_view in) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string out(in.size() * 2 + 8, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    if (iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1) ||
        iconv(cd_, nullptr, nullptr, &dst, &dstLeft) == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) std::abort();
      return std::nullopt;
    }
    out.resize(out.size() - dstLeft);
    return out;
  }

 private:
  iconv_t cd_;
};

// UTF-16LE bytes as char16_t units (an odd last byte is dropped), copied whole:
// a loop here would be traced by the fuzzer on every unit.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "char16_t is taken as UTF-16LE");

inline std::u16string FromUtf16Le(std::string_view b) {
  std::u16string s(b.size() / 2, u'\0');
  std::memcpy(s.data(), b.data(), s.size() * 2);
  return s;
}
