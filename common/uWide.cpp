#include "common/uWide.h"

#include <climits>

std::u16string FromCodePage(UINT codePage, std::string_view bytes) {
  if (bytes.empty() || bytes.size() > INT_MAX) return {};
  const int in = static_cast<int>(bytes.size());
  const int n = ::MultiByteToWideChar(codePage, 0, bytes.data(), in, nullptr, 0);
  if (n <= 0) return {};
  std::u16string text(static_cast<size_t>(n), u'\0');
  if (::MultiByteToWideChar(codePage, 0, bytes.data(), in, W(&text[0]), n) != n) return {};
  return text;
}

std::string ToCodePage(UINT codePage, std::u16string_view text) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int in = static_cast<int>(text.size());
  const wchar_t* src = W(text.data());
  const int n = ::WideCharToMultiByte(codePage, 0, src, in, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string bytes(static_cast<size_t>(n), '\0');
  if (::WideCharToMultiByte(codePage, 0, src, in, &bytes[0], n, nullptr, nullptr) != n) return {};
  return bytes;
}
