// The conflict rule, the names allowed on disk and whole-file reading.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/core/test_support.h"
#include "transfer/core/conflict_rule.h"
#include "transfer/core/disk_files.h"
#include "transfer/core/disk_names.h"
#include "transfer/core/drop_files.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

// Answers every question with the next scripted answer and counts the questions.
class ScriptedAsker : public ReplaceAsker {
 public:
  explicit ScriptedAsker(std::vector<int32_t> answers) : answers_(std::move(answers)) {}
  int32_t AskReplace(const ConflictItem& existing, const ConflictItem& incoming) override {
    lastExisting = existing;
    lastIncoming = incoming;
    return asked < answers_.size() ? answers_[asked++] : (++asked, 2);
  }
  size_t asked = 0;
  ConflictItem lastExisting, lastIncoming;

 private:
  std::vector<int32_t> answers_;
};

struct RuleCase {
  ReplaceMode mode;
  int32_t answer;
  bool replace;
  ReplaceMode modeAfter;
  int32_t cancelled;
  size_t asked;
};

}  // namespace

TEST(ConflictRuleTest, EachModeAndAnswer) {
  const RuleCase cases[] = {
      {ReplaceMode::Ask, kReplaceYes, true, ReplaceMode::Ask, 0, 1},
      {ReplaceMode::Ask, kReplaceNo, false, ReplaceMode::Ask, 0, 1},
      {ReplaceMode::Ask, kReplaceYesToAll, true, ReplaceMode::ReplaceAll, 0, 1},
      {ReplaceMode::Ask, kReplaceNoToAll, false, ReplaceMode::SkipAll, 0, 1},
      {ReplaceMode::Ask, 2, false, ReplaceMode::Ask, 1, 1},   // the dialog was closed
      {ReplaceMode::Ask, -1, false, ReplaceMode::Ask, 1, 1},  // the dialog could not be shown
      {ReplaceMode::Ask, 1, false, ReplaceMode::Ask, 1, 1},
      {ReplaceMode::ReplaceAll, kReplaceNo, true, ReplaceMode::ReplaceAll, 0, 0},
      {ReplaceMode::SkipAll, kReplaceYes, false, ReplaceMode::SkipAll, 0, 0},
  };
  for (const RuleCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "mode " << static_cast<int>(c.mode) << " answer " << c.answer);
    TransferState state{};
    state.replaceMode = c.mode;
    ScriptedAsker asker({c.answer});
    const ConflictItem existing{"readme.txt", 10, true}, incoming{"readme.txt", 2000, true};
    EXPECT_EQ(ResolveConflict(&state, asker, existing, incoming), c.replace);
    EXPECT_EQ(state.replaceMode, c.modeAfter);
    EXPECT_EQ(state.cancelled, c.cancelled);
    EXPECT_EQ(state.changed, 0);
    EXPECT_EQ(asker.asked, c.asked);
    if (c.asked) {
      // The question shows each side as given.
      EXPECT_EQ(asker.lastExisting.name, existing.name);
      EXPECT_EQ(asker.lastExisting.size, existing.size);
      EXPECT_EQ(asker.lastIncoming.name, incoming.name);
      EXPECT_EQ(asker.lastIncoming.size, incoming.size);
    }
  }
}

TEST(ConflictRuleTest, ToAllAnswersHoldForTheRestOfTheOperation) {
  TransferState state{};
  ScriptedAsker asker({kReplaceNo, kReplaceYesToAll});
  const ConflictItem e{"e", 1, true};
  std::vector<bool> decisions;
  for (int i = 0; i < 5; ++i) decisions.push_back(ResolveConflict(&state, asker, e, e));
  EXPECT_EQ(decisions, (std::vector<bool>{false, true, true, true, true}));
  EXPECT_EQ(asker.asked, 2u);
}

TEST(DiskNamesTest, OnlyPlainComponentsMayBeWritten) {
  const struct {
    const char* name;
    bool safe;
  } cases[] = {
      {"readme.txt", true}, {"maps", true}, {".hidden", true}, {"a..b", true}, {"con.d", false}, {"cons.d", true},
      {"console", true}, {"com0", true}, {"lpt", true}, {"x.", false}, {"a b", true},
      // The system would shorten these to "a.txt" and "b.txt".
      {"a.txt.", false}, {"b.txt ", false}, {"a.txt. .", false}, {" lead", true}, {"a .txt", true},
      {"", false}, {".", false}, {"..", false}, {"...", false}, {".. ", false}, {". .", false},
      {"  ", false}, {"..\\evil.exe", false}, {"a\\b", false}, {"a/b", false}, {"/etc", false},
      {"c:", false}, {"c:evil", false}, {"C:\\windows", false}, {"\\\\server\\share", false},
      {"x*y", false}, {"what?", false}, {"a\"b", false}, {"a<b", false}, {"a>b", false},
      {"a|b", false}, {"tab\there", false}, {"\x01", false},
      {"CON", false}, {"con", false}, {"nul.txt", false}, {"Aux", false}, {"prn.a.b", false},
      {"com1", false}, {"LPT9.log", false}, {"nul ", false}, {"nul .txt", false},
      // The console's own devices, and ports numbered with superscripts (ANSI and UTF-8).
      {"CONIN$", false}, {"conout$.txt", false}, {"conin", true}, {"conout$x", true},
      {"com\xB9", false}, {"LPT\xB2.dat", false}, {"com\xB3", false}, {"com\xB4", true},
      {"com\xC2\xB9", false}, {"lpt\xC2\xB3.x", false}, {"com\xC2\xB4", true},
  };
  for (const auto& c : cases) EXPECT_EQ(IsSafeDiskName(c.name), c.safe) << "'" << c.name << "'";
  EXPECT_FALSE(IsSafeDiskName(nullptr));
}

TEST(DiskNamesTest, ProgramsAndNamesWithoutExtensionAreKnown) {
  const struct {
    const char* name;
    ShellRisk risk;
  } cases[] = {
      {"readme.txt", ShellRisk::None}, {"map.bsp", ShellRisk::None}, {"x.exe.txt", ShellRisk::None},
      {"hello.exe", ShellRisk::Program}, {"RUN.BAT", ShellRisk::Program}, {"a.cmd", ShellRisk::Program},
      {"s.Js", ShellRisk::Program}, {"i.msi", ShellRisk::Program}, {"k.reg", ShellRisk::Program},
      {"p.ps1", ShellRisk::Program}, {"l.lnk", ShellRisk::Program}, {"h.hta", ShellRisk::Program},
      {"c.com", ShellRisk::Program}, {"j.jar", ShellRisk::Program}, {"w.wsf", ShellRisk::Program},
      // As the system reads names: trailing dots and spaces are dropped.
      {"evil.exe.", ShellRisk::Program}, {"evil.exe ", ShellRisk::Program}, {"evil.exe. .", ShellRisk::Program},
      {"noextension", ShellRisk::NoExtension}, {"trailing.", ShellRisk::NoExtension},
      {"", ShellRisk::NoExtension}, {"x.exec", ShellRisk::None}, {".exe", ShellRisk::Program},
  };
  for (const auto& c : cases) EXPECT_EQ(ShellRiskOf(c.name), c.risk) << "'" << c.name << "'";
}

TEST(ReadWholeFileTest, ReadsEveryByteOrNothing) {
  ScratchDir dir;
  std::vector<uint8_t> bytes(70000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  ASSERT_TRUE(WriteFileBytes(dir.Path("data.bin"), bytes));
  ASSERT_TRUE(WriteFileBytes(dir.Path("empty"), {}));

  // Filled with something first, so that each read must set it.
  const SharedBytes stale = EntryBuffer::Copy(bytes.data(), 1);
  SharedBytes buffer = stale;
  ASSERT_EQ(ReadWholeFile(dir.Path("data.bin").c_str(), &buffer), 70000);
  ASSERT_NE(buffer, nullptr);
  ASSERT_EQ(buffer->size(), 70000u);
  EXPECT_EQ(std::vector<uint8_t>(buffer->data(), buffer->data() + 70000), bytes);

  buffer = stale;
  EXPECT_EQ(ReadWholeFile(dir.Path("empty").c_str(), &buffer), 0);
  EXPECT_EQ(buffer, nullptr);

  buffer = stale;
  EXPECT_EQ(ReadWholeFile(dir.Path("missing").c_str(), &buffer), -1);
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(ReadWholeFile(nullptr, &buffer), -1);
  EXPECT_EQ(ReadWholeFile(dir.Path("data.bin").c_str(), nullptr), -1);
}

#ifndef _WIN32
// Regression: a file longer than an entry can hold was read into a buffer of its length
// cut to 32 bits, storing a truncated file as if it were whole.
TEST(ReadWholeFileTest, FileLongerThanAnEntryIsRefusedBeforeAnyAllocation) {
  ScratchDir dir;
  const std::string path = dir.Path("huge.bin");
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  // Sparse: no disk space is used.
  ASSERT_EQ(truncate(path.c_str(), (5LL << 30) + 17), 0);
  SharedBytes buffer;
  EXPECT_EQ(ReadWholeFile(path.c_str(), &buffer), -1);
  EXPECT_EQ(buffer, nullptr);
  ASSERT_EQ(truncate(path.c_str(), 1LL << 32), 0);  // one byte more than the largest entry
  EXPECT_EQ(ReadWholeFile(path.c_str(), &buffer), -1);
  EXPECT_EQ(buffer, nullptr);
}
#endif

namespace {

std::vector<uint8_t> DropBlock(uint32_t start, bool wide, const std::vector<uint8_t>& list) {
  std::vector<uint8_t> block(20, 0);
  block[0] = static_cast<uint8_t>(start);
  block[1] = static_cast<uint8_t>(start >> 8);
  block[16] = wide ? 1 : 0;
  block.resize(start > 20 ? start : 20, 0);
  block.insert(block.end(), list.begin(), list.end());
  return block;
}

std::vector<uint8_t> Wide(const std::string& ascii) {
  std::vector<uint8_t> out;
  for (char c : ascii) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(0);
  }
  return out;
}

std::vector<uint8_t> Narrow(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace

TEST(DropFilesTest, BlocksAreCheckedBeforeAnyPathIsRead) {
  using Paths = std::vector<std::string>;
  const std::string two("C:\\a.txt\0D:\\dir\0\0", 17);
  std::vector<uint8_t> oddWide = DropBlock(20, true, Wide(std::string("C:\\a\0", 5)));
  oddWide.push_back(0);  // half of the list's terminating unit
  const struct {
    const char* what;
    std::vector<uint8_t> block;
    bool valid;
    Paths paths;  // ANSI paths, or the wide ones in ASCII
  } cases[] = {
      {"one byte", {0x14}, false, {}},
      {"header only", DropBlock(20, false, {}), false, {}},
      {"list starts inside the header", DropBlock(12, false, Narrow(two)), false, {}},
      {"list starts past the block", DropBlock(400, false, {}), false, {}},
      {"path without its NUL", DropBlock(20, false, Narrow("C:\\no_end")), false, {}},
      {"list without its empty path", DropBlock(20, false, Narrow(std::string("C:\\a\0", 5))), false, {}},
      {"wide list of odd length", oddWide, false, {}},
      {"two ANSI paths", DropBlock(20, false, Narrow(two)), true, {"C:\\a.txt", "D:\\dir"}},
      {"two ANSI paths after a gap", DropBlock(32, false, Narrow(two)), true, {"C:\\a.txt", "D:\\dir"}},
      {"two wide paths", DropBlock(20, true, Wide(two)), true, {"C:\\a.txt", "D:\\dir"}},
      {"empty list", DropBlock(20, false, {0}), true, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DroppedFiles files;
    EXPECT_EQ(ReadDropFiles(c.block.data(), c.block.size(), &files), c.valid);
    Paths read = files.narrow;
    for (const std::u16string& w : files.wide16) read.emplace_back(w.begin(), w.end());
    EXPECT_EQ(read, c.paths);
    if (c.valid) {
      EXPECT_EQ(files.wide, c.block[16] != 0);
    }
  }
  DroppedFiles none;
  EXPECT_FALSE(ReadDropFiles(nullptr, 0, &none));
}
