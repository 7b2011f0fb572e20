// extract: the whole archive, or chosen paths and folders, written below one directory.
// Names from an archive are untrusted: each component of a path must be a name allowed on
// disk (the export's rule), and a path stored as absolute is refused, so nothing is ever
// written outside the directory; a link found in the way is not followed.
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>

#include <cerrno>

#include "archive/disk.h"
#include "archive/entry_data.h"
#include "archive/entry_read_ahead.h"
#include "archive/format.h"
#include "archive/quoted_name.h"
#include "archive/save_pipeline.h"
#include "cli/archive_session.h"
#include "cli/commands.h"
#include "cli/picture_export.h"
#include "services/core/archive_text.h"
#include "transfer/core/disk_names.h"

namespace {

// How long a wait for the next file lasts before Ctrl+C is looked at again.
constexpr std::chrono::milliseconds kReadAheadSlice{30};

// One file made and written on a thread of its own, then settled in archive order by the
// extraction's thread: reported, or removed where the extraction stopped before it.
struct FileWrite {
  const Node* node = nullptr;
  std::string stored, path;
  std::string folded;  // the path lower-cased, as a disk blind to case sees it
  bool replace = false;
  SharedBytes holder;  // keeps the bytes alive
  const uint8_t* data = nullptr;
  size_t size = 0;
  // The time the file is to get, when the archive gives one.
  bool timed = false;
  int64_t modified = 0;
  DiskFileOut out;
  // Set by the writer, which commits a new file itself (and gives it its time). A file that
  // replaces another is committed by the extraction's thread, so that the old one is kept
  // when the extraction stops before it.
  bool opened = false, wrote = false, committed = false;
  bool done = false;  // guarded by the writers' mutex
  // What was said of the later entries while this one was on its way, said after it.
  std::vector<std::string> after;
};

// Making a file is the most of an extraction's time, most of it in the system, and one
// thread alone would wait on it while the others inflate: files are made and written on
// threads of their own, a bounded number ahead of the one the extraction settles.
class FileWriters {
 public:
  explicit FileWriters(unsigned threads) : threads_(threads) {}
  ~FileWriters() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    work_.notify_all();
    for (std::thread& t : workers_) t.join();
  }
  FileWriters(const FileWriters&) = delete;
  FileWriters& operator=(const FileWriters&) = delete;

  static constexpr size_t kFiles = 64;
  static constexpr uint64_t kBytes = 16u << 20;
  bool Full() const { return pending_.size() >= kFiles || bytes_ >= kBytes; }
  bool Empty() const { return pending_.empty(); }
  FileWrite& Last() { return *pending_.back(); }
  bool Holds(const std::string& folded) const { return paths_.count(folded) != 0; }

  void Push(std::unique_ptr<FileWrite> write) {
    if (workers_.empty())
      for (unsigned i = 0; i < threads_; ++i) workers_.emplace_back([this] { Work(); });
    bytes_ += write->size;
    paths_.insert(write->folded);
    FileWrite* raw = write.get();
    pending_.push_back(std::move(write));
    {
      std::lock_guard<std::mutex> lock(mutex_);
      todo_.push_back(raw);
    }
    work_.notify_one();
  }
  // The oldest write once it is done (waiting for it when wait); null when there is none.
  std::unique_ptr<FileWrite> Take(bool wait) {
    if (pending_.empty()) return nullptr;
    FileWrite* front = pending_.front().get();
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!front->done && !wait) return nullptr;
      done_.wait(lock, [front] { return front->done; });
    }
    std::unique_ptr<FileWrite> write = std::move(pending_.front());
    pending_.pop_front();
    bytes_ -= write->size;
    paths_.erase(write->folded);
    return write;
  }

 private:
  void Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      work_.wait(lock, [this] { return stop_ || !todo_.empty(); });
      if (stop_) return;
      FileWrite* write = todo_.front();
      todo_.pop_front();
      lock.unlock();
      write->opened = write->out.Open(write->path, write->replace);
      write->wrote = write->opened && (write->size == 0 || write->out.Write(write->data, write->size));
      write->committed = write->wrote && !write->replace && write->out.Commit();
      if (write->committed && write->timed) SetFileModified(write->path, write->modified);
      lock.lock();
      write->done = true;
      done_.notify_all();
    }
  }

  const unsigned threads_;
  std::deque<std::unique_ptr<FileWrite>> pending_;  // in archive order
  uint64_t bytes_ = 0;
  std::unordered_set<std::string> paths_;  // of the pending writes, lower-cased
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable work_, done_;
  std::deque<FileWrite*> todo_;
  bool stop_ = false;
};

struct Extraction {
  const OpenedDocument& archive;
  // Of a path stored more than once only the shown file is written.
  Shadows& shadows;
  std::string directory;
  bool overwrite;
  bool verbose;  // -v: each existing file kept is named, not only counted
  // With --images png: writes the PNG of each picture extracted; null otherwise.
  PictureExport* pictures;
  // Reads and inflates the files ahead, on every core, in the order they are written.
  EntryReadAhead* ahead = nullptr;
  // Makes and writes the files read whole.
  FileWriters* writers = nullptr;
  ProgressLine progress{"extracting"};
  int refused = 0, damaged = 0, failed = 0, kept = 0, written = 0;
  // The folders this extraction made or found already there: the files after the first in
  // a folder cost no call to make it again.
  std::unordered_set<const Node*> madeFolders{};
  // Set by a failure that every later file would meet too (a full disk): the extraction
  // ends there with that one message.
  bool stopped = false;
  bool settling = false;  // what is said now is of the file being settled

  // What follows the name may hold the path on disk, which is made of stored names.
  void Report(const std::string& stored, const std::string& what) {
    Say(archive.path + ": " + QuotedName(stored.c_str()) + ": " + PrintableName(what));
  }
  // Messages come in archive order: one about an entry behind files still being written
  // waits for them.
  void Say(const std::string& message) {
    if (writers && !writers->Empty() && !settling)
      writers->Last().after.push_back(message);
    else
      PrintError(message);
  }

  // Commits the oldest file written, or reports why it could not be written; false when
  // there was none done (or none at all, with wait).
  bool SettleOne(bool wait) {
    std::unique_ptr<FileWrite> write = writers ? writers->Take(wait) : nullptr;
    if (!write) return false;
    settling = true;
    // Past a failure that stops the extraction, nothing more is made or said.
    if (stopped) {
      if (write->committed) RemoveFile(write->path);
      write->out.Abandon();
      settling = false;
      return true;
    }
    if (!write->committed && (!write->opened || !write->wrote || !write->replace || !write->out.Commit())) {
      const int error = write->out.Error();
      write->out.Abandon();
      WriteFailed(write->stored, "could not be written to " + write->path, error);
    } else {
      Written(write->node, write->stored, write->path, !write->committed);
    }
    if (!stopped)
      for (const std::string& message : write->after) PrintError(message);
    settling = false;
    return true;
  }
  void SettleAll() {
    while (SettleOne(true)) {
    }
  }

  // The file gets the time the archive gives its entry. A system that will not set it
  // leaves the file written all the same.
  void Written(const Node* node, const std::string& stored, const std::string& path, bool timeIt = true) {
    int64_t modified = 0;
    if (timeIt && EntryModified(&archive.doc, node, &modified)) SetFileModified(path, modified);
    ++written;
    if (pictures) pictures->Offer(node, stored, path);
  }

  // A file or folder that could not be made: reported, and the end of the extraction when no
  // later one could be made either.
  void WriteFailed(const std::string& stored, const std::string& what, int error) {
    ++failed;
    if (FailsEveryLaterWrite(error)) {
      stopped = true;
      Report(stored, what + ": " + ErrorText(error) + "; the extraction stopped there (" + std::to_string(written) +
                         (written == 1 ? " file" : " files") + " written)");
      return;
    }
    Report(stored, error ? what + ": " + ErrorText(error) : what);
  }

  // The disk path of a node below the directory, its directories made on the way; empty
  // after reporting why it is refused.
  std::string DiskPathOf(const Node* node, const std::string& stored) {
    if (!stored.empty() && (stored[0] == '/' || stored[0] == '\\')) {
      Report(stored, "refused: the path is absolute");
      ++refused;
      return std::string();
    }
    std::vector<const Node*> chain;
    for (const Node* n = node; n && !n->IsRoot(); n = n->parent()) chain.push_back(n);
    for (const Node* n : chain) {
      if (!IsSafeDiskName(n->name().c_str())) {
        Report(stored, std::string("refused: ") + kNameNotAllowedOnDisk + " (" + QuotedName(n->name().c_str()) + ")");
        ++refused;
        return std::string();
      }
    }
    std::string path = directory;
    for (size_t i = chain.size(); i-- > 0;) {
      path = JoinDiskPath(path, chain[i]->name());
#ifdef _WIN32
      if (Utf16Length(path) > kMaxDiskPath) {
        Report(stored, "refused: the path on disk would be too long");
        ++refused;
        return std::string();
      }
#endif
      const bool last = i == 0;
      if (last && !chain[i]->IsDirectory()) break;
      if (madeFolders.count(chain[i]) != 0) continue;
      // A folder that cannot be made says so after the files before it.
      SettleAll();
      if (stopped) return std::string();
      errno = 0;
      if (!MakeDirectory(path)) {
        const int error = errno;
        const DiskKind there = StatLink(path).kind;
        if (there == DiskKind::Missing)
          WriteFailed(stored, "not written: the folder " + path + " cannot be made", error);
        else
          WriteFailed(stored, there == DiskKind::Link ? "not written: a link is in the way at " + path
                                                      : "not written: a file is in the way at " + path,
                      0);
        return std::string();
      }
      madeFolders.insert(chain[i]);
    }
    return path;
  }

  void File(const Node* node, const EntryOutcome& bytes) {
    const std::string stored = StoredNameOf(&archive.doc, node);
    progress.ShowItem(stored.c_str(), 0);
    const std::string path = DiskPathOf(node, stored);
    if (path.empty()) return;
    // A path that a file still being written takes (on a disk blind to case) is looked at
    // once that file is there, as one written before.
    std::string folded = LowerCased(path);
    if (writers->Holds(folded)) {
      SettleAll();
      if (stopped) return;
    }
    const DiskKind there = StatLink(path).kind;
    if (there == DiskKind::File && !overwrite) {
      if (verbose)
        Say(archive.path + ": " + QuotedName(stored.c_str()) + ": kept the existing " + PrintableName(path) +
                   " (--overwrite replaces it)");
      ++kept;
      return;
    }
    if (there != DiskKind::Missing && there != DiskKind::File) {
      Report(stored, std::string("not written: a ") + (there == DiskKind::Link ? "link" : "folder") +
                         " is in the way at " + path);
      ++failed;
      return;
    }
    // An entry that shares its bytes with another is refused before a file is made for it.
    const Failure placement = EntryPlacement(&archive.doc, node);
    if (placement.problem == Problem::SharesData) {
      Report(stored, FailureReason(placement));
      ++damaged;
      return;
    }
    // Read whole: made and written by the writers.
    if (!bytes.readHere) {
      if (bytes.load != EntryLoad::Ok) {
        Report(stored, EntryLoadReason(bytes.load));
        ++damaged;
        return;
      }
      while (writers->Full()) SettleOne(true);
      if (stopped) return;
      std::unique_ptr<FileWrite> write(new FileWrite);
      write->node = node;
      write->stored = stored;
      write->path = path;
      write->folded = std::move(folded);
      write->replace = there == DiskKind::File;
      write->timed = EntryModified(&archive.doc, node, &write->modified);
      write->holder = bytes.holder;
      write->data = bytes.data;
      write->size = bytes.size;
      writers->Push(std::move(write));
      while (SettleOne(false)) {
      }
      return;
    }
    // Streamed here, after the files before it.
    SettleAll();
    if (stopped) return;
    DiskFileOut out;
    if (!out.Open(path, there == DiskKind::File)) {
      WriteFailed(stored, "could not be written to " + path, out.Error());
      return;
    }
    // The bytes go to the file as they are read, in pieces, whatever the entry's size.
    struct ToFile : ByteSink {
      DiskFileOut& out;
      explicit ToFile(DiskFileOut& o) : out(o) {}
      bool Take(const uint8_t* data, size_t size) override { return out.Write(data, size); }
    } sink(out);
    // Too large to hold: read here, as the file is written.
    const EntryLoad load = StreamEntryBytes(&archive.doc, node, &sink);
    if (load != EntryLoad::Ok && load != EntryLoad::Stopped) {
      out.Abandon();
      Report(stored, EntryLoadReason(load));
      ++damaged;
      return;
    }
    if (load == EntryLoad::Stopped || !out.Commit()) {
      out.Abandon();
      WriteFailed(stored, "could not be written to " + path, out.Error());
      return;
    }
    Written(node, stored, path);
  }

  void Subtree(const Node* top) {
    for (const Node* n = top; n && !Interrupted() && !stopped; n = NextInSubtree(n, top)) {
      if (n->IsFile()) {
        if (shadows.IsShadowed(n)) continue;
        EntryOutcome bytes;
        while (!ahead->Next(kReadAheadSlice, &bytes))
          if (Interrupted()) return;
        File(n, bytes);
        progress.Step();
      } else if (n->IsDirectory() && n->firstChild() == nullptr) {
        // An empty folder is made; others come with their files.
        DiskPathOf(n, StoredPath(n));
      }
    }
  }
};

}  // namespace

int ExtractCommand(const CommandLine& line) {
  OpenedDocument archive;
  if (!archive.Open(line.operands[0], true, line.keepCase, GivenTarget(line.targetGiven, line.target))) return kExitRefused;
  Shadows shadows(archive.doc.source.get());
  std::vector<const Node*> chosen;
  bool missing = false;
  for (size_t i = 1; i < line.operands.size(); ++i) {
    const Node* node = FindTyped(archive.doc.root(), line.operands[i], shadows);
    if (node == nullptr) {
      PrintError(archive.path + ": " + QuotedName(line.operands[i].c_str()) + " is not in the archive");
      missing = true;
    }
    chosen.push_back(node);
  }
  if (missing) return kExitRefused;
  if (chosen.empty()) chosen.push_back(archive.doc.root());
  // A path inside another chosen one ("maps/" and "maps/e1m1.bsp") is extracted once.
  std::vector<const Node*> tops;
  for (const Node* node : chosen) {
    bool inside = false;
    for (const Node* other : chosen)
      inside = inside || (other != node && IsAncestor(other, node)) ||
               (other == node && std::find(tops.begin(), tops.end(), node) != tops.end());
    if (!inside) tops.push_back(node);
  }
  chosen = tops;

  const std::string directory = line.directory.empty() ? "." : line.directory;
  if (!MakeDirectories(directory)) {
    PrintError(directory + ": the directory cannot be made");
    return kExitRefused;
  }
  PictureExport pictures(archive.doc, archive.path, line.overwrite);
  Extraction extraction{archive, shadows, directory, line.overwrite, line.verbose,
                        line.imagesPng ? &pictures : nullptr};
  // The files in the order Subtree writes them.
  std::vector<const Node*> files;
  for (const Node* top : chosen)
    for (const Node* n = top; n; n = NextInSubtree(n, top))
      if (n->IsFile() && !shadows.IsShadowed(n)) files.push_back(n);
  const uint32_t steps = static_cast<uint32_t>(files.size());
  ReadAheadOptions options;
  options.workers = line.workers;
  options.keepBytes = true;
  EntryReadAhead ahead(&archive.doc, std::move(files), options);
  extraction.ahead = &ahead;
  extraction.progress.Start(steps);
  FileWriters writers(SaveThreadsFor(line.workers));
  extraction.writers = &writers;
  for (const Node* top : chosen) extraction.Subtree(top);
  extraction.SettleAll();
  extraction.progress.Close();
  if (Interrupted()) {
    PrintError(archive.path + ": interrupted after " + std::to_string(extraction.written) + " files");
    return kExitInterrupted;
  }
  const int problems = extraction.refused + extraction.damaged + extraction.failed;
  if (extraction.stopped) return kExitRefused;
  // Files kept are no failure: one line says how many, -v named each.
  if (extraction.kept > 0)
    PrintError(archive.path + ": " + std::to_string(extraction.kept) +
               (extraction.kept == 1 ? " existing file kept" : " existing files kept") + "; --overwrite replaces " +
               (extraction.kept == 1 ? "it" : "them"));
  if (problems > 0)
    PrintError(archive.path + ": " + std::to_string(problems) + (problems == 1 ? " entry was" : " entries were") +
               " not extracted (" + std::to_string(extraction.written) + " written)");
  // A picture that is no PNG is a failure of its own: its file was extracted all the same.
  if (pictures.failed > 0)
    PrintError(archive.path + ": " + std::to_string(pictures.failed) +
               (pictures.failed == 1 ? " picture was" : " pictures were") + " not written as PNG (" +
               std::to_string(pictures.written) + " written)");
  return problems > 0 || pictures.failed > 0 ? kExitRefused : kExitOk;
}
