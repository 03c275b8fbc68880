// Resource and control ids, shared by quilmarsk.rc and the code.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDD_ABOUTBOX            100
#define IDS_ABOUTBOX            101
#define IDD_QUILMARSK_DIALOG    102
#define IDR_MAINFRAME           128
#define IDD_SERVICE_ACCOUNT     138
#define IDI_ACCOUNT             139
#define IDD_OVERVIEW            140
#define IDD_PLAN                141

#define IDC_SERVICE_LIST        1000
#define IDC_ADD                 1001
#define IDC_REMOVE              1002
#define IDC_INSTALL_PATH        1003
#define IDC_SUFFIX              1004
#define IDC_CREATE_BATCH        1005
#define IDC_STATUS              1006
#define IDC_OVERVIEW_LIST       1010
#define IDC_START               1011
#define IDC_STOP                1012
#define IDC_RESTART             1013
#define IDC_REFRESH             1014
#define IDC_CHANGE_ACCOUNT      1015
#define IDM_SELECT_SAME_ACCOUNT 1016
#define IDC_WATCH_TIME          1017
#define IDC_PROGRESS            1018
#define IDC_PLAN_LIST           1019
#define IDC_PLAN_SUMMARY        1020
#define IDC_PASSWORD            1032
#define IDC_ACCOUNT             1033
#define IDC_VERIFY_PASSWORD     1034

// The window menu's About item; the low four bits of window-menu commands
// are the system's.
#define IDM_ABOUTBOX            0x0010
