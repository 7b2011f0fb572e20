// Archives as other programs write them: encrypted entries, UTF-8 names, ZIP64 records,
// more entries than 16 bits count. Fixtures come from Info-ZIP, 7-Zip and Python.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "archive/entry_data.h"
#include "tests/core/loading_support.h"
#include "tests/core/sample_archives.h"
#include "tests/core/test_support.h"
#include "tests/core/writer_support.h"

namespace {

std::vector<uint8_t> Repeated(const std::string& line, int times) {
  std::vector<uint8_t> out;
  for (int i = 0; i < times; ++i) out.insert(out.end(), line.begin(), line.end());
  return out;
}

TEST(RealArchivesTest, EncryptedEntriesAreNeverReadAsPlainData) {
  ScratchDir dir;
  // Info-ZIP stored and deflated, 7-Zip's traditional encryption: every entry, even the
  // two-byte one, is refused by name; no save writes anything.
  for (const char* fixture : {"encrypted_stored.pk3", "encrypted_deflated.pk3", "encrypted_7z.pk3"}) {
    SCOPED_TRACE(fixture);
    TestDocument doc(FixturePath(fixture));
    ASSERT_TRUE(doc.ok());
    for (const char* name : {"secret.txt", "tiny.txt"}) {
      const Node* node = doc.Find(name);
      ASSERT_NE(node, nullptr) << name;
      SharedBytes bytes;
      EXPECT_EQ(LoadEntryBytes(&doc.doc, node, &bytes), EntryLoad::Encrypted) << name;
      EXPECT_EQ(bytes, nullptr);
    }
    // The first in stored order is named.
    const std::string message = "Error loading secret.txt: it is encrypted.";
    for (int level : {0, 1, 6, 9})
      ExpectFailedSaveOf(doc, DefaultFormat(), dir.Path("out.pk3"), message, Options(level));
    ExpectFailedSaveOf(doc, PakFormat(), dir.Path("out.pak"), message);
  }
}

TEST(RealArchivesTest, Zip64RecordsOfSmallFilesOpenReadAndSave) {
  // zip -fz: a ZIP64 end record and extra fields although every value fits 32 bits.
  TestDocument doc(FixturePath("zip64.pk3"));
  ASSERT_TRUE(doc.ok());
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  const std::vector<ItemContent> expected = {
      {"a.txt", Repeated("ZIP64 records for small files\n", 30)}, {"b.bin", all}};
  EXPECT_EQ(SortedContents(doc.doc), expected);
  ScratchDir dir;
  const std::string path = dir.Path("saved.pk3");
  RecordingSaveHost window;
  ASSERT_TRUE(SaveAs(doc, DefaultFormat(), path, window));
  EXPECT_EQ(SortedContents(doc.doc), expected);
#ifndef _WIN32
  EXPECT_EQ(ZipToolFailures(path), "");
#endif
}

TEST(RealArchivesTest, EntryCountsBeyondSixteenBits) {
  ScratchDir dir;
  std::vector<std::string> names;
  for (int i = 0; i < 70000; ++i) names.push_back("f/" + std::to_string(i) + ".txt");
  {
    // Without ZIP64 the 16-bit count wraps to 4464: the archive is refused, not shown in
    // part (a save would drop the rest for good).
    const std::string path = dir.Path("wrapped.pk3");
    ASSERT_TRUE(WriteFileBytes(path, sample::Zip(names)));
    Loaded l(path);
    EXPECT_EQ(l.format(), nullptr);
    ASSERT_EQ(l.messages.size(), 1u);
    EXPECT_EQ(l.messages[0],
              "Error reading PK3 file\n" + l.path +
                  ": the end record counts 4,464 entries but the directory holds 70,000.");
  }
#ifndef _WIN32
  {
    // Python writes the real count in a ZIP64 end record: every entry is shown.
    const std::string path = dir.Path("python70000.pk3");
    const std::string command =
        "python3 -c 'import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], \"w\") as z:\n"
        "    for i in range(70000): z.writestr(\"f/%d.txt\" % i, str(i))' '" + path + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    TestDocument doc(path);
    ASSERT_TRUE(doc.ok());
    EXPECT_EQ(doc.doc.source->Count(), 70000u);
    EXPECT_EQ(CountLeaves(doc.root()), 70000u);
    const Node* last = doc.Find("f/69999.txt");
    ASSERT_NE(last, nullptr);
    SharedBytes bytes;
    ASSERT_EQ(LoadEntryBytes(&doc.doc, last, &bytes), EntryLoad::Ok);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string(bytes->data(), bytes->data() + bytes->size()), "69999");
  }
#endif
}

#ifndef _WIN32
std::string CommandOutput(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

TEST(RealArchivesTest, Utf8NamesStayUtf8AfterASave) {
  ScratchDir dir;
  for (int level : {1, 6}) {
    SCOPED_TRACE(level);
    TestDocument doc(FixturePath("utf8.pk3"));
    ASSERT_TRUE(doc.ok());
    const std::string path = dir.Path("saved" + std::to_string(level) + ".pk3");
    RecordingSaveHost window;
    ASSERT_TRUE(SaveAs(doc, DefaultFormat(), path, window, Options(level)));
    // Python decodes a name as UTF-8 only with the flag; without it the accents would
    // come back as other characters. The entries keep their stored order, each folder's
    // entry just before its contents.
    EXPECT_EQ(CommandOutput("python3 -c 'import sys, zipfile\n"
                            "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
                            "    print(i.filename, i.flag_bits & 0x800)' '" + path + "'"),
              "donn\xc3\xa9" "es/ 2048\ndonn\xc3\xa9" "es/\xc3\xa9t\xc3\xa9.txt 2048\nascii.txt 0\n");
    EXPECT_NE(CommandOutput("unzip -l '" + path + "'").find("donn\xc3\xa9" "es/\xc3\xa9t\xc3\xa9.txt"),
              std::string::npos);
    EXPECT_EQ(ZipToolFailures(path), "");
  }
}

// Each file entry's name as Python's zipfile reads it (UTF-8 with the flag, code page 437
// without), and its flag, one line each.
std::string PythonZipNames(const std::string& path) {
  return CommandOutput("python3 -c 'import sys, zipfile\n"
                       "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
                       "    if not i.is_dir(): sys.stdout.buffer.write((\"%s %d\\n\" % (i.filename, i.flag_bits & 0x800)).encode())' '" +
                       path + "'");
}

TEST(RealArchivesTest, NonAsciiNamesOfOtherToolsReadAsTheyDoAndComeBack) {
  ScratchDir dir;
  const std::string folder = "\xd0\x9a\xd0\xb0\xd1\x80\xd1\x82\xd0\xb0";  // "Карта", its capital kept
  ASSERT_EQ(CommandOutput("cd '" + dir.Path("") + "' && mkdir -p made/" + folder + " && printf x > made/" + folder +
                          "/\xc3\xa9.txt && cd made && zip -q -r ../info.zip " + folder +
                          " && python3 -c 'import zipfile\n"
                          "with zipfile.ZipFile(\"../python.zip\", \"w\") as z: z.writestr(\"" + folder +
                          "/\xc3\xa9.txt\", \"x\")' && echo made"),
            "made\n");
  // Info-ZIP on Linux stores the bytes of UTF-8 names without the flag, which the ZIP
  // format reads as code page 437; Python flags them.
  for (const char* made : {"info.zip", "python.zip"}) {
    SCOPED_TRACE(made);
    const std::string source = dir.Path(made);
    const std::string names = PythonZipNames(source);
    ASSERT_NE(names, "");
    TestDocument doc(source);
    ASSERT_TRUE(doc.ok());
    // The tree shows the names Python reads.
    std::string shown, read;
    for (const Node* n = doc.root()->firstChild(); n; n = NextInSubtree(n, doc.root()))
      if (!n->IsDirectory()) shown += StoredPath(n) + "\n";
    for (size_t at = 0, end; (end = names.find('\n', at)) != std::string::npos; at = end + 1)
      read += names.substr(at, names.rfind(' ', end) - at) + "\n";
    EXPECT_EQ(shown, read);
    // Untouched, each name comes back as Python read it, with its flag.
    const std::string same = dir.Path(std::string("same-") + made);
    RecordingSaveHost host;
    ASSERT_TRUE(SaveAs(doc, DefaultFormat(), same, host));
    EXPECT_EQ(PythonZipNames(same), names);
    // Renamed, a name is stored as UTF-8 and flagged: Python and unzip read it so.
    Node* file = doc.root()->firstChild()->firstChild();
    ASSERT_NE(file, nullptr);
    doc.tree().Rename(file, "\xc3\xbc.txt");
    const std::string renamed = dir.Path(std::string("renamed-") + made);
    ASSERT_TRUE(SaveAs(doc, DefaultFormat(), renamed, host));
    EXPECT_NE(PythonZipNames(renamed).find(StoredPath(file) + " 2048\n"), std::string::npos) << PythonZipNames(renamed);
    EXPECT_NE(CommandOutput("unzip -l '" + renamed + "'").find(StoredPath(file)), std::string::npos);
    EXPECT_EQ(ZipToolFailures(renamed), "");
  }
}
#endif

}  // namespace
