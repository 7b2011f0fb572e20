#include "window/viewer_edits.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive/document.h"
#include "archive/entry_data.h"
#include "archive/quoted_name.h"
#include "panes/views.h"
#include "services/leftovers.h"
#include "services/message_box.h"
#include "services/messages.h"
#include "transfer/core/disk_files.h"
#include "window/command_state.h"
#include "window/folder_status.h"
#include "window/undo.h"

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
bool SameBytesAsEntry(const WindowDocument* doc, const Node* node, const char* path) {
  SharedBytes copy;
  const int64_t length = ReadWholeFile(path, &copy);
  SharedBytes bytes;
  if (node == nullptr || length < 0 || LoadEntryBytes(doc, node, &bytes) != EntryLoad::Ok) return false;
  const size_t size = bytes ? bytes->size() : 0;
  return static_cast<uint64_t>(length) == size && (size == 0 || std::memcmp(copy->data(), bytes->data(), size) == 0);
}

bool Changed(const WindowDocument* doc, const ViewedCopy& copy) {
  uint64_t size = 0;
  FILETIME written{};
  // A copy the program deleted or renamed away leaves nothing to take back.
  if (!FileState(copy.path.c_str(), &size, &written)) return false;
  if (size != copy.size || CompareFileTime(&written, &copy.written) != 0) return true;
  return !SameBytesAsEntry(doc, doc->tree->Find(copy.node), copy.path.c_str());
}

void DeleteCopy(const std::string& path) {
  if (DeleteFileA(path.c_str())) ForgetTemporaryFile(path.c_str());
}

// The file the copy was made of, while it is still one of the document's under the name
// its copy was made for: it may have been deleted, or cut away, while its viewer ran.
Node* StillInDocument(const WindowDocument* doc, NodeId id, const std::string& path) {
  Node* node = doc->tree->Find(id);
  if (node == nullptr || node->parent() == nullptr) return nullptr;
  const std::string& name = node->name();
  const bool same = !name.empty() && path.size() > name.size() &&
                    path.compare(path.size() - name.size(), name.size(), name) == 0;
  return same ? node : nullptr;
}

// Makes the copy's bytes the file's; false after saying why they could not be read.
bool TakeCopy(HWND window, WindowDocument* doc, Node* node, const std::string& path) {
  SharedBytes bytes;
  if (ReadWholeFile(path.c_str(), &bytes) < 0) {
    const std::string text = "Can't update \"" + PrintableName(node->name()) + "\": its changed copy could not be read.";
    ShowErrorMessage(window, text.c_str(), kViewCaption);
    return false;
  }
  {
    EditScope step(doc, "Update From Viewer");
    doc->tree->SetData(node, MemoryBytes{std::move(bytes)});
  }
  MarkModified(window);
  UpdateCommandState(window, doc);
  if (FindListItem(doc->itemList, node) >= 0) RefreshListColumn(doc->itemList, 1);
  ScheduleFolderStatus(window);
  return true;
}

}  // namespace

bool DescribeViewedCopy(const Node* node, const char* path, ViewedCopy* copy) {
  copy->node = node->id();
  copy->path = path;
  copy->ended = false;
  return FileState(path, &copy->size, &copy->written);
}

void OnViewerEnded(HWND window, WindowDocument* doc, const ViewerEnd& end) {
  if (doc && end.node != kNoNode) doc->viewing.erase(end.node);
  const char* path = end.path;
  if (path == nullptr) return;
  if (doc) {
    auto& copies = doc->viewedCopies;
    auto it = std::find_if(copies.begin(), copies.end(),
                           [&](const ViewedCopy& c) { return !c.ended && c.path == path && c.node == end.node; });
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
    Node* node = StillInDocument(doc, copy.node, copy.path);
    if (node == nullptr) {
      DeleteCopy(copy.path);
      continue;
    }
    // Viewed again meanwhile: the copy now belongs to the new viewer.
    if (doc->viewing.count(copy.node)) continue;
    if (IsGameFolderView(doc)) {
      // A game folder takes no edit, and the user's work is not thrown away: the changed copy
      // becomes theirs, kept where the viewer left it.
      ForgetTemporaryFile(copy.path.c_str());
      const std::string text = PrintableName(node->name()) +
                               " was changed, but a game folder is read-only. The changed copy is kept as " +
                               PrintableName(copy.path) + ".";
      MessageBoxA(window, text.c_str(), kViewCaption, MB_OK | MB_ICONINFORMATION);
      continue;
    }
    const std::string question = PrintableName(node->name()) + " was changed. Update it in the archive?";
    if (MessageBoxA(window, question.c_str(), kViewCaption, MB_YESNO | MB_ICONQUESTION) == IDYES &&
        (node = StillInDocument(doc, copy.node, copy.path)) != nullptr)
      TakeCopy(window, doc, node, copy.path);
    DeleteCopy(copy.path);
  }
}

void DropViewedCopies(WindowDocument* doc) {
  if (doc == nullptr) return;
  for (const ViewedCopy& copy : doc->viewedCopies)
    if (copy.ended) DeleteCopy(copy.path);
  doc->viewedCopies.clear();
}
