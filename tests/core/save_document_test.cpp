// The one save both programs make: the limits first, a temporary file beside the target
// that takes its place once complete, and the document reading from the target afterwards;
// a save that fails leaves the target, the folder and the document as they were.
#include <gtest/gtest.h>

#include <cerrno>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/bytes.h"
#include "archive/disk.h"
#include "archive/save.h"
#include "services/core/archive_text.h"
#include "tests/core/sample_archives.h"
#include "tests/core/writer_support.h"

#if defined(__linux__)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

// Records what a save tells about its temporary files.
class RecordingTemporaries : public TemporaryFiles {
 public:
  void Clean(const std::string& folder) override { cleaned.push_back(folder); }
  void Note(const std::string& path) override { noted.push_back(path); }
  void Forget(const std::string& path) override { forgotten.push_back(path); }
  std::vector<std::string> cleaned, noted, forgotten;
};

// The names in a folder, sorted.
std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(SaveDocumentTest, ReplacesTheDocumentsOwnFileAndReadsFromItAfterwards) {
  for (const ArchiveFormat* format : {&PakFormat(), &DefaultFormat()}) {
    SCOPED_TRACE(format->name);
    ScratchDir dir;
    const std::string path = dir.Path(format == &PakFormat() ? "own.pak" : "own.pk3");
    ASSERT_TRUE(WriteFileBytes(path, FileBytes(FixturePath(format == &PakFormat() ? "writer/sample.pak"
                                                                                     : "writer/levels.pk3"))));
    TestDocument doc(path);
    ASSERT_TRUE(doc.ok());
    doc.AddPath("added/new.txt", TextBytes(3, 5000));
    doc.doc.modified = 1;
    const std::vector<ItemContent> before = SortedContents(doc.doc);
    RecordingSaveHost host;
    RecordingTemporaries temporaries;
    const Failure failure = SaveDocument(&doc.doc, *format, path, SaveOptions(), &host, &temporaries);
    ASSERT_FALSE(failure) << SaveFailureMessage(failure, path);
    EXPECT_EQ(doc.doc.source->path(), path);
    EXPECT_EQ(doc.doc.modified, 0);
    ExpectEachSavedFile(doc.doc);
    EXPECT_EQ(SortedContents(doc.doc), before);
    // The temporary file took the target's place: nothing else is left in the folder.
    EXPECT_EQ(FolderNames(dir.dir()), std::vector<std::string>{fs::path(path).filename().string()});
    EXPECT_EQ(temporaries.cleaned, std::vector<std::string>{dir.dir()});
    ASSERT_EQ(temporaries.noted.size(), 1u);
    EXPECT_EQ(temporaries.forgotten, temporaries.noted);
    EXPECT_EQ(FolderOfPath(temporaries.noted[0]), dir.dir());
    TestDocument reopened(path);
    ASSERT_TRUE(reopened.ok());
    EXPECT_EQ(SortedContents(reopened.doc), before);
#ifndef _WIN32
    if (format == &DefaultFormat()) {
      EXPECT_EQ(ZipToolFailures(path), "");
    }
#endif
  }
}

TEST(SaveDocumentTest, FailuresLeaveTargetFolderAndDocumentAsTheyWere) {
  ScratchDir dir;
  // The middle entry of the source lies past the end of its file.
  std::vector<uint8_t> damaged = sample::Pak({{"maps/a.bsp", "aaaa"}, {"maps/b.bsp", "bbbb"}, {"maps/c.bsp", "cccc"}});
  PutLE32(damaged.data() + damaged.size() - 2 * 64 + 56, 0x1000);
  const std::string source = dir.Path("damaged.pak");
  ASSERT_TRUE(WriteFileBytes(source, damaged));
  const std::string target = dir.Path("target.pk3");
  const std::vector<uint8_t> old = Bytes("the file that was there");
  struct Case {
    const char* what;
    const ArchiveFormat* format;
    std::string extra;      // a path added to the document
    uint32_t cancelAfter;   // the user cancels once this many files are written
    Problem problem;
    bool temporary;         // a temporary file was made
  };
  const Case cases[] = {
      {"an entry cannot be read", &DefaultFormat(), "", 0, Problem::LoadFailed, true},
      {"cancelled", &DefaultFormat(), "", 1, Problem::Cancelled, true},
      {"a path too long for the format", &PakFormat(), std::string(56, 'p'), 0, Problem::PathTooLong, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(WriteFileBytes(target, old));
    TestDocument doc(source);
    ASSERT_TRUE(doc.ok());
    if (!c.extra.empty()) doc.AddPath(c.extra, Bytes("x"));
    const DocumentSnapshot before = Snapshot(doc.doc);
    const std::vector<std::string> folder = FolderNames(dir.dir());
    RecordingSaveHost host;
    host.cancelAfterSteps = c.cancelAfter;
    RecordingTemporaries temporaries;
    const Failure failure = SaveDocument(&doc.doc, *c.format, target, SaveOptions(), &host, &temporaries);
    EXPECT_EQ(failure.problem, c.problem) << SaveFailureMessage(failure, target);
    EXPECT_EQ(FileBytes(target), old);
    EXPECT_EQ(FolderNames(dir.dir()), folder);
    EXPECT_TRUE(Snapshot(doc.doc) == before);
    EXPECT_EQ(temporaries.noted.size(), c.temporary ? 1u : 0u);
    EXPECT_EQ(temporaries.forgotten, temporaries.noted);
  }
  {
    SCOPED_TRACE("the message names the target, not the temporary file");
    TestDocument doc;
    doc.AddPath("a.txt", Bytes("a"));
    const std::string missing = dir.Path("no/such/dir/out.pk3");
    const Failure failure = SaveDocument(&doc.doc, DefaultFormat(), missing, SaveOptions(), nullptr);
    EXPECT_EQ(failure.problem, Problem::TemporaryFailed);
    EXPECT_EQ(SaveFailureMessage(failure, missing), "Error creating temporary file");
  }
}

TEST(SaveDocumentTest, AReadOnlyTargetIsNotReplaced) {
  ScratchDir dir;
  const std::string target = dir.Path("locked.pk3");
  const std::vector<uint8_t> old = Bytes("read-only");
  ASSERT_TRUE(WriteFileBytes(target, old));
  std::error_code ec;
  fs::permissions(target, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove, ec);
  ASSERT_FALSE(ec);
  TestDocument doc;
  doc.AddPath("a.txt", Bytes("a"));
  const Failure failure = SaveDocument(&doc.doc, DefaultFormat(), target, SaveOptions(), nullptr);
  EXPECT_EQ(failure.problem, Problem::ReplaceFailed);
  EXPECT_TRUE(failure.accessDenied);
  EXPECT_EQ(FileBytes(target), old);
  EXPECT_EQ(FolderNames(dir.dir()), std::vector<std::string>{"locked.pk3"});
  EXPECT_EQ(doc.doc.source, nullptr);
  fs::permissions(target, fs::perms::owner_write, fs::perm_options::add, ec);
}

// Whether the system makes a file without a name in folder, as the file writer does where
// it can.
bool MakesUnnamedFiles(const std::string& folder) {
#if defined(__linux__) && defined(O_TMPFILE)
  const int fd = open(folder.c_str(), O_WRONLY | O_TMPFILE | O_CLOEXEC, 0600);
  if (fd >= 0) close(fd);
  return fd >= 0;
#else
  (void)folder;
  return false;
#endif
}

// The extraction's file writer: a new file is seen under its name only once complete, never
// takes the place of a file made there meanwhile, and leaves nothing when abandoned.
TEST(DiskFileOut, ANewFileIsNamedOnceCompleteAndNeverTakesTheNameFromAnother) {
  ScratchDir dir;
  const bool unnamed = MakesUnnamedFiles(dir.dir());
  std::vector<uint8_t> bytes(300000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
  const std::string path = dir.Path("new.bin");
  {
    DiskFileOut out;
    ASSERT_TRUE(out.Open(path, false));
    ASSERT_TRUE(out.Write(bytes.data(), 1000));
    ASSERT_TRUE(out.Write(bytes.data() + 1000, bytes.size() - 1000));
    if (unnamed) {
      EXPECT_EQ(StatLink(path).kind, DiskKind::Missing);
    }
    ASSERT_TRUE(out.Commit());
  }
  EXPECT_EQ(FileBytes(path), bytes);
  // Another file made under the name while this one is written keeps it.
  const std::string taken = dir.Path("taken.bin");
  if (unnamed) {
    DiskFileOut out;
    ASSERT_TRUE(out.Open(taken, false));
    ASSERT_TRUE(out.Write(bytes.data(), bytes.size()));
    ASSERT_TRUE(WriteFileBytes(taken, Bytes("theirs")));
    EXPECT_FALSE(out.Commit());
    EXPECT_EQ(out.Error(), EEXIST);
    EXPECT_EQ(FileBytes(taken), Bytes("theirs"));
  }
  // One abandoned, or destroyed before its commit, leaves nothing; a replace abandoned leaves
  // the old file.
  {
    DiskFileOut out;
    ASSERT_TRUE(out.Open(dir.Path("abandoned.bin"), false));
    ASSERT_TRUE(out.Write(bytes.data(), bytes.size()));
    out.Abandon();
    DiskFileOut dropped;
    ASSERT_TRUE(dropped.Open(dir.Path("dropped.bin"), false));
    ASSERT_TRUE(dropped.Write(bytes.data(), bytes.size()));
    DiskFileOut replacing;
    ASSERT_TRUE(replacing.Open(path, true));
    ASSERT_TRUE(replacing.Write(bytes.data(), 10));
    replacing.Abandon();
  }
  EXPECT_EQ(FileBytes(path), bytes);
  const std::vector<std::string> left = unnamed ? std::vector<std::string>{"new.bin", "taken.bin"}
                                                : std::vector<std::string>{"new.bin"};
  EXPECT_EQ(FolderNames(dir.dir()), left);
  // A folder that is not there fails the open, and says why.
  DiskFileOut out;
  EXPECT_FALSE(out.Open(dir.Path("no/such.bin"), false));
  EXPECT_EQ(out.Error(), ENOENT);
}

}  // namespace
