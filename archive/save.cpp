#include "archive/save.h"

#include "archive/disk.h"
#include "archive/edit_history.h"

Failure WriteArchiveFile(const ArchiveDocument& doc, const ArchiveFormat& format, const std::string& path,
                         const SaveOptions& options, SaveHost* host, std::unique_ptr<ArchiveSource>* written,
                         WrittenEntries* entries) {
  written->reset();
  if (!doc.tree) return Fail(Problem::Duplicating);
  // The writers copy stored bytes from one archive file; a game folder's view has many.
  if (doc.source && doc.source->AsGameFolder()) return Fail(Problem::GameFolderView, doc.source->path());
  WriteJob job;
  job.format = &format;
  job.tree = doc.tree.get();
  job.source = doc.source.get();
  job.path = path;
  job.level = options.level;
  job.threads = options.threads;
  job.sizeLimit = options.sizeLimit;
  job.host = host;
  Failure failure = format.write(job, entries);
  if (failure) return failure;
  Failure why;
  *written = format.open(format, path, &why);
  if (!*written) {
    RemoveFile(path);
    return Fail(Problem::Reopen, path);
  }
  return Failure();
}

void AdoptWritten(ArchiveDocument* doc, std::unique_ptr<ArchiveSource> written, const WrittenEntries& entries) {
  // The steps that can be undone keep their own copy of what they refer to in the file the
  // document stops reading from.
  doc->tree->history().KeepSourceBytes(doc->source.get());
  for (const auto& [id, index] : entries.files) {
    Node* node = doc->tree->Find(id);
    if (node && node->IsFile()) doc->tree->SetData(node, SourceEntry{index, written->Size(index)});
  }
  doc->source = std::move(written);
  doc->modified = 0;
  doc->tree->history().MarkSaved();
}

Failure SaveDocument(ArchiveDocument* doc, const ArchiveFormat& format, const std::string& target,
                     const SaveOptions& options, SaveHost* host, TemporaryFiles* temporaries) {
  if (doc == nullptr || !doc->tree) return Fail(Problem::Duplicating);
  if (doc->source && doc->source->AsGameFolder()) return Fail(Problem::GameFolderView, doc->source->path());
  Failure failure = CheckFormatLimits(doc->root(), format, doc->source.get());
  if (failure) return failure;
  // A read-only file is not replaced, whatever the file system would allow.
  if (IsReadOnlyFile(target)) {
    failure = Fail(Problem::ReplaceFailed, target);
    failure.accessDenied = true;
    return failure;
  }
  const bool ownFile = doc->source && SameDiskFile(doc->source->path(), target);
  // What an earlier save that never ended left in this folder goes first.
  if (temporaries) temporaries->Clean(FolderOfPath(target));
  std::string temporary;
  if (!ReserveTemporary(target, &temporary)) return Fail(Problem::TemporaryFailed, target);
  if (temporaries) temporaries->Note(temporary);
  const auto forget = [&] {
    if (RemoveFile(temporary) && temporaries) temporaries->Forget(temporary);
  };

  std::unique_ptr<ArchiveSource> written;
  WrittenEntries entries;
  failure = WriteArchiveFile(*doc, format, temporary, options, host, &written, &entries);
  if (failure) {
    forget();
    // The temporary file is the save's own business: the user knows the target.
    if (failure.name == temporary) failure.name = target;
    return failure;
  }
  // The new archive lets go of its file while the files change places, and so does the
  // document's own archive when it is the one replaced.
  written->LetGoOfFile();
  doc->tree->history().KeepSourceBytes(doc->source.get());
  const std::string oldPath = doc->source ? doc->source->path() : std::string();
  if (ownFile) doc->source->LetGoOfFile();
  ReplaceError error;
  if (!ReplaceWith(temporary, target, &error)) {
    if (ownFile) doc->source->TakeFile(oldPath);
    written.reset();
    forget();
    failure = Fail(Problem::ReplaceFailed, target);
    failure.systemError = error.systemError;
    failure.accessDenied = error.accessDenied;
    failure.sharing = error.sharing;
    return failure;
  }
  if (temporaries) temporaries->Forget(temporary);
  const bool reopened = written->TakeFile(target);
  AdoptWritten(doc, std::move(written), entries);
  // Saved, but not to be read back: the document cannot go on reading from it.
  if (!reopened) return Fail(Problem::Reopen, target);
  return Failure();
}
