// The walk of a folder on disk and everything below it, as both programs take folders into
// an archive (Import Directory, drops, the tool's create) and compare them with one:
// depth first, each folder's items in the order of their names, a folder that a link leads
// back into never entered twice.
#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "archive/disk.h"

// One item met by the walk.
struct DiskWalkEntry {
  std::string path;  // its disk path
  std::string name;  // its name as the disk gives it
  DiskItem item;     // what it is, following links
  // A folder that is one of the folders above it, reached again through a link: walking
  // into it would never end.
  bool loop = false;
};

// Walks below the folder at path, whose place in the caller's terms is top. For each item,
// visit(entry, folder, &child) is called with the place of the folder holding it; for a
// folder it returns true and sets child to walk into it. unreadable(path, folder) hears of
// a folder that cannot be listed; the walk stops once stop() says so.
template <typename Place, typename Visit, typename Unreadable, typename Stop>
void WalkDiskTree(const std::string& path, Place top, Visit visit, Unreadable unreadable, Stop stop) {
  struct Pending {
    std::string path;
    Place place;
    std::vector<std::pair<uint64_t, uint64_t>> ancestors;  // device and inode of each folder above
  };
  const DiskItem root = StatPath(path);
  std::vector<Pending> stack{{path, top, {{root.device, root.inode}}}};
  while (!stack.empty() && !stop()) {
    Pending folder = std::move(stack.back());
    stack.pop_back();
    std::vector<std::string> names;
    if (!ListDirectory(folder.path, &names)) {
      unreadable(folder.path, folder.place);
      continue;
    }
    std::sort(names.begin(), names.end());
    std::vector<Pending> below;
    for (const std::string& name : names) {
      if (stop()) return;
      DiskWalkEntry entry;
      entry.path = JoinDiskPath(folder.path, name);
      entry.name = name;
      entry.item = StatPath(entry.path);
      const std::pair<uint64_t, uint64_t> id{entry.item.device, entry.item.inode};
      entry.loop = entry.item.kind == DiskKind::Directory && id.second != 0 &&
                   std::find(folder.ancestors.begin(), folder.ancestors.end(), id) != folder.ancestors.end();
      Place child{};
      if (visit(entry, folder.place, &child) && entry.item.kind == DiskKind::Directory && !entry.loop) {
        std::vector<std::pair<uint64_t, uint64_t>> ancestors = folder.ancestors;
        ancestors.push_back(id);
        below.push_back(Pending{entry.path, child, std::move(ancestors)});
      }
    }
    // The folders go on the stack last first, so that they are walked in name order.
    for (auto it = below.rbegin(); it != below.rend(); ++it) stack.push_back(std::move(*it));
  }
}
