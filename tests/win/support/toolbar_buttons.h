// The frame's toolbar as it first shows, button by button: what the Windows tests and
// the end-to-end tests both check it against.
#pragma once

#include <windows.h>
#include <commctrl.h>

struct ToolbarButtonCase {
  int command;
  int image;
  bool enabled;
  BYTE style;
};

inline constexpr ToolbarButtonCase kToolbarButtons[] = {
    {57600, 6, true, TBSTYLE_BUTTON},       {57601, 7, true, TBSTYLE_BUTTON},
    {57603, 8, false, TBSTYLE_BUTTON},      {0, 0, false, TBSTYLE_SEP},
    {40031, 23, false, TBSTYLE_BUTTON},     {40032, 26, false, TBSTYLE_BUTTON},
    {0, 0, false, TBSTYLE_SEP},             {57635, 0, false, TBSTYLE_BUTTON},
    {57634, 28, false, TBSTYLE_BUTTON},     {57637, 2, false, TBSTYLE_BUTTON},
    {40008, 5, false, TBSTYLE_BUTTON},      {0, 0, false, TBSTYLE_SEP},
    {40020, 15, false, TBSTYLE_CHECKGROUP}, {40021, 16, false, TBSTYLE_CHECKGROUP},
    {40022, 17, false, TBSTYLE_CHECKGROUP}, {40023, 18, false, TBSTYLE_CHECKGROUP},
    {40045, 27, false, TBSTYLE_CHECKGROUP},
};
