// Resource ids of the Compare dialog. The ids stay in ranges of their own (dialog 160,
// controls from 1080), clear of the other dialogs' ids.
#pragma once

#define IDD_COMPARE 160
#define IDC_COMPARE_SIDES 1080
#define IDC_COMPARE_COUNTS 1081
#define IDC_COMPARE_FILTER 1082
#define IDC_COMPARE_ITEMS 1083
#define IDC_COMPARE_NOTE 1084
#define IDC_COMPARE_SHOW 1085
#define IDC_COMPARE_SAVE 1086
