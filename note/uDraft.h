// Drafts: what a note window holds unsaved, kept on disk beside the user (never in the note's
// folder) so that it outlives the host process, and reopened at the next note once its owner
// is gone. They live in %LOCALAPPDATA%\Quillo\Drafts, one file per window
// ("<pid>-<start>-<n>.qdraft", note/uDraftFormat.h), with that folder's own (user-only)
// permissions, and go as soon as the window no longer needs them.
//
// An owner proves it lives by what it holds: "<pid>-<start>.qowner" beside its drafts, open
// without sharing delete, and deleted by the system when the process ends however it ends. A
// draft is recovered by one process only: it is claimed first by renaming it to
// "<name>.claimed-<pid>-<start>", and a claim whose claimant is gone goes back to its name.
// An elevated process keeps no drafts and never looks at the folder: it is the user's to
// write, and an elevated rename or delete there could be steered elsewhere.
//
// Kept in the background: the window hands a copy of its text to a writer thread, which
// holds the library while it writes and ends when it has nothing left. A write is atomic: a
// scratch file is written and flushed, then moved over the old draft. The UI thread never
// waits for a write in progress: the latest text replaces a queued one, and a removal the
// writer is busy with is queued behind its write.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "note/uDraftFormat.h"

// How long the typing must pause before the draft is written,
constexpr unsigned kDraftPauseMs = 2000;
// and how long changes may keep coming before it is written all the same.
constexpr unsigned kDraftMaxWaitMs = 10000;

// Why a note's text is not kept as a draft, for the window to say once.
enum class TDraftTrouble { None, TooBig, NoMemory };

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

  // A change to the note: true for the first one since its text was last kept or dropped,
  // which starts the clock of kDraftMaxWaitMs.
  bool Changed() noexcept;
  // Whether a note whose folder, title and text have these lengths can be kept at all.
  static bool Fits(size_t folder, size_t title, size_t text) noexcept;
  // Keeps the note as it is now: in the background, or before returning when `now`.
  void Keep(TDraft draft, bool now) noexcept;
  // The note's text could not be kept (TooBig, NoMemory); the older draft stays as it was.
  void Refuse(TDraftTrouble why) noexcept;
  // The draft is no longer needed: its file goes now, or right after a write in progress.
  void Drop() noexcept;
  // A recovered draft's file, removed by the first write that keeps its text under this
  // window's own name.
  void Replace(const std::u16string& path);
  // Why this note's text is not being kept, the first time it is asked only; else None.
  TDraftTrouble TakeTrouble() noexcept;

 private:
  void Hold(bool on) noexcept;
  std::u16string path_, replaces_;
  bool held_ = false;
  bool changed_ = false;
  bool told_ = false;  // the window has said why its text is not kept
  // Set by the writer, which may find memory short too.
  std::shared_ptr<std::atomic<TDraftTrouble>> trouble_;
};

// Returns once every draft written or removed in the background is done: before the UI thread
// ends, so that a process that ends with it leaves no closed note's draft behind.
void FinishDraftWrites() noexcept;

// On the UI thread: each draft whose owner is gone is claimed and handed to `open`, which
// reopens it in a window (taking the claimed file over) or returns false, leaving it for next
// time. Drafts of living owners and claims of living claimants are left alone, and so are
// drafts of a version this code does not know; a file that is no draft is set aside under
// another name. Never throws.
void RecoverDrafts(bool (*open)(TDraft& draft, const std::u16string& path)) noexcept;
