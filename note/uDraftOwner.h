// Who a draft belongs to (note/uDraft.h): a process named by its id and start time
// ("<pid>-<start>"), the owner file by which a living one proves it lives, and whether this
// process may keep drafts at all. Internal to the drafts' units; UI thread unless said.
#pragma once

#include <cstdint>
#include <string>

extern const char16_t kDraftExtension[];  // ".qdraft"
extern const char16_t kOwnerExtension[];  // ".qowner"

// This process's start time; any thread.
std::uint64_t OwnStart();
// "<pid>-<start>", as drafts, owner files and claims name a process; this process's own.
std::u16string ProcessName(std::uint32_t pid, std::uint64_t start);
std::u16string OwnName();
// The process named at the start of a file's name ("<pid>-<start>..."); false when none is.
bool OwnerFromName(const std::u16string& name, std::uint32_t& pid, std::uint64_t& start);

// An elevated process keeps no drafts and never looks at their folder; any thread.
bool Elevated();
// This process's owner file, made (in the drafts folder) and held from the first call on.
void HoldOwnerFile();
// Whether the process named by pid and start still lives, as its owner file in the folder says.
bool OwnerLives(const std::u16string& folder, std::uint32_t pid, std::uint64_t started);

bool EndsWith(const std::u16string& s, const char16_t* tail);
