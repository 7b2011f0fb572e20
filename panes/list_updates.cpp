// The item list's work that waits for the messages before it: results of the list's
// worker, and the queueing and fitting after items came in or the list scrolled.
#include <unordered_map>
#include <vector>

#include "panes/list_columns.h"
#include "panes/list_state.h"
#include "panes/thumbnails.h"
#include "panes/views.h"
#include "services/core/window_state.h"

namespace {

enum : WPARAM { kResultsWaiting = 0, kListChanged = 1, kListScrolled = 2 };

}  // namespace

void ScheduleListChanged(WindowDocument* doc) {
  ListState* state = ListStateOf(doc);
  if (state->changeScheduled) return;
  state->changeScheduled = PostMessageA(doc->itemList, WMU_LIST_WORK_DONE, kListChanged, 0) != FALSE;
  if (!state->changeScheduled) ListChanged(doc);
}

void ScheduleListScrolled(WindowDocument* doc) {
  if (doc->viewMode != kViewThumbnails) return;
  ListState* state = ListStateOf(doc);
  if (state->scrollScheduled) return;
  state->scrollScheduled = PostMessageA(doc->itemList, WMU_LIST_WORK_DONE, kListScrolled, 0) != FALSE;
}

void OnListWorkDone(HWND list, WPARAM what) {
  WindowDocument* doc = DocumentOf(ArchiveWindowOfPane(list));
  if (doc == nullptr) return;
  ListState* state = ListStateOf(doc);
  if (what == kListChanged) {
    state->changeScheduled = false;
    ListChanged(doc);
    return;
  }
  if (what == kListScrolled) {
    state->scrollScheduled = false;
    QueueThumbnails(doc);
    return;
  }
  const std::vector<ListResult> results = state->work.Take();
  // Many results find their items through one walk of the list, a few search for theirs.
  std::unordered_map<NodeId, int> indexes;
  const bool walk = results.size() > 8;
  if (walk) {
    for (int i = 0, count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); i < count; ++i)
      if (const Node* node = ListItemNode(list, i)) indexes[node->id()] = i;
  }
  auto indexOf = [&](NodeId id) {
    if (walk) {
      const auto found = indexes.find(id);
      return found == indexes.end() ? -1 : found->second;
    }
    const Node* node = doc->tree ? doc->tree->Find(id) : nullptr;
    return node ? FindListItem(list, node) : -1;
  };
  bool crcs = false;
  for (const ListResult& result : results) {
    if (result.kind == ListJobKind::Crc) {
      ShowWorkedOutCrc(doc, result, indexOf(result.node));
      crcs = true;
    } else {
      ShowMadeThumbnail(doc, result, indexOf(result.node));
    }
  }
  if (!crcs) return;
  if (doc->viewMode == kViewDetails) FitColumnWidths(doc, kCrcColumn);
  // An order by CRC-32 takes the values as they come.
  if (ColumnOfSortKey(doc->sortKey) == kCrcColumn) SortItemList(doc);
}
