#include "window/viewer_edits.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive/entry_data.h"
#include "archive/quoted_name.h"
#include "panes/views.h"
#include "services/leftovers.h"
#include "services/message_box.h"
#include "services/messages.h"
#include "transfer/core/disk_files.h"
#include "transfer/core/node_copy.h"
#include "window/folder_status.h"

namespace {

constexpr char kViewCaption[] = "View";

bool FileState(const char* path, uint64_t* size, FILETIME* written) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return false;
  *size = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  *written = data.ftLastWriteTime;
  return true;
}

// Whether the copy's bytes equal the entry's. Asked only when its size and time are the
// same, which an edit made in place within the clock's step leaves them.
bool SameBytesAsEntry(const WindowDocument* doc, const ArchiveEntry* entry, const char* path) {
  uint8_t* copy = nullptr;
  const int64_t length = ReadWholeFile(path, &copy);
  EntryBytes bytes;
  bool same = false;
  if (length >= 0 && LoadEntryBytes(doc, entry, &bytes) == EntryLoad::Ok) {
    same = static_cast<uint64_t>(length) == bytes.size && (length == 0 || std::memcmp(copy, bytes.data, bytes.size) == 0);
    ReleaseEntryBytes(&bytes);
  }
  std::free(copy);
  return same;
}

bool Changed(const WindowDocument* doc, const ViewedCopy& copy) {
  uint64_t size = 0;
  FILETIME written{};
  // A copy the program deleted or renamed away leaves nothing to take back.
  if (!FileState(copy.path.c_str(), &size, &written)) return false;
  if (size != copy.size || CompareFileTime(&written, &copy.written) != 0) return true;
  return !SameBytesAsEntry(doc, copy.entry, copy.path.c_str());
}

void DeleteCopy(const std::string& path) {
  if (DeleteFileA(path.c_str())) ForgetTemporaryFile(path.c_str());
}

// Whether entry is still one of the document's, under the name its copy was made for: it
// may have been deleted, or cut away, while its viewer ran.
bool StillInDocument(const WindowDocument* doc, const ArchiveEntry* entry, const std::string& path) {
  for (const ArchiveNode* n = doc->root; n; n = NextInSubtree(n, doc->root)) {
    if (n->entry != entry) continue;
    const size_t name = entry->name ? std::strlen(entry->name) : 0;
    return name > 0 && path.size() > name && path.compare(path.size() - name, name, entry->name) == 0;
  }
  return false;
}

// Makes the copy's bytes the entry's; false after saying why they could not be read.
bool TakeCopy(HWND window, WindowDocument* doc, ArchiveEntry* entry, const std::string& path) {
  uint8_t* data = nullptr;
  const int64_t length = ReadWholeFile(path.c_str(), &data);
  if (length < 0) {
    const std::string text = "Can't update \"" + PrintableName(entry->name) + "\": its changed copy could not be read.";
    ShowErrorMessage(window, text.c_str(), kViewCaption);
    return false;
  }
  ReplaceWithMemoryFile(entry, data, static_cast<uint32_t>(length));
  MarkModified(window);
  if (FindListItem(doc->itemList, entry) >= 0) RefreshListColumn(doc->itemList, 1);
  ScheduleFolderStatus(window);
  return true;
}

}  // namespace

bool DescribeViewedCopy(ArchiveEntry* entry, const char* path, ViewedCopy* copy) {
  copy->entry = entry;
  copy->path = path;
  copy->ended = false;
  return FileState(path, &copy->size, &copy->written);
}

void OnViewerEnded(HWND window, WindowDocument* doc, const ViewerEnd& end) {
  if (end.entry) end.entry->kind &= ~kViewingFlag;
  const char* path = end.path;
  if (path == nullptr) return;
  if (doc) {
    auto& copies = doc->viewedCopies;
    auto it = std::find_if(copies.begin(), copies.end(),
                           [&](const ViewedCopy& c) { return !c.ended && c.path == path && c.entry == end.entry; });
    if (it != copies.end()) {
      if (end.programEnded && Changed(doc, *it)) {
        it->ended = true;
        PostMessageA(window, WMU_VIEWED_COPY_CHANGED, 0, 0);
        return;
      }
      copies.erase(it);
    }
  }
  DeleteCopy(path);
}

void OfferViewedEdits(HWND window, WindowDocument* doc) {
  if (doc == nullptr) return;
  for (;;) {
    auto& copies = doc->viewedCopies;
    auto it = std::find_if(copies.begin(), copies.end(), [](const ViewedCopy& c) { return c.ended; });
    if (it == copies.end()) return;
    // Taken off the list first: a viewer ending while the question is open asks its own.
    const ViewedCopy copy = *it;
    copies.erase(it);
    ArchiveEntry* entry = copy.entry;
    if (!StillInDocument(doc, entry, copy.path)) {
      DeleteCopy(copy.path);
      continue;
    }
    // Viewed again meanwhile: the copy now belongs to the new viewer.
    if (entry->kind & kViewingFlag) continue;
    const std::string question = PrintableName(entry->name) + " was changed. Update it in the archive?";
    if (MessageBoxA(window, question.c_str(), kViewCaption, MB_YESNO | MB_ICONQUESTION) == IDYES &&
        StillInDocument(doc, entry, copy.path))
      TakeCopy(window, doc, entry, copy.path);
    DeleteCopy(copy.path);
  }
}

void DropViewedCopies(WindowDocument* doc) {
  if (doc == nullptr) return;
  for (const ViewedCopy& copy : doc->viewedCopies)
    if (copy.ended) DeleteCopy(copy.path);
  doc->viewedCopies.clear();
}
