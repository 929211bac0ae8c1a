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

// The one limit on a draft's file, for the writer and the reader alike: a note of about 134
// million characters. A bigger note is not kept as a draft (the window says so once), and a
// bigger file is no draft this code reads (a later version's, perhaps): it is left as it is.
constexpr std::uint64_t kMaxDraftBytes = 256ull << 20;

// The size of a draft's file whose folder, title and text have these lengths (UTF-16 units).
std::uint64_t DraftFileSize(std::uint64_t folder, std::uint64_t title, std::uint64_t text);

// What a file's bytes are: a whole draft; a draft of a version this code does not know (or
// over the limit), which is neither opened nor set aside; or no draft at all (torn, cut
// short, grown, foreign).
enum class TDraftBytes { Draft, Unknown, Damaged };

// The draft's bytes, replacing out; false (out emptied) for a draft over kMaxDraftBytes.
// Throws only when memory runs out.
bool EncodeDraft(const TDraft& draft, TFileBytes& out);
// Draft, with the draft, only for bytes EncodeDraft made. Unknown as DraftKind says; texts
// holding a NUL are damaged too: no window can hold them. Never reads outside the bytes;
// throws only on memory.
TDraftBytes DecodeDraft(const char* data, std::size_t size, TDraft& draft);

// How much of a file tells its kind.
constexpr std::size_t kDraftHeaderBytes = 12;
// From the first `n` bytes of a file of `fileSize` bytes, without reading the rest: Unknown
// where the magic is right but the version is not this code's or the file is over the limit,
// Damaged where it is no draft of any version, Draft where it may be one (read it whole).
TDraftBytes DraftKind(const char* head, std::size_t n, std::uint64_t fileSize);
