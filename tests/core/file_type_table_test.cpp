#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "services/core/file_type_table.h"

namespace {

// Stands in for the desktop shell: known extensions get a name and icon; others none.
class FakeShell : public FileTypeSource {
 public:
  std::map<std::string, std::pair<int32_t, std::string>> known{
      {".", {1, ""}}, {".wav", {7, "Wave Sound"}}, {".WAV", {7, "Wave Sound"}}};
  bool failAll = false;
  int calls = 0;
  bool Query(const char* dotted, int32_t* icon, char* typeName, size_t size) override {
    ++calls;
    if (failAll) return false;
    auto it = known.find(dotted);
    if (it == known.end()) {
      *icon = 3;  // the shell's generic icon, no type name
      typeName[0] = '\0';
      return true;
    }
    *icon = it->second.first;
    std::snprintf(typeName, size, "%s", it->second.second.c_str());
    return true;
  }
};

}  // namespace

TEST(FileTypeTableTest, Crc16CheckValue) {
  EXPECT_EQ(Crc16CcittFalse("123456789", 9), 0x29B1);
  EXPECT_EQ(Crc16CcittFalse("", 0), 0xFFFF);
}

TEST(FileTypeTableTest, ExtensionsAreCaseSensitiveAndCached) {
  FakeShell shell;
  FileTypeTable table(&shell);
  ASSERT_NE(table.Enter("."), nullptr);
  EXPECT_EQ(table.defaultFileIcon(), 1);
  const char* name = nullptr;
  EXPECT_EQ(table.Info("sound.WAV", &name), 7);
  EXPECT_STREQ(name, "Wave Sound");
  EXPECT_EQ(table.Info("sound.wav", &name), 7);
  EXPECT_EQ(table.RecordCount(), 3);
  EXPECT_NE(table.Find("WAV"), table.Find("wav"));
  int before = shell.calls;
  EXPECT_STREQ(table.Name("other.wav"), "Wave Sound");
  EXPECT_EQ(table.Icon("x.WAV"), 7);
  EXPECT_EQ(shell.calls, before);  // asked once per extension
}

TEST(FileTypeTableTest, NamesWithoutExtensionShareTheEmptyRecord) {
  FakeShell shell;
  FileTypeTable table(&shell);
  ASSERT_NE(table.Enter("."), nullptr);
  EXPECT_STREQ(table.Name("README"), "File");
  EXPECT_STREQ(table.Name("notes."), "File");
  EXPECT_STREQ(table.Name(nullptr), "File");
  EXPECT_EQ(table.RecordCount(), 1);
}

TEST(FileTypeTableTest, BuiltTypeNames) {
  FakeShell shell;
  FileTypeTable table(&shell);
  ASSERT_NE(table.Enter("."), nullptr);
  EXPECT_STREQ(table.Name("map.xyz"), "XYZ File");
  EXPECT_STREQ(table.Name("x.wal"), "WAL File");
  EXPECT_EQ(table.Icon("map.xyz"), 3);
  std::string ext74(74, 'e'), ext75(75, 'e');
  EXPECT_EQ(std::string(table.Name(("a." + ext74).c_str())), std::string(74, 'E') + " File");
  EXPECT_STREQ(table.Name(("a." + ext75).c_str()), "File");
  EXPECT_STREQ(table.Name(("a." + std::string(5000, 'q')).c_str()), "File");
}

TEST(FileTypeTableTest, FailedShellCalls) {
  FakeShell shell;
  FileTypeTable table(&shell);
  ASSERT_NE(table.Enter("."), nullptr);
  shell.failAll = true;
  // A failed call for a real extension is not an error: default icon, built name.
  EXPECT_EQ(table.Icon("a.unknown"), 1);
  EXPECT_STREQ(table.Name("a.unknown"), "UNKNOWN File");
  FileTypeTable empty(&shell);
  EXPECT_EQ(empty.Enter("."), nullptr);  // the empty extension must succeed
}

TEST(FileTypeTableTest, FallbackNameNeverOverflowsForAnyLength) {
  // The name built when an extension cannot be entered at all (no memory) has no
  // 74-character rule, but must fit its 1024-byte buffer whatever the length.
  for (size_t length : {0u, 1u, 74u, 75u, 1017u, 1018u, 1019u, 4000u}) {
    char buffer[1024];
    std::memset(buffer, '#', sizeof buffer);
    std::string ext(length, 'z');
    FileTypeFallbackName(ext.c_str(), buffer, sizeof buffer);
    size_t got = strnlen(buffer, sizeof buffer);
    ASSERT_LT(got, sizeof buffer) << length;
    if (length == 0 || length > 1018) {
      EXPECT_STREQ(buffer, "File") << length;
    } else {
      EXPECT_EQ(std::string(buffer), std::string(length, 'Z') + " File") << length;
    }
  }
}
