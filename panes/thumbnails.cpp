#include "panes/thumbnails.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <vector>
#include <unordered_set>

#include "panes/entry_picture.h"
#include "panes/list_state.h"
#include "panes/list_columns.h"
#include "panes/pane_dpi.h"
#include "panes/views.h"
#include "services/core/window_state.h"
#include "services/dpi.h"
#include "services/file_types.h"
#include "services/icon_lists.h"

namespace {

bool InThumbnails(const WindowDocument* doc) { return doc->viewMode == kViewThumbnails; }

// A side x side bitmap of 0x00RRGGBB pixels, the top row first, added to the image list.
int AddCell(HIMAGELIST images, int side, const uint32_t* pixels) {
  uint32_t* out = nullptr;
  HBITMAP bitmap = CreateTopDownBitmap(side, side, &out);
  if (bitmap == nullptr) return -1;
  // Opaque throughout: the cell is drawn as it is, its background included.
  for (int i = 0; i < side * side; ++i) out[i] = pixels[i] | 0xFF000000u;
  const int image = ImageList_Add(images, bitmap, nullptr);
  DeleteObject(bitmap);
  return image;
}

uint32_t WindowColour() {
  const COLORREF c = GetSysColor(COLOR_WINDOW);
  return static_cast<uint32_t>(GetRValue(c)) << 16 | static_cast<uint32_t>(GetGValue(c)) << 8 | GetBValue(c);
}

// The cell of an icon: the large icon in the middle of the window's colour.
int IconCell(WindowDocument* doc, ListState* state, int icon) {
  const auto known = state->iconCells.find(icon);
  if (known != state->iconCells.end()) return known->second;
  const int side = state->thumbnailSide;
  std::vector<uint32_t> pixels(static_cast<size_t>(side) * side, WindowColour());
  HIMAGELIST large = LargeIconsForDpi(doc->dpi);
  CoverIconIndex(doc->itemList, icon);
  int cx = 0, cy = 0;
  ImageList_GetIconSize(large, &cx, &cy);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  uint32_t* bits = nullptr;
  HBITMAP bitmap = CreateTopDownBitmap(side, side, &bits);
  int image = -1;
  if (bitmap && dc) {
    std::memcpy(bits, pixels.data(), pixels.size() * sizeof pixels[0]);
    HGDIOBJ old = SelectObject(dc, bitmap);
    ImageList_Draw(large, icon, dc, (side - cx) / 2, (side - cy) / 2, ILD_TRANSPARENT);
    GdiFlush();
    SelectObject(dc, old);
    std::memcpy(pixels.data(), bits, pixels.size() * sizeof pixels[0]);
    for (uint32_t& p : pixels) p &= 0x00FFFFFFu;
    image = AddCell(state->thumbnailImages, side, pixels.data());
  }
  if (bitmap) DeleteObject(bitmap);
  if (dc) DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  state->iconCells[icon] = image;
  return image;
}

int IconOf(const Node* node) {
  const char* type = nullptr;
  return node->IsDirectory() ? FolderTypeInfo(&type) : FileTypeIcon(node->name().c_str());
}

// Makes the cells' image list for the DPI's side, dropping the cells of another side.
void PrepareCells(WindowDocument* doc, ListState* state) {
  const int side = ScaleToDpi(kThumbnailSideAt96, doc->dpi);
  if (state->thumbnailImages && state->thumbnailSide == side) return;
  if (state->thumbnailImages) ImageList_Destroy(state->thumbnailImages);
  state->thumbnailImages = ImageList_Create(side, side, ILC_COLOR32, 64, 64);
  state->thumbnailSide = side;
  state->thumbnails.clear();
  state->iconCells.clear();
}

void SetItemImage(HWND list, int index, int image) {
  LVITEMA item = {};
  item.mask = LVIF_IMAGE;
  item.iItem = index;
  item.iImage = image;
  SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

}  // namespace

void ShowThumbnailImages(WindowDocument* doc) {
  ListState* state = ListStateOf(doc);
  HWND list = doc->itemList;
  if (InThumbnails(doc)) {
    PrepareCells(doc, state);
    SendMessageA(list, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(state->thumbnailImages));
    // Room for the cell and two lines of its name below it.
    const int gap = ScaleToDpi(12, doc->dpi);
    const int text = ScaleToDpi(32, doc->dpi);
    SendMessageA(list, LVM_SETICONSPACING, 0, MAKELPARAM(state->thumbnailSide + gap, state->thumbnailSide + text + gap));
  } else {
    ApplyPaneDpi(doc);
    state->work.Replace(ListJobKind::Thumbnail, {});
  }
  for (int i = 0, count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); i < count; ++i)
    if (const Node* node = ListItemNode(list, i)) SetItemImage(list, i, ListItemImage(doc, node, IconOf(node)));
  SendMessageA(list, LVM_ARRANGE, LVA_DEFAULT, 0);
  QueueThumbnails(doc);
}

int ListItemImage(WindowDocument* doc, const Node* node, int icon) {
  if (doc == nullptr || !InThumbnails(doc)) return icon;
  ListState* state = ListStateOf(doc);
  PrepareCells(doc, state);
  const auto known = state->thumbnails.find(node->id());
  if (known != state->thumbnails.end() && known->second.image >= 0 &&
      SameData(known->second.of, IdentityOf(doc, node)))
    return known->second.image;
  return IconCell(doc, state, icon);
}

void QueueThumbnails(WindowDocument* doc) {
  if (!InThumbnails(doc)) return;
  ListState* state = ListStateOf(doc);
  PrepareCells(doc, state);
  HWND list = doc->itemList;
  RECT client;
  GetClientRect(list, &client);
  std::vector<ListJob> shown, rest;
  std::unordered_set<NodeId> queued;
  const uint32_t background = WindowColour();
  auto palettes = std::make_shared<ThumbnailPalettes>();
  HWND window = ArchiveWindowOfPane(list);
  palettes->sources[static_cast<int>(PaletteGame::Quake)] = FindPaletteSource(window, doc, PictureKind::QuakePicture);
  palettes->sources[static_cast<int>(PaletteGame::QuakeII)] = FindPaletteSource(window, doc, PictureKind::Wal);
  for (int i = 0, count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); i < count; ++i) {
    const Node* node = ListItemNode(list, i);
    if (node == nullptr || !node->IsFile() || node->size() == 0) continue;
    Thumbnail& thumbnail = state->thumbnails[node->id()];
    const DataIdentity identity = IdentityOf(doc, node);
    // Made already, or found to hold no picture, for these bytes.
    if (SameData(thumbnail.of, identity) && !thumbnail.pending) continue;
    thumbnail = Thumbnail{identity, true, -1};
    ListJob job;
    job.kind = ListJobKind::Thumbnail;
    job.node = node->id();
    job.entry = SnapshotEntry(doc, node);
    job.name = StoredPath(node);
    job.side = state->thumbnailSide;
    job.background = background;
    job.palettes = palettes;
    RECT rc = {};
    rc.left = LVIR_BOUNDS;
    RECT overlap;
    const bool visible = SendMessageA(list, LVM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&rc)) &&
                         IntersectRect(&overlap, &rc, &client);
    (visible ? shown : rest).push_back(std::move(job));
    queued.insert(node->id());
  }
  for (auto known = state->thumbnails.begin(); known != state->thumbnails.end();)
    known = known->second.pending && queued.count(known->first) == 0 ? state->thumbnails.erase(known)
                                                                      : std::next(known);
  for (ListJob& job : rest) shown.push_back(std::move(job));
  state->work.Replace(ListJobKind::Thumbnail, std::move(shown));
}

void DropChangedThumbnails(WindowDocument* doc) {
  if (!doc->listState) return;
  auto& thumbnails = doc->listState->thumbnails;
  for (auto known = thumbnails.begin(); known != thumbnails.end();) {
    const Node* node = doc->tree ? doc->tree->Find(known->first) : nullptr;
    const bool same = node && SameData(known->second.of, IdentityOf(doc, node));
    known = same ? std::next(known) : thumbnails.erase(known);
  }
}

void ShowMadeThumbnail(WindowDocument* doc, const ListResult& result, int index) {
  ListState* state = ListStateOf(doc);
  const auto known = state->thumbnails.find(result.node);
  const Node* node = doc->tree ? doc->tree->Find(result.node) : nullptr;
  if (known == state->thumbnails.end() || node == nullptr || !known->second.pending) return;
  if (!SameData(known->second.of, IdentityOf(doc, node))) return;
  known->second.pending = false;
  const bool made = result.ok && result.side == state->thumbnailSide && state->thumbnailImages &&
                    result.pixels.size() == static_cast<size_t>(result.side) * result.side;
  known->second.image = made ? AddCell(state->thumbnailImages, result.side, result.pixels.data()) : -1;
  if (index < 0 || !InThumbnails(doc)) return;
  // New bytes that hold no picture take the icon back from the thumbnail of the old ones.
  SetItemImage(doc->itemList, index, known->second.image >= 0 ? known->second.image : IconCell(doc, state, IconOf(node)));
}
