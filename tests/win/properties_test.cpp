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

// Gives Properties and reads its rows from the dialog captioned caption, which it closes.
Rows PropertiesRows(HWND window, const std::string& caption) {
  Rows rows;
  DialogWatcher watcher(caption, IDOK, 10000, [&rows](HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_PROPERTIES_LIST);
    const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) rows[ListText(list, i, 0)] = ListText(list, i, 1);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  });
  SendCommand(window, ID_OBJECT_PROPERTIES);
  EXPECT_TRUE(watcher.Wait().found) << caption;
  return rows;
}

using PropertiesTest = ViewsWindowTest;

TEST_F(PropertiesTest, FileFolderSelectionAndArchiveAddUp) {
  FocusPane(doc_->itemList);
  SelectListItems(doc_, {"big.dat"});
  Rows file = PropertiesRows(window_, "big.dat Properties");
  EXPECT_EQ(file["Size"], Grouped(1234567) + " bytes");
  EXPECT_EQ(file["Stored size"], Grouped(1213) + " bytes");
  EXPECT_EQ(file["Method"], "Deflated");
  EXPECT_EQ(file["Saving"], "100%");
  EXPECT_EQ(file["CRC-32"], "70986EF5");
  EXPECT_EQ(file["Location"], "/");
  EXPECT_NE(file["Modified"], "Not known");

  SelectListItems(doc_, {"maps"});
  Rows folder = PropertiesRows(window_, "maps Properties");
  EXPECT_EQ(folder["Contains"], "3 files, 1 folder");
  EXPECT_EQ(folder["Size"], "725 bytes");
  EXPECT_EQ(folder["Stored size"], "19 bytes");

  SelectListItems(doc_, {"a.bsp", "z.bsp"});
  Rows two = PropertiesRows(window_, "Properties");
  EXPECT_EQ(two["Selected"], "2 items");
  EXPECT_EQ(two["Size"], "150 bytes");
  EXPECT_EQ(two["Saving"], "92%");  // 12 bytes stored for 150

  SelectListItems(doc_, {});
  FocusPane(doc_->folderTree);
  Rows archive = PropertiesRows(window_, "views.zip Properties");
  EXPECT_EQ(archive["Entries"], "11");
  EXPECT_EQ(archive["Contains"], "10 files, 3 folders");
  EXPECT_EQ(archive["Size"], Grouped(1235489) + " bytes");
  EXPECT_EQ(archive["Comment"], "None");
  EXPECT_EQ(archive["Target"], "Any");  // a folder of no game
  EXPECT_NE(archive["Size on disk"].find(" bytes"), std::string::npos);
}

}  // namespace
