// The note rules as they were on code page 949 bytes, kept as the oracle the UTF-16 rules
// must agree with on every text that code page can hold.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace bytes {

constexpr std::size_t kMaxLineBytes = 4096;

std::string TrimBlanks(std::string_view s);
std::string ApplyTitleRule(std::string_view title);
std::size_t LineCount(std::string_view text);
std::string LineAt(std::string_view text, std::size_t i);
std::optional<std::string> TitleFromFirstLine(std::string_view text);
std::string NoteFilePath(std::string_view folder, std::string_view ruledTitle);
bool IsSafeFileTitle(std::string_view ruledTitle);
bool IsBlankTitle(std::string_view ruledTitle);

}  // namespace bytes
