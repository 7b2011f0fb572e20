// Save Differences As... of the Compare dialog: the files side A added or changed, made an
// archive of their own and saved through the normal Save As.
#pragma once

#include <windows.h>

#include <string>

struct CompareOutcome;

// Asks for the name and format (the Save dialog, owned by owner), reads the added and
// changed files of side A, and saves them. true when saved, with *note telling what was
// written; false when the user cancelled or it failed (a message said why).
bool SavePatchOfComparison(HWND owner, const CompareOutcome& outcome, std::string* note);

// The name proposed for the patch: "zzz-patch" (which sorts after a game's own archives,
// so its files win) with the extension of side A's file, ".pk3" for a document never saved.
std::string ProposedPatchName(const char* pathA);
