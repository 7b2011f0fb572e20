// Command ids of the main menu, the toolbar and the accelerators. The status-bar help
// text of a command is the string with the command's id; a toolbar tooltip is the
// string with the command's id plus TOOLTIP_OFFSET.
#pragma once

#define ID_FILE_NEW 57600
#define ID_FILE_OPEN 57601
#define ID_FILE_CLOSE 57602
#define ID_FILE_SAVE 57603
#define ID_FILE_SAVE_AS 40004
#define ID_FILE_SAVE_ALL 40012
// Reads every entry of the active archive's file and reports the damaged ones.
#define ID_FILE_TEST_ARCHIVE 40040
// Compare the active archive with another archive, or with a folder on disk (ids kept
// apart from the rest, from 40090).
#define ID_FILE_COMPARE 40090
#define ID_FILE_COMPARE_FOLDER 40091
// A game folder opened as its engine reads it; an item of one shown in its own archive; a
// game folder's list showing only the files that shadow another; the game folder searched
// as another engine would, one command per target in the order of EngineTargets (ids from
// 40110).
#define ID_FILE_OPEN_GAME_FOLDER 40110
#define ID_OBJECT_SHOW_IN_ARCHIVE 40111
#define ID_VIEW_ONLY_SHADOWING 40112
#define ID_VIEW_SEARCH_AS_ANY 40113
#define ID_VIEW_SEARCH_AS_QUAKE 40114
#define ID_VIEW_SEARCH_AS_QUAKE2 40115
#define ID_VIEW_SEARCH_AS_QUAKE3 40116
#define ID_FILE_MRU_FIRST 57616
#define ID_FILE_MRU_LAST 57631
#define ID_APP_EXIT 40011

#define ID_EDIT_CUT 57635
#define ID_EDIT_COPY 57634
#define ID_EDIT_PASTE 57637
#define ID_EDIT_DELETE 40008
#define ID_EDIT_RENAME 40038
#define ID_EDIT_SELECT_ALL 57642
#define ID_EDIT_UNDO 57643
#define ID_EDIT_REDO 57644
#define ID_EDIT_INVERT_SELECTION 40010
// Finds items of the active archive by a name pattern.
#define ID_EDIT_FIND 40041

#define ID_OBJECT_UP 40031
#define ID_OBJECT_NEW_DIRECTORY 40032
#define ID_OBJECT_IMPORT_FILE 40033
#define ID_OBJECT_IMPORT_DIRECTORY 40036
#define ID_OBJECT_EXPORT 40034
// Imports what a chosen folder holds, not the folder itself.
#define ID_OBJECT_IMPORT_CONTENTS 40093
// Opens the selected item: shows a folder, views a file (the items' context menu).
#define ID_OBJECT_VIEW 40039

#define ID_VIEW_TOOLBAR 59392
#define ID_VIEW_STATUS_BAR 59393
#define ID_VIEW_LARGE_ICONS 40020
#define ID_VIEW_SMALL_ICONS 40021
#define ID_VIEW_LIST 40022
#define ID_VIEW_DETAILS 40023
#define ID_VIEW_BY_NAME 40024
#define ID_VIEW_BY_TYPE 40025
#define ID_VIEW_BY_SIZE 40026
// Sorts by the Modified column: a click on its header gives it, no menu item.
#define ID_VIEW_BY_MODIFIED 40042
#define ID_VIEW_REFRESH 40035
#define ID_VIEW_OPTIONS 40043
#define ID_VIEW_PREVIEW_PANE 40044
// Takes the keyboard to the filter box over the item list.
#define ID_VIEW_FILTER 40092
#define ID_VIEW_THUMBNAILS 40045
#define ID_OBJECT_PROPERTIES 40046
// Sorting by the Details columns only their headers give.
#define ID_VIEW_BY_PACKED 40047
#define ID_VIEW_BY_RATIO 40048
#define ID_VIEW_BY_METHOD 40049
#define ID_VIEW_BY_CRC 40050

#define ID_WINDOW_CLOSE 40013
#define ID_WINDOW_CLOSE_ALL 40014
#define ID_WINDOW_NEXT 40028
#define ID_WINDOW_PREVIOUS 40029
#define ID_WINDOW_CASCADE 57650
#define ID_WINDOW_TILE_HORZ 57651
#define ID_WINDOW_TILE_VERT 57652
#define ID_WINDOW_ARRANGE 40030
#define ID_WINDOW_SEND_TO_BACK 40037

#define ID_APP_ABOUT 40027

// The MDI client numbers the window list of the "Window" menu from here.
#define ID_MDI_FIRST_CHILD 0xFF00

#define TOOLTIP_OFFSET 100
