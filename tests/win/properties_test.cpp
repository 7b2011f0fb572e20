// The Properties command on a file, a folder, a selection and the archive itself.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "resources/command_ids.h"
#include "resources/shell_ids.h"
#include "tests/win/support/archive_window_support.h"
#include "tests/win/support/data_exchange_support.h"
#include "tests/win/support/dialog_watch_support.h"

namespace {

using Rows = std::map<std::string, std::string>;

// Properties' rows by label.
Rows RowsByLabel(HWND window, const std::string& caption) {
  Rows rows;
  for (auto& [label, value] : ::PropertiesRows(window, caption)) rows[label] = value;
  return rows;
}

using PropertiesTest = ViewsWindowTest;

TEST_F(PropertiesTest, FileFolderSelectionAndArchiveAddUp) {
  FocusPane(doc_->itemList);
  SelectListItems(doc_, {"big.dat"});
  Rows file = RowsByLabel(window_, "big.dat Properties");
  EXPECT_EQ(file["Size"], Grouped(1234567) + " bytes");
  EXPECT_EQ(file["Stored size"], Grouped(1213) + " bytes");
  EXPECT_EQ(file["Method"], "Deflated");
  EXPECT_EQ(file["Saving"], "100%");
  EXPECT_EQ(file["CRC-32"], "70986EF5");
  EXPECT_EQ(file["Location"], "/");
  EXPECT_NE(file["Modified"], "Not known");

  SelectListItems(doc_, {"maps"});
  Rows folder = RowsByLabel(window_, "maps Properties");
  EXPECT_EQ(folder["Contains"], "3 files, 1 folder");
  EXPECT_EQ(folder["Size"], "725 bytes");
  EXPECT_EQ(folder["Stored size"], "19 bytes");

  SelectListItems(doc_, {"a.bsp", "z.bsp"});
  Rows two = RowsByLabel(window_, "Properties");
  EXPECT_EQ(two["Selected"], "2 items");
  EXPECT_EQ(two["Size"], "150 bytes");
  EXPECT_EQ(two["Saving"], "92%");  // 12 bytes stored for 150

  SelectListItems(doc_, {});
  FocusPane(doc_->folderTree);
  Rows archive = RowsByLabel(window_, "views.zip Properties");
  EXPECT_EQ(archive["Entries"], "11");
  EXPECT_EQ(archive["Contains"], "10 files, 3 folders");
  EXPECT_EQ(archive["Size"], Grouped(1235489) + " bytes");
  EXPECT_EQ(archive["Comment"], "None");
  EXPECT_EQ(archive["Target"], "Any");  // a folder of no game
  EXPECT_NE(archive["Size on disk"].find(" bytes"), std::string::npos);
}

}  // namespace
