// Drafts: what a note window holds unsaved, kept on disk beside the user (never in the note's
// folder) so that it outlives the host process, and reopened at the next note once its owner
// is gone. They live in %LOCALAPPDATA%\Quillo\Drafts, one file per window
// ("<pid>-<start>-<n>.qdraft", note/uDraftFormat.h), with that folder's own (user-only)
// permissions, and go as soon as the window no longer needs them.
//
// Kept in the background: the window hands a copy of its text to a writer thread, which
// holds the library while it writes and ends when it has nothing left. A write is atomic: a
// scratch file is written and flushed, then moved over the old draft.
#pragma once

#include <string>

#include "note/uDraftFormat.h"

// How long the typing must pause before the draft is written.
constexpr unsigned kDraftPauseMs = 2000;

// While set, the process registers args for Windows to restart it with as long as it holds a
// draft (RegisterApplicationRestart), and unregisters once it holds none. Unset (the default,
// as inside Explorer), nothing is registered. Set it before the first note opens.
void SetDraftRestartCommand(const wchar_t* args) noexcept;

// The drafts folder, made when `create` asks for it; empty when the profile has none.
std::u16string DraftsFolder(bool create) noexcept;

// One note window's draft. UI thread only.
class TNoteDraft {
 public:
  TNoteDraft() = default;
  TNoteDraft(const TNoteDraft&) = delete;
  TNoteDraft& operator=(const TNoteDraft&) = delete;
  ~TNoteDraft();  // the file stays: only Drop removes it

  // Keeps the note as it is now: in the background, or before returning when `now`.
  void Keep(TDraft draft, bool now) noexcept;
  // The draft is no longer needed: its file goes before this returns.
  void Drop() noexcept;
  // A recovered draft's file, removed by the first write made now (Keep's `now`) that keeps
  // its text under this window's own name.
  void Replace(const std::u16string& path);

 private:
  void Hold(bool on) noexcept;
  std::u16string path_, replaces_;
  bool held_ = false;
};

// On the UI thread: each draft whose owner is gone is handed to `open`, which reopens it in a
// window (taking the file over) or returns false, leaving it for next time. Drafts of living
// owners are left alone; a file that is no draft is set aside under another name. Never throws.
void RecoverDrafts(bool (*open)(TDraft& draft, const std::u16string& path)) noexcept;
