// The enumerator of clipboard formats a data object hands out: its own copy of the
// format list and a position in it.
#pragma once

#include <windows.h>
#include <objidl.h>

// A new enumerator at position 0 over a copy of count formats; null when memory is short.
IEnumFORMATETC* CreateFormatEnumerator(const FORMATETC* formats, ULONG count);
