// The data object of Copy, Cut and drags: its formats, the shell's file descriptors and
// file contents read in this process and by a second process through the clipboard, the
// handshake values, and the overlap check.
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <gtest/gtest.h>

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

std::vector<Descriptor> ReadDescriptors(IDataObject* data, HRESULT* result = nullptr) {
  std::vector<Descriptor> out;
  FORMATETC f = Format(g_cfFileGroupDescriptor);
  STGMEDIUM medium = {};
  HRESULT r = data->GetData(&f, &medium);
  if (result) *result = r;
  if (r != S_OK) return out;
  const auto* group = static_cast<const FILEGROUPDESCRIPTORA*>(GlobalLock(medium.hGlobal));
  for (UINT i = 0; i < group->cItems; ++i) {
    const FILEDESCRIPTORA& fd = group->fgd[i];
    out.push_back({fd.cFileName, fd.dwFlags, fd.dwFileAttributes, fd.nFileSizeLow, fd.ftLastWriteTime});
  }
  GlobalUnlock(medium.hGlobal);
  ReleaseStgMedium(&medium);
  return out;
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
  EXPECT_EQ(fetched, 4u);  // the three of the items and the one value, once
  EXPECT_EQ(all[3].cfFormat, g_cfPreferredDropEffect);
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

TEST_F(DataObjectTest, PakFilesCarryASizeOnly) {
  HWND window;
  WindowDocument* doc = OpenDoc(WinFixture("views.pak"), &window);
  ASSERT_NE(doc, nullptr);
  IDataObject* data = Make(doc, {"readme", "maps/dm"});
  ASSERT_NE(data, nullptr);
  std::vector<Descriptor> d = ReadDescriptors(data);
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[0].name, "readme");
  EXPECT_EQ(d[0].flags, static_cast<DWORD>(FD_FILESIZE));
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
  char name[MAX_PATH];
  EXPECT_TRUE(DescriptorName(first, first, name));
  Node* outer = doc->tree->AddDirectory(doc->root(), std::string(200, 'e'));
  ASSERT_NE(outer, nullptr);
  Node* inner = doc->tree->AddFile(outer, longName, MemoryBytes{EntryBuffer::Copy(kX, sizeof kX)});
  ASSERT_NE(inner, nullptr);
  EXPECT_FALSE(DescriptorName(outer, inner, name));
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
    data->Release();
  }
  report.close();
  OleUninitialize();
}

TEST_F(DataObjectTest, ASecondProcessReadsFilesFromTheClipboard) {
  HWND window;
  WindowDocument* doc = OpenDoc(WinFixture("nested.pk3"), &window);
  ASSERT_NE(doc, nullptr);
  ShowFolderAt(doc, "");
  SelectListItems(doc, {"readme.txt", "env"});
  SendCommand(window, ID_EDIT_COPY);
  ASSERT_NE(doc->clipboardSource, nullptr);

  const std::string& dir = TempDir();
  const std::string report = dir + "report.txt";
  SetEnvironmentVariableA("VELLUMIX_CLIPBOARD_REPORT", report.c_str());
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string command = std::string("\"") + exe +
                        "\" --gtest_also_run_disabled_tests --gtest_filter=ClipboardReaderProcess.*";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  SetEnvironmentVariableA("VELLUMIX_CLIPBOARD_REPORT", nullptr);
  // The source answers the reader's requests from its message loop.
  const bool ended = PumpUntil([&] { return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; }, 60000);
  if (!ended) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  ASSERT_TRUE(ended);
  std::ifstream in(report, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  // Items come in list order, whatever the list's sort puts first.
  const std::string readme = "readme.txt\t6\t6\n" + EntryText(doc, "readme.txt") + "\n";
  const std::string clouds = "env\\sky\\clouds.jpg\t40\t40\n" + EntryText(doc, "env/sky/clouds.jpg") + "\n";
  const std::string header = "get 1\ndescriptors 2\n";
  EXPECT_TRUE(text.str() == header + readme + clouds || text.str() == header + clouds + readme) << text.str();
}
