#include "archive/engine_target.h"

#include <gtest/gtest.h>

#include "archive/quoted_name.h"
#include "sample_archives.h"
#include "services/core/archive_text.h"
#include "test_support.h"
#include "writer_support.h"

namespace {

// The rules of target an archive file breaks as its file stores it, and those a save of its
// tree in format would break, each as its text.
struct Checked {
  std::vector<std::string> stored, saved;
};

std::vector<std::string> Texts(EngineTarget target, const std::vector<TargetBreach>& breaches) {
  std::vector<std::string> texts;
  for (const TargetBreach& breach : breaches) texts.push_back(BreachText(target, breach));
  return texts;
}

Checked Check(const std::string& path, EngineTarget target, const ArchiveFormat* saveAs = nullptr) {
  Checked out;
  TestDocument doc(path, true);
  EXPECT_TRUE(doc.ok()) << path;
  if (!doc.ok()) return out;
  out.stored = Texts(target, CheckTargetRules(target, TargetInputOfSource(*doc.doc.source)));
  const ArchiveFormat& format = saveAs ? *saveAs : doc.doc.source->format();
  out.saved = Texts(target, CheckTargetRules(target, TargetInputOfTree(doc.root(), format, doc.doc.source.get())));
  return out;
}

sample::ZipEntry Entry(const std::string& name, uint16_t method = 0, uint16_t flags = 0) {
  return {name, method, {'x'}, 0x8CDC1683u, 1, flags};
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(EngineTargetTest, NamesKeywordsAndGuesses) {
  for (EngineTarget target : EngineTargets()) {
    EngineTarget read = EngineTarget::Any;
    EXPECT_TRUE(TargetFromKeyword(TargetKeyword(target), &read));
    EXPECT_EQ(read, target);
    EXPECT_EQ(TargetFromNumber(static_cast<uint32_t>(target)), target);
  }
  EngineTarget read = EngineTarget::Quake;
  EXPECT_TRUE(TargetFromKeyword("QUAKE2", &read));
  EXPECT_EQ(read, EngineTarget::Quake2);
  EXPECT_FALSE(TargetFromKeyword("doom", &read));
  EXPECT_EQ(TargetFromNumber(77), EngineTarget::Any);
  EXPECT_STREQ(TargetName(EngineTarget::Quake3), "Quake III Arena family");

  const ArchiveFormat& pak = PakFormat();
  const ArchiveFormat& pk3 = DefaultFormat();
  const ArchiveFormat& pk4 = *FormatForPath("x.pk4");
  const ArchiveFormat& wad = *FormatForPath("x.wad");
  struct Case {
    const char* path;
    const ArchiveFormat& format;
    EngineTarget guess;
  };
  const Case cases[] = {
      {"C:\\Games\\Quake\\id1\\pak0.pak", pak, EngineTarget::Quake},
      {"/games/quake/ID1/pak1.pak", pak, EngineTarget::Quake},
      {"C:\\Quake2\\baseq2\\pak0.pak", pak, EngineTarget::Quake2},
      {"C:\\Quake3\\baseq3\\pak0.pk3", pk3, EngineTarget::Quake3},
      {"/oa/baseoa/pak6-patch.pk3", pk3, EngineTarget::Quake3},
      {"C:\\Doom3\\base\\pak000.pk4", pk4, EngineTarget::Quake3},
      {"C:\\Quake3\\missionpack\\pak0.pk3", pk3, EngineTarget::Quake3},
      {"C:\\Quake3\\missionpack\\pak0.pak", pak, EngineTarget::Any},  // a folder of the Quake III family
      {"C:\\Quake2\\baseq2\\mod.zip", *FormatForPath("x.zip"), EngineTarget::Any},
      {"C:\\Quake\\id1\\gfx.wad", wad, EngineTarget::Any},   // a file the game reads from a pak
      {"C:\\Quake\\id1\\mod.pk3", pk3, EngineTarget::Any},   // no Quake of this family reads one
      {"C:\\Quake\\quoth\\pak0.pak", pak, EngineTarget::Any},
      {"pak0.pak", pak, EngineTarget::Any},
      {"id1", pak, EngineTarget::Any},
  };
  for (const Case& c : cases) EXPECT_EQ(GuessTarget(c.path, c.format), c.guess) << c.path;
}

TEST(EngineTargetTest, EachTargetsRulesOnArchivesAsStoredAndAsSaved) {
  ScratchDir dir;
  // 2,049 entries: one past what Quake loads, well within Quake II and the PAK format.
  std::vector<sample::PakItem> many;
  for (const std::string& name : sample::ManyNames(2049, 0)) many.push_back({name, "x"});
  const std::string manyPak = dir.Path("many.pak");
  ASSERT_TRUE(WriteFileBytes(manyPak, sample::Pak(many)));
  many.pop_back();
  const std::string fullPak = dir.Path("full.pak");
  ASSERT_TRUE(WriteFileBytes(fullPak, sample::Pak(many)));
  const Lines quakeMany = {
      "Quake stops with a fatal error at more than 2,048 entries: this archive has 2,049, the first past them "
      "\"f02048.dat\""};
  EXPECT_EQ(Check(manyPak, EngineTarget::Quake).stored, quakeMany);
  EXPECT_EQ(Check(manyPak, EngineTarget::Quake).saved, quakeMany);
  EXPECT_EQ(Check(fullPak, EngineTarget::Quake).stored, Lines{});
  EXPECT_EQ(Check(manyPak, EngineTarget::Quake2).stored, Lines{});
  EXPECT_EQ(Check(manyPak, EngineTarget::Any).stored, Lines{});
  // A PAK is no archive of the Quake III family, and a PK3 none of Quake's.
  EXPECT_EQ(Check(fullPak, EngineTarget::Quake3).stored,
            Lines{"Quake III Arena family engines read only ZIP files (PK3, PK4), and this is a PAK file"});
  EXPECT_EQ(Check(fullPak, EngineTarget::Quake2, &DefaultFormat()).saved,
            Lines{"Quake II reads only PAK files, and this is a PK3 file"});

  // Capital letters: Quake looks names up with their case, Quake II without.
  const std::string capitals = dir.Path("capitals.pak");
  ASSERT_TRUE(WriteFileBytes(capitals, sample::Pak({{"maps/E1M1.bsp", "b"}, {"maps/e1m2.bsp", "b"},
                                                    {"Progs/player.mdl", "m"}})));
  const Lines quakeCapitals = {
      "Quake looks names up with their case, and the game asks for them in lower case: \"maps/E1M1.bsp\" is never "
      "found (and 1 more)"};
  EXPECT_EQ(Check(capitals, EngineTarget::Quake).stored, quakeCapitals);
  EXPECT_EQ(Check(capitals, EngineTarget::Quake).saved, quakeCapitals);
  EXPECT_EQ(Check(capitals, EngineTarget::Quake2).stored, Lines{});

  // The Quake III family: 63-character game paths, 255-byte names, no "..", "\" or ":",
  // stored and deflated entries only, no encryption, no ZIP64 records.
  const std::string at63 = "textures/" + std::string(50, 'a') + ".tga";  // 63
  const std::string at64 = "textures/" + std::string(51, 'b') + ".tga";  // 64
  const std::string at256 = "models/" + std::string(245, 'c') + ".md3";   // 256
  const std::string q3 = dir.Path("q3.pk3");
  ASSERT_TRUE(WriteFileBytes(
      q3, sample::ZipWithData({Entry(at63), Entry(at64), Entry(at256), Entry("sound/a..b.wav"),
                               Entry("scripts/x:y.shader"), Entry("levelshots/lzma.jpg", 14),
                               Entry("levelshots/secret.jpg", 8, 1), Entry("maps/"), Entry("maps/ok.bsp", 8)})));
  const Lines q3Stored = {
      "Quake III Arena family engines read at most 255 bytes of a stored name: " + QuotedName(at256.data(), at256.size()) +
          " has 256 and is cut",
      "Most of a Quake III Arena family engine cannot name a path longer than 63 characters (MAX_QPATH): \"" + at64 +
          "\" has 64 (and 1 more)",
      "Quake III Arena family engines refuse a path holding \"..\", \"\\\" or \":\": \"sound/a..b.wav\" (and 1 more)",
      "Quake III Arena family engines read only stored and deflated entries: \"levelshots/lzma.jpg\" is compressed by "
      "method 14 (LZMA)",
      "Quake III Arena family engines cannot read encrypted entries: \"levelshots/secret.jpg\" is encrypted"};
  const Checked checked = Check(q3, EngineTarget::Quake3);
  EXPECT_EQ(checked.stored, q3Stored);
  // A save writes every entry stored or deflated (one it cannot read it refuses): the path
  // rules stay.
  EXPECT_EQ(checked.saved, Lines(q3Stored.begin(), q3Stored.begin() + 3));
  EXPECT_EQ(Check(q3, EngineTarget::Any).stored, Lines{});
  // Quake's rules on the same archive: its format and its paths.
  EXPECT_EQ(Check(q3, EngineTarget::Quake).stored.size(), 2u);

  // ZIP64 records of an archive whose every value fits 32 bits; a save writes none.
  const Checked zip64 = Check(FixturePath("zip64.pk3"), EngineTarget::Quake3);
  EXPECT_EQ(zip64.stored, Lines{"Quake III Arena family engines know no ZIP64 records and cannot open this archive"});
  EXPECT_EQ(zip64.saved, Lines{});

  // A WAD2 is a file the game reads from inside its archives: no target's rules apply.
  TestDocument wad;
  wad.AddFile(wad.root(), "CONCHARS", {'x'});
  EXPECT_TRUE(CheckTargetRules(EngineTarget::Quake3, TargetInputOfTree(wad.root(), *FormatForPath("x.wad"), nullptr))
                  .empty());
}

TEST(EngineTargetTest, TheSaveQuestionCountsTheRules) {
  TestDocument doc;
  doc.doc.tree = std::make_unique<ArchiveTree>(true);  // names keep their case
  doc.AddPath("maps/" + std::string(60, 'm') + ".bsp", {'b'});
  doc.AddPath("Maps2/a.bsp", {'b'});
  const std::vector<TargetBreach> breaches =
      CheckTargetRules(EngineTarget::Quake, TargetInputOfTree(doc.root(), DefaultFormat(), nullptr));
  ASSERT_EQ(breaches.size(), 3u);
  EXPECT_EQ(TargetQuestion(EngineTarget::Quake, breaches),
            "This archive breaks 3 rules of Quake:\n"
            "\nQuake reads only PAK files, and this is a PK3 file."
            "\nQuake cannot name a path longer than 55 characters: \"maps/" +
                std::string(60, 'm') +
                ".bsp\" has 69."
                "\nQuake looks names up with their case, and the game asks for them in lower case: \"Maps2/a.bsp\" is "
                "never found.\n\nSave anyway?");
  EXPECT_EQ(TargetQuestion(EngineTarget::Quake, {breaches[0]}),
            "This archive breaks 1 rule of Quake:\n\nQuake reads only PAK files, and this is a PK3 file.\n\nSave anyway?");
}
