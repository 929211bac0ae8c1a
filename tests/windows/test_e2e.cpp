// The whole request, as a user makes it: Quillo.dll registered with the system's regsvr32, the
// file manager stand-in (QuilloHost.exe) choosing "Quillo 파일 만들기" on a folder and invoking
// it as the current file manager does (a worker thread, a second handler, the canonical verb),
// a note written into the window that opens, "만들기", the file on disk, the host ending once
// the window is gone, and regsvr32 /u taking every key of the registration away again.
//
// Runs under the code pages 949, 1252 and 65001 alike: each note's file is expected as that
// code page holds it, or, where it cannot, after the "알림" question (No first: nothing is
// written and the window stays; then Yes: UTF-8 with a byte-order mark).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "common/uHandles.h"
#include "note/uDraft.h"
#include "support/uComTestSupport.h"
#include "support/uTestSupport.h"
#include "support/uWindowTestSupport.h"

namespace {

constexpr char kItem[] = "Quillo 파일 만들기";
constexpr char kCaption[] = "Quillo  Ver1.1";
constexpr DWORD kWaitMs = 20000;

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// A started program; its exit code once it has ended. The command line goes wide, so that
// the host reads every argument as it was written.
class TProcess {
 public:
  explicit TProcess(const std::string& commandLine) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::wstring cmd = Wide(commandLine);
    if (::CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      process_.reset(pi.hProcess);
      ::CloseHandle(pi.hThread);
      id_ = pi.dwProcessId;
    }
  }
  bool started() const { return static_cast<bool>(process_); }
  DWORD id() const { return id_; }
  // The exit code, or STILL_ACTIVE when it did not end in time.
  DWORD Wait(DWORD ms) const {
    if (!process_ || ::WaitForSingleObject(process_.get(), ms) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(process_.get(), &code);
    return code;
  }
  void Kill() const {
    if (process_ && Wait(0) == STILL_ACTIVE) ::TerminateProcess(process_.get(), 99);
  }

 private:
  TKernelHandle process_;
  DWORD id_ = 0;
};

int RunToEnd(const std::string& commandLine) { return RunProgram(commandLine, kWaitMs); }

std::string Host() { return TestProgramDir() + "\\QuilloHost.exe"; }

int Register() { return Regsvr32("/s", kWaitMs); }
int Unregister() { return Regsvr32("/u /s", kWaitMs); }

const char* const kRegistrationKeys[] = {
    "CLSID\\{7C3E5B12-9A4D-4F60-8E21-5D0B3A9C6F47}",
    "CLSID\\{7C3E5B12-9A4D-4F60-8E21-5D0B3A9C6F47}\\InprocServer32",
    "CLSID\\{7C3E5B12-9A4D-4F60-8E21-5D0B3A9C6F47}\\ProgID",
    "Quillo.OrvQuillo",
    "Quillo.OrvQuillo\\Clsid",
    "Directory\\Background\\shellex\\ContextMenuHandlers\\OrvQuillo",
};

bool KeyExists(const std::string& path) { return KeyExists(HKEY_CLASSES_ROOT, path); }

// The visible window with that caption that a process opened, or nullptr.
HWND FindNoteWindow(DWORD processId, const char* caption = kCaption) {
  const std::vector<HWND> all = ProcessWindows(processId, nullptr, caption);
  return all.empty() ? nullptr : all.front();
}

HWND WaitForNoteWindow(DWORD processId, const char* caption = kCaption) {
  for (DWORD waited = 0; waited < kWaitMs; waited += 50) {
    if (HWND w = FindNoteWindow(processId, caption)) return w;
    ::Sleep(50);
  }
  return nullptr;
}

bool WaitFor(const std::function<bool()>& done) {
  for (DWORD waited = 0; waited < kWaitMs; waited += 50) {
    if (done()) return true;
    ::Sleep(50);
  }
  return done();
}

bool SetText(HWND w, const std::string& text) {
  return ::SendMessageW(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(text).c_str())) == TRUE;
}

// One note: where it goes, what it says, and which code pages hold its text (those save it
// without a question; any other asks, and Yes writes UTF-8 with a byte-order mark).
struct TNoteCase {
  const char* what;
  const char* folder;  // a folder of that name inside the temporary one, or null for that one
  const char* title;
  const char* text;
  std::vector<UINT> held;
  const char* cp949;  // the file under 949, spelt out; null: the text's own (ASCII) bytes
};

const TNoteCase kKorean = {
    "a Korean note in a Korean folder", "메모 폴더", "e2e 메모",
    "첫 줄\r\n\r\n둘째 줄: 'quoted' \"and\" <more>\r\n끝", {949, CP_UTF8},
    "\xC3\xB9 \xC1\xD9\r\n\r\n\xB5\xD1\xC2\xB0 \xC1\xD9: 'quoted' \"and\" <more>\r\n\xB3\xA1"};

const TNoteCase kNotes[] = {
    {"a text outside the page", nullptr, "outside", "Tiếng Việt 📝\r\n한글 끝", {CP_UTF8}, nullptr},
    {"a title outside the page", nullptr, "Ελληνικά 📝", "plain text\r\n", {949, 1252, CP_UTF8},
     nullptr},
    {"a folder outside the page", "Thư mục 📝", "in a folder", "saved there\r\n",
     {949, 1252, CP_UTF8}, nullptr},
};

// Through the host: the item chosen by its text on the case's folder, the note written and
// "만들기" pressed; where a question comes, No first and then Yes. `hold` keeps the window
// open that long before it is written into. The host must then end with 0.
void SaveThroughHost(const TNoteCase& c, const std::string& hostArgs = "", DWORD hold = 0) {
  SCOPED_TRACE(c.what);
  const UINT codePage = ::GetACP();
  const bool asks = std::find(c.held.begin(), c.held.end(), codePage) == c.held.end();
  const std::string expected = asks                          ? "\xEF\xBB\xBF" + std::string(c.text)
                               : codePage == 949 && c.cp949 ? c.cp949
                                                            : c.text;
  TTempDir dir("quillo-e2e");
  const std::string folder = c.folder ? dir.File(c.folder) : dir.path();
  if (c.folder) {
    ASSERT_TRUE(::CreateDirectoryW(Wide(folder).c_str(), nullptr));
  }
  TProcess host(Quoted(Host()) + " " + hostArgs + "--invoke " + Quoted(kItem) + " " +
                Quoted(folder));
  ASSERT_TRUE(host.started());
  TBoxWatcher boxes("알림", host.id());
  boxes.SetAnswer(IDNO);
  HWND note = WaitForNoteWindow(host.id());
  if (!note) host.Kill();
  ASSERT_TRUE(note) << "no note window appeared";
  ::Sleep(hold);
  ASSERT_TRUE(::IsWindow(note)) << "the note window went away while open";
  const TNoteControls controls = FindNoteControls(note);
  ASSERT_TRUE(controls.memo && controls.title && controls.create);
  ASSERT_TRUE(SetText(controls.memo, c.text));
  ASSERT_TRUE(SetText(controls.title, c.title));
  const std::string file = folder + "\\" + c.title + ".txt";
  if (asks) {
    // Posted, so that the click runs in the host's own loop, as a user's click would.
    ASSERT_TRUE(::PostMessageW(controls.create, BM_CLICK, 0, 0));
    std::vector<TSeenBox> seen;
    EXPECT_TRUE(WaitFor([&] { return !(seen = boxes.Take()).empty(); })) << "no question came";
    for (const TSeenBox& box : seen)
      EXPECT_NE(box.text.find("(" + std::to_string(codePage) + ")"), std::string::npos) << box.text;
    EXPECT_TRUE(WaitFor([&] { return ProcessWindows(host.id(), "#32770", "알림").empty(); }));
    EXPECT_TRUE(::IsWindow(note)) << "the window closed after No";
    EXPECT_EQ(ListFolder(folder), "") << "No wrote a file";
    boxes.SetAnswer(IDYES);
  }
  ASSERT_TRUE(::PostMessageW(controls.create, BM_CLICK, 0, 0));
  std::string bytes;
  EXPECT_TRUE(WaitFor([&] { return ReadFileBytes(file, bytes) && bytes == expected; }));
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(ListFolder(folder), std::string(c.title) + ".txt");
  EXPECT_EQ(boxes.Take().size(), asks ? 1u : 0u);

  // The window closes after a successful save, and with it the host.
  const DWORD code = host.Wait(kWaitMs);
  host.Kill();
  EXPECT_EQ(code, 0u) << "the host did not end once the note window was gone";
  EXPECT_FALSE(::IsWindow(note));
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    const UINT codePage = ::GetACP();
    ASSERT_TRUE(codePage == 949 || codePage == 1252 || codePage == CP_UTF8) << codePage;
  }
  void TearDown() override { Unregister(); }
  std::string HostCommand(const std::string& args) { return Quoted(Host()) + " " + args; }
};

TEST_F(EndToEnd, RightClickToSavedFileAndBack) {
  ASSERT_EQ(Register(), 0) << "regsvr32 " << BuiltDllPath();
  for (const char* key : kRegistrationKeys) EXPECT_TRUE(KeyExists(key)) << key;

  // The host frees unused libraries every second (after a second's grace); under Wine a
  // library that claims it can go is gone within about nine seconds. The open window must
  // keep Quillo.dll loaded past that.
  SaveThroughHost(kKorean, "", 11000);

  TTempDir dir("quillo-e2e");
  ASSERT_EQ(Unregister(), 0);
  for (const char* key : kRegistrationKeys) EXPECT_FALSE(KeyExists(key)) << key;
  EXPECT_TRUE(KeyExists("Directory\\Background\\shellex\\ContextMenuHandlers"));
  EXPECT_EQ(RunToEnd(HostCommand("--list " + Quoted(dir.path()))), 3);
}

// Names and texts the code page may lack: the file holds the text as the code page does,
// or as UTF-8 after the question, under exactly the name typed, in exactly the folder given.
TEST_F(EndToEnd, EachNoteAsTheCodePageHoldsIt) {
  ASSERT_EQ(Register(), 0);
  for (const TNoteCase& c : kNotes) SaveThroughHost(c);
}

TEST_F(EndToEnd, HostRefusesWhatItCannotServe) {
  ASSERT_EQ(Unregister(), 0);
  TTempDir dir("quillo-e2e");
  EXPECT_EQ(RunToEnd(HostCommand("--list " + Quoted(dir.path()))), 3) << "no handler registered";

  ASSERT_EQ(Register(), 0);
  ASSERT_TRUE(WriteFileBytes(dir.File("plain.txt"), "x"));
  struct Case {
    std::string args;
    int code;
  };
  const std::vector<Case> cases = {
      {"--list " + Quoted(dir.path()), 0},
      {"--list " + Quoted(dir.File("missing")), 2},
      {"--list " + Quoted(dir.File("없는 폴더 📝")), 2},
      {"--list " + Quoted(dir.File("plain.txt")), 2},
      {"--list ::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", 2},  // My Computer: no path
      {"--invoke " + Quoted("없는 항목") + " " + Quoted(dir.path()), 4},
      {"--frobnicate", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(RunToEnd(HostCommand(c.args)), c.code) << c.args;
  EXPECT_EQ(ListFolder(dir.path()), "plain.txt");
}

// The older file manager's way: the first handler invoked by offset on the window thread.
// The window lives on Quillo's UI thread all the same, and the host ends once it is gone.
TEST_F(EndToEnd, OnTheWindowThreadAsOlderHostsDo) {
  ASSERT_EQ(Register(), 0);
  SaveThroughHost({"an older host", nullptr, "old", "옛 방식", {949, CP_UTF8},
                   "\xBF\xBE \xB9\xE6\xBD\xC4"},
                  "--invoke-on-window-thread ");
}

constexpr char kRecovered[] = "Quillo  Ver1.1 - 복구된 메모 (저장되지 않음)";

// Pasted into another process's note: EM_REPLACESEL counts as typing, WM_SETTEXT on the text
// box does not.
void Paste(HWND memo, const std::string& text) {
  ::SendMessageW(memo, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Wide(text).c_str()));
}

const TDraft* DraftOf(const std::vector<TDraft>& drafts, DWORD pid) {
  for (const TDraft& d : drafts)
    if (d.pid == pid) return &d;
  return nullptr;
}

// Another process's control text: GetWindowText would give only the caption the system keeps.
std::string TextOf(HWND w) {
  std::wstring text(static_cast<size_t>(::SendMessageW(w, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
  text.resize(static_cast<size_t>(
      ::SendMessageW(w, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]))));
  return Utf8(text);
}

std::string FolderLabel(HWND note) {
  for (HWND c = nullptr; (c = ::FindWindowExW(note, c, L"Static", nullptr));)
    if (TextOf(c).rfind("저장 폴더", 0) == 0) return TextOf(c);
  return "";
}

// Two hosts with a note typed into each; one answers the end of the session (its draft is on
// the disk with the yes) and is then killed. The next host reopens that draft, and only that
// one, beside the note it was asked for; saving it writes the file and takes the draft away,
// and closing the living host's note takes its draft too.
TEST_F(EndToEnd, UnsavedNoteOutlivesItsHost) {
  ASSERT_EQ(Register(), 0);
  CleanDrafts();
  TTempDir dir("quillo-e2e");
  const std::string invoke = "--invoke " + Quoted(kItem) + " " + Quoted(dir.path());
  const std::string text = "살아남은 메모 \xF0\x9F\x93\x9D\r\n둘째 줄", title = "복구";
  TProcess dying(HostCommand(invoke)), living(HostCommand(invoke));
  ASSERT_TRUE(dying.started() && living.started());
  HWND a = WaitForNoteWindow(dying.id()), b = WaitForNoteWindow(living.id());
  if (!a || !b) dying.Kill(), living.Kill();
  ASSERT_TRUE(a && b);
  const TNoteControls ca = FindNoteControls(a), cb = FindNoteControls(b);
  SetText(ca.title, title);
  Paste(ca.memo, text);
  SetText(cb.title, "other");
  Paste(cb.memo, "the other's");
  std::vector<TDraft> drafts;
  EXPECT_TRUE(WaitFor([&] { return (drafts = ReadDrafts()).size() == 2; })) << DraftsListing();

  // A moment after more typing, the end of the session: a yes at once, the draft already whole.
  Paste(ca.memo, "!");
  DWORD_PTR answer = 0;
  EXPECT_TRUE(::SendMessageTimeoutW(a, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 2000, &answer));
  EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE));
  const TDraft* kept = DraftOf(drafts = ReadDrafts(), dying.id());
  ASSERT_TRUE(kept);
  EXPECT_EQ(Utf8(kept->text), text + "!");
  dying.Kill();
  ASSERT_EQ(dying.Wait(kWaitMs), 99u);

  TProcess next(HostCommand(invoke));
  ASSERT_TRUE(next.started());
  TBoxWatcher boxes("알림", next.id());
  boxes.SetAnswer(IDYES);
  HWND r = WaitForNoteWindow(next.id(), kRecovered);
  HWND fresh = WaitForNoteWindow(next.id());
  if (!r || !fresh) next.Kill(), living.Kill();
  ASSERT_TRUE(r && fresh);
  EXPECT_EQ(ProcessWindows(next.id(), nullptr, kRecovered).size(), 1u) << "a living host's draft";
  const TNoteControls cr = FindNoteControls(r);
  EXPECT_EQ(TextOf(cr.memo), text + "!");
  EXPECT_EQ(TextOf(cr.title), title);
  EXPECT_TRUE(WaitFor([&] { return FolderLabel(r) == "저장 폴더: " + dir.path(); })) << FolderLabel(r);
  std::string pids;
  for (const TDraft& d : drafts = ReadDrafts()) pids += std::to_string(d.pid) + " ";
  const TDraft* adopted = DraftOf(drafts, next.id());
  EXPECT_TRUE(adopted && Utf8(adopted->text) == text + "!")
      << DraftsListing() << " owners " << pids << "next " << next.id();

  ASSERT_TRUE(::PostMessageW(cr.create, BM_CLICK, 0, 0));
  const std::string file = dir.File(title + ".txt");
  const std::string expected = (::GetACP() == CP_UTF8 ? "" : "\xEF\xBB\xBF") + text + "!";
  std::string bytes;
  EXPECT_TRUE(WaitFor([&] { return ReadFileBytes(file, bytes) && bytes == expected; }));
  EXPECT_TRUE(WaitFor([&] { return !::IsWindow(r); }));
  drafts = ReadDrafts();
  EXPECT_EQ(drafts.size(), 1u) << DraftsListing();
  EXPECT_TRUE(DraftOf(drafts, living.id())) << "the living host's draft was touched";

  for (HWND w : {fresh, b}) ::PostMessageW(w, WM_CLOSE, 0, 0);
  EXPECT_EQ(next.Wait(kWaitMs), 0u);
  EXPECT_EQ(living.Wait(kWaitMs), 0u);
  next.Kill(), living.Kill();
  EXPECT_EQ(DraftsListing(), "");
  CleanDrafts();
}

// Drafts of a gone owner, and two hosts that look for them at the same moment: each draft is
// claimed by one of them and opens in one window only; closing those takes every draft away.
TEST_F(EndToEnd, TwoHostsRecoverEachDraftOnce) {
  ASSERT_EQ(Register(), 0);
  CleanDrafts();
  const std::string folder = Utf8(DraftsFolder(true));
  constexpr int kDrafts = 6;
  for (int n = 1; n <= kDrafts; ++n) {
    TFileBytes bytes;
    const std::u16string text = u"draft " + std::u16string(1, static_cast<char16_t>(u'0' + n));
    ASSERT_TRUE(EncodeDraft({u"C:\\", u"t", text, false, 0, 1}, bytes));
    ASSERT_TRUE(WriteFileBytes(folder + "\\0-1-" + std::to_string(n) + ".qdraft",
                               std::string(bytes.begin(), bytes.end())));
  }
  TTempDir dir("quillo-e2e");
  const std::string invoke = "--invoke " + Quoted(kItem) + " " + Quoted(dir.path());
  TProcess a(HostCommand(invoke)), b(HostCommand(invoke));
  ASSERT_TRUE(a.started() && b.started());
  // Each host looks for drafts before it opens the note it was asked for.
  HWND fa = WaitForNoteWindow(a.id()), fb = WaitForNoteWindow(b.id());
  if (!fa || !fb) a.Kill(), b.Kill();
  ASSERT_TRUE(fa && fb);
  std::vector<HWND> recovered = ProcessWindows(a.id(), nullptr, kRecovered);
  for (HWND w : ProcessWindows(b.id(), nullptr, kRecovered)) recovered.push_back(w);
  std::vector<std::string> texts;
  for (HWND w : recovered) texts.push_back(TextOf(FindNoteControls(w).memo));
  std::sort(texts.begin(), texts.end());
  std::string seen;
  for (const std::string& t : texts) seen += t + "|";
  EXPECT_EQ(seen, "draft 1|draft 2|draft 3|draft 4|draft 5|draft 6|");
  for (HWND w : recovered) ::PostMessageW(w, WM_CLOSE, 0, 0);
  for (HWND w : {fa, fb}) ::PostMessageW(w, WM_CLOSE, 0, 0);
  EXPECT_EQ(a.Wait(kWaitMs), 0u);
  EXPECT_EQ(b.Wait(kWaitMs), 0u);
  a.Kill(), b.Kill();
  EXPECT_EQ(DraftsListing(), "");
  CleanDrafts();
}

}  // namespace

namespace {

// A second handler beside Quillo: the benchmarks' floor handler, whose command opens a plain
// window captioned "QuilloFloor".
constexpr char kFloorClsid[] = "{5E0C7A31-2B94-4D18-A6F3-0C9D4E7B2A15}";
constexpr char kHandlers[] = "Directory\\Background\\shellex\\ContextMenuHandlers\\";

bool SetDefault(const std::string& key, const std::string& name, const std::string& value) {
  TRegKey k;
  if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, Wide(key).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        k.put(), nullptr) != ERROR_SUCCESS)
    return false;
  const std::wstring data = Wide(value);
  return ::RegSetValueExW(k.get(), name.empty() ? nullptr : Wide(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) ==
         ERROR_SUCCESS;
}

class FloorRegistration {
 public:
  // Named by its default value, or (without one) by the subkey's own name.
  explicit FloorRegistration(bool byValue)
      : handlerKey_(std::string(kHandlers) + (byValue ? "QuilloFloor" : kFloorClsid)) {
    const std::string cls = std::string("CLSID\\") + kFloorClsid;
    ok_ = SetDefault(cls + "\\InprocServer32", "", TestProgramDir() + "\\QuilloFloor.dll") &&
          SetDefault(cls + "\\InprocServer32", "ThreadingModel", "Apartment") &&
          (byValue ? SetDefault(handlerKey_, "", kFloorClsid) : SetDefault(handlerKey_, "x", "y"));
  }
  ~FloorRegistration() {
    const std::string cls = std::string("CLSID\\") + kFloorClsid;
    for (const std::string& key : {handlerKey_, cls + "\\InprocServer32", cls})
      ::RegDeleteKeyW(HKEY_CLASSES_ROOT, Wide(key).c_str());
  }
  bool ok() const { return ok_; }

 private:
  std::string handlerKey_;
  bool ok_ = false;
};

// Each handler gets its own share of the command identifiers, so that the item chosen is
// invoked on the handler that added it, whichever way the handler is registered.
TEST_F(EndToEnd, TwoHandlersEachInvokedForTheirOwnItem) {
  ASSERT_EQ(Register(), 0);
  for (bool byValue : {true, false}) {
    FloorRegistration floor(byValue);
    ASSERT_TRUE(floor.ok());
    TTempDir dir("quillo-e2e");
    // The floor handler makes its window on the invoking thread, as handlers written for
    // older file managers do: it is invoked on the window thread, where that window lives.
    struct Case {
      const char* item;
      const char* mode;
      const char* opens;
      const char* notOpened;
    };
    for (const Case& c : {Case{"Quillo floor", "--invoke-on-window-thread ", "QuilloFloor", kCaption},
                          Case{kItem, "", kCaption, "QuilloFloor"}}) {
      TProcess host(HostCommand(std::string(c.mode) + "--invoke " + Quoted(c.item) + " " +
                                Quoted(dir.path())));
      ASSERT_TRUE(host.started());
      HWND w = WaitForNoteWindow(host.id(), c.opens);
      EXPECT_TRUE(w) << c.item << (byValue ? " (by value)" : " (by name)");
      EXPECT_FALSE(FindNoteWindow(host.id(), c.notOpened)) << c.item;
      if (w) ::PostMessageW(w, WM_CLOSE, 0, 0);
      EXPECT_EQ(host.Wait(kWaitMs), 0u) << c.item;
      host.Kill();
    }
  }
}

}  // namespace
