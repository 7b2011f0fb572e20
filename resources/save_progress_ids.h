// Resource ids of the "Saving..." progress dialog.
#pragma once

#define IDD_SAVE_PROGRESS 104
#define IDC_SAVE_BAR 1012
#define IDC_SAVE_NAME 1013
#define IDC_SAVE_SIZE 1014
