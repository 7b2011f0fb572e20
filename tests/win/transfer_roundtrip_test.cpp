// A directory tree from the disk into a new archive and back out to the disk.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/win/support/archive_window_support.h"
#include "tests/win/support/transfer_test_support.h"
#include "transfer/export.h"
#include "window/disk_import.h"

namespace {

std::string Pattern(size_t size, unsigned seed) {
  std::string s(size, '\0');
  unsigned x = seed;
  for (char& c : s) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  return s;
}

}  // namespace

TEST_F(ArchiveWindowTest, ImportedTreeReadsBackAndExportsToTheSameFiles) {
  const std::string& dir = TempDir();
  const std::string source = dir + "Game Data";
  // Relative disk paths and their bytes; directories end in a backslash.
  const std::map<std::string, std::string> files = {
      {"Readme.TXT", "Read me\r\n"},
      {"empty.bin", ""},
      {"Maps\\E1M1.bsp", Pattern(70000, 1)},
      {"Maps\\DM\\arena.bsp", Pattern(256, 2)},
      {"Sound\\Weapons\\Shot.wav", Pattern(4096, 3)},
      {"Deep\\a\\b\\c\\d\\leaf", "leaf"},
  };
  CreateDirectoryA(source.c_str(), nullptr);
  for (const char* d : {"Maps", "Maps\\DM", "Sound", "Sound\\Weapons", "Deep", "Deep\\a", "Deep\\a\\b",
                        "Deep\\a\\b\\c", "Deep\\a\\b\\c\\d", "Nothing"})
    CreateDirectoryA((source + "\\" + d).c_str(), nullptr);
  for (const auto& f : files) ASSERT_TRUE(WriteDiskFile(source + "\\" + f.first, f.second));

  HWND window = OpenNew();
  WindowDocument* doc = DocumentOf(window);
  ASSERT_NE(doc, nullptr);
  TransferState state{0, 0, ReplaceMode::Ask};
  ASSERT_EQ(ImportDirectory(window, doc, source.c_str(), &state), 1);
  EXPECT_EQ(state.changed, 1);

  // Every entry's bytes, read back through the document's entry data, under lower-cased names.
  for (const auto& f : files) {
    std::string stored = "game data/" + Lower(f.first);
    for (char& c : stored) c = c == '\\' ? '/' : c;
    EXPECT_EQ(EntryText(doc, stored), f.second) << stored;
  }
  ASSERT_NE(NodeAt(doc, "game data/nothing"), nullptr);

  // And out again: the same tree, lower-cased, with the same bytes.
  const std::string out = dir + "out\\";
  CreateDirectoryA(out.c_str(), nullptr);
  TransferState exportState{0, 0, ReplaceMode::Ask};
  EXPECT_EQ(ExportNode(window, doc, doc->root(), out.c_str(), &exportState), 1);
  std::vector<std::string> expected = DiskListing(source);
  for (std::string& p : expected) p = "game data\\" + Lower(p);
  expected.insert(expected.begin(), "game data\\");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(DiskListing(out), expected);
  for (const auto& f : files) EXPECT_EQ(ReadDiskFile(out + "game data\\" + Lower(f.first)), f.second) << f.first;
}
