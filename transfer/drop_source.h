// The one drop source of the program: every drag out of an archive window uses it.
#pragma once

#include <windows.h>
#include <ole2.h>

// Made at start-up with one reference, released at shutdown; null when it could not be made.
extern IDropSource* g_dropSource;

IDropSource* CreateDropSource();
