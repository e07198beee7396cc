/* Resource ids of the Brackmoor Explorer: its icon, the window and page
   templates and their controls. Shared by companion.rc, the C++ code and the
   tests, which find the controls by these ids from another process.
   Only #define lines: windres reads this file as well. */
#ifndef BRACKMOOR_COMPANION_RES_H
#define BRACKMOOR_COMPANION_RES_H

#define IDI_COMPANION           101

/* Templates: the main window and one child dialog per page. */
#define IDD_EXPLORER            200
#define IDD_ABOUTPAGE           201
#define IDD_OPTIONSPAGE         202

/* Main window. The page windows carry these ids once created, so another
   process reaches a page's controls through GetDlgItem twice. */
#define IDC_TAB_ABOUT           1001
#define IDC_TAB_OPTIONS         1002
#define IDC_TAB_LINE            1003
#define IDC_PAGE_ABOUT          1010
#define IDC_PAGE_OPTIONS        1011

/* About page */
#define IDC_ABOUT_TITLE         1101
#define IDC_ABOUT_VERSION       1102
#define IDC_ABOUT_FOLDER        1103
#define IDC_ABOUT_HISTORY       1104
#define IDC_ABOUT_PROGRAM       1105
#define IDC_ABOUT_MONITOR       1106
#define IDC_ABOUT_NOTICE        1107

/* Options page */
#define IDC_OPTIONS_LIST        1201
#define IDC_OPTIONS_NAME        1202
#define IDC_OPTIONS_VALUE       1203
#define IDC_OPTIONS_SET         1204
#define IDC_OPTIONS_STATUS      1205

#endif
