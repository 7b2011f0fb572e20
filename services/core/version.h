// The program's name and version: the one place they are given, for the window program's
// About box and the command-line tool's --version.
#pragma once

inline constexpr char kProductName[] = "Vellumix";
inline constexpr char kProductVersion[] = "0.08";
