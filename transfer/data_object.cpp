#include "transfer/data_object.h"

#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <new>

#include "archive/document.h"
#include "archive/entry_data.h"
#include "services/globals.h"
#include "services/messages.h"
#include "transfer/com_base.h"
#include "transfer/core/transfer_state.h"
#include "transfer/format_enum.h"

namespace {

constexpr int kMaxGetFormats = 6;
constexpr int kSetFormats = 3;
constexpr UINT kShareFlags = GMEM_MOVEABLE | GMEM_DDESHARE;

const IID* const kDataObjectInterfaces[] = {&IID_IUnknown, &IID_IDataObject, nullptr};

FORMATETC HGlobalFormat(UINT format) {
  FORMATETC f = {};
  f.cfFormat = static_cast<CLIPFORMAT>(format);
  f.ptd = nullptr;
  f.dwAspect = DVASPECT_CONTENT;
  f.lindex = -1;
  f.tymed = TYMED_HGLOBAL;
  return f;
}

// A shared block holding size bytes copied from data (data may be null to leave it zero).
HGLOBAL SharedBlock(const void* data, SIZE_T size) {
  HGLOBAL block = GlobalAlloc(kShareFlags | GMEM_ZEROINIT, size);
  if (!block) return nullptr;
  if (data) {
    void* p = GlobalLock(block);
    if (!p) {
      GlobalFree(block);
      return nullptr;
    }
    std::memcpy(p, data, size);
    GlobalUnlock(block);
  }
  return block;
}

bool FileSystemUnsafe(char c) {
  return static_cast<unsigned char>(c) < 32 || std::strchr("\\/:*?\"<>|", c) != nullptr;
}

// Appends one component to name at *length, made safe; false when it does not fit.
bool AppendComponent(const char* component, char (&name)[MAX_PATH], size_t* length) {
  size_t n = std::strlen(component);
  bool onlyDots = n > 0 && std::strspn(component, ".") == n;
  if (n == 0) n = 1;
  if (*length > 0) {
    if (*length + 1 > kDescriptorNameMax) return false;
    name[(*length)++] = '\\';
  }
  if (n > kDescriptorNameMax - *length) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = component[0] ? component[i] : '_';
    name[*length + i] = (onlyDots || FileSystemUnsafe(c)) ? '_' : c;
  }
  *length += n;
  name[*length] = '\0';
  return true;
}

}  // namespace

class ArchiveDataObject : public ComObject<IDataObject> {
 public:
  ArchiveDataObject() : ComObject(kDataObjectInterfaces) {}
  ~ArchiveDataObject() override {
    delete[] leaves_;
    delete[] leafItems_;
  }

  bool Init(ArchiveDocument* document, HWND folderTree, ArchiveNode** items, uint32_t itemCount,
            int forClipboard) {
    document_ = document;
    folderTree_ = folderTree;
    items_ = items;
    itemCount_ = itemCount;
    forClipboard_ = forClipboard;
    getFormats_[0] = HGlobalFormat(g_cfVellumixData);
    getFormats_[1] = HGlobalFormat(g_cfFileGroupDescriptor);
    getFormats_[2] = HGlobalFormat(g_cfFileContents);
    getCount_ = 3;
    setFormats_[0] = HGlobalFormat(g_cfPreferredDropEffect);
    setFormats_[1] = HGlobalFormat(g_cfPerformedDropEffect);
    setFormats_[2] = HGlobalFormat(g_cfPasteSucceeded);
    uint64_t total = 0;
    for (uint32_t i = 0; i < itemCount; ++i) total += TreeCountLeaves(items[i]);
    if (total > 0xFFFFFFu / 2) return false;
    leafCount_ = static_cast<uint32_t>(total);
    if (leafCount_ == 0) return true;
    leaves_ = new (std::nothrow) ArchiveNode*[leafCount_];
    leafItems_ = new (std::nothrow) uint32_t[leafCount_];
    if (!leaves_ || !leafItems_) return false;
    uint32_t at = 0;
    for (uint32_t i = 0; i < itemCount; ++i) {
      const uint32_t count = TreeCountLeaves(items[i]);
      TreeCollectLeaves(items[i], leaves_ + at);
      for (uint32_t k = 0; k < count; ++k) leafItems_[at + k] = i;
      at += count;
    }
    return true;
  }

  // ---- IDataObject ----
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (format == nullptr || medium == nullptr) return E_INVALIDARG;
    HRESULT query = QueryGetData(format);
    if (query != S_OK) return query;
    return Render(format, medium);
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
    if (format == nullptr) return E_INVALIDARG;
    const FORMATETC* known = Find(getFormats_, getCount_, format->cfFormat);
    if (known == nullptr) return DV_E_FORMATETC;
    if (known->dwAspect != format->dwAspect) return DV_E_DVASPECT;
    if ((known->tymed & format->tymed) == 0) return DV_E_TYMED;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    if (out) out->ptd = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override {
    if (format == nullptr || medium == nullptr) return E_INVALIDARG;
    const FORMATETC* known = Find(setFormats_, kSetFormats, format->cfFormat);
    if (known == nullptr) return DV_E_FORMATETC;
    if (known->dwAspect != format->dwAspect) return DV_E_DVASPECT;
    if (medium->tymed != format->tymed || (medium->tymed & TYMED_HGLOBAL) == 0) return DV_E_TYMED;
    if (medium->hGlobal == nullptr || GlobalSize(medium->hGlobal) < sizeof(DWORD)) return E_UNEXPECTED;
    const void* p = GlobalLock(medium->hGlobal);
    if (p == nullptr) return E_UNEXPECTED;
    DWORD value;
    std::memcpy(&value, p, sizeof value);
    GlobalUnlock(medium->hGlobal);
    *HandshakeSlot(known->cfFormat) = value;
    if (Find(getFormats_, getCount_, known->cfFormat) == nullptr && getCount_ < kMaxGetFormats) {
      getFormats_[getCount_++] = HGlobalFormat(known->cfFormat);
    }
    if (release) ReleaseStgMedium(medium);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
    if (out == nullptr) return E_INVALIDARG;
    *out = nullptr;
    if (direction == DATADIR_GET) {
      *out = CreateFormatEnumerator(getFormats_, static_cast<ULONG>(getCount_));
    } else if (direction == DATADIR_SET) {
      *out = CreateFormatEnumerator(setFormats_, kSetFormats);
    } else {
      return E_INVALIDARG;
    }
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

  // ---- own operations ----
  bool IsDisjointFrom(const ArchiveNode* node) const {
    if (node == nullptr || node->entry == nullptr || document_ == nullptr) return true;
    const ArchiveEntry* entry = node->entry;
    for (uint32_t i = 0; i < itemCount_; ++i) {
      const ArchiveNode* item = items_[i];
      if (item->entry && TreeIsAncestor(entry->node, item->entry->node)) return false;
      if (TreeSearch(const_cast<ArchiveNode*>(item), entry, SameEntry)) return false;
    }
    return true;
  }

  bool Holds(ArchiveNode* const* items, uint32_t count) const {
    return document_ != nullptr && items_ == items && itemCount_ == count;
  }

  void Items(ArchiveNode*** items, uint32_t* count) const {
    *items = items_;
    *count = itemCount_;
  }

  void SetArrivals(const std::vector<bool>& arrived) {
    receivedByArchive_ = true;
    arrived_ = arrived;
  }

  bool ItemMoved(uint32_t index) const {
    if (index >= itemCount_) return false;
    // An archive window of this process says which items it took whole. Otherwise the
    // shell took the files, all of them unless one could not be handed over.
    if (receivedByArchive_) return index < arrived_.size() && arrived_[index];
    return !reportedFailure_;
  }

  void Detach() {
    document_ = nullptr;
    items_ = nullptr;
    itemCount_ = 0;
    leafCount_ = 0;
    forClipboard_ = 0;
  }

  HRESULT Render(const FORMATETC* format, STGMEDIUM* medium) {
    std::memset(medium, 0, sizeof *medium);
    if (document_ == nullptr) return E_UNEXPECTED;
    HGLOBAL block = nullptr;
    HRESULT result;
    const UINT cf = format->cfFormat;
    if (cf == g_cfVellumixData) {
      result = RenderVellumixData(&block);
    } else if (cf == g_cfFileGroupDescriptor) {
      result = RenderDescriptors(&block);
    } else if (cf == g_cfFileContents) {
      result = RenderContents(format->lindex, &block);
    } else if (cf == g_cfPreferredDropEffect || cf == g_cfPerformedDropEffect || cf == g_cfPasteSucceeded) {
      DWORD value = *HandshakeSlot(cf);
      block = SharedBlock(&value, sizeof value);
      result = block ? S_OK : E_OUTOFMEMORY;
    } else {
      result = DV_E_FORMATETC;
    }
    if (result != S_OK) return result;
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }

 protected:
  void LastRelease() override {
    // Sent before anything is freed: the window reads the handshake values back from here.
    if (forClipboard_ && folderTree_) {
      HWND splitter = GetParent(folderTree_);
      HWND window = splitter ? GetParent(splitter) : nullptr;
      if (window) {
        SendMessageA(window, WMU_CLIPBOARD_RELEASED, reinterpret_cast<WPARAM>(items_),
                     static_cast<LPARAM>(itemCount_));
      }
    }
  }

 private:
  static int SameEntry(const ArchiveEntry* entry, const void* key) { return entry == key ? 0 : 1; }

  static const FORMATETC* Find(const FORMATETC* formats, int count, UINT cf) {
    for (int i = 0; i < count; ++i) {
      if (formats[i].cfFormat == cf) return &formats[i];
    }
    return nullptr;
  }

  DWORD* HandshakeSlot(UINT cf) {
    if (cf == g_cfPreferredDropEffect) return &preferredEffect_;
    if (cf == g_cfPerformedDropEffect) return &performedEffect_;
    return &pasteSucceeded_;
  }

  HRESULT RenderVellumixData(HGLOBAL* block) const {
    VellumixDataPayload payload = {};
    payload.sourceRef = reinterpret_cast<uintptr_t>(&document_->archiveKind);
    payload.count = itemCount_;
    payload.items = reinterpret_cast<uintptr_t>(items_);
    *block = SharedBlock(&payload, sizeof payload);
    return *block ? S_OK : E_OUTOFMEMORY;
  }

  HRESULT DescribeLeaf(uint32_t index, FILEDESCRIPTORA* fd) const {
    const ArchiveNode* leaf = leaves_[index];
    const ArchiveEntry* entry = leaf->entry;
    if (entry == nullptr) return E_UNEXPECTED;
    char name[MAX_PATH];
    // A path the descriptor cannot hold is refused rather than cut: a shortened name could
    // land two files on one another.
    if (!DescriptorName(items_[leafItems_[index]], leaf, name)) return E_UNEXPECTED;
    std::memcpy(fd->cFileName, name, std::strlen(name) + 1);
    switch (KindOf(entry)) {
      case EntryKind::Directory:
        fd->dwFlags = FD_ATTRIBUTES;
        fd->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
        return S_OK;
      case EntryKind::PakFile:
        if (entry->pakEntry == nullptr) return E_UNEXPECTED;
        fd->dwFlags = FD_FILESIZE;
        fd->nFileSizeLow = entry->pakEntry->length;
        return S_OK;
      case EntryKind::Pk3File: {
        const Pk3CentralRecord* record = entry->pk3Record;
        if (record == nullptr) return E_UNEXPECTED;
        fd->dwFlags = FD_FILESIZE;
        fd->nFileSizeLow = record->Get32(zipc::kUncompressedSize);
        const uint32_t attributes = record->Get32(zipc::kExternalAttributes);
        if (attributes != 0 && (record->Get16(zipc::kVersionMadeBy) >> 8) == 0) {
          fd->dwFlags |= FD_ATTRIBUTES;
          fd->dwFileAttributes = attributes;
        }
        FILETIME time;
        if (DosDateTimeToFileTime(record->Get16(zipc::kDate), record->Get16(zipc::kTime), &time)) {
          fd->dwFlags |= FD_CREATETIME | FD_WRITESTIME;
          fd->ftCreationTime = time;
          fd->ftLastWriteTime = time;
        }
        return S_OK;
      }
      case EntryKind::MemoryFile:
        fd->dwFlags = FD_FILESIZE;
        fd->nFileSizeLow = entry->size;
        return S_OK;
      default:
        return E_UNEXPECTED;
    }
  }

  HRESULT RenderDescriptors(HGLOBAL* block) const {
    const SIZE_T size = sizeof(UINT) + sizeof(FILEDESCRIPTORA) * static_cast<SIZE_T>(leafCount_);
    HGLOBAL made = GlobalAlloc(kShareFlags | GMEM_ZEROINIT, size);
    if (!made) return E_OUTOFMEMORY;
    auto* group = static_cast<FILEGROUPDESCRIPTORA*>(GlobalLock(made));
    if (!group) {
      GlobalFree(made);
      return E_UNEXPECTED;
    }
    group->cItems = leafCount_;
    for (uint32_t i = 0; i < leafCount_; ++i) {
      HRESULT result = DescribeLeaf(i, &group->fgd[i]);
      if (result != S_OK) {
        GlobalUnlock(made);
        GlobalFree(made);
        return result;
      }
    }
    GlobalUnlock(made);
    *block = made;
    return S_OK;
  }

  HRESULT RenderContents(LONG index, HGLOBAL* block) const {
    if (index < 0 || static_cast<uint32_t>(index) >= leafCount_) return DV_E_LINDEX;
    const ArchiveEntry* entry = leaves_[index]->entry;
    uint32_t size = 0;
    if (entry == nullptr || IsKind(entry, EntryKind::Directory) || IsKind(entry, EntryKind::Root)) {
      return DV_E_LINDEX;
    }
    if (!EntryByteSize(document_, entry, &size)) return E_UNEXPECTED;
    // An empty file is a medium without a block.
    if (size == 0) return S_OK;
    HGLOBAL made = GlobalAlloc(kShareFlags, size);
    if (!made) return E_OUTOFMEMORY;
    void* p = GlobalLock(made);
    if (!p) {
      GlobalFree(made);
      return E_UNEXPECTED;
    }
    EntryBytes bytes = {};
    const EntryLoad load = LoadEntryBytes(document_, entry, &bytes);
    const bool ok = load == EntryLoad::Ok && bytes.size == size;
    if (ok) std::memcpy(p, bytes.data, size);
    ReleaseEntryBytes(&bytes);
    GlobalUnlock(made);
    if (!ok) {
      GlobalFree(made);
      if (load != EntryLoad::Ok) ReportUnreadable(entry, load);
      return load == EntryLoad::NoMemory ? E_OUTOFMEMORY : E_UNEXPECTED;
    }
    *block = made;
    return S_OK;
  }

  // Tells the user, once per object, which entry the reader could not be given. The
  // reader (often another program) is waiting for this call, so the message is posted to
  // the window the items come from rather than shown here.
  void ReportUnreadable(const ArchiveEntry* entry, EntryLoad load) const {
    if (reportedFailure_ || folderTree_ == nullptr) return;
    reportedFailure_ = true;
    TransferState state = {0, 0, ReplaceMode::Ask};
    NoteTransferFailure(&state, entry->name, EntryLoadReason(load));
    const std::string text = TransferFailureMessage(state, "copy", "copied");
    char* block = static_cast<char*>(std::malloc(text.size() + 1));
    if (block == nullptr) return;
    std::memcpy(block, text.c_str(), text.size() + 1);
    HWND window = GetParent(GetParent(folderTree_));
    if (!PostMessageA(window, WMU_SHOW_FAILURE, reinterpret_cast<WPARAM>(block),
                      reinterpret_cast<LPARAM>("Copy")))
      std::free(block);
  }

  mutable bool reportedFailure_ = false;
  bool receivedByArchive_ = false;
  std::vector<bool> arrived_;
  int getCount_ = 0;
  FORMATETC getFormats_[kMaxGetFormats] = {};
  FORMATETC setFormats_[kSetFormats] = {};
  DWORD preferredEffect_ = 0;
  DWORD performedEffect_ = 0;
  DWORD pasteSucceeded_ = 0;
  int forClipboard_ = 0;
  ArchiveDocument* document_ = nullptr;
  HWND folderTree_ = nullptr;
  ArchiveNode** items_ = nullptr;
  ArchiveNode** leaves_ = nullptr;
  uint32_t* leafItems_ = nullptr;  // the item each leaf belongs to
  uint32_t itemCount_ = 0;
  uint32_t leafCount_ = 0;
};

ArchiveDataObject* CreateDataObject(ArchiveDocument* document, HWND folderTree, ArchiveNode** items,
                                    uint32_t itemCount, int forClipboard) {
  if (document == nullptr || items == nullptr || itemCount == 0) return nullptr;
  auto* object = new (std::nothrow) ArchiveDataObject;
  if (object == nullptr) return nullptr;
  if (!object->Init(document, folderTree, items, itemCount, forClipboard)) {
    object->Detach();
    object->Release();
    return nullptr;
  }
  return object;
}

IDataObject* AsDataObject(ArchiveDataObject* object) {
  return object;
}

bool IsDisjointFrom(ArchiveDataObject* object, const ArchiveNode* node) {
  return object ? object->IsDisjointFrom(node) : true;
}

bool DataObjectHolds(ArchiveDataObject* object, ArchiveNode* const* items, uint32_t count) {
  return object && object->Holds(items, count);
}

void DataObjectItems(ArchiveDataObject* object, ArchiveNode*** items, uint32_t* count) {
  *items = nullptr;
  *count = 0;
  if (object) object->Items(items, count);
}

void DataObjectSetArrivals(ArchiveDataObject* object, const std::vector<bool>& arrived) {
  if (object) object->SetArrivals(arrived);
}

bool DataObjectItemMoved(ArchiveDataObject* object, uint32_t index) {
  return object && object->ItemMoved(index);
}

void DetachDataObject(ArchiveDataObject* object) {
  if (object) object->Detach();
}

bool DescriptorName(const ArchiveNode* item, const ArchiveNode* leaf, char (&name)[MAX_PATH]) {
  name[0] = '\0';
  const ArchiveNode* chain[MAX_PATH];
  size_t depth = 0;
  for (const ArchiveNode* n = leaf; n; n = n->parent) {
    if (depth == MAX_PATH) return false;
    chain[depth++] = n;
    if (n == item) break;
  }
  size_t length = 0;
  while (depth > 0) {
    const ArchiveEntry* entry = chain[--depth]->entry;
    if (!entry || !entry->name || !AppendComponent(entry->name, name, &length)) return false;
  }
  return length > 0;
}
