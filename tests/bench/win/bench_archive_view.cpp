// Times what a user waits for when an archive window opens on a big folder: opening
// the archive, building the tree and filling the item list, under Wine or Windows.
// First the open of a game's data archive: a PK3 of 3,826 files in a few hundred folders
// of mixed types, about 277 MB, timed from the start of the open until the tree and the
// list are filled and painted, against the goal of half a second; then the open of a game
// folder of 20 PK3s and 100,000 entries, against the goal of a second.
// Writes a 10,000-entry PK3 (each entry with a time of its own) and a PAK of the 4,096
// entries its format allows (all taking the archive file's time) to the temporary
// directory, opens each repeatedly in a real frame, and prints the timings. Then times pasting many disk files at
// once (a shell file list of 5,000 and of 20,000 paths dropped on a new archive's root), and
// a folder of 2,000 textures in Thumbnails: until the first screen's thumbnails all show, and
// until they all show again after each page scrolled. Then the memory the edit history
// holds: a folder of four 16 MB files imported and deleted 150 times in one window. Last,
// the memory a Save As of one 500 MB entry takes, against the goal of 64 MB.
#define PSAPI_VERSION 2
#include <windows.h>
#include <psapi.h>
#include <commctrl.h>
#include <shlobj.h>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "resources/command_ids.h"
#include "services/core/window_state.h"
#include "services/file_types.h"
#include "services/globals.h"
#include "services/messages.h"
#include "services/number_format.h"
#include "services/settings.h"
#include "app/startup.h"
#include "transfer/drop_target.h"
#include "tests/bench/bench_support.h"
#include "tests/core/sample_archives.h"
#include "tests/win/support/drop_files_block.h"
#include "window/archive_window.h"
#include "window/save.h"
#include "archive/crc32.h"
#include "archive/edit_history.h"
#include "panes/list_state.h"

double CommittedMegabytes();

namespace {

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

std::string WriteArchive(int files, bool pak) {
  const char* extensions[] = {".bsp", ".tga", ".wav", ".md3", ".txt", ".shader", ".jpg", ""};
  std::vector<sample::ZipEntry> entries;
  std::vector<sample::PakItem> items;
  for (int i = 0; i < files; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "textures/item%05d%s", (i * 7919) % files, extensions[i % 8]);
    sample::ZipEntry entry{name, 0, {}, 0, 0};
    // A day of May 2010 for each run of 1,440 entries, a minute of that day for each entry:
    // no two times are the same.
    const uint32_t day = 1 + static_cast<uint32_t>(i / 1440) % 28, minute = static_cast<uint32_t>(i % 1440);
    entry.dosTime = (2010u - 1980u) << 25 | 5u << 21 | day << 16 | (minute / 60) << 11 | (minute % 60) << 5;
    entries.push_back(entry);
    items.push_back({name, ""});
  }
  const std::vector<uint8_t> bytes = pak ? sample::Pak(items) : sample::ZipWithData(entries);
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  std::string path = std::string(dir) + (pak ? "vellumix-bench-10000.pak" : "vellumix-bench-10000.pk3");
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return "";
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return path;
}

struct Stats {
  double best = 1e9, median = 0;
};

Stats Summarise(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return {v.front(), v[v.size() / 2]};
}

// Drops count small disk files on a new archive window's root; the seconds it took.
double TimePaste(int count) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string dir = std::string(temp) + "vellumix-bench-paste\\";
  CreateDirectoryA(dir.c_str(), nullptr);
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "f%05d.txt", i);
    paths.push_back(dir + name);
    if (FILE* f = std::fopen(paths.back().c_str(), "wb")) {
      std::fputs("x", f);
      std::fclose(f);
    }
  }
  HWND window = reinterpret_cast<HWND>(SendMessageA(g_frameWindow, WMU_OPEN_ARCHIVE, 0, 0));
  WindowDocument* doc = window ? DocumentOf(window) : nullptr;
  double seconds = -1;
  if (doc) {
    HGLOBAL list = MakeDropFiles(paths);
    DropRequest request = {DROPEFFECT_COPY, CF_HDROP, list, TreeView_GetRoot(doc->folderTree), -1};
    const double start = Now();
    SendMessageA(window, WMU_DROP, reinterpret_cast<WPARAM>(&request), 0);
    UpdateWindow(doc->itemList);
    seconds = Now() - start;
    GlobalFree(list);
    if (ListView_GetItemCount(doc->itemList) != count) seconds = -1;
    doc->modified = 0;
    SendMessageA(g_mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(window), 0);
    Pump();
  }
  for (const std::string& p : paths) DeleteFileA(p.c_str());
  RemoveDirectoryA(dir.c_str());
  return seconds;
}

// A PAK of count 64 x 64 TGA textures in one folder, each of a colour of its own.
std::string WriteTextures(int count) {
  std::vector<sample::PakItem> items;
  for (int i = 0; i < count; ++i) {
    std::string tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 64, 0, 64, 0, 24, 0x20};
    for (int p = 0; p < 64 * 64; ++p) {
      tga += static_cast<char>(i * 37);
      tga += static_cast<char>(i * 11 + p / 64);
      tga += static_cast<char>(255 - i);
    }
    char name[64];
    std::snprintf(name, sizeof name, "textures/wall%04d.tga", i);
    items.push_back({name, tga});
  }
  const std::vector<uint8_t> bytes = sample::Pak(items);
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  const std::string path = std::string(dir) + "vellumix-bench-textures.pak";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return "";
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return path;
}

// Whether every item in the list's client area shows its thumbnail.
bool ShownThumbnailsInView(WindowDocument* doc) {
  if (!doc->listState) return false;
  RECT client, rc, overlap;
  GetClientRect(doc->itemList, &client);
  int inView = 0;
  for (int i = 0, count = ListView_GetItemCount(doc->itemList); i < count; ++i) {
    rc.left = LVIR_BOUNDS;
    if (!SendMessageA(doc->itemList, LVM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&rc)) ||
        !IntersectRect(&overlap, &rc, &client))
      continue;
    LVITEMA item = {};
    item.mask = LVIF_IMAGE | LVIF_PARAM;
    item.iItem = i;
    ListView_GetItem(doc->itemList, &item);
    const auto* node = reinterpret_cast<const Node*>(item.lParam);
    const auto known = doc->listState->thumbnails.find(node->id());
    if (known == doc->listState->thumbnails.end() || known->second.image < 0 || known->second.image != item.iImage)
      return false;
    ++inView;
  }
  return inView > 0;
}

// Runs the window thread's messages until the thumbnails in view all show; the seconds
// taken, or -1 after a minute.
double UntilThumbnailsInView(WindowDocument* doc, double start) {
  while (!ShownThumbnailsInView(doc)) {
    if (Now() - start > 60) return -1;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  UpdateWindow(doc->itemList);
  return Now() - start;
}

bool TimeThumbnails(int count) {
  const std::string path = WriteTextures(count);
  if (path.empty()) return false;
  g_settings.windowState.viewMode = kViewThumbnails;
  std::vector<double> first, scrolled;
  for (int round = 0; round < 3; ++round) {
    HWND window = reinterpret_cast<HWND>(
        SendMessageA(g_frameWindow, WMU_OPEN_ARCHIVE, 0, reinterpret_cast<LPARAM>(path.c_str())));
    WindowDocument* doc = window ? DocumentOf(window) : nullptr;
    if (!doc) return false;
    ShowWindow(window, SW_MAXIMIZE);
    Pump();
    HTREEITEM folder = TreeView_GetChild(doc->folderTree, TreeView_GetRoot(doc->folderTree));
    const double start = Now();
    TreeView_SelectItem(doc->folderTree, folder);
    UpdateWindow(doc->itemList);
    first.push_back(UntilThumbnailsInView(doc, start));
    for (int page = 0; page < 5; ++page) {
      const double at = Now();
      SendMessageA(doc->itemList, WM_VSCROLL, SB_PAGEDOWN, 0);
      UpdateWindow(doc->itemList);
      scrolled.push_back(UntilThumbnailsInView(doc, at));
    }
    SendMessageA(g_mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(window), 0);
    Pump();
  }
  DeleteFileA(path.c_str());
  if (std::find(first.begin(), first.end(), -1.0) != first.end() ||
      std::find(scrolled.begin(), scrolled.end(), -1.0) != scrolled.end())
    return false;
  const Stats f = Summarise(first), s = Summarise(scrolled);
  std::printf("Thumbnails of %d textures, first screen shown:    best %7.1f ms, median %7.1f ms\n", count,
              f.best * 1000, f.median * 1000);
  std::printf("Thumbnails of %d textures, a page scrolled shown: best %7.1f ms, median %7.1f ms\n", count,
              s.best * 1000, s.median * 1000);
  return true;
}


// The folders of one top-level folder of a game's data archive and the files they hold:
// subfolders below the top one, each with nested folders of its own, and the extensions
// of its files in turn.
struct DataArea {
  const char* name;
  int subfolders, nested, files;
  std::vector<const char*> extensions;
};

// What the game data archive lays out: 3,826 files (20 in the root) in 341 folders, of 21
// extensions, the bulk of them textures, models and sounds as in a real game's.
const std::vector<DataArea>& GameDataAreas() {
  static const std::vector<DataArea> areas = {
      {"textures", 36, 4, 1650, {".tga", ".jpg", ".tga", ".png", ".tga", ".jpg"}},
      {"models", 40, 1, 800, {".md3", ".tga", ".skin", ".dpm", ".jpg", ".framegroups", ".zym", ".tga"}},
      {"sound", 12, 2, 520, {".wav", ".ogg", ".wav"}},
      {"maps", 0, 0, 180, {".bsp", ".jpg", ".mapinfo", ".txt", ".cfg", ".waypoints", ".map"}},
      {"gfx", 10, 1, 330, {".tga", ".png", ".lmp", ".jpg", ".pcx"}},
      {"env", 16, 0, 190, {".tga", ".jpg"}},
      {"scripts", 0, 0, 90, {".shader", ".shader", ".txt"}},
      {"particles", 0, 0, 40, {".tga"}},
      {"video", 0, 0, 6, {".dpv", ".ogv"}},
      {"", 0, 0, 20, {".cfg", ".dat", ".txt", ".rc", ".lst"}},
  };
  return areas;
}

struct GameData {
  std::string path;
  int files = 0, folders = 0, rootItems = 0;
  uint64_t bytes = 0;
};

// Writes the game data archive to the temporary directory, piece by piece: each file's
// stored bytes (taken from one block of noise, at an offset of its own) follow its local
// header, with their true CRC-32, and the central directory comes last. The files' sizes
// vary around totalBytes / files.
GameData WriteGameData(uint64_t totalBytes) {
  GameData data;
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  data.path = std::string(dir) + "vellumix-bench-gamedata.pk3";
  int fileCount = 0;
  for (const DataArea& area : GameDataAreas()) fileCount += area.files;
  const uint32_t average = static_cast<uint32_t>(totalBytes / static_cast<uint64_t>(fileCount));
  std::vector<uint8_t> noise(static_cast<size_t>(average) * 2 + 65536);
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  for (uint8_t& b : noise) b = static_cast<uint8_t>(next());
  FILE* f = std::fopen(data.path.c_str(), "wb");
  if (!f) return {};
  std::vector<sample::ZipEntry> entries;
  std::vector<uint32_t> offsets, storedSizes;
  uint64_t at = 0;
  bool ok = true;
  for (const DataArea& area : GameDataAreas()) {
    std::vector<std::string> folders;
    if (*area.name) {
      folders.push_back(std::string(area.name) + "/");
      for (int s = 0; s < area.subfolders; ++s) {
        char sub[64];
        std::snprintf(sub, sizeof sub, "%s/%s%02d/", area.name, s % 3 ? "set" : "base", s);
        folders.push_back(sub);
        for (int n = 0; n < area.nested; ++n) folders.push_back(std::string(sub) + "part" + std::to_string(n) + "/");
      }
    } else {
      folders.push_back("");
      data.rootItems += area.files;
    }
    for (int i = 0; i < area.files; ++i) {
      char name[160];
      std::snprintf(name, sizeof name, "%s%c%05x%s", folders[static_cast<size_t>(i) % folders.size()].c_str(),
                    static_cast<char>('a' + next() % 26), next() & 0xFFFFF,
                    area.extensions[static_cast<size_t>(i) % area.extensions.size()]);
      const uint32_t size = 1 + next() % (average * 2);
      const uint8_t* bytes = noise.data() + next() % (noise.size() - size);
      sample::ZipEntry entry{name, 0, {}, Crc32(bytes, size), size};
      entry.dosTime = (2008u - 1980u) << 25 | (1u + static_cast<uint32_t>(i) % 12) << 21 |
                      (1u + static_cast<uint32_t>(i) % 28) << 16;
      std::vector<uint8_t> header;
      sample::PutZipLocalHeader(header, entry, size);
      offsets.push_back(static_cast<uint32_t>(at));
      storedSizes.push_back(size);
      ok = ok && std::fwrite(header.data(), 1, header.size(), f) == header.size() &&
           std::fwrite(bytes, 1, size, f) == size;
      at += header.size() + size;
      data.bytes += size;
      entries.push_back(std::move(entry));
    }
    data.folders += static_cast<int>(folders.size()) - (*area.name ? 0 : 1);
    if (*area.name) ++data.rootItems;
  }
  std::vector<uint8_t> directory;
  sample::PutZipDirectory(directory, entries, offsets, static_cast<uint32_t>(at), "", storedSizes);
  ok = ok && std::fwrite(directory.data(), 1, directory.size(), f) == directory.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    DeleteFileA(data.path.c_str());
    return {};
  }
  data.files = static_cast<int>(entries.size());
  return data;
}

// Runs the messages the open left queued (the list's deferred work, the frame's title),
// then paints every window that waits for it.
void SettleAndPaint() {
  Pump();
  RedrawWindow(g_frameWindow, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// Opens the game data archive in each view, five times each, from the start of the open
// until its tree holds every folder, its list the root's items, and both are painted.
bool TimeGameDataOpen() {
  constexpr double kGoalSeconds = 0.5;
  const GameData data = WriteGameData(277ull << 20);
  if (data.path.empty()) {
    std::fprintf(stderr, "the game data archive could not be written\n");
    return false;
  }
  std::printf("game data PK3: %d files in %d folders, %.0f MB\n", data.files, data.folders,
              static_cast<double>(data.bytes) / (1024.0 * 1024.0));
  bool ok = true;
  // The frame's own start-up is not part of the open.
  SettleAndPaint();
  for (uint32_t view : {kViewLargeIcons, kViewDetails}) {
    g_settings.windowState.viewMode = view;
    g_settings.windowState.sortKey = kSortByName;
    std::vector<double> open;
    for (int round = 0; round < 5 && ok; ++round) {
      const double start = Now();
      HWND window = reinterpret_cast<HWND>(
          SendMessageA(g_frameWindow, WMU_OPEN_ARCHIVE, 0, reinterpret_cast<LPARAM>(data.path.c_str())));
      WindowDocument* doc = window ? DocumentOf(window) : nullptr;
      if (!doc) {
        std::fprintf(stderr, "%s did not open\n", data.path.c_str());
        ok = false;
        break;
      }
      SettleAndPaint();
      open.push_back(Now() - start);
      const int folders = static_cast<int>(TreeView_GetCount(doc->folderTree)) - 1;
      const int items = ListView_GetItemCount(doc->itemList);
      if (folders != data.folders || items != data.rootItems) {
        std::fprintf(stderr, "the tree showed %d of %d folders, the list %d of %d items\n", folders, data.folders,
                     items, data.rootItems);
        ok = false;
      }
      SendMessageA(g_mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(window), 0);
      Pump();
    }
    if (!ok) break;
    const Stats o = Summarise(open);
    std::printf("game data PK3 %-11s open until tree and list shown: first %7.1f ms, best %7.1f ms, median %7.1f ms "
                "(goal %.0f ms: %s)\n",
                view == kViewDetails ? "Details" : "Large Icons", open.front() * 1000, o.best * 1000,
                o.median * 1000, kGoalSeconds * 1000, o.median <= kGoalSeconds ? "met" : "missed");
  }
  DeleteFileA(data.path.c_str());
  return ok;
}

// Opens a game folder of 20 PK3s of 5,000 entries each (100,000 entries, each archive
// overriding half of the one sorted before it) three times, from the start of the open
// until the merged tree and the list of its root are shown, with the memory the program
// holds once it shows it.
bool TimeGameFolderOpen() {
  constexpr double kGoalSeconds = 1.0;
  constexpr int kArchives = 20, kPerArchive = 5000;
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "vellumix-bench-baseq3";
  CreateDirectoryA(folder.c_str(), nullptr);
  std::vector<std::string> written;
  for (int a = 0; a < kArchives; ++a) {
    std::vector<std::string> names;
    for (int i = 0; i < kPerArchive; ++i) {
      // Half of each archive's paths are the next archive's too.
      const int n = a * kPerArchive / 2 + i;
      char name[64];
      std::snprintf(name, sizeof name, "textures/set%03d/tex%05d.tga", n / 500, n);
      names.push_back(name);
    }
    char file[32];
    std::snprintf(file, sizeof file, "\\pak%02d.pk3", a);
    const std::vector<uint8_t> bytes = sample::Zip(names);
    const std::string path = folder + file;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
      if (f) std::fclose(f);
      std::fprintf(stderr, "%s could not be written\n", path.c_str());
      return false;
    }
    std::fclose(f);
    written.push_back(path);
  }
  g_settings.windowState.viewMode = kViewDetails;
  SettleAndPaint();
  std::vector<double> open;
  double memory = 0;
  bool ok = true;
  for (int round = 0; round < 3 && ok; ++round) {
    const double before = CommittedMegabytes();
    const double start = Now();
    HWND window = reinterpret_cast<HWND>(
        SendMessageA(g_frameWindow, WMU_OPEN_ARCHIVE, 0, reinterpret_cast<LPARAM>(folder.c_str())));
    WindowDocument* doc = window ? DocumentOf(window) : nullptr;
    if (!doc || !doc->source || doc->source->Count() == 0) {
      std::fprintf(stderr, "%s did not open as a game folder\n", folder.c_str());
      ok = false;
      break;
    }
    SettleAndPaint();
    open.push_back(Now() - start);
    memory = CommittedMegabytes() - before;
    SendMessageA(g_mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(window), 0);
    Pump();
  }
  for (const std::string& path : written) DeleteFileA(path.c_str());
  RemoveDirectoryA(folder.c_str());
  if (!ok) return false;
  const Stats o = Summarise(open);
  std::printf("game folder of %d PK3s, %d entries (%d paths shown): open until tree and list shown: first %7.1f ms, "
              "median %7.1f ms (goal %.0f ms: %s), %.1f MB more memory while shown\n",
              kArchives, kArchives * kPerArchive, (kArchives + 1) * kPerArchive / 2, open.front() * 1000,
              o.median * 1000, kGoalSeconds * 1000, o.median <= kGoalSeconds ? "met" : "missed", memory);
  return true;
}
}  // namespace

double CommittedMegabytes() {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof counters))
    return -1;
  // Wine leaves PrivateUsage at 0; the memory committed is PagefileUsage there.
  const SIZE_T bytes = counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
  return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

// Imports a folder of four 16 MB files into a new window and deletes it again, 150 times:
// the history keeps the bytes of the newest deletes only, within its limit. Prints the
// process's committed memory along the way, what the history holds, and how long an undo
// of the last delete takes.
bool MeasureHistoryMemory() {
  constexpr int kRounds = 150, kFiles = 4;
  constexpr size_t kFileSize = 16u << 20;
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string dir = std::string(temp) + "vellumix-bench-big";
  CreateDirectoryA(dir.c_str(), nullptr);
  std::vector<char> bytes(kFileSize);
  for (int i = 0; i < kFiles; ++i) {
    for (size_t b = 0; b < bytes.size(); ++b) bytes[b] = static_cast<char>(b * 31 + i);
    FILE* f = std::fopen((dir + "\\part" + std::to_string(i) + ".dat").c_str(), "wb");
    if (!f) return false;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  HWND window = reinterpret_cast<HWND>(SendMessageA(g_frameWindow, WMU_OPEN_ARCHIVE, 0, 0));
  WindowDocument* doc = window ? DocumentOf(window) : nullptr;
  if (!doc) return false;
  const double base = CommittedMegabytes();
  double peak = base;
  bool ok = true;
  for (int round = 0; round < kRounds && ok; ++round) {
    HGLOBAL list = MakeDropFiles({dir});
    DropRequest request = {DROPEFFECT_COPY, CF_HDROP, list, TreeView_GetRoot(doc->folderTree), -1};
    SendMessageA(window, WMU_DROP, reinterpret_cast<WPARAM>(&request), 0);
    GlobalFree(list);
    HTREEITEM folder = TreeView_GetChild(doc->folderTree, TreeView_GetRoot(doc->folderTree));
    ok = folder != nullptr;
    if (!ok) break;
    TreeView_SelectItem(doc->folderTree, folder);
    SetFocus(doc->folderTree);
    SendMessageA(window, WM_COMMAND, ID_EDIT_DELETE, 0);
    Pump();
    ok = doc->root()->firstChild() == nullptr;
    peak = std::max(peak, CommittedMegabytes());
    if ((round + 1) % 50 == 0)
      std::printf("history after %3d deletes of %d MB: %zu steps, %6.1f MB kept, process %7.1f MB committed\n",
                  round + 1, kFiles * 16, doc->tree->history().UndoCount(),
                  static_cast<double>(doc->tree->history().KeptBytes()) / (1024.0 * 1024.0), CommittedMegabytes());
  }
  const double start = Now();
  SendMessageA(window, WM_COMMAND, ID_EDIT_UNDO, 0);
  UpdateWindow(doc->itemList);
  const double undo = Now() - start;
  ok = ok && doc->root()->firstChild() != nullptr;
  std::printf("history memory: %.1f MB committed at the start, %.1f MB at the peak; undo of a delete %.1f ms\n", base,
              peak, undo * 1000);
  doc->modified = 0;
  SendMessageA(g_mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(window), 0);
  Pump();
  for (int i = 0; i < kFiles; ++i) DeleteFileA((dir + "\\part" + std::to_string(i) + ".dat").c_str());
  RemoveDirectoryA(dir.c_str());
  return ok;
}

// Writes a PK3 of one entry of megabytes MB of text (each megabyte its own) to the
// temporary directory, deflated at level 1 under flags that claim the normal level, as it is
// made: the bytes never held whole.
std::string WriteHugeEntry(uint32_t megabytes) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  const std::string path = std::string(dir) + "vellumix-bench-huge.pk3";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return "";
  sample::ZipEntry entry{"maps/huge.bsp", 8, {}, 0, megabytes << 20};
  std::vector<uint8_t> header;
  sample::PutZipLocalHeader(header, entry, 0);
  bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size();
  z_stream z = {};
  ok = ok && deflateInit2(&z, 1, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
  std::mt19937 rng(500);
  std::vector<uint8_t> packed(1 << 20);
  uint32_t crc = static_cast<uint32_t>(crc32(0, nullptr, 0)), storedSize = 0;
  for (uint32_t mb = 0; ok && mb < megabytes; ++mb) {
    const std::vector<uint8_t> plain = TextLike(rng, 1u << 20);
    crc = static_cast<uint32_t>(crc32(crc, plain.data(), static_cast<uInt>(plain.size())));
    z.next_in = const_cast<Bytef*>(plain.data());
    z.avail_in = static_cast<uInt>(plain.size());
    const int flush = mb + 1 == megabytes ? Z_FINISH : Z_NO_FLUSH;
    int status = Z_OK;
    do {
      z.next_out = packed.data();
      z.avail_out = static_cast<uInt>(packed.size());
      status = deflate(&z, flush);
      const size_t made = packed.size() - z.avail_out;
      storedSize += static_cast<uint32_t>(made);
      ok = ok && status != Z_STREAM_ERROR && std::fwrite(packed.data(), 1, made, f) == made;
    } while (ok && (z.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END)));
  }
  deflateEnd(&z);
  entry.crc = crc;
  std::vector<uint8_t> directory;
  sample::PutZipDirectory(directory, {entry}, {0}, static_cast<uint32_t>(header.size()) + storedSize, "",
                          {storedSize});
  ok = ok && std::fwrite(directory.data(), 1, directory.size(), f) == directory.size();
  // The local header again, now with the entry's CRC-32 and stored size.
  header.clear();
  sample::PutZipLocalHeader(header, entry, storedSize);
  ok = ok && std::fseek(f, 0, SEEK_SET) == 0 && std::fwrite(header.data(), 1, header.size(), f) == header.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    DeleteFileA(path.c_str());
    return "";
  }
  return path;
}

// Saves one 500 MB entry as the window program's Save As does, to a PK3 at levels 0, 1
// and 9 and to a PAK, each from a window opened afresh on the archive, while another thread
// samples the memory the process has committed: each save's peak above what it held before
// is printed against the goal.
bool MeasureHugeSaves() {
  constexpr double kGoalMegabytes = 64;
  constexpr uint32_t kMegabytes = 500;
  const std::string path = WriteHugeEntry(kMegabytes);
  if (path.empty()) {
    std::fprintf(stderr, "the archive of one %u MB entry could not be written\n", kMegabytes);
    return false;
  }
  struct Save {
    const char* label;
    const char* name;
    uint32_t level;
  };
  const Save saves[] = {{"PK3 at level 0", "vellumix-bench-huge0.pk3", 0},
                        {"PK3 at level 1", "vellumix-bench-huge1.pk3", 1},
                        {"PK3 at level 9", "vellumix-bench-huge9.pk3", 9},
                        {"PAK", "vellumix-bench-huge.pak", 6}};
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  const uint32_t level = g_settings.zipCompressionLevel;
  bool ok = true;
  for (const Save& save : saves) {
    HWND window = reinterpret_cast<HWND>(
        SendMessageA(g_frameWindow, WMU_OPEN_ARCHIVE, 0, reinterpret_cast<LPARAM>(path.c_str())));
    WindowDocument* doc = window ? DocumentOf(window) : nullptr;
    if (!doc) {
      std::fprintf(stderr, "%s did not open\n", path.c_str());
      ok = false;
      break;
    }
    SettleAndPaint();
    g_settings.zipCompressionLevel = save.level;
    const std::string out = std::string(dir) + save.name;
    const double before = CommittedMegabytes();
    // Sampled every 2 ms until the save is over.
    HANDLE finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    double peak = before;
    std::thread watcher([&] {
      do peak = std::max(peak, CommittedMegabytes());
      while (WaitForSingleObject(finished, 2) == WAIT_TIMEOUT);
    });
    const double start = Now();
    const bool saved = SaveUnshownDocument(window, doc, out);
    const double seconds = Now() - start;
    SetEvent(finished);
    watcher.join();
    CloseHandle(finished);
    peak = std::max(peak, CommittedMegabytes());
    WIN32_FILE_ATTRIBUTE_DATA written = {};
    const bool exists = GetFileAttributesExA(out.c_str(), GetFileExInfoStandard, &written) != 0;
    SendMessageA(g_mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(window), 0);
    Pump();
    DeleteFileA(out.c_str());
    if (!saved || !exists || (written.nFileSizeLow == 0 && written.nFileSizeHigh == 0)) {
      std::fprintf(stderr, "the save as %s failed\n", save.label);
      ok = false;
      break;
    }
    std::printf("Save As of one %u MB entry as %-14s %6.1f MB more memory at the peak, in %5.1f s "
                "(goal < %.0f MB: %s)\n",
                kMegabytes, save.label, peak - before, seconds, kGoalMegabytes,
                peak - before < kGoalMegabytes ? "met" : "missed");
  }
  g_settings.zipCompressionLevel = level;
  DeleteFileA(path.c_str());
  return ok;
}

// "--history" measures the history's memory alone, "--open" the open of the game data
// archive alone, "--save" the memory of saving one large entry alone.
int main(int argc, char** argv) {
  const bool historyOnly = argc > 1 && std::strcmp(argv[1], "--history") == 0;
  const bool openOnly = argc > 1 && std::strcmp(argv[1], "--open") == 0;
  const bool saveOnly = argc > 1 && std::strcmp(argv[1], "--save") == 0;
  g_instance = GetModuleHandleA(nullptr);
  InitCommonControls();
  InitNumberFormat();
  if (!RegisterWindowClasses(g_instance) || !LoadMenuAndAccelerators() || !BuildFileTypes() ||
      !CreateFolderImageList(g_instance)) {
    std::fprintf(stderr, "start-up failed\n");
    return 1;
  }
  std::memset(&g_settings.windowState, 0, sizeof g_settings.windowState);
  CorrectWindowState(&g_settings.windowState);
  if (!LoadRecentFiles() || !CreateFrameWindow(SW_SHOW)) return 1;
  if (saveOnly) {
    const bool measured = MeasureHugeSaves();
    DestroyWindow(g_frameWindow);
    return measured ? 0 : 1;
  }
  if (!historyOnly && (!TimeGameDataOpen() || !TimeGameFolderOpen())) return 1;
  if (openOnly) {
    DestroyWindow(g_frameWindow);
    return 0;
  }
  for (bool pak : {false, true}) {
    if (historyOnly) break;
    const int kFiles = pak ? 4096 : 10000;
    std::string path = WriteArchive(kFiles, pak);
    if (path.empty()) return 1;
    const char* kind = pak ? "PAK" : "PK3";
    for (uint32_t view : {kViewLargeIcons, kViewDetails}) {
      g_settings.windowState.viewMode = view;
      g_settings.windowState.sortKey = kSortByName;
      std::vector<double> open, show, resort, byTime;
      for (int round = 0; round < 5; ++round) {
        double start = Now();
        HWND window = reinterpret_cast<HWND>(
            SendMessageA(g_frameWindow, WMU_OPEN_ARCHIVE, 0, reinterpret_cast<LPARAM>(path.c_str())));
        UpdateWindow(window);
        double opened = Now();
        if (!window) {
          std::fprintf(stderr, "%s did not open\n", path.c_str());
          return 1;
        }
        WindowDocument* doc = DocumentOf(window);
        HTREEITEM root = TreeView_GetRoot(doc->folderTree);
        HTREEITEM folder = TreeView_GetChild(doc->folderTree, root);
        double before = Now();
        TreeView_SelectItem(doc->folderTree, folder);
        UpdateWindow(doc->itemList);
        double shown = Now();
        int count = ListView_GetItemCount(doc->itemList);
        if (count != kFiles) {
          std::fprintf(stderr, "listed %d of %d\n", count, kFiles);
          return 1;
        }
        double sortStart = Now();
        SendMessageA(window, WM_COMMAND, ID_VIEW_BY_TYPE, 0);
        UpdateWindow(doc->itemList);
        resort.push_back(Now() - sortStart);
        sortStart = Now();
        SendMessageA(window, WM_COMMAND, ID_VIEW_BY_MODIFIED, 0);
        UpdateWindow(doc->itemList);
        byTime.push_back(Now() - sortStart);
        open.push_back(opened - start);
        show.push_back(shown - before);
        SendMessageA(g_mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(window), 0);
        Pump();
      }
      const char* name = view == kViewDetails ? "Details" : "Large Icons";
      Stats o = Summarise(open), s = Summarise(show), r = Summarise(resort), t = Summarise(byTime);
      std::printf("%s %-11s open archive + tree (root listed): best %7.1f ms, median %7.1f ms\n", kind, name,
                  o.best * 1000, o.median * 1000);
      std::printf("%s %-11s show folder of %d files:          best %7.1f ms, median %7.1f ms\n", kind, name,
                  kFiles, s.best * 1000, s.median * 1000);
      std::printf("%s %-11s sort %d items by type:            best %7.1f ms, median %7.1f ms\n", kind, name,
                  kFiles, r.best * 1000, r.median * 1000);
      std::printf("%s %-11s sort %d items by Modified:        best %7.1f ms, median %7.1f ms\n", kind, name,
                  kFiles, t.best * 1000, t.median * 1000);
    }
    DeleteFileA(path.c_str());
  }
  for (int count : {5000, 20000}) {
    if (historyOnly) break;
    const double seconds = TimePaste(count);
    if (seconds < 0) {
      std::fprintf(stderr, "paste of %d files failed\n", count);
      return 1;
    }
    std::printf("paste of %d files into a new archive:       %7.1f ms\n", count, seconds * 1000);
  }
  if (!historyOnly && !TimeThumbnails(2000)) {
    std::fprintf(stderr, "the thumbnails did not all show\n");
    return 1;
  }
  if (!MeasureHistoryMemory()) {
    std::fprintf(stderr, "the history measurement failed\n");
    return 1;
  }
  if (!historyOnly && !MeasureHugeSaves()) return 1;
  DestroyWindow(g_frameWindow);
  return 0;
}
