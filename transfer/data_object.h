// The data object by which items leave an archive window, on the clipboard or in a drag:
// the program's own "Vellumix Data" for other archive windows, the shell's virtual-file
// formats for everyone else, and the shell's cut-and-paste handshake values.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive/tree.h"

struct ArchiveDocument;

// The "Vellumix Data" payload: addresses, meaningful only inside this process. They are
// pointer-sized, so the block is 12 bytes in the 32-bit program (and 24 in a 64-bit build,
// where a truncated address would never find its data object again).
struct VellumixDataPayload {
  uintptr_t sourceRef;  // address of the source document
  uint32_t count;
  uintptr_t items;      // address of the data object's array of node ids
};
static_assert(sizeof(VellumixDataPayload) == (sizeof(void*) == 4 ? 12 : 24),
              "the payload is three pointer-sized fields");

// The longest name a shell file descriptor carries, without its terminating NUL: UTF-16
// units in the wide descriptor, bytes in the ANSI one.
constexpr size_t kDescriptorNameMax = MAX_PATH - 1;

class ArchiveDataObject;

// A new object over items (the ids of nodes of document's tree, each found there again
// whenever it is read), with one reference; null when memory is short or nothing is given.
// forClipboard: made by Cut or Copy, so its last release tells the window of document's
// folder tree.
ArchiveDataObject* CreateDataObject(ArchiveDocument* document, HWND folderTree, const std::vector<NodeId>& items,
                                    int forClipboard);

IDataObject* AsDataObject(ArchiveDataObject* object);
// False when node is one of the object's items, holds one or lies inside one; true
// otherwise (also for an object without a document).
bool IsDisjointFrom(ArchiveDataObject* object, const Node* node);
// Whether the object's items are exactly this array of count ids (a payload's).
bool DataObjectHolds(ArchiveDataObject* object, const NodeId* items, uint32_t count);
// The object's items (none once detached).
std::vector<NodeId> DataObjectItems(ArchiveDataObject* object);
// An archive window of this process took the object's items in a move: arrived[i] tells
// whether item i reached it whole.
void DataObjectSetArrivals(ArchiveDataObject* object, const std::vector<bool>& arrived);
// A number no other object of this run has: the two steps of a move of the object's items
// (the arrivals and the departures) are tied by it.
uint64_t DataObjectLink(ArchiveDataObject* object);
// Whether item index of a finished move may leave its origin: one an archive window took
// whole, or, when the shell took the items, any of them unless a file could not be handed
// over.
bool DataObjectItemMoved(ArchiveDataObject* object, uint32_t index);
// The window is going while the clipboard still holds the object: from here on it renders
// nothing and tells nobody, and it no longer refers to the items or the document.
void DetachDataObject(ArchiveDataObject* object);

// The relative path a descriptor names for leaf inside item, in UTF-8 as the tree's names:
// components from the item down, joined by backslashes, each made safe for a file system
// ("." and ".." and characters the file system refuses are replaced). false when it does
// not fit a wide descriptor (kDescriptorNameMax UTF-16 units).
bool DescriptorName(const Node* item, const Node* leaf, std::string* name);

// A descriptor name as the ANSI descriptor ("FileGroupDescriptor") carries it in codePage:
// unchanged where that page is UTF-8, as every narrow string of the program; in another page
// converted, each character the page lacks written as '_', as unsafe characters are. Readers
// that need their own page read the wide descriptor ("FileGroupDescriptorW"), where every
// name arrives whole.
std::string AnsiDescriptorName(const std::string& name, UINT codePage);
