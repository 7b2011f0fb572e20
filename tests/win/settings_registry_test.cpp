// The settings and the recent-file list through the real registry.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "services/settings.h"

namespace {

class SettingsRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\Quillmoor"); }
  void TearDown() override { SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\Quillmoor"); }

  static void PutBinary(const char* name, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kSettingsKey, &key), 0L);
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_BINARY, static_cast<const BYTE*>(data), size), 0L);
    RegCloseKey(key);
  }
  static void PutDword(const char* name, DWORD value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kSettingsKey, &key), 0L);
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    RegCloseKey(key);
  }
  static void PutRecent(const char* name, const char* path) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kRecentFilesKey, &key), 0L);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                   static_cast<DWORD>(strlen(path) + 1));
    RegCloseKey(key);
  }
  static std::string GetRecent(const char* name) {
    char buffer[MAX_PATH] = {};
    DWORD size = sizeof buffer;
    if (SHGetValueA(HKEY_CURRENT_USER, kRecentFilesKey, name, nullptr, buffer, &size) !=
        ERROR_SUCCESS) {
      return "<missing>";
    }
    return buffer;
  }
  // A popup menu holding the resource's one empty placeholder item.
  static HMENU PlaceholderMenu() {
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING | MF_GRAYED, ID_PLACEHOLDER, "");
    return menu;
  }
  static std::string MenuText(HMENU menu, int position) {
    char text[MAX_PATH + 16] = {};
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
  }
  static constexpr UINT ID_PLACEHOLDER = 57616;
};

}  // namespace

TEST_F(SettingsRegistryTest, NoKeyGivesTheDefaults) {
  LoadSettings();
  const WindowState& s = g_settings.windowState;
  EXPECT_EQ(s.childWidth, static_cast<int32_t>(CW_USEDEFAULT));
  EXPECT_EQ(s.childHeight, static_cast<int32_t>(CW_USEDEFAULT));
  EXPECT_EQ(s.childStyle, 0u);
  EXPECT_EQ(s.folderPaneWidth, 100);
  EXPECT_EQ(s.nameColumnWidth, 120);
  EXPECT_EQ(s.sizeColumnWidth, 60);
  EXPECT_EQ(s.typeColumnWidth, 120);
  EXPECT_EQ(s.modifiedColumnWidth, 120);
  EXPECT_EQ(s.viewMode, static_cast<uint32_t>(LVS_ICON));
  EXPECT_EQ(s.sortKey, 1);
  EXPECT_EQ(g_settings.zipCompressionLevel, 6u);
  EXPECT_STREQ(g_settings.initialDirectory, "");
}

TEST_F(SettingsRegistryTest, StoredValuesAreCorrectedAndUnusedBytesWrittenBackAsRead) {
  uint8_t block[52];
  for (int i = 0; i < 52; ++i) block[i] = static_cast<uint8_t>(0xA0 + i);
  WindowState stored;
  std::memcpy(&stored, block, 52);
  stored.childWidth = 500;
  stored.childHeight = 400;
  stored.viewMode = 7;
  stored.sortKey = 0x0103;
  stored.childStyle = 1;
  PutBinary("State", &stored, 52);
  PutDword("ZipCompressionLevel", 12);
  LoadSettings();
  EXPECT_EQ(g_settings.windowState.viewMode, static_cast<uint32_t>(LVS_REPORT));
  EXPECT_EQ(g_settings.windowState.sortKey, 1);
  EXPECT_EQ(g_settings.windowState.childStyle, 0u);
  EXPECT_EQ(g_settings.windowState.childWidth, 500);
  EXPECT_EQ(g_settings.zipCompressionLevel, 6u);

  SaveSettings();
  uint8_t written[64] = {};
  DWORD size = sizeof written;
  ASSERT_EQ(static_cast<LONG>(SHGetValueA(HKEY_CURRENT_USER, kSettingsKey, "State", nullptr, written, &size)), 0L);
  ASSERT_EQ(size, static_cast<DWORD>(52));
  EXPECT_EQ(0, std::memcmp(written + 22, block + 22, 2)) << "the Modified column's width";
  EXPECT_EQ(0, std::memcmp(written + 28, block + 28, 24)) << "reserved bytes";
  WindowState back;
  std::memcpy(&back, written, 52);
  EXPECT_EQ(back.viewMode, 1u);
  EXPECT_EQ(back.sortKey, 1);
  DWORD level = 0;
  size = 4;
  SHGetValueA(HKEY_CURRENT_USER, kSettingsKey, "ZipCompressionLevel", nullptr, &level, &size);
  EXPECT_EQ(level, static_cast<DWORD>(6));
}

// The Modified column's width sits in two bytes older versions left zero: a block they
// stored gives the default width, and a width set now comes back from the registry.
TEST_F(SettingsRegistryTest, TheModifiedColumnsWidthRoundTripsAndAnOlderBlockGivesTheDefault) {
  WindowState older;
  std::memset(&older, 0, sizeof older);
  older.nameColumnWidth = 200;
  older.sizeColumnWidth = 70;
  older.typeColumnWidth = 90;
  older.viewMode = 1;
  older.sortKey = 0x104;
  PutBinary("State", &older, 52);
  LoadSettings();
  EXPECT_EQ(g_settings.windowState.modifiedColumnWidth, 120);
  EXPECT_EQ(g_settings.windowState.nameColumnWidth, 200);
  EXPECT_EQ(g_settings.windowState.typeColumnWidth, 90);
  EXPECT_EQ(g_settings.windowState.sortKey, 0x104);

  g_settings.windowState.modifiedColumnWidth = 175;
  g_settings.windowState.sortKey = 0x108;
  SaveSettings();
  uint8_t written[64] = {};
  DWORD size = sizeof written;
  ASSERT_EQ(static_cast<LONG>(SHGetValueA(HKEY_CURRENT_USER, kSettingsKey, "State", nullptr, written, &size)), 0L);
  ASSERT_EQ(size, static_cast<DWORD>(52));
  EXPECT_EQ(written[22] | written[23] << 8, 175);
  EXPECT_EQ(written[20] | written[21] << 8, 0x108);
  std::memset(&g_settings.windowState, 0, sizeof g_settings.windowState);
  LoadSettings();
  EXPECT_EQ(g_settings.windowState.modifiedColumnWidth, 175);
  EXPECT_EQ(g_settings.windowState.sortKey, 0x108);
  EXPECT_EQ(g_settings.windowState.nameColumnWidth, 200);
}

TEST_F(SettingsRegistryTest, ShortStateFillsOnlyItsFirstBytes) {
  int32_t widths[2] = {321, 0};
  PutBinary("State", widths, 4);
  LoadSettings();
  EXPECT_EQ(g_settings.windowState.childWidth, 321);
  EXPECT_EQ(g_settings.windowState.childHeight, static_cast<int32_t>(CW_USEDEFAULT));
  EXPECT_EQ(g_settings.windowState.folderPaneWidth, 100);
}

TEST_F(SettingsRegistryTest, RecentFilesSkipAMissingValueAndRoundTrip) {
  PutRecent("File1", "c:\\maps\\one.pk3");
  PutRecent("File2", "c:\\maps\\two.pak");
  PutRecent("File4", "c:\\maps\\four.zip");
  PutRecent("File3x", "c:\\not-a-slot.pak");
  HMENU menu = PlaceholderMenu();
  ASSERT_TRUE(CreateRecentFileList(menu, 10));
  LoadRecentFilesFromRegistry();
  ASSERT_STREQ(g_recentFiles.At(0), "c:\\maps\\one.pk3");
  ASSERT_STREQ(g_recentFiles.At(1), "c:\\maps\\two.pak");
  ASSERT_STREQ(g_recentFiles.At(2), "c:\\maps\\four.zip");
  EXPECT_EQ(g_recentFiles.At(3), nullptr);
  ASSERT_EQ(GetMenuItemCount(menu), 3);
  EXPECT_EQ(MenuText(menu, 0), "&1\tc:\\maps\\one.pk3");
  EXPECT_EQ(MenuText(menu, 2), "&3\tc:\\maps\\four.zip");
  EXPECT_EQ(GetMenuItemID(menu, 1), 57617u);
  EXPECT_EQ(GetMenuState(menu, 0, MF_BYPOSITION) & MF_GRAYED, 0u);

  SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\Quillmoor");
  LoadSettings();
  SaveSettings();
  EXPECT_EQ(GetRecent("File1"), "c:\\maps\\one.pk3");
  EXPECT_EQ(GetRecent("File2"), "c:\\maps\\two.pak");
  EXPECT_EQ(GetRecent("File3"), "c:\\maps\\four.zip");
  EXPECT_EQ(GetRecent("File4"), "<missing>");
  DestroyMenu(menu);
}

TEST_F(SettingsRegistryTest, RecentListRefusesSomethingThatIsNotAMenu) {
  EXPECT_FALSE(CreateRecentFileList(nullptr, 10));
  EXPECT_FALSE(CreateRecentFileList(reinterpret_cast<HMENU>(GetDesktopWindow()), 10));
}

TEST_F(SettingsRegistryTest, OverlongRecentValueIsSkipped) {
  PutRecent("File1", "c:\\ok.pak");
  PutRecent("File2", std::string(300, 'x').c_str());
  HMENU menu = PlaceholderMenu();
  ASSERT_TRUE(CreateRecentFileList(menu, 10));
  LoadRecentFilesFromRegistry();
  EXPECT_STREQ(g_recentFiles.At(0), "c:\\ok.pak");
  EXPECT_EQ(g_recentFiles.At(1), nullptr);
  DestroyMenu(menu);
}
