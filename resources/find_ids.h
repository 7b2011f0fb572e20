// Resource ids of the Find dialog.
#pragma once

#define IDD_FIND 130
#define IDC_FIND_PATTERN 1020
#define IDC_FIND_RESULTS 1021
#define IDC_FIND_STATUS 1022
#define IDC_FIND_SHOW 1023
