// Names from archives are untrusted: before one becomes part of a disk path it must be a
// single plain component that cannot lead out of the directory it is written into.
#pragma once

#include <cstddef>

#include "services/core/path_length.h"

// The longest disk path the program writes or reads, in the UTF-16 units the system counts
// (MAX_PATH less its NUL; see Utf16Length).
constexpr size_t kMaxDiskPath = kMaxPathUnits;

// Why a stored name is not written to disk: "the name is not allowed on disk".
extern const char kNameNotAllowedOnDisk[];

// true when name can be appended to a chosen directory as one file or directory name:
// not empty, no path separators, drive colons, wildcards or control characters, no
// trailing dot or space (which the system would drop, making "a.txt." the file "a.txt" and
// ".. " the parent), and not a reserved device name such as CON or LPT1.
bool IsSafeDiskName(const char* name);

// Why a name typed for a file or folder in an archive could not be written to disk as it
// stands, as a sentence; null when it could (the characters names may not hold are the
// caller's to check): a name of dots alone, one ending in a dot or a space, a device name.
const char* TypedNameProblem(const char* name);

// What the shell would make of a file of this name, as the system reads it (trailing dots
// and spaces dropped): NoExtension for a name without one (the shell may run it as a
// program), Program for a type the shell runs or installs (.exe, .bat, .js, .msi, .reg, ...).
enum class ShellRisk { None, Program, NoExtension };
ShellRisk ShellRiskOf(const char* name);
