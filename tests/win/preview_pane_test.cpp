// The preview pane driven as a user drives it: View > Preview Pane, the focus moving in the
// list (by the list's own messages and by arrow keys), and the pane read back: its texts,
// its edit's lines and the pixels of the picture it shows.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "panes/picture_view.h"
#include "panes/preview_pane.h"
#include "panes/views.h"
#include "resources/command_ids.h"
#include "services/globals.h"
#include "services/settings.h"
#include "services/sound_thread.h"
#include "tests/win/support/archive_window_support.h"
#include "tests/win/support/screenshot.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

void Put(std::vector<uint8_t>* b, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) b->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::vector<uint8_t> Wave(uint32_t rate, uint32_t seconds) {
  std::vector<uint8_t> b = Bytes("RIFF");
  const uint32_t data = rate * 2 * seconds;
  Put(&b, 36 + data, 4);
  for (char c : std::string("WAVEfmt ")) b.push_back(static_cast<uint8_t>(c));
  Put(&b, 16, 4);
  Put(&b, 1, 2);
  Put(&b, 1, 2);
  Put(&b, rate, 4);
  Put(&b, rate * 2, 4);
  Put(&b, 2, 2);
  Put(&b, 16, 2);
  for (char c : std::string("data")) b.push_back(static_cast<uint8_t>(c));
  Put(&b, data, 4);
  for (uint32_t i = 0; i < data / 2; ++i) Put(&b, (i * 700) & 0xFFFF, 2);
  return b;
}

// An LMP: its two sizes, then one palette index a pixel.
std::vector<uint8_t> Lmp(uint32_t width, uint32_t height, const std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> b;
  Put(&b, width, 4);
  Put(&b, height, 4);
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

// A palette whose colour i is (i, 255 - i, i / 2).
std::vector<uint8_t> Palette() {
  std::vector<uint8_t> b;
  for (int i = 0; i < 256; ++i) {
    b.push_back(static_cast<uint8_t>(i));
    b.push_back(static_cast<uint8_t>(255 - i));
    b.push_back(static_cast<uint8_t>(i / 2));
  }
  return b;
}

std::string PreviewFixture(const std::string& name) { return WinFixture("preview\\" + name); }

class PreviewPaneTest : public ArchiveWindowTest {
 protected:
  void SetUp() override {
    ArchiveWindowTest::SetUp();
    if (HasFatalFailure()) return;
    doc_ = OpenDoc("", &window_);
    ASSERT_NE(doc_, nullptr);
    ASSERT_FALSE(PreviewShown(doc_));
    SendCommand(window_, ID_VIEW_PREVIEW_PANE);
    ASSERT_TRUE(PreviewShown(doc_));
    pane_ = doc_->previewPane;
  }

  // A memory file of the new archive (under folder, when given), shown in its list.
  Node* AddFile(const std::string& name, const std::vector<uint8_t>& bytes, Node* folder = nullptr) {
    SharedBytes data = bytes.empty() ? nullptr : EntryBuffer::Copy(bytes.data(), bytes.size());
    Node* node = doc_->tree->AddFile(folder ? folder : doc_->root(), name, MemoryBytes{data});
    if (node && !folder) InsertListItem(doc_->itemList, node, ListView_GetItemCount(doc_->itemList), 0, 0);
    return node;
  }
  Node* AddFixture(const std::string& name) { return AddFile(name, FileBytes(PreviewFixture(name))); }

  // Focuses the node's list item as a click does; the pane follows.
  void Focus(const Node* node) {
    const int index = FindListItem(doc_->itemList, node);
    ASSERT_GE(index, 0);
    ListView_SetItemState(doc_->itemList, index, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
  }

  std::string Text(int id) {
    HWND child = GetDlgItem(pane_, id);
    std::string text(static_cast<size_t>(GetWindowTextLengthA(child)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(child, &text[0], static_cast<int>(text.size()))));
    return text;
  }
  bool Visible(int id) { return IsWindowVisible(GetDlgItem(pane_, id)) != FALSE; }

  // The pane shows the result of the newest request, and it is about name.
  bool Shows(const std::string& name) {
    return PumpUntil([&] {
      uint64_t newest = 0;
      const uint64_t shown = static_cast<uint64_t>(SendMessageA(pane_, WMU_PREVIEW_SHOWN, 0, reinterpret_cast<LPARAM>(&newest)));
      return shown != 0 && shown == newest && Text(kPreviewTitleId) == name;
    }, 20000);
  }
  void FocusAndWait(const Node* node) {
    Focus(node);
    ASSERT_TRUE(Shows(node->name())) << node->name();
  }

  // The pixels of the picture shown (B, G, R, A each), read from the view's bitmap.
  std::vector<uint32_t> Pixels(int* width, int* height) {
    HBITMAP bitmap = reinterpret_cast<HBITMAP>(SendMessageA(GetDlgItem(pane_, kPreviewPictureId), WMU_PICTURE_BITMAP, 0, 0));
    DIBSECTION dib = {};
    if (!bitmap || GetObjectA(bitmap, sizeof dib, &dib) != sizeof dib || !dib.dsBm.bmBits) return {};
    *width = dib.dsBm.bmWidth;
    *height = dib.dsBm.bmHeight;
    const auto* bits = static_cast<const uint32_t*>(dib.dsBm.bmBits);
    return std::vector<uint32_t>(bits, bits + static_cast<size_t>(*width) * *height);
  }

  void Screenshot(const std::string& name) {
    RedrawWindow(frame_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    PumpPending();
    WaitUntilDrawn(pane_);
    EXPECT_TRUE(SaveWindowScreenshotTo(frame_, VELLUMIX_SCREENSHOT_DIR, name));
  }

  HWND window_ = nullptr, pane_ = nullptr;
  WindowDocument* doc_ = nullptr;
};

uint32_t Bgra(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
  return static_cast<uint32_t>(b) | (static_cast<uint32_t>(g) << 8) | (static_cast<uint32_t>(r) << 16) |
         (static_cast<uint32_t>(a) << 24);
}

// Whether two BGRA pixels differ by at most tolerance in every channel.
bool Near(uint32_t a, uint32_t b, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (d > tolerance || d < -tolerance) return false;
  }
  return true;
}

}  // namespace

TEST_F(PreviewPaneTest, TheCommandShowsAndHidesThePaneAndNewWindowsKeepIt) {
  EXPECT_TRUE(IsWindowVisible(pane_));
  EXPECT_EQ(g_settings.windowState.previewShown, 1);
  EXPECT_EQ(GetMenuState(g_mainMenu, ID_VIEW_PREVIEW_PANE, MF_BYCOMMAND) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
  RECT list, pane;
  GetWindowRect(doc_->itemList, &list);
  GetWindowRect(pane_, &pane);
  EXPECT_GE(pane.top, list.bottom);  // under the list, as wide as it
  EXPECT_EQ(pane.left, list.left);
  EXPECT_EQ(pane.right, list.right);
  HWND second = nullptr;
  ASSERT_NE(OpenDoc("", &second), nullptr);
  EXPECT_TRUE(PreviewShown(DocumentOf(second)));
  SendCommand(second, ID_VIEW_PREVIEW_PANE);  // the second, the active one, hides its pane
  EXPECT_FALSE(PreviewShown(DocumentOf(second)));
  EXPECT_FALSE(IsWindowVisible(DocumentOf(second)->previewPane));
  EXPECT_EQ(g_settings.windowState.previewShown, 0);
  EXPECT_EQ(GetMenuState(g_mainMenu, ID_VIEW_PREVIEW_PANE, MF_BYCOMMAND) & MF_CHECKED, 0u);
  GetWindowRect(DocumentOf(second)->itemList, &list);
  RECT splitter;
  GetWindowRect(DocumentOf(second)->previewSplitter, &splitter);
  EXPECT_EQ(list.bottom, splitter.bottom);  // the list takes the room back
}

TEST_F(PreviewPaneTest, AFolderShowsItsCounts) {
  Node* maps = doc_->tree->AddDirectory(doc_->root(), "maps");
  ASSERT_NE(maps, nullptr);
  AddFile("a.txt", Bytes("12345"));
  AddFile("b.txt", std::vector<uint8_t>(1234567, 'b'));
  InsertListItem(doc_->itemList, maps, 0, 0, 0);
  PreviewFocusedItem(window_, doc_);
  ASSERT_TRUE(Shows("/"));
  EXPECT_EQ(Text(kPreviewNoteId), "2 files, 1 folder, " + Grouped(1234572) + " bytes");
  EXPECT_FALSE(Visible(kPreviewEditId));
}

TEST_F(PreviewPaneTest, ACfgIsShownAsLinesOfText) {
  Node* cfg = AddFile("autoexec.cfg", Bytes("bind w +forward\nexec user.cfg\n\xC3\xA9t\xC3\xA9\n"));
  FocusAndWait(cfg);
  EXPECT_EQ(Text(kPreviewEditId), "bind w +forward\r\nexec user.cfg\r\n\xC3\xA9t\xC3\xA9\r\n");
  EXPECT_TRUE(Visible(kPreviewEditId));
  EXPECT_FALSE(Visible(kPreviewPictureId));
  EXPECT_NE(GetWindowLongA(GetDlgItem(pane_, kPreviewEditId), GWL_STYLE) & ES_READONLY, 0);
  const std::string details = Text(kPreviewDetailsId);
  EXPECT_NE(details.find("Size: 36 bytes"), std::string::npos) << details;
  EXPECT_NE(details.find("Path: autoexec.cfg"), std::string::npos) << details;
  EXPECT_NE(details.find("CRC-32: "), std::string::npos) << details;
  // A text longer than the edit is given says how much it shows.
  Node* log = AddFile("big.txt", std::vector<uint8_t>(1536 * 1024, 'x'));
  FocusAndWait(log);
  EXPECT_EQ(Text(kPreviewNoteId), "Showing the first 1 MB of " + Grouped(1536 * 1024) + " bytes");
  EXPECT_EQ(static_cast<size_t>(GetWindowTextLengthA(GetDlgItem(pane_, kPreviewEditId))), 1024u * 1024);
  FocusAndWait(cfg);
  Screenshot("preview-text");
}

TEST_F(PreviewPaneTest, AnEntryOfAnArchiveFileIsReadThroughItsSnapshot) {
  HWND window = Open(WinFixture("views.zip"));
  ASSERT_NE(window, nullptr);
  doc_ = DocumentOf(window);
  pane_ = doc_->previewPane;
  ASSERT_TRUE(PreviewShown(doc_));  // new windows keep the pane
  const int index = [&] {
    const std::vector<std::string> names = ListNames(doc_->itemList);
    for (size_t i = 0; i < names.size(); ++i)
      if (names[i] == "notes.txt") return static_cast<int>(i);
    return -1;
  }();
  ASSERT_GE(index, 0);
  ListView_SetItemState(doc_->itemList, index, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
  ASSERT_TRUE(Shows("notes.txt"));
  EXPECT_EQ(Text(kPreviewEditId), std::string(30, 'n'));
  const std::string details = Text(kPreviewDetailsId);
  EXPECT_NE(details.find("Method: Deflated"), std::string::npos) << details;
  EXPECT_NE(details.find("Path: notes.txt"), std::string::npos) << details;
  // A binary file gets the hex view.
  ListView_SetItemState(doc_->itemList, -1, 0, LVIS_FOCUSED | LVIS_SELECTED);
  const std::vector<std::string> names = ListNames(doc_->itemList);
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == "big.dat")
      ListView_SetItemState(doc_->itemList, static_cast<int>(i), LVIS_FOCUSED, LVIS_FOCUSED);
  ASSERT_TRUE(Shows("big.dat"));
  EXPECT_EQ(Text(kPreviewEditId).substr(0, 60), "00000000  00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00  ");
  EXPECT_EQ(Text(kPreviewEditId).size(), 256u * 78);  // 4 KB: 256 lines
}

TEST_F(PreviewPaneTest, TheNewestOfTwoHundredArrowKeysWins) {
  std::vector<Node*> nodes;
  for (int i = 0; i < 200; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "file%03d.txt", i);
    nodes.push_back(AddFile(name, Bytes(std::string("text of ") + name)));
    ASSERT_NE(nodes.back(), nullptr);
  }
  SendCommand(window_, ID_VIEW_DETAILS);
  FocusAndWait(nodes[0]);
  SetFocus(doc_->itemList);
  // Each key is taken as the message loop takes a real one, with what it posted run after it.
  for (int i = 1; i < 200; ++i) {
    SendMessageA(doc_->itemList, WM_KEYDOWN, VK_DOWN, 0);
    SendMessageA(doc_->itemList, WM_KEYUP, VK_DOWN, 0);
    PumpPending();
  }
  EXPECT_EQ(ListView_GetNextItem(doc_->itemList, -1, LVNI_FOCUSED), 199);
  ASSERT_TRUE(Shows("file199.txt"));
  EXPECT_EQ(Text(kPreviewEditId), "text of file199.txt");
  // Every key made a request; only the newest result is shown, never an older one after it.
  uint64_t newest = 0;
  EXPECT_EQ(static_cast<uint64_t>(SendMessageA(pane_, WMU_PREVIEW_SHOWN, 0, reinterpret_cast<LPARAM>(&newest))), newest);
  EXPECT_GE(newest, 200u);  // the first item's, and one for each key
}

TEST_F(PreviewPaneTest, AWavShowsItsFormatAndLengthAndPlays) {
  Node* wav = AddFile("door.wav", Wave(11025, 3));
  FocusAndWait(wav);
  EXPECT_EQ(Text(kPreviewNoteId), "PCM WAV, mono, " + Grouped(11025) + " Hz, 16-bit, length 0:03.0");
  EXPECT_TRUE(Visible(kPreviewPlayId));
  EXPECT_TRUE(Visible(kPreviewStopId));
  ASSERT_TRUE(StartSoundThread());
  const unsigned long started = CurrentSoundActivity().started;
  SendMessageA(GetDlgItem(pane_, kPreviewPlayId), BM_CLICK, 0, 0);
  EXPECT_TRUE(PumpUntil([&] { return CurrentSoundActivity().started == started + 1; }, 10000));
  SendMessageA(GetDlgItem(pane_, kPreviewStopId), BM_CLICK, 0, 0);
  EXPECT_TRUE(PumpUntil([] { return CurrentSoundActivity().queued == 0; }, 10000));
  Screenshot("preview-wav");
  StopSoundThread();
  EXPECT_TRUE(PumpUntil([] { return !CurrentSoundActivity().running; }, 10000));
}

TEST_F(PreviewPaneTest, PlatformPicturesAreDecodedByTheSystem) {
  struct Case {
    const char* name;
    int tolerance;
  } cases[] = {{"rgb.png", 0}, {"rgb.bmp", 0}, {"rgb.gif", 0}, {"low.png", 0}, {"rgb.jpg", 40}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Node* node = AddFixture(c.name);
    ASSERT_NE(node, nullptr);
    FocusAndWait(node);
    ASSERT_TRUE(Visible(kPreviewPictureId)) << Text(kPreviewNoteId);
    int width = 0, height = 0;
    const std::vector<uint32_t> pixels = Pixels(&width, &height);
    ASSERT_EQ(width, 8);
    ASSERT_EQ(height, 6);
    // Red on the left, blue on the right, green at the bottom left (the fixtures' script).
    EXPECT_TRUE(Near(pixels[0], Bgra(255, 0, 0), c.tolerance)) << std::hex << pixels[0];
    EXPECT_TRUE(Near(pixels[7], Bgra(0, 0, 255), c.tolerance)) << std::hex << pixels[7];
    if (std::string(c.name) != "low.png") {
      EXPECT_TRUE(Near(pixels[5 * 8], Bgra(0, 255, 0), c.tolerance));
    }
    EXPECT_EQ(Text(kPreviewNoteId).find("8 \xC3\x97 6, "), 0u) << Text(kPreviewNoteId);
  }
}

TEST_F(PreviewPaneTest, DamagedPicturesSayWhyInThePane) {
  for (const char* name : {"truncated.png", "bilevel.png"}) {
    SCOPED_TRACE(name);
    Node* node = AddFixture(name);
    FocusAndWait(node);
    EXPECT_EQ(Text(kPreviewNoteId).find("Can't show this file: "), 0u) << Text(kPreviewNoteId);
    EXPECT_FALSE(Visible(kPreviewPictureId));
  }
  // Wine's decoder garbles PNGs of fewer than 8 bits a pixel: the pane says so instead.
  EXPECT_NE(Text(kPreviewNoteId).find("fewer than 8 bits"), std::string::npos) << Text(kPreviewNoteId);
}

TEST_F(PreviewPaneTest, TgasAreShownPixelForPixelInTheirOrigin) {
  // The top-down TGA as drawn; the run-length one as ImageMagick shows it oriented (its rows
  // are stored top first under a bottom-left origin, so it shows turned over).
  struct Case {
    const char* name;
    uint32_t top, bottom;
  } cases[] = {{"rgb.tga", Bgra(255, 0, 0), Bgra(0, 255, 0)}, {"rle.tga", Bgra(0, 255, 0), Bgra(255, 0, 0)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Node* tga = AddFixture(c.name);
    FocusAndWait(tga);
    int width = 0, height = 0;
    const std::vector<uint32_t> pixels = Pixels(&width, &height);
    ASSERT_EQ(width, 8);
    ASSERT_EQ(height, 6);
    EXPECT_EQ(pixels[0], c.top);
    EXPECT_EQ(pixels[7], Bgra(0, 0, 255));
    EXPECT_EQ(pixels[5 * 8], c.bottom);
    EXPECT_EQ(Text(kPreviewNoteId), "8 \xC3\x97 6, 24-bit TGA");
  }
}

TEST_F(PreviewPaneTest, AnLmpTakesThePaletteOfItsArchive) {
  // 256 x 256 in squares of 16 pixels, square i of colour i: more than the pane reads to
  // tell a kind, and larger than the pane, which shows it scaled down.
  std::vector<uint8_t> indexes;
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) indexes.push_back(static_cast<uint8_t>(x / 16 + y / 16 * 16));
  Node* lmp = AddFile("wall.lmp", Lmp(256, 256, indexes));
  // No palette anywhere: grey levels, and the caption says what to do.
  FocusAndWait(lmp);
  EXPECT_NE(Text(kPreviewNoteId).find("no palette found"), std::string::npos) << Text(kPreviewNoteId);
  Node* gfx = doc_->tree->AddDirectory(doc_->root(), "gfx");
  ASSERT_NE(AddFile("palette.lmp", Palette(), gfx), nullptr);
  ListView_SetItemState(doc_->itemList, -1, 0, LVIS_FOCUSED | LVIS_SELECTED);
  FocusAndWait(lmp);
  EXPECT_EQ(Text(kPreviewNoteId), "256 \xC3\x97 256, 8-bit LMP, palette: gfx/palette.lmp");
  int width = 0, height = 0;
  const std::vector<uint32_t> pixels = Pixels(&width, &height);
  ASSERT_EQ(width, 256);
  ASSERT_EQ(height, 256);
  for (int i : {0, 1, 100, 254}) {
    const size_t at = static_cast<size_t>(i / 16 * 16) * 256 + i % 16 * 16 + 5;
    EXPECT_EQ(pixels[at], Bgra(i, 255 - i, i / 2)) << i;
  }
  Screenshot("preview-texture");
}
