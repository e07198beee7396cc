/* Resource ids of the Brackmoor Explorer: its icon, the window and page
   templates and their controls. Shared by companion.rc, the C++ code and the
   tests, which find the controls by these ids from another process.
   Only #define lines: windres reads this file as well. */
#ifndef BRACKMOOR_COMPANION_RES_H
#define BRACKMOOR_COMPANION_RES_H

#define IDI_COMPANION           101
#define IDR_EXPLORER_KEYS       102

/* Templates: the main window, one child dialog per page, the delayed-start editor. */
#define IDD_EXPLORER            200
#define IDD_ABOUTPAGE           201
#define IDD_OPTIONSPAGE         202
#define IDD_STARTUPPAGE         203
#define IDD_DELAYPAGE           204
#define IDD_TASKSPAGE           205
#define IDD_HISTORYPAGE         206
#define IDD_RESETPAGE           207
#define IDD_DELAYEDIT           208

/* Main window. The page windows carry these ids once created, so another
   process reaches a page's controls through GetDlgItem twice. */
#define IDC_PAGE_LIST           1004
#define IDC_STATUS              1005
#define IDC_PAGE_ABOUT          1010
#define IDC_PAGE_OPTIONS        1011
#define IDC_PAGE_STARTUP        1012
#define IDC_PAGE_DELAY          1013
#define IDC_PAGE_TASKS          1014
#define IDC_PAGE_HISTORY        1015
#define IDC_PAGE_RESET          1016

/* Every list page: its list view, and the commands of its context menu and keys. */
#define IDC_TABLE_LIST          1050
#define IDC_TABLE_COPY          1051
#define IDC_TABLE_REFRESH       1052
#define IDC_TABLE_SELECTALL     1053

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

/* Startup programs page */
#define IDC_START_DISABLE       1301
#define IDC_START_ENABLE        1302
#define IDC_START_DELETE        1303
#define IDC_START_DELAY         1304
#define IDC_START_FOLDER        1305
#define IDC_START_PROPERTIES    1306
#define IDC_START_INFO          1307

/* Delayed start page */
#define IDC_DELAY_ADD           1401
#define IDC_DELAY_EDIT          1402
#define IDC_DELAY_REMOVE        1403
#define IDC_DELAY_MOVEBACK      1404

/* Delayed start editor */
#define IDC_DELAYEDIT_PROGRAM   1451
#define IDC_DELAYEDIT_TITLE     1452
#define IDC_DELAYEDIT_TIME      1453
#define IDC_DELAYEDIT_OPENAS    1454
#define IDC_DELAYEDIT_RUNAS     1455
#define IDC_DELAYEDIT_PARAMETERS 1456

/* Running programs page */
#define IDC_TASK_END            1501
#define IDC_TASK_FOLDER         1502
#define IDC_TASK_PROPERTIES     1503
#define IDC_TASK_INFO           1504

/* Recent history page */
#define IDC_HISTORY_FILTER      1601
#define IDC_HISTORY_CLEAR       1602
#define IDC_HISTORY_EXPORT      1603
#define IDC_HISTORY_FILTERLABEL 1604

/* Reset page */
#define IDC_RESET_TEXT          1701
#define IDC_RESET_RUN           1702

#endif
