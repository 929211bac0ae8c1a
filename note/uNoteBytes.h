// The bytes a note's file holds: its UTF-16 text in a code page, never changed on the way.
#pragma once

#include <windows.h>

#include <string_view>

#include "note/uNote.h"

enum class TEncodeResult {
  Encoded,     // bytes hold the whole text
  Unstorable,  // the code page has no exact place for `first`; bytes are unspecified
  Broken,      // the text holds an unpaired surrogate, which no file can hold
};

// The text in code page `codePage` (the system's, CP_ACP resolved by the caller). Characters
// the code page lacks are never replaced by a look-alike or a question mark: the first of
// them is reported instead. UTF-8 (65001) is written without a byte-order mark. Throws only
// when memory runs out.
TEncodeResult EncodeInCodePage(UINT codePage, std::u16string_view text, TFileBytes& bytes,
                               char32_t& first);

// The text as UTF-8 with a byte-order mark, so that editors that would otherwise guess the
// system's code page know it. False on an unpaired surrogate.
bool EncodeUtf8WithBom(std::u16string_view text, TFileBytes& bytes);

// The whole text in a fresh scratch file beside path ("<name>.~<n>.tmp"), flushed to the
// disk; its name, or empty when it could not be made or written (nothing is left behind then).
std::u16string WriteScratchFile(const std::u16string& path, const TFileBytes& text);
