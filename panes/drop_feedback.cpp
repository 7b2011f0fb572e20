#include "panes/drop_feedback.h"

#include "panes/views.h"
#include "services/dpi.h"
#include "services/globals.h"

namespace {

// How near a pane's edge (at 96 DPI) the cursor makes it scroll.
constexpr int kScrollMarginAt96 = 20;
constexpr DWORD kScrollDelayMs = 200;
constexpr DWORD kExpandDelayMs = 2000;

DWORD SystemClock() { return GetTickCount(); }

}  // namespace

PaneDropFeedback::PaneDropFeedback(WindowDocument* document) : document_(document), clock_(SystemClock) {}

void PaneDropFeedback::SetClock(DropTargetClock clock) { clock_ = clock ? clock : SystemClock; }

void PaneDropFeedback::Reset() {
  pane_ = 0;
  paneWindow_ = nullptr;
  targetKind_ = NoTarget;
  scrollState_ = ScrollState::Idle;
}

bool PaneDropFeedback::PreviousWasHighlighted() const {
  return (prevKind_ == ListItem && !prevListItemIsFile_) || prevKind_ == TreeItem;
}

void PaneDropFeedback::ComputeScrollZone(HWND pane, bool list) {
  RECT client = {};
  GetClientRect(pane, &client);
  const int margin = ScaleToDpi(kScrollMarginAt96, WindowDpi(pane));
  inner_ = client;
  inner_.top += margin;
  inner_.bottom -= margin;
  if (list) {
    HWND header = GetDlgItem(pane, 0);
    RECT headerRect = {};
    const int headerHeight =
        header && IsWindowVisible(header) && GetWindowRect(header, &headerRect) ? headerRect.bottom - headerRect.top : 0;
    inner_.top = client.top + headerHeight + margin;
    inner_.left += margin;
    inner_.right -= margin;
  }
}

bool PaneDropFeedback::Track(POINT point, DWORD* effect) {
  prevPane_ = pane_;
  prevKind_ = targetKind_;
  prevListItemIsFile_ = listItemIsFile_;
  prevListIndex_ = listIndex_;
  prevTreeItem_ = treeItem_;
  HWND under = WindowFromPoint(point);
  const bool tree = document_ && under && under == document_->folderTree;
  const bool list = document_ && under && under == document_->itemList;
  if (!tree && !list) {
    *effect = DROPEFFECT_NONE;
    targetKind_ = NoTarget;
    return PreviousWasHighlighted() ? 1 : 0;
  }
  const ATOM atom = tree ? g_folderTreeAtom : g_itemListAtom;
  if (atom != prevPane_ || under != paneWindow_) {
    scrollState_ = ScrollState::Idle;
    ComputeScrollZone(under, list);
  }
  pane_ = atom;
  paneWindow_ = under;
  POINT p = point;
  ScreenToClient(under, &p);
  const DWORD chosen = *effect & ~DROPEFFECT_SCROLL;
  if (chosen != DROPEFFECT_COPY && chosen != DROPEFFECT_MOVE) {
    targetKind_ = NoTarget;
    return PreviousWasHighlighted() ? 1 : 0;
  }
  return tree ? UpdateTreeTarget(p, effect) : UpdateListTarget(p, effect);
}

int PaneDropFeedback::UpdateTreeTarget(POINT p, DWORD* effect) {
  HWND tree = document_->folderTree;
  targetKind_ = TreeItem;
  TVHITTESTINFO hit = {};
  hit.pt = p;
  HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  HTREEITEM root = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
  if (!item) item = root;
  treeItem_ = item;
  switch (scrollState_) {
    case ScrollState::Idle:
      waitStart_ = clock_();
      if (p.y < inner_.top && item != root) {
        scrollState_ = ScrollState::ScrollUp;
      } else if (p.y >= inner_.bottom &&
                 SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXTVISIBLE, reinterpret_cast<LPARAM>(item))) {
        scrollState_ = ScrollState::ScrollDown;
      } else if (pane_ == prevPane_ && prevKind_ == TreeItem && item == prevTreeItem_) {
        scrollState_ = ScrollState::HoverExpand;
      }
      break;
    case ScrollState::ScrollUp:
      if (p.y < inner_.top) {
        if (Elapsed(kScrollDelayMs)) *effect |= DROPEFFECT_SCROLL;
      } else {
        scrollState_ = ScrollState::Idle;
      }
      break;
    case ScrollState::ScrollDown:
      if (p.y >= inner_.bottom) {
        if (Elapsed(kScrollDelayMs)) *effect |= DROPEFFECT_SCROLL;
      } else {
        scrollState_ = ScrollState::Idle;
      }
      break;
    case ScrollState::HoverExpand:
      if (item == prevTreeItem_) {
        if (Elapsed(kExpandDelayMs)) {
          TVITEMA state = {};
          state.mask = TVIF_STATE | TVIF_HANDLE;
          state.hItem = item;
          state.stateMask = TVIS_EXPANDED;
          if (!SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&state)) ||
              !(state.state & TVIS_EXPANDED)) {
            *effect |= DROPEFFECT_SCROLL;
          } else {
            scrollState_ = ScrollState::Idle;
          }
        }
      } else {
        scrollState_ = ScrollState::Idle;
      }
      break;
    default:
      scrollState_ = ScrollState::Idle;
      break;
  }
  const bool scroll = (*effect & DROPEFFECT_SCROLL) != 0;
  return prevKind_ == TreeItem && prevTreeItem_ == treeItem_ && !scroll ? 0 : 1;
}

// Whether the scroll bar of bar can still move towards its minimum (up) or maximum.
bool PaneDropFeedback::CanScroll(int bar, bool towardsMinimum) {
  SCROLLINFO info = {};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  if (!GetScrollInfo(document_->itemList, bar, &info)) return false;
  if (towardsMinimum) return info.nPos > info.nMin;
  return info.nPos <= info.nMax - static_cast<int>(info.nPage);
}

void PaneDropFeedback::ListScrollStep(bool inZone, int bar, bool towardsMinimum, DWORD* effect) {
  if (!inZone) {
    scrollState_ = ScrollState::Idle;
    return;
  }
  if (!Elapsed(kScrollDelayMs)) return;
  if (CanScroll(bar, towardsMinimum)) {
    *effect |= DROPEFFECT_SCROLL;
  } else {
    scrollState_ = ScrollState::Idle;
  }
}

int PaneDropFeedback::UpdateListTarget(POINT p, DWORD* effect) {
  HWND list = document_->itemList;
  LVHITTESTINFO hit = {};
  hit.pt = p;
  int index = static_cast<int>(SendMessageA(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  if (!(hit.flags & LVHT_ONITEM)) index = -1;
  listIndex_ = index;
  switch (scrollState_) {
    case ScrollState::Idle:
      waitStart_ = clock_();
      if (p.y < inner_.top) scrollState_ = ScrollState::ScrollUp;
      else if (p.y >= inner_.bottom) scrollState_ = ScrollState::ScrollDown;
      else if (p.x < inner_.left) scrollState_ = ScrollState::ScrollLeft;
      else if (p.x >= inner_.right) scrollState_ = ScrollState::ScrollRight;
      break;
    case ScrollState::ScrollUp: ListScrollStep(p.y < inner_.top, SB_VERT, true, effect); break;
    case ScrollState::ScrollDown: ListScrollStep(p.y >= inner_.bottom, SB_VERT, false, effect); break;
    case ScrollState::ScrollLeft: ListScrollStep(p.x < inner_.left, SB_HORZ, true, effect); break;
    case ScrollState::ScrollRight: ListScrollStep(p.x >= inner_.right, SB_HORZ, false, effect); break;
    default: scrollState_ = ScrollState::Idle; break;
  }
  const bool scroll = (*effect & DROPEFFECT_SCROLL) != 0;
  if (index < 0) {
    // Empty list space stands for the folder the list shows.
    targetKind_ = TreeItem;
    treeItem_ = CurrentFolderItem(document_->folderTree);
    if (prevKind_ == ListItem) return prevListItemIsFile_ && !scroll ? 0 : 1;
    if (prevKind_ == TreeItem) return prevTreeItem_ == treeItem_ && !scroll ? 0 : 1;
    return 0;
  }
  targetKind_ = ListItem;
  const Node* node = ListItemNode(list, index);
  listItemIsFile_ = !(node && node->IsDirectory());
  if (prevKind_ == ListItem) {
    return (prevListIndex_ == index || (prevListItemIsFile_ && listItemIsFile_)) && !scroll ? 0 : 1;
  }
  if (prevKind_ == TreeItem) return 1;
  return listItemIsFile_ ? 0 : 1;
}

void PaneDropFeedback::SetListHighlight(int index, bool on) {
  LVITEMA item = {};
  item.stateMask = LVIS_DROPHILITED;
  item.state = on ? LVIS_DROPHILITED : 0;
  SendMessageA(document_->itemList, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item));
}

void PaneDropFeedback::DoScrollStep() {
  HWND list = document_->itemList;
  HWND tree = document_->folderTree;
  const bool inList = pane_ == g_itemListAtom;
  switch (scrollState_) {
    case ScrollState::ScrollUp:
      SendMessageA(inList ? list : tree, WM_VSCROLL, SB_LINEUP, 0);
      break;
    case ScrollState::ScrollDown:
      SendMessageA(inList ? list : tree, WM_VSCROLL, SB_LINEDOWN, 0);
      break;
    case ScrollState::ScrollLeft:
      if (inList) SendMessageA(list, WM_HSCROLL, SB_LINELEFT, 0);
      break;
    case ScrollState::ScrollRight:
      if (inList) SendMessageA(list, WM_HSCROLL, SB_LINERIGHT, 0);
      break;
    case ScrollState::HoverExpand:
      if (!inList) SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(treeItem_));
      break;
    default:
      break;
  }
  scrollState_ = ScrollState::Idle;
}

void PaneDropFeedback::Draw(DWORD effect) {
  if (!document_) return;
  HWND list = document_->itemList;
  HWND tree = document_->folderTree;
  if (effect & DROPEFFECT_SCROLL) DoScrollStep();
  if (targetKind_ == prevKind_) {
    if (targetKind_ == TreeItem) {
      SendMessageA(tree, TVM_SELECTITEM, TVGN_DROPHILITE, reinterpret_cast<LPARAM>(treeItem_));
    } else if (targetKind_ == ListItem) {
      if (!prevListItemIsFile_) SetListHighlight(prevListIndex_, false);
      if (!listItemIsFile_) SetListHighlight(listIndex_, true);
      UpdateWindow(list);
    }
    return;
  }
  if (prevKind_ == ListItem && !prevListItemIsFile_) {
    SetListHighlight(prevListIndex_, false);
    UpdateWindow(list);
  } else if (prevKind_ == TreeItem) {
    SendMessageA(tree, TVM_SELECTITEM, TVGN_DROPHILITE, 0);
  }
  if (targetKind_ == TreeItem) {
    SendMessageA(tree, TVM_SELECTITEM, TVGN_DROPHILITE, reinterpret_cast<LPARAM>(treeItem_));
  } else if (targetKind_ == ListItem && !listItemIsFile_) {
    SetListHighlight(listIndex_, true);
    UpdateWindow(list);
  }
}
