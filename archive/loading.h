// Opening an archive file and turning its stored paths into the archive tree.
#pragma once

#include "archive/document.h"
#include "archive/formats.h"
#include "archive/tree.h"
#include "archive/ui.h"

struct OpenedArchive {
  ArchiveKind kind;  // None on failure
  void* source;      // PakArchive* or Pk3Archive*
};

// Lower-cases path in place, opens it as PAK or PK3 by its extension and shows
// "Error reading PAK file" / "Error reading PK3 file" (caption "Vellumix") on failure.
OpenedArchive OpenArchiveFile(char* path, MessageSink& messages);

// Closes whichever source the document holds and sets it to none.
void CloseDocumentSource(ArchiveDocument* doc);

// Builds the tree of the document's source, creating folder-tree items; null on failure.
ArchiveNode* TreeBuildFromSource(ArchiveDocument* doc, FolderTree& folderTree);

ArchiveNode* AddDirectoryNode(FolderTree& folderTree, ArchiveNode* parentNode, const char* name);
ArchiveNode* AddPakFileNode(ArchiveNode* parentNode, PakDirEntry* pakEntry, const char* name);
int InsertPk3EntryByPath(FolderTree& folderTree, ArchiveNode* rootNode, Pk3CentralRecord* record);

// Lower-cases a string in place the way names entering the tree are lowered.
void LowerCaseInPlace(char* text);
