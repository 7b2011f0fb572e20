// The data object of Copy, Cut and drags: its formats, the shell's file descriptors and
// file contents read in this process and by a second process through the clipboard, the
// handshake values, and the overlap check.
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "resources/command_ids.h"
#include "services/globals.h"
#include "tests/win/support/data_exchange_support.h"
#include "tests/win/support/transfer_test_support.h"
#include "tests/win/support/unicode_support.h"
#include "transfer/data_object.h"

namespace {

FORMATETC Format(UINT cf, LONG index = -1, DWORD tymed = TYMED_HGLOBAL, DWORD aspect = DVASPECT_CONTENT) {
  return FORMATETC{static_cast<CLIPFORMAT>(cf), nullptr, aspect, index, tymed};
}

struct Descriptor {
  std::string name;
  DWORD flags;
  DWORD attributes;
  DWORD size;
  FILETIME written;
};

// The descriptors of "FileGroupDescriptor" or, with wide, of "FileGroupDescriptorW" (names
// in UTF-8 then).
std::vector<Descriptor> ReadDescriptors(IDataObject* data, HRESULT* result = nullptr, bool wide = false) {
  std::vector<Descriptor> out;
  FORMATETC f = Format(wide ? g_cfFileGroupDescriptorW : g_cfFileGroupDescriptor);
  STGMEDIUM medium = {};
  HRESULT r = data->GetData(&f, &medium);
  if (result) *result = r;
  if (r != S_OK) return out;
  const void* block = GlobalLock(medium.hGlobal);
  if (wide) {
    const auto* group = static_cast<const FILEGROUPDESCRIPTORW*>(block);
    for (UINT i = 0; i < group->cItems; ++i) {
      const FILEDESCRIPTORW& fd = group->fgd[i];
      out.push_back({Utf8Of(fd.cFileName), fd.dwFlags, fd.dwFileAttributes, fd.nFileSizeLow, fd.ftLastWriteTime});
    }
  } else {
    const auto* group = static_cast<const FILEGROUPDESCRIPTORA*>(block);
    for (UINT i = 0; i < group->cItems; ++i) {
      const FILEDESCRIPTORA& fd = group->fgd[i];
      out.push_back({fd.cFileName, fd.dwFlags, fd.dwFileAttributes, fd.nFileSizeLow, fd.ftLastWriteTime});
    }
  }
  GlobalUnlock(medium.hGlobal);
  ReleaseStgMedium(&medium);
  return out;
}

std::vector<std::string> NamesOf(const std::vector<Descriptor>& descriptors) {
  std::vector<std::string> names;
  for (const Descriptor& d : descriptors) names.push_back(d.name);
  return names;
}

// The bytes of "FileContents" index, or "<error>" with the result.
std::string ReadContents(IDataObject* data, LONG index, HRESULT* result = nullptr, bool* nullHandle = nullptr) {
  FORMATETC f = Format(g_cfFileContents, index);
  STGMEDIUM medium = {};
  HRESULT r = data->GetData(&f, &medium);
  if (result) *result = r;
  if (r != S_OK) return "<error>";
  if (nullHandle) *nullHandle = medium.hGlobal == nullptr;
  std::string bytes;
  if (medium.hGlobal) {
    const char* p = static_cast<const char*>(GlobalLock(medium.hGlobal));
    bytes.assign(p, GlobalSize(medium.hGlobal));
    GlobalUnlock(medium.hGlobal);
  }
  ReleaseStgMedium(&medium);
  return bytes;
}

class DataObjectTest : public DataExchangeTest {
 protected:
  // A drag-style object over the nodes at the stored paths of a document.
  IDataObject* Make(WindowDocument* doc, const std::vector<std::string>& paths, int forClipboard = 0) {
    for (const std::string& p : paths) {
      Node* live = NodeAt(doc, p);
      EXPECT_NE(live, nullptr) << p;
      if (live) ids_.push_back(live->id());
    }
    object_ = CreateDataObject(doc, doc->folderTree, ids_, forClipboard);
    return object_ ? AsDataObject(object_) : nullptr;
  }
  void TearDown() override {
    if (object_) AsDataObject(object_)->Release();
    DataExchangeTest::TearDown();
  }
  std::vector<NodeId> ids_;
  ArchiveDataObject* object_ = nullptr;
};

}  // namespace

TEST_F(DataObjectTest, QueryGetDataTable) {
  HWND window;
  WindowDocument* doc = OpenDoc(WinFixture("views.zip"), &window);
  ASSERT_NE(doc, nullptr);
  IDataObject* data = Make(doc, {"readme"});
  ASSERT_NE(data, nullptr);
  struct Case {
    FORMATETC format;
    HRESULT expected;
  } cases[] = {
      {Format(g_cfVellumixData), S_OK},
      {Format(g_cfFileGroupDescriptor), S_OK},
      {Format(g_cfFileGroupDescriptorW), S_OK},
      {Format(g_cfFileContents, 7), S_OK},  // the index is checked only when rendering
      {Format(g_cfFileContents, -1, TYMED_HGLOBAL | TYMED_ISTREAM), S_OK},
      {Format(g_cfFileContents, -1, TYMED_ISTREAM), DV_E_TYMED},
      {Format(g_cfFileGroupDescriptor, -1, TYMED_HGLOBAL, DVASPECT_ICON), DV_E_DVASPECT},
      {Format(CF_TEXT), DV_E_FORMATETC},
      {Format(CF_HDROP), DV_E_FORMATETC},
      {Format(g_cfPreferredDropEffect), DV_E_FORMATETC},  // not until it is set
  };
  for (Case& c : cases) EXPECT_EQ(data->QueryGetData(&c.format), c.expected) << c.format.cfFormat;
  EXPECT_EQ(data->GetData(nullptr, nullptr), E_INVALIDARG);
  FORMATETC text = Format(CF_TEXT);
  STGMEDIUM medium = {};
  EXPECT_EQ(data->GetData(&text, &medium), DV_E_FORMATETC);
  EXPECT_EQ(data->GetDataHere(&text, &medium), E_NOTIMPL);
  EXPECT_EQ(data->DAdvise(&text, 0, nullptr, nullptr), OLE_E_ADVISENOTSUPPORTED);
}

TEST_F(DataObjectTest, HandshakeValuesAreStoredOnceAndReadBack) {
  HWND window;
  WindowDocument* doc = OpenDoc(WinFixture("views.zip"), &window);
  ASSERT_NE(doc, nullptr);
  IDataObject* data = Make(doc, {"readme"});
  ASSERT_NE(data, nullptr);
  auto set = [&](UINT cf, DWORD value, DWORD tymed = TYMED_HGLOBAL) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 4);
    *static_cast<DWORD*>(GlobalLock(block)) = value;
    GlobalUnlock(block);
    FORMATETC f = Format(cf, -1, tymed);
    STGMEDIUM medium = {};
    medium.tymed = tymed;
    medium.hGlobal = block;
    HRESULT r = data->SetData(&f, &medium, FALSE);
    GlobalFree(block);
    return r;
  };
  EXPECT_EQ(set(g_cfVellumixData, 1), DV_E_FORMATETC);
  EXPECT_EQ(set(g_cfPreferredDropEffect, 1, TYMED_ISTREAM), DV_E_TYMED);
  EXPECT_EQ(set(g_cfPreferredDropEffect, 1), S_OK);
  EXPECT_EQ(ReadDword(data, g_cfPreferredDropEffect), 1);
  EXPECT_EQ(set(g_cfPreferredDropEffect, 2), S_OK);
  EXPECT_EQ(ReadDword(data, g_cfPreferredDropEffect), 2);
  EXPECT_EQ(ReadDword(data, g_cfPasteSucceeded), -1);
  IEnumFORMATETC* e = nullptr;
  ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, &e), S_OK);
  FORMATETC all[8] = {};
  ULONG fetched = 0;
  e->Next(8, all, &fetched);
  e->Release();
  EXPECT_EQ(fetched, 5u);  // the four of the items and the one value, once
  EXPECT_EQ(all[1].cfFormat, g_cfFileGroupDescriptorW);
  EXPECT_EQ(all[2].cfFormat, g_cfFileGroupDescriptor);
  EXPECT_EQ(all[4].cfFormat, g_cfPreferredDropEffect);
  ASSERT_EQ(data->EnumFormatEtc(DATADIR_SET, &e), S_OK);
  e->Next(8, all, &fetched);
  e->Release();
  EXPECT_EQ(fetched, 3u);
  EXPECT_EQ(data->EnumFormatEtc(3, &e), E_INVALIDARG);
}

TEST_F(DataObjectTest, DescriptorsOfADirectoryAnEmptyDirectoryAndAnEmptyFile) {
  HWND window;
  WindowDocument* doc = OpenDoc(WinFixture("views.zip"), &window);
  ASSERT_NE(doc, nullptr);
  IDataObject* data = Make(doc, {"maps", "sound", "empty.txt"});
  ASSERT_NE(data, nullptr);
  std::vector<Descriptor> d = ReadDescriptors(data);
  ASSERT_EQ(d.size(), 5u);
  std::map<std::string, Descriptor> byName;
  for (const Descriptor& x : d) byName[x.name] = x;
  // The non-empty directory has no descriptor of its own; the shell makes it from the names.
  EXPECT_EQ(byName.count("maps"), 0u);
  EXPECT_EQ(byName["maps\\level1.bsp"].size, 700u);
  EXPECT_EQ(byName["maps\\level2.bsp"].size, 20u);
  EXPECT_EQ(byName["maps\\dm\\arena.bsp"].size, 5u);
  EXPECT_EQ(byName["sound"].flags, static_cast<DWORD>(FD_ATTRIBUTES));
  EXPECT_EQ(byName["sound"].attributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(byName["empty.txt"].size, 0u);
  // PK3 files carry their DOS time as creation and write time.
  EXPECT_TRUE(byName["maps\\level2.bsp"].flags & FD_FILESIZE);
  EXPECT_TRUE(byName["maps\\level2.bsp"].flags & FD_WRITESTIME);
  EXPECT_TRUE(byName["maps\\level2.bsp"].flags & FD_CREATETIME);
  // The DOS time is the local time of the entry; the shell takes the time in UTC.
  const Node* level2 = NodeAt(doc, "maps/level2.bsp");
  ASSERT_NE(level2, nullptr);
  const EntryInfo info = doc->source->Info(level2->source()->index);
  FILETIME local, utc;
  ASSERT_TRUE(DosDateTimeToFileTime(HIWORD(info.dosTime), LOWORD(info.dosTime), &local));
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &utc));
  EXPECT_EQ(CompareFileTime(&byName["maps\\level2.bsp"].written, &utc), 0);
  // Contents by index: each file's own bytes, the empty file without a block, the empty
  // directory and anything past the end refused.
  for (LONG i = 0; i < 5; ++i) {
    const std::string name = d[i].name;
    HRESULT r;
    bool nullHandle = false;
    std::string bytes = ReadContents(data, i, &r, &nullHandle);
    if (name == "sound") {
      EXPECT_EQ(r, DV_E_LINDEX);
      continue;
    }
    ASSERT_EQ(r, S_OK) << name;
    std::string stored = name;
    for (char& c : stored) if (c == '\\') c = '/';
    EXPECT_EQ(bytes, EntryText(doc, stored)) << name;
    EXPECT_EQ(bytes.size(), d[i].size) << name;
    if (name == "empty.txt") {
      EXPECT_TRUE(nullHandle);
    }
  }
  HRESULT r;
  ReadContents(data, 5, &r);
  EXPECT_EQ(r, DV_E_LINDEX);
  ReadContents(data, -1, &r);
  EXPECT_EQ(r, DV_E_LINDEX);
}

// Whole seconds since 1601 of a file time.
uint64_t SecondsOf(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime) / 10000000u;
}

TEST_F(DataObjectTest, PakFilesCarryASizeAndTheArchivesTime) {
  HWND window;
  WindowDocument* doc = OpenDoc(WinFixture("views.pak"), &window);
  ASSERT_NE(doc, nullptr);
  IDataObject* data = Make(doc, {"readme", "maps/dm"});
  ASSERT_NE(data, nullptr);
  std::vector<Descriptor> d = ReadDescriptors(data);
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[0].name, "readme");
  // A PAK stores no times: its files go with the archive file's own.
  EXPECT_EQ(d[0].flags, static_cast<DWORD>(FD_FILESIZE | FD_CREATETIME | FD_WRITESTIME));
  WIN32_FILE_ATTRIBUTE_DATA archive = {};
  ASSERT_TRUE(GetFileAttributesExA(WinFixture("views.pak").c_str(), GetFileExInfoStandard, &archive));
  EXPECT_EQ(SecondsOf(d[0].written), SecondsOf(archive.ftLastWriteTime));
  EXPECT_EQ(d[0].size, 14u);
  EXPECT_EQ(d[1].name, "dm\\arena.bsp");
  EXPECT_EQ(ReadContents(data, 0), EntryText(doc, "readme"));
  EXPECT_EQ(ReadContents(data, 1), EntryText(doc, "maps/dm/arena.bsp"));
}

TEST_F(DataObjectTest, NamesThatWouldLeaveTheTargetFolderAreMadeSafe) {
  HWND window;
  WindowDocument* doc = OpenDoc("", &window);
  ASSERT_NE(doc, nullptr);
  struct Case {
    const char* stored;
    const char* offered;
  } cases[] = {
      {"..", "__"},
      {".", "_"},
      {"a\\..\\..\\evil.txt", "a_.._.._evil.txt"},
      {"c:evil", "c_evil"},
      {"...", "___"},
      {"ok..txt", "ok..txt"},
  };
  std::vector<std::string> names;
  static const uint8_t kHi[] = {'h', 'i'};
  for (const Case& c : cases) {
    ASSERT_NE(doc->tree->AddFile(doc->root(), c.stored, MemoryBytes{EntryBuffer::Copy(kHi, sizeof kHi)}), nullptr);
    names.push_back(c.stored);
  }
  IDataObject* data = Make(doc, names);
  ASSERT_NE(data, nullptr);
  std::vector<Descriptor> d = ReadDescriptors(data);
  ASSERT_EQ(d.size(), sizeof cases / sizeof cases[0]);
  for (size_t i = 0; i < d.size(); ++i) {
    EXPECT_EQ(d[i].name, cases[i].offered) << cases[i].stored;
    EXPECT_EQ(ReadContents(data, static_cast<LONG>(i)), "hi");
  }
}

TEST_F(DataObjectTest, APathTooLongForADescriptorIsRefusedNotCut) {
  HWND window;
  WindowDocument* doc = OpenDoc("", &window);
  ASSERT_NE(doc, nullptr);
  const std::string longName(200, 'd');
  static const uint8_t kX[] = {'x'};
  Node* first = doc->tree->AddFile(doc->root(), longName, MemoryBytes{EntryBuffer::Copy(kX, sizeof kX)});
  ASSERT_NE(first, nullptr);
  // A file of 200 characters fits; inside an item of 200 more it does not.
  std::string name;
  EXPECT_TRUE(DescriptorName(first, first, &name));
  EXPECT_EQ(name, longName);
  Node* outer = doc->tree->AddDirectory(doc->root(), std::string(200, 'e'));
  ASSERT_NE(outer, nullptr);
  Node* inner = doc->tree->AddFile(outer, longName, MemoryBytes{EntryBuffer::Copy(kX, sizeof kX)});
  ASSERT_NE(inner, nullptr);
  EXPECT_FALSE(DescriptorName(outer, inner, &name));
  EXPECT_EQ(name, "");
  // The limit counts characters as the wide descriptor does: 259 of three bytes each fit
  // (and a character beyond U+FFFF counts two); one more does not.
  const std::string wideFit = Repeated("\xE6\xA8\xA1", 257) + "\xF0\x9F\x98\x80";
  Node* cjk = doc->tree->AddFile(doc->root(), wideFit, MemoryBytes{EntryBuffer::Copy(kX, sizeof kX)});
  ASSERT_NE(cjk, nullptr);
  EXPECT_TRUE(DescriptorName(cjk, cjk, &name));
  EXPECT_EQ(name, wideFit);
  doc->tree->Rename(cjk, wideFit + "x");
  EXPECT_FALSE(DescriptorName(cjk, cjk, &name));
}

// What the shell reads to name the files it makes: in the wide descriptors each file's name
// as the tree has it, whatever its script; in the ANSI ones the same in the process's code
// page, which the manifest makes UTF-8. The tree is built through the core, with UTF-8 names.
TEST_F(DataObjectTest, WideDescriptorsNameEachFileAsTheTreeDoes) {
  ASSERT_EQ(GetACP(), static_cast<UINT>(CP_UTF8)) << "the manifest's code page";
  HWND window;
  WindowDocument* doc = OpenDoc("", &window);
  ASSERT_NE(doc, nullptr);
  static const uint8_t kBytes[] = {'m', 'o', 'd'};
  const auto addFile = [&](Node* dir, const std::string& name) {
    return doc->tree->AddFile(dir, name, MemoryBytes{EntryBuffer::Copy(kBytes, sizeof kBytes)}) != nullptr;
  };
  const std::string folderName = kUnicodeFolderName;
  const std::string maps = "\xD0\xBA\xD0\xB0\xD1\x80\xD1\x82\xD1\x8B";       // карты
  const std::string alpha = "\xCE\x86\xCE\xBB\xCF\x86\xCE\xB1.bsp";           // Άλφα.bsp
  const std::string readme = "\xE8\xAA\xAC\xE6\x98\x8E.txt";                   // 説明.txt
  const std::string empty = "\xE7\xA9\xBA";                                     // 空
  const std::string sound = "sound \xF0\x9F\x98\x80.wav";                        // beyond U+FFFF
  Node* folder = doc->tree->AddDirectory(doc->root(), folderName);
  ASSERT_NE(folder, nullptr);
  Node* mapsNode = doc->tree->AddDirectory(folder, maps);
  ASSERT_NE(mapsNode, nullptr);
  ASSERT_TRUE(addFile(mapsNode, alpha));
  ASSERT_TRUE(addFile(folder, readme));
  ASSERT_NE(doc->tree->AddDirectory(folder, empty), nullptr);
  ASSERT_TRUE(addFile(doc->root(), sound));
  ASSERT_TRUE(addFile(doc->root(), "a:b \xC3\xBC.txt"));
  IDataObject* data = Make(doc, {folderName, sound, "a:b \xC3\xBC.txt"});
  ASSERT_NE(data, nullptr);
  HRESULT r = E_FAIL;
  const std::vector<Descriptor> wide = ReadDescriptors(data, &r, true);
  ASSERT_EQ(r, S_OK);
  std::vector<std::string> names = NamesOf(wide);
  std::sort(names.begin(), names.end());
  std::vector<std::string> expected = {folderName + "\\" + maps + "\\" + alpha, folderName + "\\" + readme,
                                       folderName + "\\" + empty, sound, "a_b \xC3\xBC.txt"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
  // Each names the node whose bytes its index gives, as the tree spells it.
  for (size_t i = 0; i < wide.size(); ++i) {
    std::string stored = wide[i].name;
    for (char& c : stored) if (c == '\\') c = '/';
    if (stored == "a_b \xC3\xBC.txt") stored = "a:b \xC3\xBC.txt";
    const Node* node = NodeAt(doc, stored);
    ASSERT_NE(node, nullptr) << stored;
    if (node->IsDirectory()) {
      EXPECT_EQ(wide[i].attributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY)) << stored;
      continue;
    }
    EXPECT_EQ(wide[i].size, 3u) << stored;
    EXPECT_EQ(ReadContents(data, static_cast<LONG>(i)), "mod") << stored;
  }
  const std::vector<Descriptor> ansi = ReadDescriptors(data, &r);
  ASSERT_EQ(r, S_OK);
  EXPECT_EQ(NamesOf(ansi), NamesOf(wide));

  // A name of 200 characters of three bytes each fits the wide descriptor; the ANSI one,
  // of 604 bytes, is refused whole rather than given a name cut short.
  const std::string longName = Repeated("\xE6\xA8\xA1", 200) + ".txt";
  ASSERT_TRUE(addFile(doc->root(), longName));
  ids_.clear();
  AsDataObject(object_)->Release();
  object_ = nullptr;
  data = Make(doc, {longName});
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(NamesOf(ReadDescriptors(data, &r, true)), std::vector<std::string>{longName});
  EXPECT_EQ(r, S_OK);
  EXPECT_TRUE(ReadDescriptors(data, &r).empty());
  EXPECT_EQ(r, E_UNEXPECTED);
}

// Where the process's code page is not UTF-8 (Windows before version 1903), the ANSI
// descriptors carry each name in that page, a character it lacks as '_', never a best fit.
TEST(DescriptorNameTest, AnsiNamesInACodePageOtherThanUtf8) {
  struct Case {
    const char* name;
    UINT codePage;
    const char* ansi;
  } cases[] = {
      {"caf\xC3\xA9.txt", 1252, "caf\xE9.txt"},
      {"\xD0\x9C\xD0\xBE\xD0\xB4.pak", 1252, "___.pak"},                   // Мод
      {"\xD0\x9C\xD0\xBE\xD0\xB4.pak", 1251, "\xCC\xEE\xE4.pak"},          // Мод in its own page
      {"\xEF\xBC\xBC\xEF\xBC\x8E\xEF\xBC\x8E", 1252, "___"},              // full-width \.. (best fit: \..)
      {"plain\\name.txt", 1252, "plain\\name.txt"},
      {"\xE6\xA8\xA1\xE7\xBB\x84", CP_UTF8, "\xE6\xA8\xA1\xE7\xBB\x84"},  // as it is
  };
  for (const Case& c : cases) EXPECT_EQ(AnsiDescriptorName(c.name, c.codePage), c.ansi) << c.name << " " << c.codePage;
}

TEST_F(DataObjectTest, IsDisjointFromTable) {
  HWND window;
  WindowDocument* doc = OpenDoc(WinFixture("views.zip"), &window);
  ASSERT_NE(doc, nullptr);
  ASSERT_NE(Make(doc, {"maps/dm", "readme"}), nullptr);
  struct Case {
    const char* path;  // "" for the root
    int disjoint;
  } cases[] = {
      {"", 0},             // holds the items
      {"maps", 0},         // a proper ancestor
      {"maps/dm", 0},      // an item itself
      {"maps/dm/arena.bsp", 0},  // inside an item
      {"readme", 0},
      {"maps/level2.bsp", 1},    // a sibling
      {"sound", 1},
      {"a.bsp", 1},
  };
  for (const Case& c : cases) {
    Node* node = c.path[0] ? NodeAt(doc, c.path) : doc->root();
    ASSERT_NE(node, nullptr) << c.path;
    EXPECT_EQ(IsDisjointFrom(object_, node), c.disjoint) << c.path;
  }
}

TEST_F(DataObjectTest, VellumixDataNamesTheDocumentAndItems) {
  HWND window;
  WindowDocument* doc = OpenDoc(WinFixture("views.zip"), &window);
  ASSERT_NE(doc, nullptr);
  IDataObject* data = Make(doc, {"readme", "maps"});
  FORMATETC f = Format(g_cfVellumixData);
  STGMEDIUM medium = {};
  ASSERT_EQ(data->GetData(&f, &medium), S_OK);
  ASSERT_GE(GlobalSize(medium.hGlobal), sizeof(VellumixDataPayload));
  const auto* payload = static_cast<const VellumixDataPayload*>(GlobalLock(medium.hGlobal));
  EXPECT_EQ(payload->sourceRef, reinterpret_cast<uintptr_t>(static_cast<ArchiveDocument*>(doc)));
  EXPECT_EQ(payload->count, 2u);
  // The items are the object's own array of the nodes' ids, in order.
  const auto* items = reinterpret_cast<const NodeId*>(payload->items);
  ASSERT_NE(items, nullptr);
  EXPECT_EQ(std::vector<NodeId>(items, items + payload->count), ids_);
  EXPECT_TRUE(DataObjectHolds(object_, items, payload->count));
  GlobalUnlock(medium.hGlobal);
  ReleaseStgMedium(&medium);
}

// ---- The shell's side, played by a second process ----

// Run only as the second process of the test below: reads the clipboard as the shell does
// and writes what it found into the file the parent names.
TEST(ClipboardReaderProcess, DISABLED_ReadClipboard) {
  char out[MAX_PATH] = {};
  if (!GetEnvironmentVariableA("VELLUMIX_CLIPBOARD_REPORT", out, MAX_PATH)) GTEST_SKIP();
  ASSERT_EQ(OleInitialize(nullptr), S_OK);
  g_cfFileGroupDescriptor = RegisterClipboardFormatA("FileGroupDescriptor");
  g_cfFileGroupDescriptorW = RegisterClipboardFormatA("FileGroupDescriptorW");
  g_cfFileContents = RegisterClipboardFormatA("FileContents");
  std::ofstream report(out, std::ios::binary);
  IDataObject* data = nullptr;
  HRESULT r = OleGetClipboard(&data);
  report << "get " << (r == S_OK) << "\n";
  if (r == S_OK) {
    std::vector<Descriptor> d = ReadDescriptors(data, &r);
    report << "descriptors " << d.size() << "\n";
    for (size_t i = 0; i < d.size(); ++i) {
      HRESULT cr;
      std::string bytes = ReadContents(data, static_cast<LONG>(i), &cr);
      report << d[i].name << "\t" << d[i].size << "\t" << (cr == S_OK ? bytes.size() : 0xFFFFFFFFu) << "\n";
      report << bytes << "\n";
    }
    const std::vector<Descriptor> wide = ReadDescriptors(data, &r, true);
    report << "wide " << wide.size() << "\n";
    for (const Descriptor& w : wide) report << w.name << "\t" << w.size << "\n";
    data->Release();
  }
  report.close();
  OleUninitialize();
}

// Runs the reader above as a second process while this one answers from its message loop,
// and gives its report.
static std::string ReportOfAClipboardReader(const std::string& dir) {
  const std::string report = dir + "report.txt";
  SetEnvironmentVariableA("VELLUMIX_CLIPBOARD_REPORT", report.c_str());
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string command = std::string("\"") + exe +
                        "\" --gtest_also_run_disabled_tests --gtest_filter=ClipboardReaderProcess.*";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  const bool started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  SetEnvironmentVariableA("VELLUMIX_CLIPBOARD_REPORT", nullptr);
  EXPECT_TRUE(started);
  if (!started) return "<not started>";
  // The source answers the reader's requests from its message loop.
  const bool ended = PumpUntil([&] { return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; }, 60000);
  if (!ended) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_TRUE(ended);
  std::ifstream in(report, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST_F(DataObjectTest, ASecondProcessReadsFilesFromTheClipboard) {
  HWND window;
  WindowDocument* doc = OpenDoc(WinFixture("nested.pk3"), &window);
  ASSERT_NE(doc, nullptr);
  ShowFolderAt(doc, "");
  SelectListItems(doc, {"readme.txt", "env"});
  SendCommand(window, ID_EDIT_COPY);
  ASSERT_NE(doc->clipboardSource, nullptr);
  const std::string text = ReportOfAClipboardReader(TempDir());
  // Items come in list order, whatever the list's sort puts first.
  const std::string readme = "readme.txt\t6\t6\n" + EntryText(doc, "readme.txt") + "\n";
  const std::string clouds = "env\\sky\\clouds.jpg\t40\t40\n" + EntryText(doc, "env/sky/clouds.jpg") + "\n";
  const std::string header = "get 1\ndescriptors 2\n";
  const std::string wide = "wide 2\n";
  EXPECT_TRUE(text == header + readme + clouds + wide + "readme.txt\t6\nenv\\sky\\clouds.jpg\t40\n" ||
              text == header + clouds + readme + wide + "env\\sky\\clouds.jpg\t40\nreadme.txt\t6\n")
      << text;
}

// The shell's part played by another process: the wide descriptors it reads from the
// clipboard name the files as the tree does.
TEST_F(DataObjectTest, ASecondProcessReadsTheTreesNamesInTheWideDescriptors) {
  HWND window;
  WindowDocument* doc = OpenDoc("", &window);
  ASSERT_NE(doc, nullptr);
  const std::string name = std::string(kUnicodeFolderName) + ".txt";
  const std::string text = "\xCE\xA9\xE6\xA8\xA1";
  Node* node = doc->tree->AddFile(doc->root(), name,
                                  MemoryBytes{EntryBuffer::Copy(reinterpret_cast<const uint8_t*>(text.data()), text.size())});
  ASSERT_NE(node, nullptr);
  IDataObject* data = Make(doc, {name});
  ASSERT_NE(data, nullptr);
  ASSERT_EQ(OleSetClipboard(data), S_OK);
  const std::string report = ReportOfAClipboardReader(TempDir());
  EXPECT_EQ(report, "get 1\ndescriptors 1\n" + name + "\t5\t5\n" + text + "\nwide 1\n" + name + "\t5\n");
  OleSetClipboard(nullptr);
}
