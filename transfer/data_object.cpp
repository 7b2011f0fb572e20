#include "transfer/data_object.h"

#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <new>

#include "archive/document.h"
#include "archive/entry_data.h"
#include "archive/format.h"
#include "services/code_page.h"
#include "services/core/archive_text.h"
#include "services/core/path_length.h"
#include "services/globals.h"
#include "services/messages.h"
#include "transfer/com_base.h"
#include "transfer/core/transfer_state.h"
#include "transfer/format_enum.h"

namespace {

constexpr int kMaxGetFormats = 7;
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

// Appends one component to name, made safe (bytes of UTF-8 past ASCII are kept as they are).
void AppendComponent(const std::string& component, std::string* name) {
  if (!name->empty()) *name += '\\';
  if (component.empty()) {
    *name += '_';
    return;
  }
  const bool onlyDots = component.find_first_not_of('.') == std::string::npos;
  for (char c : component) *name += onlyDots || FileSystemUnsafe(c) ? '_' : c;
}

// What is known of a file beside its bytes: when it was last changed (the entry's time,
// the archive file's for a format that stores none, an imported file's own), and the
// attributes its record gives when they are a Windows file's.
struct ShellFileFacts {
  bool hasTime = false;
  FILETIME time = {};  // UTC, as the shell reads it
  bool hasAttributes = false;
  uint32_t attributes = 0;
};

ShellFileFacts ShellFactsOf(const ArchiveDocument* doc, const Node* file) {
  ShellFileFacts facts;
  int64_t modified = 0;
  if (EntryModified(doc, file, &modified) && modified >= 0) {
    // 100-nanosecond steps since 1601.
    const uint64_t steps = (static_cast<uint64_t>(modified) + 11644473600ull) * 10000000ull;
    facts.time.dwLowDateTime = static_cast<DWORD>(steps);
    facts.time.dwHighDateTime = static_cast<DWORD>(steps >> 32);
    facts.hasTime = true;
  }
  const SourceEntry* entry = file->source();
  if (entry == nullptr || !doc->source || entry->index >= doc->source->Count()) return facts;
  const EntryInfo info = doc->source->Info(entry->index);
  facts.hasAttributes = info.hasDosAttributes;
  facts.attributes = info.dosAttributes;
  return facts;
}

}  // namespace

class ArchiveDataObject : public ComObject<IDataObject> {
 public:
  ArchiveDataObject() : ComObject(kDataObjectInterfaces) {}
  bool Init(ArchiveDocument* document, HWND folderTree, const std::vector<NodeId>& items, int forClipboard) {
    static uint64_t lastLink = 0;
    link_ = ++lastLink;
    document_ = document;
    folderTree_ = folderTree;
    items_ = items;
    forClipboard_ = forClipboard;
    getFormats_[0] = HGlobalFormat(g_cfVellumixData);
    // The wide descriptors first: they carry every name whatever the reader's code page.
    getFormats_[1] = HGlobalFormat(g_cfFileGroupDescriptorW);
    getFormats_[2] = HGlobalFormat(g_cfFileGroupDescriptor);
    getFormats_[3] = HGlobalFormat(g_cfFileContents);
    getCount_ = 4;
    setFormats_[0] = HGlobalFormat(g_cfPreferredDropEffect);
    setFormats_[1] = HGlobalFormat(g_cfPerformedDropEffect);
    setFormats_[2] = HGlobalFormat(g_cfPasteSucceeded);
    // The files and empty folders the shell is offered, fixed now: the descriptors and the
    // contents the shell asks for later by number must name the same ones.
    // Inside a folder, of a path stored more than once only the file shown goes.
    uint64_t total = 0;
    for (NodeId id : items) total += CountLeaves(document->tree->Find(id));
    if (total > 0xFFFFFFu / 2) return false;
    Shadows shadows(document->source.get());
    for (uint32_t i = 0; i < items.size(); ++i) {
      const Node* item = document->tree->Find(items[i]);
      for (const Node* n = item; n; n = NextInSubtree(n, item))
        if (n->firstChild() == nullptr && (n == item || !shadows.IsShadowed(n))) leaves_.push_back({n->id(), i});
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
  bool IsDisjointFrom(const Node* node) const {
    if (node == nullptr || document_ == nullptr) return true;
    for (NodeId id : items_) {
      const Node* item = document_->tree->Find(id);
      if (item == nullptr) continue;
      if (item == node || IsAncestor(node, item) || IsAncestor(item, node)) return false;
    }
    return true;
  }

  bool Holds(const NodeId* items, uint32_t count) const {
    return document_ != nullptr && items_.data() == items && items_.size() == count;
  }

  std::vector<NodeId> Items() const { return items_; }

  uint64_t Link() const { return link_; }
  void SetArrivals(const std::vector<bool>& arrived) {
    receivedByArchive_ = true;
    arrived_ = arrived;
  }

  bool ItemMoved(uint32_t index) const {
    if (index >= items_.size()) return false;
    // An archive window of this process says which items it took whole. Otherwise the
    // shell took the files, all of them unless one could not be handed over.
    if (receivedByArchive_) return index < arrived_.size() && arrived_[index];
    return !reportedFailure_;
  }

  void Detach() {
    document_ = nullptr;
    items_.clear();
    leaves_.clear();
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
    } else if (cf == g_cfFileGroupDescriptorW) {
      result = RenderDescriptors<FILEGROUPDESCRIPTORW>(&block);
    } else if (cf == g_cfFileGroupDescriptor) {
      result = RenderDescriptors<FILEGROUPDESCRIPTORA>(&block);
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
        SendMessageA(window, WMU_CLIPBOARD_RELEASED, reinterpret_cast<WPARAM>(items_.data()),
                     static_cast<LPARAM>(items_.size()));
      }
    }
  }

 private:
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
    payload.sourceRef = reinterpret_cast<uintptr_t>(document_);
    payload.count = static_cast<uint32_t>(items_.size());
    payload.items = reinterpret_cast<uintptr_t>(items_.data());
    *block = SharedBlock(&payload, sizeof payload);
    return *block ? S_OK : E_OUTOFMEMORY;
  }

  // The leaf and the item it lies in, as they are now; false when either is gone.
  bool LeafAt(uint32_t index, const Node** leaf, const Node** item) const {
    if (document_ == nullptr || index >= leaves_.size()) return false;
    *leaf = document_->tree->Find(leaves_[index].node);
    *item = document_->tree->Find(items_[leaves_[index].item]);
    return *leaf && *item;
  }

  // Everything a leaf's descriptor says but its name, which goes to *name (UTF-8).
  template <typename Descriptor>
  HRESULT DescribeLeaf(uint32_t index, Descriptor* fd, std::string* name) const {
    const Node* leaf;
    const Node* item;
    if (!LeafAt(index, &leaf, &item)) return E_UNEXPECTED;
    // A path the descriptor cannot hold is refused rather than cut: a shortened name could
    // land two files on one another.
    if (!DescriptorName(item, leaf, name)) return E_UNEXPECTED;
    if (!leaf->IsFile()) {
      fd->dwFlags = FD_ATTRIBUTES;
      fd->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
      return S_OK;
    }
    fd->dwFlags = FD_FILESIZE;
    fd->nFileSizeLow = leaf->size();
    // What the entry's own record says of it goes along: its time, and its attributes when
    // they are a Windows file's.
    const ShellFileFacts facts = ShellFactsOf(document_, leaf);
    if (facts.hasAttributes) {
      fd->dwFlags |= FD_ATTRIBUTES;
      fd->dwFileAttributes = facts.attributes;
    }
    if (facts.hasTime) {
      fd->dwFlags |= FD_CREATETIME | FD_WRITESTIME;
      fd->ftCreationTime = facts.time;
      fd->ftLastWriteTime = facts.time;
    }
    return S_OK;
  }

  // The name into a wide descriptor: converted from UTF-8, the tree's names.
  static bool PutName(const std::string& name, FILEDESCRIPTORW* fd) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, fd->cFileName, MAX_PATH);
    return n > 1;
  }
  // The name into an ANSI descriptor, in the process's code page; false when it takes more
  // bytes there than the descriptor holds.
  static bool PutName(const std::string& name, FILEDESCRIPTORA* fd) {
    const std::string ansi = AnsiDescriptorName(name, GetACP());
    if (ansi.empty() || ansi.size() > kDescriptorNameMax) return false;
    std::memcpy(fd->cFileName, ansi.c_str(), ansi.size() + 1);
    return true;
  }

  template <typename Group>
  HRESULT RenderDescriptors(HGLOBAL* block) const {
    const SIZE_T size = sizeof(UINT) + sizeof(Group::fgd[0]) * static_cast<SIZE_T>(leaves_.size());
    HGLOBAL made = GlobalAlloc(kShareFlags | GMEM_ZEROINIT, size);
    if (!made) return E_OUTOFMEMORY;
    auto* group = static_cast<Group*>(GlobalLock(made));
    if (!group) {
      GlobalFree(made);
      return E_UNEXPECTED;
    }
    group->cItems = static_cast<UINT>(leaves_.size());
    for (uint32_t i = 0; i < leaves_.size(); ++i) {
      std::string name;
      HRESULT result = DescribeLeaf(i, &group->fgd[i], &name);
      if (result == S_OK && !PutName(name, &group->fgd[i])) result = E_UNEXPECTED;
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
    if (index < 0 || static_cast<uint32_t>(index) >= leaves_.size()) return DV_E_LINDEX;
    const Node* leaf;
    const Node* item;
    if (!LeafAt(static_cast<uint32_t>(index), &leaf, &item)) return E_UNEXPECTED;
    if (!leaf->IsFile()) return DV_E_LINDEX;
    const uint32_t size = leaf->size();
    // An empty file is a medium without a block.
    if (size == 0) return S_OK;
    HGLOBAL made = GlobalAlloc(kShareFlags, size);
    if (!made) return E_OUTOFMEMORY;
    void* p = GlobalLock(made);
    if (!p) {
      GlobalFree(made);
      return E_UNEXPECTED;
    }
    SharedBytes bytes;
    const EntryLoad load = LoadEntryBytes(document_, leaf, &bytes);
    const bool ok = load == EntryLoad::Ok && bytes && bytes->size() == size;
    if (ok) std::memcpy(p, bytes->data(), size);
    GlobalUnlock(made);
    if (!ok) {
      GlobalFree(made);
      if (load != EntryLoad::Ok) ReportUnreadable(leaf, load);
      return load == EntryLoad::NoMemory ? E_OUTOFMEMORY : E_UNEXPECTED;
    }
    *block = made;
    return S_OK;
  }

  // Tells the user, once per object, which entry the reader could not be given. The
  // reader (often another program) is waiting for this call, so the message is posted to
  // the window the items come from rather than shown here.
  void ReportUnreadable(const Node* leaf, EntryLoad load) const {
    if (reportedFailure_ || folderTree_ == nullptr) return;
    reportedFailure_ = true;
    TransferState state = {0, 0, ReplaceMode::Ask};
    NoteTransferFailure(&state, leaf->name().c_str(), EntryLoadReason(load));
    auto* text = new std::string(TransferFailureMessage(state, "copy", "copied"));
    HWND window = GetParent(GetParent(folderTree_));
    if (!PostMessageA(window, WMU_SHOW_FAILURE, reinterpret_cast<WPARAM>(text), reinterpret_cast<LPARAM>("Copy")))
      delete text;
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
  uint64_t link_ = 0;
  ArchiveDocument* document_ = nullptr;
  HWND folderTree_ = nullptr;
  std::vector<NodeId> items_;
  struct Leaf {
    NodeId node;
    uint32_t item;  // the index of the item it lies in
  };
  std::vector<Leaf> leaves_;
};

ArchiveDataObject* CreateDataObject(ArchiveDocument* document, HWND folderTree, const std::vector<NodeId>& items,
                                    int forClipboard) {
  if (document == nullptr || !document->tree || items.empty()) return nullptr;
  for (NodeId id : items)
    if (document->tree->Find(id) == nullptr) return nullptr;
  auto* object = new (std::nothrow) ArchiveDataObject;
  if (object == nullptr) return nullptr;
  if (!object->Init(document, folderTree, items, forClipboard)) {
    object->Detach();
    object->Release();
    return nullptr;
  }
  return object;
}

IDataObject* AsDataObject(ArchiveDataObject* object) {
  return object;
}

bool IsDisjointFrom(ArchiveDataObject* object, const Node* node) {
  return object ? object->IsDisjointFrom(node) : true;
}

bool DataObjectHolds(ArchiveDataObject* object, const NodeId* items, uint32_t count) {
  return object && object->Holds(items, count);
}

std::vector<NodeId> DataObjectItems(ArchiveDataObject* object) {
  return object ? object->Items() : std::vector<NodeId>();
}

uint64_t DataObjectLink(ArchiveDataObject* object) { return object ? object->Link() : 0; }

void DataObjectSetArrivals(ArchiveDataObject* object, const std::vector<bool>& arrived) {
  if (object) object->SetArrivals(arrived);
}

bool DataObjectItemMoved(ArchiveDataObject* object, uint32_t index) {
  return object && object->ItemMoved(index);
}

void DetachDataObject(ArchiveDataObject* object) {
  if (object) object->Detach();
}

bool DescriptorName(const Node* item, const Node* leaf, std::string* name) {
  name->clear();
  std::vector<const Node*> chain;
  for (const Node* n = leaf; n; n = n->parent()) {
    // Every component takes a character and a separator: a deeper path cannot fit.
    if (chain.size() > kDescriptorNameMax) return false;
    chain.push_back(n);
    if (n == item) break;
  }
  for (size_t i = chain.size(); i-- > 0;) {
    AppendComponent(chain[i]->name(), name);
    if (Utf16Length(*name) > kDescriptorNameMax) {
      name->clear();
      return false;
    }
  }
  return !name->empty();
}

std::string AnsiDescriptorName(const std::string& name, UINT codePage) {
  if (codePage == CP_UTF8) return name;
  std::wstring wide(name.size(), L'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), &wide[0],
                                    static_cast<int>(wide.size()));
  return n > 0 ? NarrowInCodePage(wide.data(), static_cast<size_t>(n), codePage) : std::string();
}
