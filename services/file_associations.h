// Opening the archive types with the program from Explorer: the file associations of the
// current user, kept under HKEY_CURRENT_USER\Software\Classes.
//
// Associated, each of .pak, .pk3, .pk4 and .wad names the program id kAssociationProgId as
// its default value; that id's key holds a readable name, the program's icon and the
// command that opens a file ("<exe>" "%1"). An extension that named another id before keeps
// that id in its own value kPreviousOwnerValue, and one whose key the association made keeps
// kCreatedKeyValue, so that taking the association away puts back what was there: the
// previous id, or no default value, or no key. Other values and subkeys of an extension's
// key are never touched, and an extension another program has taken over since is left to it.
#pragma once

#include <windows.h>

#include <string>

extern const wchar_t kAssociationProgId[];   // "Vellumix.Archive"
extern const wchar_t kAssociationTypeName[];  // "Game data archive"
extern const wchar_t kPreviousOwnerValue[];   // "Vellumix.PreviousOwner"
extern const wchar_t kCreatedKeyValue[];      // "Vellumix.CreatedKey"
// The extensions associated, with their dots, and how many there are.
extern const wchar_t* const kAssociatedExtensions[];
extern const size_t kAssociatedExtensionCount;

// Where the associations live: an open key that stands for a user's Software\Classes
// (with the rights to read, write and make subkeys), and its name for messages.
struct ClassesRoot {
  HKEY key = nullptr;
  std::string name;
};

// Whether every one of the extensions names the program id now.
bool IsAssociated(const ClassesRoot& root);
// Associates the extensions with the program at exePath. On a failure nothing stays changed
// that could be put back, and *error names the key that could not be written and why (and
// what could not be put back, if anything).
bool Associate(const ClassesRoot& root, const std::wstring& exePath, std::string* error);
// Takes away what Associate wrote. When an extension cannot be changed, the extensions are
// put back as they were; the program id's key goes last, once no extension names it.
bool Dissociate(const ClassesRoot& root, std::string* error);

// The same for the current user: HKEY_CURRENT_USER\Software\Classes, opened for the call.
// After a change Explorer is told that associations changed.
bool IsAssociated();
bool Associate(const std::wstring& exePath, std::string* error);
bool Dissociate(std::string* error);

// This program's own path as the system gives it (any length, any character); false when it
// cannot be had.
bool ProgramPath(std::wstring* path);
