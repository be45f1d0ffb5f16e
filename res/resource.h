// Resource and control ids, shared by the resource script and the code.
#pragma once

#define IDD_SETTINGS        100
#define IDS_SETTINGS_ITEM   101
#define IDD_REPORT          102
#define IDR_MAINFRAME       128
#define IDC_PICK_CURSOR     131
#define IDB_BACKGROUND      134

#define IDM_SETTINGS        0x0010

#define IDC_REPORT          1000
#define IDC_MARKER          1001
#define IDC_CONFIRM         1003
#define IDC_PATH            1004
#define IDC_TARGET_LIST     1007
#define IDC_ADD             1008
#define IDC_DELETE          1009
#define IDC_CANCEL_BUTTON   1010
#define IDC_BANNER          1011

#ifndef IDC_STATIC
#define IDC_STATIC          (-1)
#endif
