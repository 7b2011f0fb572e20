#include "tests/win/support/data_exchange_support.h"

#include <shlobj.h>

#include <cstring>

#include "services/globals.h"
#include "app/startup.h"
#include "tests/win/support/transfer_test_support.h"
#include "transfer/drop_source.h"
#include "panes/views.h"

void DataExchangeTest::SetUp() {
  ASSERT_EQ(OleInitialize(nullptr), S_OK);
  ASSERT_TRUE(RegisterClipboardFormats());
  if (!g_dropSource) g_dropSource = CreateDropSource();
  ArchiveWindowTest::SetUp();
}

void DataExchangeTest::TearDown() {
  ArchiveWindowTest::TearDown();
  OleSetClipboard(nullptr);
  if (g_dropSource) {
    g_dropSource->Release();
    g_dropSource = nullptr;
  }
  OleUninitialize();
}

void ShowFolderAt(WindowDocument* doc, const std::string& storedPath) {
  Node* node = storedPath.empty() ? doc->root() : NodeAt(doc, storedPath);
  HTREEITEM item = node ? FolderItemOf(doc, node) : nullptr;
  if (!item) return;
  SendMessageA(doc->folderTree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
  PumpPending();
}

void SelectListItems(WindowDocument* doc, const std::vector<std::string>& names) {
  SetFocus(doc->itemList);
  ListView_SetItemState(doc->itemList, -1, 0, LVIS_SELECTED);
  const std::vector<std::string> shown = ListNames(doc->itemList);
  for (const std::string& name : names) {
    for (size_t i = 0; i < shown.size(); ++i) {
      if (shown[i] == name) ListView_SetItemState(doc->itemList, static_cast<int>(i), LVIS_SELECTED, LVIS_SELECTED);
    }
  }
}

bool ListItemCut(WindowDocument* doc, const std::string& name) {
  const std::vector<std::string> shown = ListNames(doc->itemList);
  for (size_t i = 0; i < shown.size(); ++i) {
    if (shown[i] == name) {
      return (ListView_GetItemState(doc->itemList, static_cast<int>(i), LVIS_CUT) & LVIS_CUT) != 0;
    }
  }
  return false;
}

long ReadDword(IDataObject* data, UINT format) {
  FORMATETC f = {static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium = {};
  if (data->GetData(&f, &medium) != S_OK) return -1;
  long value = -1;
  if (const auto* p = static_cast<const DWORD*>(GlobalLock(medium.hGlobal))) {
    value = static_cast<long>(*p);
    GlobalUnlock(medium.hGlobal);
  }
  ReleaseStgMedium(&medium);
  return value;
}

bool PutFilesOnClipboard(const std::vector<std::string>& paths, bool wide) {
  OleSetClipboard(nullptr);
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (OpenClipboard(nullptr)) {
      EmptyClipboard();
      const bool set = SetClipboardData(CF_HDROP, MakeDropFiles(paths, wide)) != nullptr;
      CloseClipboard();
      return set;
    }
    Sleep(10);
  }
  return false;
}
