// Resource ids of Vantrel and Setup.
#pragma once

// ---- Vantrel
#define IDD_ABOUTBOX 100
#define IDD_VANTREL_DIALOG 102
#define IDR_MAINFRAME 128  // the program icon
#define IDR_TRAY_MENU 130
#define IDB_FEED_BANNER 132
#define IDD_PREFERENCES 133
#define IDB_MAKER_BANNER 140

#define IDS_ABOUTBOX 101      // "&About Vantrel..."
#define IDS_REGISTRY_KEY 102  // "SOFTWARE\Vantrel"

#define IDM_ABOUTBOX 0x0010  // system-menu command

// Headline labels of template 102, in screen order (slot 0 at the top).
#define IDC_HEADLINE_0 1000
#define IDC_HEADLINE_1 1002
#define IDC_HEADLINE_2 1003
#define IDC_HEADLINE_3 1004
#define IDC_HEADLINE_4 1005
#define IDC_HEADLINE_5 1006
#define IDC_HEADLINE_6 1007
#define IDC_HEADLINE_7 1008
#define IDC_HEADLINE_8 1001
#define IDC_HEADLINE_9 1009
#define IDC_HEADLINE_10 1010
#define IDC_HEADLINE_11 1011
#define IDC_HEADLINE_12 1012
#define IDC_HEADLINE_13 1013
#define IDC_HEADLINE_14 1014
#define IDC_HEADLINE_15 1015
#define IDC_HEADLINE_16 1020
#define IDC_HEADLINE_17 1021
#define IDC_HEADLINE_18 1022
#define IDC_HEADLINE_19 1023
#define IDC_CHANGE_CATEGORY 1017
#define IDC_RELOAD_NEWS 1018

#define IDC_WEB_LINK 1005       // About box: the web-page link
#define IDC_CATEGORY_LIST 1003  // Preferences: the category list
#define IDC_PROXY 1006          // Preferences: the proxy edit

#define ID_TRAY_EXIT 32771
#define ID_TRAY_PREFERENCES 32772
#define ID_TRAY_ABOUT 32773

#define WM_TRAYNOTIFY (WM_USER + 101)  // 1125: notification-area icon messages
#define TRAY_ICON_ID 100

// ---- Setup
#define IDD_SETUP_DIALOG 102
#define IDD_UNINSTALL 132

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
