// File types against the real shell: the cache, the empty extension, the image lists.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "services/file_types.h"

namespace {

class FileTypesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitCommonControls();
    ASSERT_TRUE(BuildFileTypes());
  }
  void TearDown() override { ReleaseFileTypes(); }
};

}  // namespace

TEST_F(FileTypesTest, StartupListIsEnteredAndListsExist) {
  FileTypeTable* table = FileTypes();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->RecordCount(), 34);
  for (const char* ext : {"", "bsp", "wav", "shader", "md3"}) {
    EXPECT_NE(table->Find(ext), nullptr) << ext;
  }
  EXPECT_NE(SystemImageListSmall(), nullptr);
  EXPECT_NE(SystemImageListLarge(), nullptr);
  EXPECT_EQ(table->defaultFileIcon(), table->Find("")->iconIndex);
  const char* folderName = nullptr;
  int folderIcon = FolderTypeInfo(&folderName);
  EXPECT_GE(folderIcon, 0);
  ASSERT_NE(folderName, nullptr);
}

TEST_F(FileTypesTest, CaseMakesTwoRecordsAndEachIsAskedOnce) {
  FileTypeTable* table = FileTypes();
  int before = table->RecordCount();
  const char* upper = nullptr;
  const char* lower = nullptr;
  int upperIcon = FileTypeInfo("sound.WAV", &upper);
  int lowerIcon = FileTypeInfo("sound.wav", &lower);
  EXPECT_EQ(table->RecordCount(), before + 1);  // "wav" was entered at start-up, "WAV" is new
  EXPECT_NE(table->Find("WAV"), table->Find("wav"));
  EXPECT_EQ(upperIcon, lowerIcon);
  // A second lookup answers from the record: the very same name pointer.
  EXPECT_EQ(FileTypeName("other.WAV"), upper);
  EXPECT_EQ(table->RecordCount(), before + 1);
}

TEST_F(FileTypesTest, NamesWithoutExtensionShareOneRecord) {
  const char* readme = nullptr;
  const char* notes = nullptr;
  EXPECT_EQ(FileTypeInfo("README", &readme), FileTypes()->defaultFileIcon());
  FileTypeInfo("notes.", &notes);
  EXPECT_EQ(readme, notes);
  EXPECT_EQ(readme, FileTypes()->Find("")->typeName);
  EXPECT_NE(std::string(readme), "");
}

TEST_F(FileTypesTest, UnknownExtensionGetsANonEmptyName) {
  const char* name = FileTypeName("x.qqqzz");
  ASSERT_NE(name, nullptr);
  EXPECT_NE(std::string(name), "");
  EXPECT_LT(std::string(name).size(), 80u);
  std::string longName = "a." + std::string(200, 'k');
  EXPECT_LT(std::string(FileTypeName(longName.c_str())).size(), 80u);
}

TEST_F(FileTypesTest, FolderImageListHoldsThreeImages) {
  ASSERT_TRUE(CreateFolderImageList(GetModuleHandleA(nullptr)));
  ASSERT_NE(FolderImageList(), nullptr);
  EXPECT_EQ(ImageList_GetImageCount(FolderImageList()), 3);
  int cx = 0, cy = 0;
  ImageList_GetIconSize(FolderImageList(), &cx, &cy);
  EXPECT_EQ(cx, GetSystemMetrics(SM_CXSMICON));
  EXPECT_EQ(cy, GetSystemMetrics(SM_CYSMICON));
  ReleaseFileTypes();
  EXPECT_EQ(FolderImageList(), nullptr);
}
