// The note window: one note for one folder.
#pragma once

#include <string>

#include "note/uDraft.h"
#include "note/uNote.h"
#include "ui/uForm.h"

// Opens a new note window for the folder on the calling thread, which runs the windowing
// layer (Quillo's UI thread, note/uNoteThread.h), owned by the application object, shown
// without waiting (modeless); returns at once. False, and no window, when it could not be
// made; `why` (where given) then says why, as the system's error where it gave one, and is
// S_OK otherwise. Never throws.
bool OpenNoteWindow(const std::u16string& folder, HRESULT* why = nullptr) noexcept;
// The same for a recovered draft: its folder, title, text and encoding, its file adopted, and
// a caption that says it was recovered until it is saved. For RecoverDrafts (note/uDraft.h).
bool OpenRecoveredNote(TDraft& draft, const std::u16string& path) noexcept;

// Told each time a note window opens (true) and is destroyed (false), so that the library
// can stay loaded while a window with unsaved text is open.
void SetNoteWindowCountHook(void (*hook)(bool opened)) noexcept;

// Set when a Ctrl+S key-down was handled, cleared by the next key-down or character that
// reaches any note window. It drops only the control character of its own stroke (19):
// a stroke that makes no character (Ctrl+Alt+S) costs no other stroke its character.
extern bool CtrlSPressed;

class TFormQuillo : public TForm, public NoteNotifier {
 public:
  TFormQuillo();
  ~TFormQuillo() override;

  void SetFolder(const std::u16string& folder) { FFolder = folder; }
  const std::u16string& Folder() const noexcept { return FFolder; }
  void ShowNotice(NoteNotice notice) override;
  bool ConfirmReplace(const std::u16string& fileName) override;
  bool ConfirmUtf8(char32_t first, unsigned codePage) override;
  // Text typed (or a title changed) since the last save, which closing would lose.
  bool HasUnsavedText() const;
  // Takes over a recovered draft; before the form is shown.
  void Recover(TDraft& draft, const std::u16string& path);

  void AboutClick();      // "프로그램 정보": the About dialog
  void CreateClick();     // "만들기": save, and close once saved
  void CancelClick();     // "취소": close without asking
  void SaveClick();       // "Save (&S)": save and stay
  void FirstLineClick();  // "첫줄을 제목으로": the first non-blank line as the title

 protected:
  void FormCreate() override;
  void FormActivate() override;
  void FormClose(TCloseAction& action) override;
  void FormKeyDown(WORD& key, unsigned shift) override;
  void FormKeyPress(char16_t& key) override;
  void FormEscape() override;
  bool FormMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

 private:
  Note MakeNote() const;
  // Saves through the note rules; a successful save starts a new unsaved stretch.
  bool Save();
  // A Yes/No question captioned like the notices, No the default.
  bool Ask(const char16_t* question);
  // The draft follows the note: kept (in the background unless `now`) while it holds unsaved
  // text, gone when it holds none.
  void KeepDraft(bool now);

  std::u16string FFolder;
  TWrittenFiles FWritten;
  bool FFirstActivate = true;
  bool FRecovered = false;
  TNoteDraft FDraft;
};
