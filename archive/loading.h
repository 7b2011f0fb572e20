// Opening an archive file and turning its stored paths into the archive tree.
#pragma once

#include <string>

#include "archive/document.h"
#include "archive/formats.h"
#include "archive/tree.h"
#include "archive/ui.h"

struct OpenedArchive {
  ArchiveKind kind;  // None on failure
  void* source;      // PakArchive* or Pk3Archive*
};

// Lower-cases path in place, opens it as PAK or PK3 by its extension and shows
// "Error reading PAK file" / "Error reading PK3 file" (caption "Vellumix") on failure,
// followed by a line naming the archive and the reason. A file without extension is tried
// as PAK, then as PK3, whose reason is given.
OpenedArchive OpenArchiveFile(char* path, MessageSink& messages);
// As OpenArchiveFile, with the path used as given: the extension is matched in any case.
// For file systems where case tells names apart.
OpenedArchive OpenArchiveAt(const char* path, MessageSink& messages);

// The message of an archive that cannot be shown: the format's line, then a line naming
// the archive and, when known, why.
std::string ArchiveErrorMessage(ArchiveKind kind, const char* path, const std::string& why);
// Shows that message in the program's box ("Vellumix", stop icon).
void ShowArchiveError(MessageSink& messages, ArchiveKind kind, const char* path,
                      const std::string& why);

// Closes a source of the given kind; nothing for None.
void CloseSource(void* source, ArchiveKind kind);
// Closes whichever source the document holds and sets it to none.
void CloseDocumentSource(ArchiveDocument* doc);

// Builds the tree of the document's source, creating folder-tree items; null on failure,
// with the reason in *why (a stored path and what is wrong with it, or lack of memory).
ArchiveNode* TreeBuildFromSource(ArchiveDocument* doc, FolderTree& folderTree,
                                 std::string* why = nullptr);

ArchiveNode* AddDirectoryNode(FolderTree& folderTree, ArchiveNode* parentNode, const char* name);
ArchiveNode* AddPakFileNode(ArchiveNode* parentNode, PakDirEntry* pakEntry, const char* name);
int InsertPk3EntryByPath(FolderTree& folderTree, ArchiveNode* rootNode, Pk3CentralRecord* record);

// Lower-cases a string in place the way names entering the tree are lowered.
void LowerCaseInPlace(char* text);
