// The bytes of a draft: what a note window held when its text was last kept, and whose it is.
// Pure code, no Windows, so that it builds and is fuzzed anywhere.
//
// Little-endian throughout: the magic "QuiloDft", a version, flags (bit 0: the window's files
// are UTF-8), the owner (process id and start time), the lengths of folder, title and text in
// UTF-16 units, the three texts, and last a checksum of everything before it. A file is a
// draft only when its size is exactly what its lengths say and the checksum agrees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "note/uNote.h"

struct TDraft {
  std::u16string folder, title, text;
  bool utf8 = false;          // the window once agreed to UTF-8: its files stay UTF-8
  std::uint32_t pid = 0;      // the owner's process id
  std::uint64_t started = 0;  // and its start time, so that a reused id is not taken for it
};

constexpr std::uint32_t kDraftVersion = 1;

// The draft's bytes, replacing out. Throws only when memory runs out.
void EncodeDraft(const TDraft& draft, TFileBytes& out);
// True, with the draft, only for bytes EncodeDraft made (of any version this code knows);
// anything else (torn, cut short, grown, foreign) is refused. Texts holding a NUL are refused
// too: no window can hold them. Never reads outside the bytes; throws only on memory.
bool DecodeDraft(const char* data, std::size_t size, TDraft& draft);
