// resource_ids.h - numbers of the resources, commands and controls of
// Lumaret.exe, shared by the resource script and the window code.
#pragma once

// Main frame: icon, menu, accelerators and the frame's title string.
#define IDR_MAINFRAME 128
// Menu of the notification-area icon (its first submenu is shown).
#define IDR_TRAY_MENU 312

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_SELECT_COLLECTOR 311
#define IDD_STATE 313
#define IDD_SETTINGS 316
#define IDD_TOOLBAR 318

// Pictures of the status button (resource type "PNG").
#define IDB_LOGGED_IN 314
#define IDB_LOGGED_OUT 315

// Tree icons.
#define IDI_DEVICE 319
#define IDI_DEVICE_SELECTED 321
#define IDI_PROJECT 322

// Strings.
#define IDP_OLE_INIT_FAILED 100
#define IDS_WAIT_LOGIN 101
#define IDP_SOCKETS_INIT_FAILED 104
#define IDS_APP_TITLE 57344
#define IDS_IDLE_MESSAGE 57345

// Menu commands.
#define ID_SHOW_WINDOW 32791
#define ID_EXIT_PROGRAM 32792
#define ID_REGISTER_OPC 32797
#define ID_SERVER_SETTINGS 32798
#define ID_REMEMBER_PASSWORD 32800
#define ID_CLEAR_PASSWORD 32801
#define ID_AUTO_RUN 32802
#define ID_APP_ABOUT 57664

// Editing and pane keys of the accelerator table.
#define ID_EDIT_COPY 57634
#define ID_EDIT_CUT 57635
#define ID_EDIT_PASTE 57637
#define ID_EDIT_UNDO 57643
#define ID_NEXT_PANE 57680
#define ID_PREV_PANE 57681

// Status panel (313).
#define IDC_PASSWORD 1001
#define IDC_LOGIN 1004
#define IDC_LOGOUT 1008
#define IDC_STATUS_BUTTON 1017
#define IDC_USER_NAME 1018

// Project selection (311).
#define IDC_PROJECT_LIST 1001
#define IDC_SELECT_ALL_PROJECTS 1032
#define IDC_PROJECT_PROGRESS 1040

// Server settings (316).
#define IDC_HOST 1021
#define IDC_PORT 1022

// Toolbar panel (318).
#define IDC_SEARCH 1026
#define IDC_SELECT_ALL 1028
#define IDC_SET_GROUP 1029
#define IDC_GROUP_NAME 1030
#define IDC_SUBMIT 1031
#define IDC_CLEAR_GROUP 1032

// Children of the main view and the frame.
#define IDC_DEVICE_TREE 8888
#define IDC_VARIABLE_LIST 0
#define IDW_STATUS_BAR 0xE801
#define IDW_MAIN_VIEW 0xE900

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
