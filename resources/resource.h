/* Resource ids of the monitor: icons, bitmaps, the alert sound, the dialog
   templates and their controls. Shared by brackmoor.rc and the C++ code.
   The string table is addressed by the plain numbers the program documents
   (GetLangString(821, ...)), so its ids have no names here.
   Only #define lines: windres reads this file as well. */
#ifndef BRACKMOOR_RESOURCE_H
#define BRACKMOOR_RESOURCE_H

/* Icons */
#define IDI_BRACKMOOR           101   /* tray and window icon, idle */
#define IDI_BUSY                302   /* tray icon while a watcher prepares or shows an alert */
#define IDI_NOTICE              161   /* missing-startup and uninstall notices */
#define IDI_STARTUP_ALERT       165   /* new-startup alert */

/* Bitmaps loaded by the main window for the alerts */
#define IDB_MASCOT              133   /* the watchdog; also the help link of the startup alert */
#define IDB_BANNER              134
#define IDB_PAW                 135

/* Built-in alert sound, played when no sound file is set for an event */
#define IDW_ALERT               170   /* resource type "WAVE" */

/* Dialog templates */
#define IDD_NEWPROG             131   /* new-startup alert */
#define IDD_DELAYALERT          192   /* delayed program put itself back */
#define IDD_MISSINGNOTICE       194   /* missing-startup and uninstall notices */
#define IDD_NEWTASK             138   /* new scheduled task */
#define IDD_NEWSERVICE          171   /* new Windows service */
#define IDD_RESTARTCOMMANDS     130   /* the restart commands of wininit.ini */
#define IDD_SETTINGALERT        184   /* browser page or Windows Update setting changed */
#define IDD_SYSFILES            189   /* a monitored system file (HOSTS) changed */
#define IDD_FILETYPE            143   /* file type change */
#define IDD_HIDDEN              191   /* new hidden file */
#define IDD_NEWVERSION          195   /* new-version notice */
#define IDD_NEWBHO              140   /* new Internet Explorer add-on */
#define IDD_NEWACTIVEX          193   /* new ActiveX control */

/* Controls. 6 (IDYES), 7 (IDNO) and 1 (IDOK) are the answer buttons. */
#define IDC_ABORT               3     /* "Exit Brackmoor", owner-drawn */
#define IDC_DISABLE             11    /* owner-drawn */
#define IDC_PRODUCTNAME         100
#define IDC_PROGICON            117   /* button showing the program's own icon */
#define IDC_CHECK               1014
#define IDC_PATH                1026  /* read-only edit */
#define IDC_VERSION             1029
#define IDC_COMPANY             1030
#define IDC_DESCRIPTION         1031
#define IDC_MESSAGE             1036
#define IDC_INFO                1067  /* online file information */
#define IDC_MASCOT              1077  /* picture; a click opens the alert help page */
#define IDC_VERSIONLABEL        1097
#define IDC_ALERTICON           1130
#define IDC_NOTICE_TEXT         1177
#define IDC_NOTICE_HINT         1178
#define IDC_NOTICE_NAME         1179
#define IDC_NOTICE_PATH         1180
#define IDC_LOCATION            1201  /* "Open Folder", owner-drawn */
#define IDC_PROPERTIES          1202  /* owner-drawn */

/* New-service alert (171): the sentence above the service, the start and run
   state with the question below it */
#define IDC_UPPERTEXT           1143
#define IDC_LOWERTEXT           1144

/* New-version notice (195); its check box is IDC_CHECK, Close is IDOK */
#define IDC_NEWVERSION_TEXT     1181
#define IDC_UPGRADE_NOW         1182
#define IDC_WHATS_NEW           1183

/* File change alert (189) */
#define IDC_SYSFILE_HEADING     1025
#define IDC_SYSFILE_ACCEPTTEXT  1026
#define IDC_SYSFILE_REJECTTEXT  1027
#define IDC_SYSFILE_COMMENT     1028
#define IDC_SYSFILE_PATHLABEL   1039
#define IDC_SYSFILE_VIEWNEW     1170
#define IDC_SYSFILE_VIEWOLD     1171
#define IDC_SYSFILE_ACCEPT      1172
#define IDC_SYSFILE_REJECT      1173
#define IDC_SYSFILE_NAMELABEL   1174
#define IDC_SYSFILE_NAME        1175
#define IDC_SYSFILE_PATH        1176  /* read-only edit */
/* its check box is IDC_CHECK: stop monitoring the file */

/* Restart Commands window (130); IDOK closes it */
#define IDC_RESTART_DELETE      1003
#define IDC_RESTART_TEXT        1004  /* read-only multi-line edit */
#define IDC_RESTART_LEGEND      1102

/* Setting alert (184): IDYES accept, IDNO reject */
#define IDC_SETTING_HELP        9
#define IDC_SETTING_MESSAGE     1025
/* File type change (143): the recorded program on the left, the new one on the right */
#define IDC_FT_INTRO            1025
#define IDC_FT_OLDTEXT          1026
#define IDC_FT_NEWTEXT          1027
#define IDC_FT_QUESTION         1028
#define IDC_FT_OLDNAME          1111
#define IDC_FT_OLDICON          1112
#define IDC_FT_OLDPATH          1113  /* read-only edit */
#define IDC_FT_OLDCOMPANY       1114
#define IDC_FT_OLDINFO          1115
#define IDC_FT_NEWICON          1116
#define IDC_FT_NEWPATH          1117  /* read-only edit */
#define IDC_FT_NEWNAME          1118
#define IDC_FT_NEWCOMPANY       1119
#define IDC_FT_NEWINFO          1120
#define IDC_FT_EXTENSION        1121

/* New hidden file (191): 1 allows, 2 deletes. The add-on, ActiveX and new-task
   alerts (140, 193, 138) show the program's legal notice in the same control. */
#define IDC_LEGAL               1032

#endif
