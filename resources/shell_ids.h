// Resource ids of the program shell: menu, accelerators, icons, the About box and
// the strings shared by the file dialogs and the rename check.
#pragma once

#define IDR_MAIN_MENU 101
#define IDR_ACCELERATORS 105
// The panes' context menus: popup 0 for items, popup 1 for the empty space of a folder.
#define IDR_CONTEXT_MENUS 106
#define CONTEXT_MENU_ITEMS 0
#define CONTEXT_MENU_SPACE 1
#define IDD_ABOUT 119
#define IDI_PROGRAM 120
#define IDI_ABOUT 121
// The Options dialog.
#define IDD_OPTIONS 122
#define IDC_OPTIONS_KEEP_CASE 1020
#define IDC_OPTIONS_ASSOCIATE 1024
// The Properties dialog: one row a property, its name and its value.
#define IDD_PROPERTIES 123
#define IDC_PROPERTIES_LIST 1021
// The compression row that the Save dialog carries for Save As.
#define IDD_SAVE_COMPRESSION 102
#define IDC_SAVE_COMPRESSION 1010
#define IDC_SAVE_TARGET 1011

// Positions in the main menu.
#define MENU_POS_FILE 0
#define MENU_POS_EDIT 1
#define MENU_POS_OBJECT 2
#define MENU_POS_VIEW 3
#define MENU_POS_WINDOW 4
#define MENU_POS_HELP 5
#define FILE_MENU_POS_RECENT 13

// The file dialogs' lines of each archive format, and the label of the line that lists them
// all; the format table names its line.
#define IDS_ALL_ARCHIVES_FILTER 59394
#define IDS_FILTER_PAK 59400
#define IDS_FILTER_PK3 59401
#define IDS_FILTER_PK4 59402
#define IDS_FILTER_WAD2 59403
#define IDS_RECENT_FILE_HELP 59395
#define IDS_INVALID_NAME_CHARS 59396
#define IDS_INVALID_NAME_MESSAGE 59398
#define IDS_ALL_FILES_FILTER 59399

#define IDC_ABOUT_ICON 1001
#define IDC_ABOUT_NAME 1002
#define IDC_ABOUT_VERSION 1003
