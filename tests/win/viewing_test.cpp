// Viewing items of an archive window: WAV files played on the sound thread, other files
// written to a temporary copy and opened with the program registered for their type,
// watched until that program ends.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "services/sound_thread.h"
#include "window/view_entry.h"
#include "services/viewer_watch.h"
#include "resources/command_ids.h"
#include "services/core/path_length.h"
#include "services/globals.h"
#include "app/startup.h"
#include "archive/entry_data.h"
#include "archive/tree.h"
#include "tests/core/sample_archives.h"
#include "tests/win/support/screenshot.h"
#include "tests/win/support/archive_window_support.h"
#include "tests/win/support/dialog_watch_support.h"
#include "tests/win/support/registry_support.h"
#include "tests/win/support/transfer_test_support.h"
#include "tests/win/support/unicode_support.h"
#include "transfer/core/node_copy.h"
#include "window/panes.h"
#include "panes/preview_pane.h"
#include "panes/views.h"

namespace {

constexpr char kViewerFlag[] = "--vellumix-test-viewer";
constexpr char kTestExtension[] = ".vmxtest";
constexpr char kTestProgId[] = "Vellumix.TestViewer";

// The test program doubles as the viewer the shell starts for ".vmxtest" files: started with
// the flag, an event name and the file, it notes what it was given and waits until the
// test sets the event, then ends before any test runs.
struct ViewerMode {
  ViewerMode() {
    const char* line = GetCommandLineA();
    const char* flag = std::strstr(line, kViewerFlag);
    if (!flag) return;
    char eventName[64] = {};
    // The command line is UTF-8: a path of MAX_PATH characters takes up to three times the bytes.
    char file[kPathBufferSize] = {};
    const char* p = flag + sizeof kViewerFlag - 1;
    if (std::sscanf(p, " %63s \"%777[^\"]\"", eventName, file) < 2) ExitProcess(2);
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, eventName);
    const std::string logPath = std::string(file) + ".seen", partPath = std::string(file) + ".seen.part";
    std::string seen = std::string(file) + "\n" + ReadDiskFile(file);
    // Written aside and renamed: the test waits for the name, which then stands for the
    // whole text.
    if (FILE* log = std::fopen(partPath.c_str(), "wb")) {
      std::fwrite(seen.data(), 1, seen.size(), log);
      std::fclose(log);
      MoveFileExA(partPath.c_str(), logPath.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    if (event) WaitForSingleObject(event, 60000);
    ExitProcess(0);
  }
} g_viewerMode;

std::vector<uint8_t> MakeWave(uint32_t sampleCount, uint32_t riffSizeError = 0) {
  std::vector<uint8_t> b;
  auto put = [&b](uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  const uint32_t dataBytes = sampleCount * 2;
  b.insert(b.end(), {'R', 'I', 'F', 'F'});
  put(4 + 8 + 16 + 8 + dataBytes + riffSizeError, 4);
  b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put(16, 4);
  put(1, 2);      // PCM
  put(1, 2);      // mono
  put(8000, 4);   // samples per second
  put(16000, 4);  // bytes per second
  put(2, 2);      // block alignment
  put(16, 2);     // bits per sample
  b.insert(b.end(), {'d', 'a', 't', 'a'});
  put(dataBytes, 4);
  for (uint32_t i = 0; i < sampleCount; ++i) put((i * 1000) & 0xFFFF, 2);
  return b;
}

// A test that expects no "View" message still must not block on one: it is closed and
// counted as a failure.
struct NoStrayMessages {
  DialogSeries series{"View", {}};
  ~NoStrayMessages() {
    series.Finish();
    EXPECT_EQ(series.extra(), 0) << "an unexpected View message was shown";
  }
};

class ViewingTest : public ArchiveWindowTest {
 protected:
  void SetUp() override {
    ArchiveWindowTest::SetUp();
    ASSERT_TRUE(CreateTempDirectory());
    ASSERT_TRUE(StartViewerWatch());
    ASSERT_TRUE(StartSoundThread());
    char name[64];
    std::snprintf(name, sizeof name, "VellumixTestViewer-%lu", GetCurrentProcessId());
    eventName_ = name;
    release_ = CreateEventA(nullptr, TRUE, FALSE, name);
    ASSERT_NE(release_, nullptr);
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    const std::string command = "\"" + std::string(exe) + "\" " + kViewerFlag + " " + eventName_ + " \"%1\"";
    // The user's own classes are where Windows looks first; Wine's shell reads only the
    // machine's, which Windows lets only administrators write.
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      const bool written =
          SetRegistryDefault(root, std::string("Software\\Classes\\") + kTestExtension, kTestProgId) &&
          SetRegistryDefault(root, std::string("Software\\Classes\\") + kTestProgId + "\\shell\\open\\command",
                             command);
      if (root == HKEY_CURRENT_USER) {
        ASSERT_TRUE(written);
      }
    }
    doc_ = OpenDoc("", &window_);
    ASSERT_NE(doc_, nullptr);
  }

  void TearDown() override {
    SetEvent(release_);
    ArchiveWindowTest::TearDown();
    StopViewerWatch();
    StopSoundThread();
    const std::string classes = "Software\\Classes\\";
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      for (const char* sub : {"\\shell\\open\\command", "\\shell\\open", "\\shell", ""}) {
        RegDeleteKeyA(root, (classes + kTestProgId + sub).c_str());
      }
      RegDeleteKeyA(root, (classes + kTestExtension).c_str());
    }
    for (const std::string& path : cleanup_) DeleteFileA(path.c_str());
    CloseHandle(release_);
  }

  // A memory file in the root of the new archive, shown in its list.
  Node* AddFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    SharedBytes data;
    if (!bytes.empty()) {
      data = EntryBuffer::Copy(bytes.data(), bytes.size());
      if (!data) return nullptr;
    }
    Node* node = doc_->tree->AddFile(doc_->root(), name, MemoryBytes{data});
    if (!node) return nullptr;
    InsertListItem(doc_->itemList, node, 0, 0, 0);
    cleanup_.push_back(TempPath(name));
    cleanup_.push_back(TempPath(name) + ".seen");
    return node;
  }
  Node* AddFile(const std::string& name, const std::string& text) {
    return AddFile(name, std::vector<uint8_t>(text.begin(), text.end()));
  }

  // Opens the entry's list item the way the user does, with Enter on the focused item (of
  // the test's own window when no document is given).
  void PressEnterOn(const Node* entry, const WindowDocument* doc = nullptr) {
    HWND list = (doc ? doc : doc_)->itemList;
    int index = FindListItem(list, entry);
    ASSERT_GE(index, 0);
    LVITEMA item = {};
    item.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
    item.state = LVIS_FOCUSED | LVIS_SELECTED;
    SendMessageA(list, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item));
    SendMessageA(list, WM_KEYDOWN, VK_RETURN, 0);
  }

  static std::string TempPath(const std::string& name) { return std::string(TempDirectory) + name; }
  // Whether an outside program shows a copy of the file node of doc (the test's own window
  // when none is given).
  bool Viewing(const Node* entry, const WindowDocument* doc = nullptr) const {
    return (doc ? doc : doc_)->viewing.count(entry->id()) != 0;
  }

  // The watch thread has looked at every watch once more: a watch of a handle that is
  // signalled already ends at the thread's next pass, after the watches listed before it.
  static bool WatchThreadPassed() {
    const int before = ViewerWatchCount();
    HANDLE ended = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    if (!ended) return false;
    // No window and no message: the watch's end is told to nobody.
    if (!WatchViewer(nullptr, ended, static_cast<char*>(std::malloc(1)), kNoNode, 0)) {
      CloseHandle(ended);
      return false;
    }
    return PumpUntil([before] { return ViewerWatchCount() == before; }, 10000);
  }

  // The viewer has started and reported what it was given.
  // The viewer's note is there and can be read: the name appears while the viewer's rename
  // may still hold the file open, and a read until then fails as a sharing violation.
  bool ViewerSaw(const std::string& name) {
    return PumpUntil([&] { return ReadDiskFile(TempPath(name) + ".seen") != "<missing>"; }, 15000);
  }

  std::string eventName_;
  HANDLE release_ = nullptr;
  HWND window_ = nullptr;
  WindowDocument* doc_ = nullptr;
  std::vector<std::string> cleanup_;
};

TEST_F(ViewingTest, WavIsPlayedOnTheSoundThreadUntilTheDeviceIsDone) {
  Node* entry = AddFile("beep.wav", MakeWave(800));
  ASSERT_NE(entry, nullptr);
  const SoundActivity before = CurrentSoundActivity();
  ASSERT_TRUE(before.running);
  PressEnterOn(entry);
  EXPECT_TRUE(PumpUntil(
      [&] {
        SoundActivity a = CurrentSoundActivity();
        return a.finished == before.finished + 1 && a.queued == 0;
      },
      10000));
  const SoundActivity after = CurrentSoundActivity();
  EXPECT_EQ(after.started, before.started + 1);
  EXPECT_EQ(after.finished, before.finished + 1);
  EXPECT_EQ(after.queued, 0);
  // Playing neither marks the entry nor writes a copy, and the same sound plays again.
  EXPECT_FALSE(Viewing(entry));
  EXPECT_FALSE(DiskExists(TempPath("beep.wav")));
  EXPECT_EQ(ViewEntry(window_, entry), 1);
  EXPECT_TRUE(PumpUntil([&] { return CurrentSoundActivity().finished == before.finished + 2; }, 10000));
}

TEST_F(ViewingTest, AMachineWithoutSoundSaysSoOnce) {
  Node* first = AddFile("beep.wav", MakeWave(100));
  Node* second = AddFile("boop.wav", MakeWave(100));
  struct NoSound {
    UINT (*saved)() = CountWaveOutDevices;
    NoSound() { CountWaveOutDevices = [] { return 0u; }; }
    ~NoSound() { CountWaveOutDevices = saved; }
  } noSound;
  const SoundActivity before = CurrentSoundActivity();
  {
    DialogWatcher watcher("View", IDOK);
    EXPECT_EQ(ViewEntry(window_, first), 0);
    const WatchedDialog seen = watcher.Wait();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.message, "Can't play \"beep.wav\": there is no sound output device. Sounds will not be played.");
  }
  {
    NoStrayMessages stray;
    EXPECT_EQ(ViewEntry(window_, second), 0);
    EXPECT_EQ(ViewEntry(window_, first), 0);
  }
  EXPECT_EQ(CurrentSoundActivity().started, before.started);
}

TEST_F(ViewingTest, WavThatIsNotAcceptedIsSilentlyDropped) {
  Node* offByOne = AddFile("offbyone.wav", MakeWave(100, 1));
  std::vector<uint8_t> swapped = MakeWave(100);  // "data" named before "fmt "
  std::memcpy(&swapped[12], "data", 4);
  std::memcpy(&swapped[36], "fmt ", 4);
  Node* dataFirst = AddFile("datafirst.wav", swapped);
  Node* notRiff = AddFile("text.wav", "just some text, no sound");
  Node* empty = AddFile("empty.wav", std::vector<uint8_t>());
  const SoundActivity before = CurrentSoundActivity();
  // The thread has taken every request once the queue is empty again.
  auto taken = [] { return CurrentSoundActivity().queued == 0; };
  EXPECT_EQ(ViewEntry(window_, offByOne), 1);   // queued, refused by the thread
  EXPECT_TRUE(PumpUntil(taken, 10000));
  EXPECT_EQ(ViewEntry(window_, dataFirst), 1);
  EXPECT_TRUE(PumpUntil(taken, 10000));
  EXPECT_EQ(ViewEntry(window_, notRiff), 0);    // refused at once
  EXPECT_EQ(ViewEntry(window_, empty), 0);
  EXPECT_TRUE(PumpUntil(taken, 10000));
  const SoundActivity after = CurrentSoundActivity();
  EXPECT_EQ(after.started, before.started);
  EXPECT_EQ(after.queued, 0);
  EXPECT_TRUE(after.running);
}

TEST_F(ViewingTest, NewestSoundRequestReplacesTheOthers) {
  std::vector<Node*> sounds;
  for (int i = 0; i < 3; ++i) sounds.push_back(AddFile("s" + std::to_string(i) + ".wav", MakeWave(4000)));
  const SoundActivity before = CurrentSoundActivity();
  for (Node* e : sounds) ASSERT_EQ(ViewEntry(window_, e), 1);
  // Two slots at most: the one playing or about to, and the newest waiting.
  EXPECT_LE(CurrentSoundActivity().queued, 2);
  ASSERT_TRUE(PumpUntil([&] { return CurrentSoundActivity().queued == 0; }, 15000));
  const SoundActivity after = CurrentSoundActivity();
  // The three requests come within one pass of the thread, so one of them is played.
  EXPECT_EQ(after.started - before.started, 1u);
  EXPECT_EQ(after.finished - before.finished, 1u);
}

TEST_F(ViewingTest, FileIsCopiedOpenedAndWatchedUntilItsViewerEnds) {
  NoStrayMessages stray;
  const std::string text = "line one\r\nline two\r\n\x01\x02 binary \xFF";
  Node* entry = AddFile("notes.vmxtest", text);
  ASSERT_NE(entry, nullptr);
  PressEnterOn(entry);
  EXPECT_TRUE(Viewing(entry));
  EXPECT_EQ(ViewerWatchCount(), 1);
  EXPECT_EQ(ReadDiskFile(TempPath("notes.vmxtest")), text);
  ASSERT_TRUE(ViewerSaw("notes.vmxtest"));
  // The viewer was given the temporary copy and read the entry's bytes from it.
  const std::string seen = ReadDiskFile(TempPath("notes.vmxtest") + ".seen");
  EXPECT_EQ(seen, TempPath("notes.vmxtest") + "\n" + text);
  ASSERT_TRUE(WatchThreadPassed());
  EXPECT_TRUE(Viewing(entry));  // still running: the watch stays
  SetEvent(release_);
  EXPECT_TRUE(PumpUntil([&] { return !Viewing(entry); }, 10000));
  EXPECT_FALSE(DiskExists(TempPath("notes.vmxtest")));
  EXPECT_EQ(ViewerWatchCount(), 0);
}

// A user whose temporary folder is named in another script than the system's (its profile
// folder is): the copy is written there under the entry's own name, handed to the viewer
// whole, and removed once the viewer ends.
TEST_F(ViewingTest, ACopyInATemporaryFolderNamedInThreeScripts) {
  NoStrayMessages stray;
  ASSERT_EQ(GetACP(), static_cast<UINT>(CP_UTF8)) << "the manifest's code page";
  const std::string temp = TempDir() + kUnicodeFolderName + "\\" + Repeated("\xE6\xA8\xA1", 40);
  CreateDirectoryA((TempDir() + kUnicodeFolderName).c_str(), nullptr);
  ASSERT_TRUE(CreateDirectoryA(temp.c_str(), nullptr));
  char saved[kPathBufferSize] = {};
  std::memcpy(saved, TempDirectory, sizeof saved);
  char savedTmp[kPathBufferSize] = {};
  GetEnvironmentVariableA("TMP", savedTmp, sizeof savedTmp);
  SetEnvironmentVariableA("TMP", temp.c_str());
  const bool made = CreateTempDirectory();
  SetEnvironmentVariableA("TMP", savedTmp[0] ? savedTmp : nullptr);
  ASSERT_TRUE(made);
  EXPECT_EQ(std::string(TempDirectory), temp + "\\Vellumix\\");
  EXPECT_GT(std::strlen(TempDirectory), static_cast<size_t>(MAX_PATH) / 2);
  const std::string name = "\xD0\x97\xD0\xB0\xD0\xBF\xD0\xB8\xD1\x81\xD0\xBA\xD0\xB8 \xCE\xA9 " +
                           Repeated("\xE6\xA8\xA1", 40) + ".vmxtest";  // Записки Ω 模…
  const std::string text = "\xCE\xA9 text";
  Node* entry = AddFile(name, text);
  ASSERT_NE(entry, nullptr);
  ASSERT_GT(TempPath(name).size(), static_cast<size_t>(MAX_PATH));
  PressEnterOn(entry);
  EXPECT_TRUE(Viewing(entry));
  EXPECT_EQ(ReadDiskFile(TempPath(name)), text);
  ASSERT_TRUE(ViewerSaw(name));
  EXPECT_EQ(ReadDiskFile(TempPath(name) + ".seen"), TempPath(name) + "\n" + text);
  SetEvent(release_);
  EXPECT_TRUE(PumpUntil([&] { return !Viewing(entry); }, 10000));
  EXPECT_FALSE(DiskExists(TempPath(name)));
  DeleteFileA((TempPath(name) + ".seen").c_str());
  RemoveDirectoryA(TempDirectory);
  std::memcpy(TempDirectory, saved, sizeof saved);
}

TEST_F(ViewingTest, AnEditMadeInTheViewerComesBackWhenTheUserSaysSo) {
  SendCommand(window_, ID_VIEW_DETAILS);
  for (const bool yes : {false, true}) {
    SCOPED_TRACE(yes ? "Yes" : "No");
    const std::string name = yes ? "taken.vmxtest" : "kept.vmxtest";
    Node* entry = AddFile(name, "as it was");
    ASSERT_NE(entry, nullptr);
    PressEnterOn(entry);
    ASSERT_TRUE(ViewerSaw(name));
    // The user edits the copy in the viewer, saves it there and closes the viewer.
    const std::string edited = "as the user left it in the viewer";
    ASSERT_TRUE(WriteDiskFile(TempPath(name), edited));
    DialogWatcher question("View", 0, 20000, [yes](HWND box) {
      if (yes) {
        WaitUntilDrawn(box);
        SaveScreenshotTo(VELLUMIX_SCREENSHOT_DIR, "update-question");
      }
      PressDialogButton(box, yes ? IDYES : IDNO);
    });
    SetEvent(release_);
    // The copy goes once the question is answered.
    ASSERT_TRUE(PumpUntil([&] { return !Viewing(entry) && !DiskExists(TempPath(name)); }, 20000));
    const WatchedDialog seen = question.Wait();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.message, name + " was changed. Update it in the archive?");
    SharedBytes bytes;
    ASSERT_EQ(LoadEntryBytes(doc_, entry, &bytes), EntryLoad::Ok);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size()), yes ? edited : "as it was");
    EXPECT_EQ(doc_->modified, yes ? 1 : 0);
    EXPECT_EQ(Title(window_).back() == '*', yes);
    const int row = FindListItem(doc_->itemList, entry);
    EXPECT_EQ(ListText(doc_->itemList, row, 1), std::to_string(yes ? edited.size() : 9));
    EXPECT_EQ(ViewerWatchCount(), 0);
    EXPECT_TRUE(doc_->viewedCopies.empty());
    ResetEvent(release_);
    if (!yes) continue;
    // The update is a step of its own: undone, the entry has its old bytes and the document
    // is as it was; redone, the viewer's bytes again.
    const auto text = [&] {
      SharedBytes now;
      EXPECT_EQ(LoadEntryBytes(doc_, entry, &now), EntryLoad::Ok);
      return now ? std::string(reinterpret_cast<const char*>(now->data()), now->size()) : std::string();
    };
    char undo[128] = {};
    GetMenuStringA(g_mainMenu, ID_EDIT_UNDO, undo, sizeof undo, MF_BYCOMMAND);
    EXPECT_STREQ(undo, "&Undo Update From Viewer\tCtrl+Z");
    SendCommand(window_, ID_EDIT_UNDO);
    EXPECT_EQ(text(), "as it was");
    EXPECT_EQ(doc_->modified, 0);
    SendCommand(window_, ID_EDIT_REDO);
    EXPECT_EQ(text(), edited);
    EXPECT_EQ(Title(window_).back(), '*');
  }
}

// A game folder's file is viewed as the game reads it: a path two archives hold from the one
// searched first, a loose file from the folder. An edit made in the viewer is not taken into
// the read-only view, and not thrown away either: the changed copy is kept, and the user told
// where.
TEST_F(ViewingTest, AGameFolderFileIsViewedAsTheGameReadsItAndAnEditIsKeptAside) {
  const std::string folder = TempDir() + "id1";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(folder + "\\pak0.pak", sample::Pak({{"shadowed.vmxtest", "from pak0"}})));
  ASSERT_TRUE(WriteBytes(folder + "\\pak1.pak", sample::Pak({{"shadowed.vmxtest", "from pak1"}})));
  ASSERT_TRUE(WriteDiskFile(folder + "\\loose.vmxtest", "loose file"));
  HWND window = Open(folder);
  ASSERT_NE(window, nullptr);
  WindowDocument* doc = DocumentOf(window);
  ASSERT_TRUE(IsGameFolderView(doc));
  const Node* shadowed = FindChildNamed(doc->root(), "shadowed.vmxtest");
  const Node* loose = FindChildNamed(doc->root(), "loose.vmxtest");
  ASSERT_NE(shadowed, nullptr);
  ASSERT_NE(loose, nullptr);
  for (const char* name : {"shadowed.vmxtest", "loose.vmxtest"}) {
    cleanup_.push_back(TempPath(name));
    cleanup_.push_back(TempPath(name) + ".seen");
  }
  for (const auto& [entry, bytes] : {std::pair{shadowed, "from pak1"}, std::pair{loose, "loose file"}}) {
    PressEnterOn(entry, doc);
    ASSERT_TRUE(ViewerSaw(entry->name()));
    EXPECT_EQ(ReadDiskFile(TempPath(entry->name()) + ".seen"), TempPath(entry->name()) + "\n" + bytes);
  }
  // The loose file's copy is edited and saved in its viewer; both viewers end.
  const std::string edited = "changed in the viewer";
  ASSERT_TRUE(WriteDiskFile(TempPath("loose.vmxtest"), edited));
  DialogWatcher told("View", IDOK, 20000);
  SetEvent(release_);
  ASSERT_TRUE(PumpUntil([&] { return doc->viewing.empty() && doc->viewedCopies.empty(); }, 20000));
  const WatchedDialog seen = told.Wait();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.message, "loose.vmxtest was changed, but a game folder is read-only. The changed copy is kept as " +
                              TempPath("loose.vmxtest") + ".");
  EXPECT_EQ(ReadDiskFile(TempPath("loose.vmxtest")), edited);
  EXPECT_FALSE(DiskExists(TempPath("shadowed.vmxtest")));
  EXPECT_EQ(ReadDiskFile(folder + "\\loose.vmxtest"), "loose file");
  EXPECT_EQ(doc->modified, 0);
  EXPECT_EQ(ViewerWatchCount(), 0);
}

TEST_F(ViewingTest, AViewerStillRunningWhenItsWindowClosesIsNeverAskedAbout) {
  NoStrayMessages stray;
  Node* entry = AddFile("open.vmxtest", "as it was");
  PressEnterOn(entry);
  ASSERT_TRUE(ViewerSaw("open.vmxtest"));
  ASSERT_TRUE(WriteDiskFile(TempPath("open.vmxtest"), "changed while the window closes"));
  SendMessageA(window_, WM_CLOSE, 0, 0);
  ASSERT_FALSE(IsWindow(window_));
  // The watch ended with the window: the viewer's end later has nothing to report to.
  EXPECT_FALSE(DiskExists(TempPath("open.vmxtest")));
  EXPECT_EQ(ViewerWatchCount(), 0);
}

TEST_F(ViewingTest, ViewingTwiceSaysAlreadyViewingUntilTheViewerEnds) {
  Node* entry = AddFile("twice.vmxtest", "twice");
  ASSERT_EQ(ViewEntry(window_, entry), 1);
  {
    DialogWatcher watcher("View", IDOK);
    EXPECT_EQ(ViewEntry(window_, entry), 0);
    WatchedDialog seen = watcher.Wait();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.message, "Already viewing document");
  }
  EXPECT_EQ(ViewerWatchCount(), 1);
  ASSERT_TRUE(ViewerSaw("twice.vmxtest"));
  SetEvent(release_);
  ASSERT_TRUE(PumpUntil([&] { return !Viewing(entry); }, 10000));
  ResetEvent(release_);
  DeleteFileA((TempPath("twice.vmxtest") + ".seen").c_str());
  EXPECT_EQ(ViewEntry(window_, entry), 1);
  EXPECT_TRUE(Viewing(entry));
  EXPECT_TRUE(ViewerSaw("twice.vmxtest"));
}

TEST_F(ViewingTest, ClosingTheWindowEndsItsWatchesAndDeletesTheCopies) {
  NoStrayMessages stray;
  Node* first = AddFile("one.vmxtest", "1");
  Node* second = AddFile("two.vmxtest", "2");
  ASSERT_EQ(ViewEntry(window_, first), 1);
  ASSERT_EQ(ViewEntry(window_, second), 1);
  // A window whose viewers must survive the other one closing.
  HWND other = OpenNew();
  ASSERT_NE(other, nullptr);
  WindowDocument* otherDoc = DocumentOf(other);
  Node* node = otherDoc->tree->AddFile(otherDoc->root(), "three.vmxtest", MemoryBytes{});
  ASSERT_NE(node, nullptr);
  cleanup_.push_back(TempPath("three.vmxtest"));
  cleanup_.push_back(TempPath("three.vmxtest") + ".seen");
  ASSERT_EQ(ViewEntry(other, node), 1);
  ASSERT_EQ(ViewerWatchCount(), 3);
  ASSERT_TRUE(ViewerSaw("one.vmxtest"));

  SendMessageA(window_, WM_CLOSE, 0, 0);
  // The copies go before the close returns, while the viewers still run.
  EXPECT_FALSE(DiskExists(TempPath("one.vmxtest")));
  EXPECT_FALSE(DiskExists(TempPath("two.vmxtest")));
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_EQ(ViewerWatchCount(), 1);
  EXPECT_TRUE(DiskExists(TempPath("three.vmxtest")));
  EXPECT_TRUE(Viewing(node, otherDoc));

  // The session-end query ends the watches as well, even if the window stays.
  EXPECT_NE(SendMessageA(other, WM_QUERYENDSESSION, 0, 0), 0);
  EXPECT_FALSE(Viewing(node, otherDoc));
  EXPECT_FALSE(DiskExists(TempPath("three.vmxtest")));
  EXPECT_EQ(ViewerWatchCount(), 0);
}

TEST_F(ViewingTest, DestroyingTheWindowWithoutClosingEndsItsWatches) {
  NoStrayMessages stray;
  Node* entry = AddFile("gone.vmxtest", "g");
  ASSERT_EQ(ViewEntry(window_, entry), 1);
  ASSERT_EQ(ViewerWatchCount(), 1);
  // Destroyed through the MDI client, as after a failed save: no close, no query.
  SendMessageA(g_mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(window_), 0);
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_EQ(ViewerWatchCount(), 0);
  EXPECT_FALSE(DiskExists(TempPath("gone.vmxtest")));
}

TEST_F(ViewingTest, DeletingAViewedItemEndsItsWatch) {
  NoStrayMessages stray;
  Node* viewed = AddFile("gone.vmxtest", "soon deleted");
  Node* kept = AddFile("kept.vmxtest", "stays");
  ASSERT_EQ(ViewEntry(window_, viewed), 1);
  ASSERT_EQ(ViewEntry(window_, kept), 1);
  ASSERT_EQ(ViewerWatchCount(), 2);
  const int index = FindListItem(doc_->itemList, viewed);
  ASSERT_GE(index, 0);
  SetFocus(doc_->itemList);
  LVITEMA item = {};
  item.stateMask = LVIS_SELECTED;
  SendMessageA(doc_->itemList, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
  item.state = LVIS_SELECTED;
  SendMessageA(doc_->itemList, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item));
  SendMessageA(window_, WM_COMMAND, ID_EDIT_DELETE, 0);
  EXPECT_EQ(ListNames(doc_->itemList), std::vector<std::string>({"kept.vmxtest"}));
  EXPECT_FALSE(DiskExists(TempPath("gone.vmxtest")));
  EXPECT_EQ(ViewerWatchCount(), 1);
  EXPECT_TRUE(Viewing(kept));
  EXPECT_TRUE(DiskExists(TempPath("kept.vmxtest")));
  // The viewers ending later touch nothing that was freed (ASan-free here, but the
  // remaining watch must still end normally).
  SetEvent(release_);
  EXPECT_TRUE(PumpUntil([&] { return !Viewing(kept); }, 10000));
  EXPECT_EQ(ViewerWatchCount(), 0);
}

TEST_F(ViewingTest, StoppingTheWatchThreadEndsEveryWatch) {
  NoStrayMessages stray;
  Node* entry = AddFile("stop.vmxtest", "stop");
  ASSERT_EQ(ViewEntry(window_, entry), 1);
  StopViewerWatch();
  EXPECT_TRUE(PumpUntil([&] { return !Viewing(entry); }, 10000));
  EXPECT_FALSE(DiskExists(TempPath("stop.vmxtest")));
  // A stopped thread takes no new watch: the copy is not left behind.
  Node* later = AddFile("later.vmxtest", "later");
  EXPECT_EQ(ViewEntry(window_, later), 0);
  EXPECT_FALSE(Viewing(later));
  EXPECT_FALSE(DiskExists(TempPath("later.vmxtest")));
  // And it can be started again.
  ASSERT_TRUE(PumpUntil([] { return StartViewerWatch() == 1; }, 5000));
  EXPECT_EQ(ViewEntry(window_, later), 1);
}

TEST_F(ViewingTest, WatchListHoldsSixtyFourProcesses) {
  std::vector<HANDLE> handles;
  HWND fake = reinterpret_cast<HWND>(0x1234);  // no message is sent without a message id
  for (int i = 0; i < 65; ++i) {
    HANDLE h = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &h, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    handles.push_back(h);
  }
  for (int i = 0; i < 64; ++i) {
    char* copy = static_cast<char*>(std::malloc(4));
    ASSERT_EQ(WatchViewer(fake, handles[i], copy, kNoNode, 0), 1) << i;
  }
  EXPECT_EQ(WatchViewer(fake, handles[64], nullptr, kNoNode, 0), 0);
  EXPECT_EQ(ViewerWatchCount(), 64);
  StopWatchingWindow(fake);
  EXPECT_EQ(ViewerWatchCount(), 0);
  // The refused handle is still the caller's to close.
  EXPECT_TRUE(CloseHandle(handles[64]));
}

TEST_F(ViewingTest, UnsafeStoredNamesNeverLeaveTheTemporaryDirectory) {
  // The parent of the temporary directory is where "..\" would lead.
  std::string parent(TempDirectory);
  parent.resize(parent.size() - 1);
  parent.resize(parent.rfind('\\') + 1);
  // The system would drop the trailing dot and space of the last two: "evil.cmd" would run.
  const char* names[] = {"..\\escaped.vmxtest", "../escaped.vmxtest", "sub\\escaped.vmxtest",
                         "c:escaped.vmxtest", "C:\\escaped.vmxtest", "..", "nul.vmxtest", "evil.cmd.",
                         "escaped.vmxtest "};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    Node* entry = AddFile(name, "must not be written");
    ASSERT_NE(entry, nullptr);
    DialogWatcher watcher("View", IDOK);
    EXPECT_EQ(ViewEntry(window_, entry), 0);
    WatchedDialog seen = watcher.Wait();
    ASSERT_TRUE(seen.found);
    EXPECT_NE(seen.message.find("not allowed"), std::string::npos) << seen.message;
    EXPECT_FALSE(Viewing(entry));
  }
  // The message names the item with its control bytes escaped.
  Node* hostile = AddFile("two\nlines\x1b[0m.vmxtest", "must not be written");
  ASSERT_NE(hostile, nullptr);
  DialogWatcher watcher("View", IDOK);
  EXPECT_EQ(ViewEntry(window_, hostile), 0);
  const WatchedDialog seen = watcher.Wait();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.message, "Can't view \"two\\nlines\\x1b[0m.vmxtest\": the name is not allowed on disk.");
  EXPECT_FALSE(DiskExists(parent + "escaped.vmxtest"));
  EXPECT_FALSE(DiskExists(TempPath("escaped.vmxtest")));
  EXPECT_FALSE(DiskExists(TempPath("evil.cmd")));
  EXPECT_FALSE(DiskExists(TempPath("sub")));
  EXPECT_FALSE(DiskExists("C:\\escaped.vmxtest"));
  EXPECT_EQ(ViewerWatchCount(), 0);
}

TEST_F(ViewingTest, ProgramsRunOnlyWhenTheUserSaysSo) {
  // A program, a batch file and names without an extension whose bytes say they are
  // programs (a script, an MZ header): the shell would run each.
  struct Case {
    const char* name;
    const char* bytes;
  } cases[] = {{"hello.exe", "@echo off\r\necho ran> ran.marker\r\n"},
               {"run.bat", "@echo off\r\necho ran> ran.marker\r\n"},
               {"install", "#!/bin/sh\necho ran > ran.marker\n"},
               {"setup", "MZ\x90"}};
  for (const Case& c : cases) {
    const char* name = c.name;
    SCOPED_TRACE(name);
    Node* entry = AddFile(name, c.bytes);
    ASSERT_NE(entry, nullptr);
    bool noIsDefault = false;
    DialogWatcher question("View", 0, 10000, [&noIsDefault](HWND box) {
      const LONG style = GetWindowLongA(GetDlgItem(box, IDNO), GWL_STYLE);
      noIsDefault = (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
      PressDialogButton(box, IDNO);
    });
    PressEnterOn(entry);
    const WatchedDialog seen = question.Wait();
    ASSERT_TRUE(seen.found);
    EXPECT_TRUE(noIsDefault);
    EXPECT_EQ(seen.message, std::string(name) +
                                " is a program. Running a program from an archive can harm your computer. Run it?");
    EXPECT_FALSE(Viewing(entry));
    EXPECT_FALSE(DiskExists(TempPath(name)));
    EXPECT_FALSE(DiskExists(TempPath("ran.marker")));
  }
  EXPECT_EQ(ViewerWatchCount(), 0);
}

TEST_F(ViewingTest, ANameWithoutAnExtensionThatIsNoProgramIsShownInThePane) {
  NoStrayMessages noQuestion;
  ASSERT_FALSE(PreviewShown(doc_));
  Node* makefile = AddFile("makefile", "all:\n\tcc -o game game.c\n");
  PressEnterOn(makefile);
  // The pane opens on it and shows its text; nothing was asked, copied or started.
  ASSERT_TRUE(PreviewShown(doc_));
  HWND title = GetDlgItem(doc_->previewPane, kPreviewTitleId), edit = GetDlgItem(doc_->previewPane, kPreviewEditId);
  ASSERT_TRUE(PumpUntil([&] {
    char text[64] = {};
    GetWindowTextA(title, text, sizeof text);
    return std::string(text) == "makefile" && GetWindowTextLengthA(edit) > 0;
  }, 20000));
  char lines[64] = {};
  GetWindowTextA(edit, lines, sizeof lines);
  EXPECT_STREQ(lines, "all:\r\n\tcc -o game game.c\r\n");
  EXPECT_FALSE(DiskExists(TempPath("makefile")));
  EXPECT_FALSE(Viewing(makefile));
  ShowPreviewPane(window_, doc_, false);
}

TEST_F(ViewingTest, ArchivesAreNotOpenedButOtherCasesAreHandedToTheShell) {
  Node* pak = AddFile("inner.pak", "PACK");
  Node* pk3 = AddFile("inner.pk3", "PK");
  for (Node* entry : {pak, pk3}) {
    DialogWatcher watcher("View", IDOK);
    EXPECT_EQ(ViewEntry(window_, entry), 0);
    WatchedDialog seen = watcher.Wait();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.message, "Not implemented");
  }
  EXPECT_FALSE(DiskExists(TempPath("inner.pak")));
  // The comparison is case-sensitive: x.PAK (kept so in a tree that keeps the case of
  // names) goes to the shell, which knows no program for it, nor one to choose one with:
  // the preview pane shows it, the status bar says why, the copy is removed, nothing blocks.
  DocumentOf(window_)->tree->SetKeepsCase(true);
  Node* upper = AddFile("x.PAK", "PACK");
  {
    NoStrayMessages noBox;
    EXPECT_EQ(ViewEntry(window_, upper), 1);
  }
  EXPECT_TRUE(PreviewShown(doc_));
  EXPECT_EQ(StatusText(), "No program is set up for .PAK files: the preview pane shows \"x.PAK\".");
  EXPECT_FALSE(DiskExists(TempPath("x.PAK")));
  EXPECT_FALSE(Viewing(upper));
  ShowPreviewPane(window_, doc_, false);
  // The system's reasons name the file where their text leaves it to the caller, and a
  // failure the system has no text for still says something.
  const std::string badFormat = ShellFailureText("default.cfg", ERROR_BAD_EXE_FORMAT);
  EXPECT_EQ(badFormat.find("Can't open \"default.cfg\": "), 0u) << badFormat;
  EXPECT_EQ(badFormat.find('%'), std::string::npos) << badFormat;
  EXPECT_NE(badFormat.find("default.cfg", 13), std::string::npos) << badFormat;
  EXPECT_EQ(ShellFailureText("a.xyz", 0x2000DEAD), "Can't open \"a.xyz\": no program could be started for it.");
}

TEST_F(ViewingTest, ItemsOfAnOpenedArchiveAreViewedFromTheirSource) {
  HWND window = Open(WinFixture("views.pak"));
  ASSERT_NE(window, nullptr);
  WindowDocument* doc = DocumentOf(window);
  // A directory becomes the current folder.
  Node* maps = NodeAt(doc, "maps");
  ASSERT_NE(maps, nullptr);
  EXPECT_EQ(ViewEntry(window, maps), 1);
  EXPECT_EQ(reinterpret_cast<HTREEITEM>(SendMessageA(doc->folderTree, TVM_GETNEXTITEM, TVGN_CARET, 0)),
            FolderItemOf(doc, maps));
  EXPECT_EQ(ListNames(doc->itemList), std::vector<std::string>({"dm", "level1.bsp", "level2.bsp"}));
  // A file of the PAK is read from the archive into its temporary copy; with no program for
  // ".bsp" the shell fails, the copy goes again and the preview pane shows the file.
  Node* level = NodeAt(doc, "maps/level2.bsp");
  ASSERT_NE(level, nullptr);
  cleanup_.push_back(TempPath("level2.bsp"));
  {
    NoStrayMessages noBox;
    EXPECT_EQ(ViewEntry(window, level), 1);
  }
  EXPECT_FALSE(DiskExists(TempPath("level2.bsp")));
  ASSERT_TRUE(PreviewShown(doc));
  HWND title = GetDlgItem(doc->previewPane, kPreviewTitleId);
  EXPECT_TRUE(PumpUntil([&] {
    char text[64] = {};
    GetWindowTextA(title, text, sizeof text);
    return std::string(text) == "level2.bsp";
  }, 20000));
  ShowPreviewPane(window, doc, false);
}

}  // namespace
