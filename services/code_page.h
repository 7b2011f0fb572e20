// Text crossing between the program's narrow strings and the system's UTF-16: paths from
// the shell, names for it, and the system calls whose narrow forms write into a buffer of
// MAX_PATH bytes, which a UTF-8 path of MAX_PATH characters overflows. Narrow text is in the
// process's ANSI code page: UTF-8 where the manifest's setting is honoured (Windows 10
// version 1903 and later, and Wine), the system's own page on older Windows.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <string_view>

// Whether the process's ANSI code page is UTF-8.
bool AnsiCodePageIsUtf8();

// Narrow text as UTF-16; false (and nothing) when it holds bytes the code page does not map.
bool WideFromNarrow(std::string_view narrow, std::wstring* wide);
// UTF-16 text (length units, no NUL needed) in the ANSI code page; false when a character
// has no form there: a lone surrogate for UTF-8, any character another page lacks. Never a
// best-fit guess, which could turn a character into a separator or a dot.
bool NarrowFromWide(const wchar_t* wide, size_t length, std::string* narrow);
// UTF-16 text in an ANSI code page other than UTF-8, each character the page lacks written
// as '_' (which no file system refuses), never guessed.
std::string NarrowInCodePage(const wchar_t* wide, size_t length, UINT codePage);

// Narrow text from another program, in an ANSI code page that is not said: taken as it is
// when it is well-formed UTF-8 or the process's page is not UTF-8; otherwise it is in the
// system's own page (as a program without the setting writes), and converted from there.
// false when it cannot be read either way.
bool NarrowFromForeign(std::string_view text, std::string* narrow);

// The file-system path of a shell item, whatever its length in bytes; false for an item that
// is not in the file system.
bool PathOfShellItem(LPCITEMIDLIST item, std::string* path);
// Makes an empty file of a new name in folder ("<prefix><hex>.tmp", as GetTempFileName does)
// and gives its path; false when none could be made or its path would be too long.
bool MakeTemporaryFileIn(const char* folder, const char* prefix, std::string* path);
