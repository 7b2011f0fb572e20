// A game folder read as its engine reads it: which archives each target searches and in
// which order, which place each path is read from and which it shadows, the bytes read
// through the view, what the view leaves out, and the view checked and compared as an
// archive is.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive_check.h"
#include "archive/archive_compare.h"
#include "archive/disk.h"
#include "archive/entry_data.h"
#include "archive/game_folder.h"
#include "archive/loading.h"
#include "services/core/archive_text.h"
#include "tests/core/node_lookup.h"
#include "tests/core/sample_archives.h"
#include "tests/core/test_support.h"
#include "tests/core/writer_support.h"

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

std::string TextOf(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The bytes the file at a stored path of the document's tree reads, as text; *load says how
// the read went.
std::string ReadText(const TestDocument& doc, const std::string& path, EntryLoad* load) {
  SharedBytes bytes;
  const Node* node = doc.Find(path);
  *load = node ? LoadEntryBytes(&doc.doc, node, &bytes) : EntryLoad::NotInSource;
  return bytes ? std::string(bytes->data(), bytes->data() + bytes->size()) : std::string();
}

void WritePak(const std::string& path, const Files& files) {
  std::vector<sample::PakItem> items;
  for (const auto& [name, data] : files) items.push_back({name, data});
  ASSERT_TRUE(WriteFileBytes(path, sample::Pak(items)));
}

void WritePk3(const std::string& path, const Files& files) {
  std::vector<ZipPlan> plans;
  for (const auto& [name, data] : files) plans.push_back(DeflatedPlan(name, Bytes(data), 6));
  ASSERT_TRUE(WriteFileBytes(path, BuildZip(plans)));
}

// A game folder opened as target's engine searches it, with its tree built as the programs
// build it.
struct OpenedFolder {
  OpenedFolder(const std::string& folder, EngineTarget target) {
    std::unique_ptr<GameFolderSource> opened = OpenGameFolder(folder, target, &opened_why);
    view = opened.get();
    doc.doc.source = std::move(opened);
    if (view) built = BuildTree(&doc.doc);
  }
  bool ok() const { return view != nullptr && !built && doc.doc.tree != nullptr; }

  GameFolderSource* view = nullptr;
  TestDocument doc;
  Failure opened_why, built;
};

// Each entry of the view as "path: place, place, ...": its path lower-cased, then the places
// holding it in search order (the first is the one read), sorted by path.
std::vector<std::string> HolderTable(const GameFolderSource& view) {
  std::vector<std::string> lines;
  for (uint32_t i = 0; i < view.Count(); ++i) {
    std::string line = Lower(view.NameTextOf(i)) + ":";
    for (const GameFolderHolder* h = view.HoldersBegin(i); h != view.HoldersEnd(i); ++h)
      line += (h == view.HoldersBegin(i) ? " " : ", ") + FromText(*view.members()[h->member]);
    EXPECT_EQ(FromText(view.MemberOf(i)), FromText(*view.members()[view.HoldersBegin(i)->member]));
    EXPECT_EQ(view.ShadowsAnother(i), view.HolderCount(i) > 1) << line;
    EXPECT_EQ(view.LoosePath(i).empty(), !view.MemberOf(i).loose()) << line;
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// The places searched, the first searched first, as the tool names them.
std::vector<std::string> MemberNames(const GameFolderSource& view) {
  std::vector<std::string> names;
  for (const auto& member : view.members()) names.push_back(FromText(*member));
  return names;
}

// Every file of the document's tree and the bytes it reads, sorted by path.
std::vector<ItemContent> FileContents(const ArchiveDocument& doc) {
  std::vector<ItemContent> files;
  for (ItemContent& item : SortedContents(doc))
    if (item.path.back() != '/') files.push_back(std::move(item));
  return files;
}

std::vector<ItemContent> Expected(const Files& files) {
  std::vector<ItemContent> items;
  for (const auto& [path, data] : files) items.push_back({path, Bytes(data)});
  std::sort(items.begin(), items.end());
  return items;
}

// pak0, pak1 and pak3 (no pak2) storing paths that overlap, and loose files beside them: one
// of a path the paks store too (in other case), one in a subfolder.
void MakeGappedPaks(const std::string& folder) {
  MakeFolder(folder, {{"Progs.dat", "loose progs"}, {"sub/readme.txt", "loose readme"}});
  WritePak(folder + "/pak0.pak", {{"maps/e1m1.bsp", "e1m1 of pak0"},
                                  {"progs.dat", "progs of pak0"},
                                  {"sound/a.wav", "a of pak0"},
                                  {"gfx/only0.lmp", "only in pak0"}});
  WritePak(folder + "/pak1.pak",
           {{"maps/e1m1.bsp", "e1m1 of pak1"}, {"progs.dat", "progs of pak1"}, {"sound/b.wav", "b of pak1"}});
  WritePak(folder + "/pak3.pak", {{"maps/e1m1.bsp", "e1m1 of pak3"}, {"sound/a.wav", "a of pak3"}});
}

struct TargetCase {
  EngineTarget target;
  std::vector<std::string> members;  // searched first first; "folder" the loose files
  std::vector<std::string> holders;  // HolderTable
  Files files;                       // what each file of the tree reads ("pak3.pak": that file)
  uint32_t loose;                    // LooseCount
};

TEST(GameFolder, EachTargetSearchesTheGappedPaksInItsEnginesOrderAndLooseFilesLast) {
  ScratchDir dir;
  const std::string folder = dir.Path("game");
  MakeGappedPaks(folder);
  const std::string pak0 = TextOf(FileBytes(folder + "/pak0.pak"));
  const std::string pak1 = TextOf(FileBytes(folder + "/pak1.pak"));
  const std::string pak3 = TextOf(FileBytes(folder + "/pak3.pak"));
  const Files q2Files = {{"gfx/only0.lmp", "only in pak0"}, {"maps/e1m1.bsp", "e1m1 of pak3"},
                         {"progs.dat", "progs of pak1"},    {"sound/a.wav", "a of pak3"},
                         {"sound/b.wav", "b of pak1"},      {"sub/readme.txt", "loose readme"}};
  const std::vector<std::string> q2Holders = {"gfx/only0.lmp: pak0.pak",
                                              "maps/e1m1.bsp: pak3.pak, pak1.pak, pak0.pak",
                                              "progs.dat: pak1.pak, pak0.pak, folder",
                                              "sound/a.wav: pak3.pak, pak0.pak",
                                              "sound/b.wav: pak1.pak",
                                              "sub/: folder",
                                              "sub/readme.txt: folder"};
  const std::vector<TargetCase> cases = {
      // Quake stops at the missing pak2: pak3 is a loose file like any other.
      {EngineTarget::Quake,
       {"pak1.pak", "pak0.pak", "folder"},
       {"gfx/only0.lmp: pak0.pak", "maps/e1m1.bsp: pak1.pak, pak0.pak", "pak3.pak: folder",
        "progs.dat: pak1.pak, pak0.pak, folder", "sound/a.wav: pak0.pak", "sound/b.wav: pak1.pak", "sub/: folder",
        "sub/readme.txt: folder"},
       {{"gfx/only0.lmp", "only in pak0"},
        {"maps/e1m1.bsp", "e1m1 of pak1"},
        {"pak3.pak", pak3},
        {"progs.dat", "progs of pak1"},
        {"sound/a.wav", "a of pak0"},
        {"sound/b.wav", "b of pak1"},
        {"sub/readme.txt", "loose readme"}},
       4},
      // Quake II passes the gap.
      {EngineTarget::Quake2, {"pak3.pak", "pak1.pak", "pak0.pak", "folder"}, q2Holders, q2Files, 3},
      // The Quake III family reads no PAK: every pak is a loose file.
      {EngineTarget::Quake3,
       {"folder"},
       {"pak0.pak: folder", "pak1.pak: folder", "pak3.pak: folder", "progs.dat: folder", "sub/: folder",
        "sub/readme.txt: folder"},
       {{"pak0.pak", pak0},
        {"pak1.pak", pak1},
        {"pak3.pak", pak3},
        {"progs.dat", "loose progs"},
        {"sub/readme.txt", "loose readme"}},
       6},
      // Any takes every archive by name, a later name first.
      {EngineTarget::Any, {"pak3.pak", "pak1.pak", "pak0.pak", "folder"}, q2Holders, q2Files, 3},
  };
  for (const TargetCase& c : cases) {
    SCOPED_TRACE(TargetName(c.target));
    OpenedFolder opened(folder, c.target);
    ASSERT_TRUE(opened.ok()) << FailureReason(opened.opened_why) << FailureReason(opened.built);
    const GameFolderSource& view = *opened.view;
    EXPECT_EQ(view.target(), c.target);
    EXPECT_TRUE(view.troubles().empty());
    EXPECT_EQ(MemberNames(view), c.members);
    EXPECT_EQ(HolderTable(view), c.holders);
    EXPECT_EQ(view.LooseCount(), c.loose);
    EXPECT_EQ(FileContents(opened.doc.doc), Expected(c.files));
    // A loose file is read from its own path below the folder.
    Node* readme = NodeAtPath(opened.doc.root(), "sub/readme.txt");
    ASSERT_NE(readme, nullptr);
    ASSERT_NE(readme->source(), nullptr);
    EXPECT_EQ(view.LoosePath(readme->source()->index), JoinDiskPath(JoinDiskPath(folder, "sub"), "readme.txt"));
  }
}

TEST(GameFolder, Quake3SearchesPk3sByUpperCaseNameLaterFirstWhateverTheirDates) {
  ScratchDir dir;
  const std::string folder = dir.Path("baseq3");
  ASSERT_TRUE(MakeDirectories(folder));
  // Searched first first: upper-case order puts "_" after the letters, so pak_a comes after
  // paka; in byte order pak_a would come before paka, and PAKB before them all.
  const std::vector<std::string> order = {"pak_a.pk3", "pakc.pk3", "PAKB.pk3", "paka.pk3", "pak0.pk3"};
  for (size_t i = 0; i < order.size(); ++i) {
    const std::string& name = order[i];
    Files files = {{"shared.cfg", "shared of " + name}, {"only/" + name + ".txt", name}};
    if (name == "pakc.pk3" || name == "paka.pk3") files.push_back({"pair.txt", "pair of " + name});
    WritePk3(folder + "/" + name, files);
    // Dates against the order: the one searched first is the oldest.
    ASSERT_TRUE(SetFileModified(folder + "/" + name, 1600000000 - 86400 * static_cast<int64_t>(order.size() - i)));
  }
  OpenedFolder opened(folder, EngineTarget::Quake3);
  ASSERT_TRUE(opened.ok());
  const GameFolderSource& view = *opened.view;
  std::vector<std::string> members = order;
  members.push_back("folder");
  EXPECT_EQ(MemberNames(view), members);
  EXPECT_EQ(HolderTable(view), (std::vector<std::string>{
                                   "only/pak0.pk3.txt: pak0.pk3", "only/pak_a.pk3.txt: pak_a.pk3",
                                   "only/paka.pk3.txt: paka.pk3", "only/pakb.pk3.txt: PAKB.pk3",
                                   "only/pakc.pk3.txt: pakc.pk3", "pair.txt: pakc.pk3, paka.pk3",
                                   "shared.cfg: pak_a.pk3, pakc.pk3, PAKB.pk3, paka.pk3, pak0.pk3"}));
  EntryLoad load;
  EXPECT_EQ(ReadText(opened.doc, "shared.cfg", &load), "shared of pak_a.pk3");
  EXPECT_EQ(load, EntryLoad::Ok);
  EXPECT_EQ(ReadText(opened.doc, "pair.txt", &load), "pair of pakc.pk3");
  EXPECT_EQ(load, EntryLoad::Ok);
}

struct SearchCase {
  EngineTarget target;
  std::vector<std::string> names;
  std::vector<std::string> searched;
};

TEST(GameFolder, SearchedArchivesFollowEachEnginesRule) {
  const std::vector<SearchCase> cases = {
      {EngineTarget::Quake, {}, {}},
      {EngineTarget::Quake, {"pak0.pak", "pak1.pak", "pak3.pak"}, {"pak1.pak", "pak0.pak"}},
      // Without pak0 nothing is searched.
      {EngineTarget::Quake, {"pak1.pak", "pak2.pak"}, {}},
      // Any case; numbers as the engine prints them (no leading zero); other types ignored.
      {EngineTarget::Quake, {"Pak1.PAK", "PAK0.pak", "pak01.pak", "pak00.pak", "pak2.pk3", "paka.pak"}, {"Pak1.PAK", "PAK0.pak"}},
      // Past pak9, as long as no number is missing.
      {EngineTarget::Quake,
       {"pak10.pak", "pak9.pak", "pak8.pak", "pak7.pak", "pak6.pak", "pak5.pak", "pak4.pak", "pak3.pak", "pak2.pak",
        "pak1.pak", "pak0.pak"},
       {"pak10.pak", "pak9.pak", "pak8.pak", "pak7.pak", "pak6.pak", "pak5.pak", "pak4.pak", "pak3.pak", "pak2.pak",
        "pak1.pak", "pak0.pak"}},
      // Quake II: pak0 to pak9, gaps passed.
      {EngineTarget::Quake2, {"pak0.pak", "pak1.pak", "pak3.pak"}, {"pak3.pak", "pak1.pak", "pak0.pak"}},
      {EngineTarget::Quake2, {"pak10.pak", "pak9.pak", "pak2.pak", "readme.txt"}, {"pak9.pak", "pak2.pak"}},
      {EngineTarget::Quake2, {"a.pk3"}, {}},
      // The Quake III family: .pk3 and .pk4 by upper-case name, later first.
      {EngineTarget::Quake3,
       {"b.pk3", "a.pk3", "c.pk4", "d.pak", "e.zip", "Pak_a.pk3", "PAKA.pk3", "z.PK3"},
       {"z.PK3", "Pak_a.pk3", "PAKA.pk3", "c.pk4", "b.pk3", "a.pk3"}},
      {EngineTarget::Quake3, {"pak0.pak"}, {}},
      // Any: .pak too, in the same order.
      {EngineTarget::Any,
       {"pak0.pak", "pak1.pak", "x.pk3", "y.wad", "z.zip", "w.pk4"},
       {"x.pk3", "w.pk4", "pak1.pak", "pak0.pak"}},
  };
  for (const SearchCase& c : cases) {
    SCOPED_TRACE(std::string(TargetName(c.target)) + " " + std::to_string(c.names.size()));
    EXPECT_EQ(SearchedArchives(c.target, c.names), c.searched);
  }
}

TEST(GameFolder, TheTargetIsGuessedFromTheFoldersNameElseFromWhatItHolds) {
  ScratchDir dir;
  MakeFolder(dir.Path("quake/id1"), {{"pak0.pak", ""}});
  MakeFolder(dir.Path("quake2/baseq2"), {{"pak0.pak", ""}});
  MakeFolder(dir.Path("quake2/mymod"), {{"pak0.pak", ""}});
  MakeFolder(dir.Path("quake/mymod"), {{"pak0.pak", ""}});
  MakeFolder(dir.Path("q3/BaseQ3"), {{"readme.txt", ""}});
  MakeFolder(dir.Path("q3/baseoa"), {});
  MakeFolder(dir.Path("q3/mymod"), {{"pak0.pak", ""}, {"zz.pk3", ""}});
  MakeFolder(dir.Path("doom3/mymod"), {{"game00.pk4", ""}});
  MakeFolder(dir.Path("plain"), {{"readme.txt", ""}, {"pak0.pk2", ""}});
  const std::vector<std::pair<std::string, EngineTarget>> cases = {
      {"quake/id1", EngineTarget::Quake},         {"quake/id1/", EngineTarget::Quake},
      {"quake2/baseq2", EngineTarget::Quake2},    {"quake2/mymod", EngineTarget::Quake2},
      {"quake/mymod", EngineTarget::Quake},       {"q3/BaseQ3", EngineTarget::Quake3},
      {"q3/baseoa", EngineTarget::Quake3},        {"q3/mymod", EngineTarget::Quake3},
      {"doom3/mymod", EngineTarget::Quake3},      {"plain", EngineTarget::Any},
      {"no such folder", EngineTarget::Any},
  };
  for (const auto& [folder, target] : cases) {
    SCOPED_TRACE(folder);
    EXPECT_EQ(TargetName(GuessFolderTarget(dir.Path(folder))), TargetName(target));
  }
  // A patch written into a mod's folder by an earlier comparison is no sign of its game.
  MakeFolder(dir.Path("quake/mymod"), {{"patch.pk3", ""}});
  EXPECT_EQ(TargetName(GuessFolderTarget(dir.Path("quake/mymod"))), TargetName(EngineTarget::Quake3));
  EXPECT_EQ(TargetName(GuessFolderTarget(dir.Path("quake/mymod"), dir.Path("quake/mymod/patch.pk3"))),
            TargetName(EngineTarget::Quake));
}

TEST(GameFolder, AnArchiveThatCannotBeReadIsLeftOutAndTheRestSearched) {
  ScratchDir dir;
  const std::string folder = dir.Path("id1");
  MakeFolder(folder, {{"autoexec.cfg", "bind"}});
  WritePak(folder + "/pak0.pak", {{"progs.dat", "progs of pak0"}});
  // A directory past the end of the file.
  ASSERT_TRUE(WriteFileBytes(folder + "/pak1.pak", sample::Pak({{"progs.dat", "progs of pak1"}}, ~0u, 0x100000)));
  WritePak(folder + "/pak2.pak", {{"progs.dat", "progs of pak2"}});
  OpenedFolder opened(folder, EngineTarget::Quake);
  ASSERT_TRUE(opened.ok());
  const GameFolderSource& view = *opened.view;
  ASSERT_EQ(view.troubles().size(), 1u);
  EXPECT_EQ(view.troubles()[0].member, "pak1.pak");
  EXPECT_TRUE(view.troubles()[0].whole);
  EXPECT_EQ(FolderTroubleText(view.troubles()[0]).rfind("pak1.pak is not searched: ", 0), 0u)
      << FolderTroubleText(view.troubles()[0]);
  // Neither searched nor a loose file.
  EXPECT_EQ(MemberNames(view), (std::vector<std::string>{"pak2.pak", "pak0.pak", "folder"}));
  EXPECT_EQ(HolderTable(view), (std::vector<std::string>{"autoexec.cfg: folder", "progs.dat: pak2.pak, pak0.pak"}));
  EXPECT_EQ(FileContents(opened.doc.doc), Expected({{"autoexec.cfg", "bind"}, {"progs.dat", "progs of pak2"}}));

  // An empty pk3 likewise.
  const std::string q3 = dir.Path("baseq3");
  MakeFolder(q3, {{"a.pk3", ""}});
  WritePk3(q3 + "/b.pk3", {{"scripts/a.shader", "shader"}});
  OpenedFolder empty(q3, EngineTarget::Quake3);
  ASSERT_TRUE(empty.ok());
  ASSERT_EQ(empty.view->troubles().size(), 1u);
  EXPECT_EQ(empty.view->troubles()[0].member, "a.pk3");
  EXPECT_TRUE(empty.view->troubles()[0].whole);
  EXPECT_EQ(MemberNames(*empty.view), (std::vector<std::string>{"b.pk3", "folder"}));
  EXPECT_EQ(HolderTable(*empty.view), (std::vector<std::string>{"scripts/a.shader: b.pk3"}));
}

TEST(GameFolder, APathThatIsAFileInOnePlaceAndAFolderInAnotherShowsTheOneSearchedFirst) {
  ScratchDir dir;
  const std::string folder = dir.Path("baseq2");
  // The loose folder "maps" and the file below it meet pak1's file "maps".
  MakeFolder(folder, {{"maps/readme.txt", "loose"}});
  WritePak(folder + "/pak1.pak", {{"maps", "a file named maps"}, {"gfx/x.lmp", "x of pak1"}});
  WritePak(folder + "/pak0.pak", {{"maps/e1m1.bsp", "e1m1 of pak0"}, {"gfx", "a file named gfx"}});
  OpenedFolder opened(folder, EngineTarget::Quake2);
  ASSERT_TRUE(opened.ok()) << FailureReason(opened.built);
  const GameFolderSource& view = *opened.view;
  EXPECT_EQ(HolderTable(view), (std::vector<std::string>{"gfx/x.lmp: pak1.pak", "maps: pak1.pak"}));
  std::vector<std::string> troubles;
  for (const GameFolderTrouble& t : view.troubles()) {
    EXPECT_FALSE(t.whole);
    troubles.push_back((t.member.empty() ? "folder" : t.member) + " " + t.why.name + " " +
                       std::to_string(static_cast<int>(t.why.problem)) + " " + t.why.other);
    EXPECT_NE(FolderTroubleText(t).find("; it is not shown"), std::string::npos) << FolderTroubleText(t);
  }
  const auto line = [](const std::string& member, const std::string& name, Problem problem, const std::string& other) {
    return member + " " + name + " " + std::to_string(static_cast<int>(problem)) + " " + other;
  };
  EXPECT_EQ(troubles, (std::vector<std::string>{line("pak0.pak", "maps/e1m1.bsp", Problem::ThroughFile, "maps"),
                                                line("pak0.pak", "gfx", Problem::FileAndFolder, ""),
                                                line("folder", "maps/", Problem::FileAndFolder, ""),
                                                line("folder", "maps/readme.txt", Problem::ThroughFile, "maps")}));
  EXPECT_EQ(FileContents(opened.doc.doc), Expected({{"gfx/x.lmp", "x of pak1"}, {"maps", "a file named maps"}}));
}

TEST(GameFolder, ALooseFileChangedInSizeAfterTheOpenReadsAsDamaged) {
  ScratchDir dir;
  const std::string folder = dir.Path("mymod");
  MakeFolder(folder, {{"notes.txt", "short"}, {"cfg/same.cfg", "12345"}, {"gone.txt", "here"}});
  OpenedFolder opened(folder, EngineTarget::Quake3);
  ASSERT_TRUE(opened.ok());
  MakeFolder(folder, {{"notes.txt", "much longer now"}, {"cfg/same.cfg", "54321"}});
  ASSERT_TRUE(RemoveFile(folder + "/gone.txt"));
  EntryLoad load;
  ReadText(opened.doc, "notes.txt", &load);
  EXPECT_EQ(load, EntryLoad::ReadFailed);
  ReadText(opened.doc, "gone.txt", &load);
  EXPECT_EQ(load, EntryLoad::ReadFailed);
  // Of the same size: what the file holds now.
  EXPECT_EQ(ReadText(opened.doc, "cfg/same.cfg", &load), "54321");
  EXPECT_EQ(load, EntryLoad::Ok);
  const ArchiveCheckResult check = CheckArchiveEntries(&opened.doc.doc, nullptr, 1);
  EXPECT_EQ(check.files, 3u);
  std::vector<std::string> damaged;
  for (const DamagedEntry& d : check.damaged) damaged.push_back(d.path);
  std::sort(damaged.begin(), damaged.end());
  EXPECT_EQ(damaged, (std::vector<std::string>{"gone.txt", "notes.txt"}));
}

// The check of a view on one worker and on four, the small archives read whole or in runs:
// the same damage each time, which is returned.
// The check of the view's tree, and of its source in the tree's order (the tool's), on one
// worker and on four, whole and in runs, must find the same.
std::vector<std::string> DamageOnOneAndFourWorkers(const ArchiveDocument& doc, uint32_t files) {
  std::vector<std::string> first;
  SourceWalk walk;
  EXPECT_FALSE(walk.Make(*doc.source));
  EXPECT_EQ(CountCheckedEntries(walk), files);
  for (unsigned workers : {1u, 4u})
    for (bool whole : {true, false})
      for (bool withTree : {true, false}) {
        SCOPED_TRACE(std::to_string(workers) + (whole ? " whole" : " in runs") + (withTree ? ", tree" : ", source"));
        const ArchiveCheckResult check = withTree ? CheckArchiveEntries(&doc, nullptr, workers, whole)
                                                  : CheckSourceEntries(&doc, walk, nullptr, workers, whole);
        EXPECT_EQ(check.files, files);
        EXPECT_FALSE(check.cancelled);
        EXPECT_TRUE(check.duplicates.empty());
        std::vector<std::string> damaged;
        for (const DamagedEntry& d : check.damaged) damaged.push_back(d.path + " " + FailureReason(d.problem));
        if (workers == 1 && whole && withTree) first = damaged;
        EXPECT_EQ(damaged, first);
      }
  return first;
}

TEST(GameFolder, TheCheckReadsEveryPathFromThePlaceTheViewReadsItFrom) {
  ScratchDir dir;
  const std::string folder = dir.Path("game");
  MakeGappedPaks(folder);
  std::vector<ZipPlan> plans = {DeflatedPlan("textures/wall.tga", TextBytes(7, 30000), 6),
                                DeflatedPlan("maps/e1m1.bsp", TextBytes(8, 20000), 6),
                                StoredPlan("mod.txt", Bytes("the mod"))};
  ASSERT_TRUE(WriteFileBytes(folder + "/mod.pk3", BuildZip(plans)));
  {
    OpenedFolder opened(folder, EngineTarget::Any);
    ASSERT_TRUE(opened.ok());
    EXPECT_EQ(MemberNames(*opened.view),
              (std::vector<std::string>{"pak3.pak", "pak1.pak", "pak0.pak", "mod.pk3", "folder"}));
    EXPECT_EQ(CountCheckedEntries(&opened.doc.doc), 8u);
    EXPECT_EQ(DamageOnOneAndFourWorkers(opened.doc.doc, 8), std::vector<std::string>{});
  }
  // One byte flipped in the mod's texture, and in its map, which pak3 shadows.
  plans[0].stored[plans[0].stored.size() / 2] ^= 1;
  plans[1].stored[plans[1].stored.size() / 2] ^= 1;
  ASSERT_TRUE(WriteFileBytes(folder + "/mod.pk3", BuildZip(plans)));
  OpenedFolder opened(folder, EngineTarget::Any);
  ASSERT_TRUE(opened.ok());
  const std::vector<std::string> damaged = DamageOnOneAndFourWorkers(opened.doc.doc, 8);
  ASSERT_EQ(damaged.size(), 1u);
  EXPECT_EQ(damaged[0].rfind("textures/wall.tga ", 0), 0u) << damaged[0];
}

TEST(GameFolder, AModFolderComparedWithItsBaseFolderAsTheGameReadsBoth) {
  ScratchDir dir;
  const std::string base = dir.Path("quake/id1"), mod = dir.Path("quake/mymod");
  MakeFolder(base, {{"autoexec.cfg", "bind"}});
  WritePak(base + "/pak0.pak", {{"maps/e1m1.bsp", "level one"}, {"progs.dat", "base progs"}, {"gfx/a.lmp", "pic"}});
  // The mod's pak0 repeats the base's progs, its pak1 changes them; its loose picture is
  // the base's.
  MakeFolder(mod, {{"gfx/A.lmp", "pic"}});
  WritePak(mod + "/pak0.pak", {{"progs.dat", "base progs"}, {"maps/new.bsp", "new level"}});
  WritePak(mod + "/pak1.pak", {{"progs.dat", "mod progs!"}});
  OpenedFolder a(mod, GuessFolderTarget(mod)), b(base, GuessFolderTarget(base));
  ASSERT_TRUE(a.ok());
  ASSERT_TRUE(b.ok());
  EXPECT_EQ(a.view->target(), EngineTarget::Quake);
  const Comparison c = CompareSides(CompareSide::Archive(&a.doc.doc), CompareSide::Archive(&b.doc.doc));
  std::vector<std::string> lines;
  static const char* const kKinds[] = {"+", "-", "~", "=", "!"};
  for (const ComparedItem& item : c.items) lines.push_back(std::string(kKinds[static_cast<size_t>(item.kind)]) + " " + item.path);
  EXPECT_EQ(lines, (std::vector<std::string>{"- autoexec.cfg", "= gfx/a.lmp", "- maps/e1m1.bsp", "+ maps/new.bsp",
                                             "~ progs.dat"}));
  EXPECT_TRUE(c.Complete());
  EXPECT_FALSE(c.Identical());
}

}  // namespace
