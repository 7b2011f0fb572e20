// The texts an owner-data list view asks its dialog for (the Find results, the Compare
// list), in either of the notifications the list sends.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

// Copies text into the buffer of the request, cut between characters of UTF-8 (never
// inside one) when it is longer than the buffer; nothing when no text was asked for.
void GiveListText(NMLVDISPINFOA* info, const std::string& text);
void GiveListText(NMLVDISPINFOW* info, const std::string& text);
