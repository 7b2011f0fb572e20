// create: a new archive from files and folders on disk. Names are stored as the window
// program's import stores them: a folder under its own name (its contents only for
// "DIR/."), every name lower-cased. Everything is checked before a byte is written: names
// the disk could not have on Windows, two paths that would be stored under one name, and
// the format's limits.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "archive/disk.h"
#include "archive/disk_walk.h"
#include "archive/dos_time.h"
#include "archive/format.h"
#include "archive/quoted_name.h"
#include "archive/save_pipeline.h"
#include "cli/archive_session.h"
#include "cli/archive_write.h"
#include "cli/commands.h"
#include "services/core/archive_text.h"
#include "services/core/window_state.h"
#include "transfer/core/disk_files.h"
#include "transfer/core/disk_names.h"
#include "transfer/core/import_names.h"

namespace {

// One file or folder to store: its stored path's components and where it is on disk.
struct DiskEntry {
  std::vector<std::string> components;
  std::string diskPath;
  bool directory = false;
};


std::string Joined(const std::vector<std::string>& components, bool directory) {
  std::string path;
  for (size_t i = 0; i < components.size(); ++i) path += (i ? "/" : "") + components[i];
  return directory ? path + "/" : path;
}

// "DIR/." and "." store a folder's contents rather than the folder.
bool NamesContents(const std::string& argument) {
  if (argument == ".") return true;
  if (argument.size() < 2 || argument.back() != '.') return false;
  const char before = argument[argument.size() - 2];
  return before == '/' || before == kDiskSeparator;
}

struct Gathering {
  std::string target;
  // Whether anything is at target yet: a file the walk meets can only be the archive being
  // replaced when it is, so that a target not made yet costs no comparison per file.
  bool targetExists = false;
  std::vector<DiskEntry> entries;
  // Whether names keep the case they have on disk.
  bool keepCase = false;
  // Stored path (lower-cased, for names differing only in case are one name; directories
  // with "/") to the disk path it came from.
  std::map<std::string, std::string> taken;
  int problems = 0;

  void Problem(const std::string& text) {
    PrintError(text);
    ++problems;
  }

  // Adds one item unless its stored path is taken by another; a folder may meet a folder.
  // A name as the archive will store it.
  std::string Stored(std::string name) const { return keepCase ? name : LowerCased(std::move(name)); }

  bool Add(DiskEntry entry) {
    const std::string asFile = Joined(entry.components, false), asFolder = asFile + "/";
    const std::string key = LowerCased(entry.directory ? asFolder : asFile);
    const auto clash = taken.find(LowerCased(entry.directory ? asFile : asFolder));
    const auto same = taken.find(key);
    if (clash != taken.end() || (same != taken.end() && !entry.directory)) {
      const std::string& other = clash != taken.end() ? clash->second : same->second;
      // One file reached twice ("DIR/." and "DIR/sub") is stored once.
      if (clash == taken.end() && SameDiskFile(other, entry.diskPath)) return true;
      Problem(QuotedName(other.c_str()) + " and " + QuotedName(entry.diskPath.c_str()) +
              " would both be stored as " + QuotedName(asFile.c_str()));
      return false;
    }
    if (same != taken.end()) return true;
    taken.emplace(key, entry.diskPath);
    entries.push_back(std::move(entry));
    return true;
  }

  // A folder and everything below it; prefix holds its own stored components.
  void Folder(const std::string& diskPath, const std::vector<std::string>& prefix) {
    WalkDiskTree(
        diskPath, prefix,
        [&](const DiskWalkEntry& entry, const std::vector<std::string>& folder, std::vector<std::string>* child) {
          if (entry.item.kind == DiskKind::File && targetExists && SameDiskFile(entry.path, target)) return false;
          std::vector<std::string> components = folder;
          components.push_back(Stored(entry.name));
          if (!Check(entry.path, components.back(), entry.item)) return false;
          if (entry.item.kind != DiskKind::Directory) {
            Add(DiskEntry{std::move(components), entry.path, false});
            return false;
          }
          if (entry.loop) {
            Problem(QuotedName(entry.path.c_str()) + ": a link leads back into a folder above it");
            return false;
          }
          if (!Add(DiskEntry{components, entry.path, true})) return false;
          *child = std::move(components);
          return true;
        },
        [&](const std::string& path, const std::vector<std::string>&) {
          Problem(QuotedName(path.c_str()) + ": the folder cannot be read");
        },
        [] { return Interrupted(); });
  }

  // What is at path may be stored under name.
  bool Check(const std::string& path, const std::string& name, const DiskItem& item) {
    if (item.kind == DiskKind::Missing) {
      Problem(QuotedName(path.c_str()) + ": no such file or folder (or a link that leads nowhere)");
      return false;
    }
    if (item.kind != DiskKind::File && item.kind != DiskKind::Directory) {
      Problem(QuotedName(path.c_str()) + ": neither a file nor a folder");
      return false;
    }
    if (!IsSafeDiskName(name.c_str())) {
      Problem(QuotedName(path.c_str()) + ": " + kNameNotAllowedOnDisk + " (as " + QuotedName(name.c_str()) +
              "), so an archive cannot hold it");
      return false;
    }
    if (item.kind == DiskKind::File && item.size > static_cast<uint64_t>(kMaxImportSize)) {
      Problem(QuotedName(path.c_str()) + ": the file is 4 GB or larger, more than an entry can hold");
      return false;
    }
    return true;
  }

  void Argument(const std::string& argument) {
    const DiskItem item = StatPath(argument);
    if (item.kind == DiskKind::Directory && NamesContents(argument)) {
      // "DIR/." walks as "DIR/", so that the paths in messages read plainly.
      Folder(argument == "." ? argument : argument.substr(0, argument.size() - 1), {});
      return;
    }
    const std::string name =
        Stored(item.kind == DiskKind::Directory ? DirectoryImportName(argument.c_str()) : LastPathComponent(argument.c_str()));
    if (item.kind == DiskKind::Directory && (name.empty() || !IsSafeDiskName(name.c_str()))) {
      Problem(QuotedName(argument.c_str()) + ": the folder has no name to store it under; " + argument +
              (argument.back() == kDiskSeparator || argument.back() == '/' ? "." : "/.") + " stores its contents");
      return;
    }
    if (!Check(argument, name, item)) return;
    if (item.kind == DiskKind::Directory) {
      if (Add(DiskEntry{{name}, argument, true})) Folder(argument, {name});
    } else {
      Add(DiskEntry{{name}, argument, false});
    }
  }
};

// The file nodes made, with where their bytes are read from.
struct PendingFile {
  NodeId node;
  std::string diskPath;
};

// Builds the document's tree from the gathered entries. Each new node goes to the head of
// its folder's children, so the entries are added in reverse order of their paths.
void BuildTree(OpenedDocument& doc, std::vector<DiskEntry>& entries, std::vector<PendingFile>* files) {
  std::sort(entries.begin(), entries.end(),
            [](const DiskEntry& a, const DiskEntry& b) { return a.components > b.components; });
  ArchiveTree& tree = *doc.doc.tree;
  // The folders made so far by stored path, so that each is looked up once.
  std::map<std::string, Node*> folders;
  for (const DiskEntry& entry : entries) {
    Node* parent = tree.root();
    std::string path;
    for (size_t i = 0; i < entry.components.size(); ++i) {
      const std::string& name = entry.components[i];
      const bool last = i + 1 == entry.components.size();
      path += name;
      if (last && !entry.directory) {
        Node* file = tree.AddFile(parent, name, MemoryBytes{});
        files->push_back(PendingFile{file->id(), entry.diskPath});
        break;
      }
      path += '/';
      // Folders differing only in case are one folder, named as first met.
      Node*& folder = folders[LowerCased(path)];
      if (folder == nullptr) folder = tree.AddDirectory(parent, name);
      parent = folder;
    }
  }
}

// Reads every file's bytes into its node; false after naming a file that cannot be read.
// The files are read on every core (reading is copying from the system's cache, which one
// thread would do alone before any compression starts); their bytes go to the tree here,
// in order, so the messages and the progress come as from one reader.
bool ReadFiles(ArchiveTree& tree, const std::vector<PendingFile>& files, unsigned workers) {
  struct Read {
    SharedBytes bytes;
    int64_t length = -1;
    int64_t modified = 0;
    bool done = false;  // guarded by the mutex
  };
  // In the order of the tree's nodes, which BuildTree added from the last path back.
  const size_t count = files.size();
  const auto fileAt = [&](size_t i) -> const PendingFile& { return files[count - 1 - i]; };
  std::vector<Read> reads(count);
  std::mutex mutex;
  std::condition_variable ready;
  std::atomic<size_t> next{0};
  std::atomic<bool> stop{false};
  const auto work = [&] {
    for (size_t i; !stop.load(std::memory_order_relaxed) && (i = next.fetch_add(1)) < count;) {
      Read read;
      read.length = ReadWholeFile(fileAt(i).diskPath.c_str(), &read.bytes);
      // The entry keeps the time the file was last changed.
      if (read.length >= 0) read.modified = StatPath(fileAt(i).diskPath).modified;
      std::lock_guard<std::mutex> lock(mutex);
      reads[i] = std::move(read);
      reads[i].done = true;
      ready.notify_all();
    }
  };
  std::vector<std::thread> threads;
  const unsigned wanted = std::min<size_t>(SaveThreadsFor(workers), count);
  for (unsigned t = 0; t < wanted; ++t) threads.emplace_back(work);
  struct Joined {
    std::atomic<bool>& stop;
    std::vector<std::thread>& threads;
    ~Joined() {
      stop = true;
      for (std::thread& t : threads) t.join();
    }
  } joined{stop, threads};

  ProgressLine progress("reading");
  progress.Start(static_cast<uint32_t>(count));
  for (size_t i = 0; i < count && !Interrupted(); ++i) {
    const PendingFile& file = fileAt(i);
    progress.ShowItem(file.diskPath.c_str(), 0);
    Read read;
    {
      std::unique_lock<std::mutex> lock(mutex);
      while (!reads[i].done && !Interrupted()) ready.wait_for(lock, std::chrono::milliseconds(30));
      if (!reads[i].done) break;
      read = std::move(reads[i]);
    }
    if (read.length < 0) {
      progress.Close();
      PrintError(QuotedName(file.diskPath.c_str()) + ": the file cannot be read whole (or not into memory)");
      return false;
    }
    tree.SetData(tree.Find(file.node), MemoryBytes{std::move(read.bytes), DosDateTimeOf(read.modified)});
    progress.Step();
  }
  progress.Close();
  return !Interrupted();
}

}  // namespace

int CreateCommand(const CommandLine& line) {
  const std::string& target = line.operands[0];
  const ArchiveFormat& format = *FormatForPath(target);
  Gathering gathering;
  gathering.target = target;
  gathering.targetExists = StatPath(target).kind != DiskKind::Missing;
  gathering.keepCase = line.keepCase;
  for (size_t i = 1; i < line.operands.size() && !Interrupted(); ++i) gathering.Argument(line.operands[i]);
  if (Interrupted()) {
    PrintError(target + ": interrupted; nothing was written");
    return kExitInterrupted;
  }
  if (gathering.problems > 0) {
    PrintError(target + ": nothing was written");
    return kExitRefused;
  }
  OpenedDocument doc;
  doc.path = target;
  doc.New(line.keepCase);
  std::vector<PendingFile> files;
  BuildTree(doc, gathering.entries, &files);
  WriteRules rules;
  rules.target = TargetOf(line, target, format);
  rules.force = line.force;
  // Refused before a file is read.
  if (!MayWrite(doc.doc, format, target, rules)) return kExitRefused;
  if (!ReadFiles(*doc.doc.tree, files, line.workers)) {
    if (!Interrupted()) {
      PrintError(target + ": nothing was written");
      return kExitRefused;
    }
    PrintError(target + ": interrupted; nothing was written");
    return kExitInterrupted;
  }
  const int level = line.level >= 0 ? line.level : static_cast<int>(kDefaultZipLevel);
  return WriteDocumentTo(&doc.doc, format, target, level, target, nullptr);
}
