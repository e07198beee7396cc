; Brackmoor setup program and its uninstaller.
;
;   makensis -DBINDIR=<folder of the three programs> -DICON=<brackmoor.ico>
;            -DOUTFILE=<setup.exe> [-DX64] installer/brackmoor.nsi
;
; Without X64 it packs the 32-bit release build (x86-unicode stubs), which goes to
; "Program Files (x86)" on 64-bit Windows; with X64 it packs the x86_64 build
; (amd64-unicode stubs), the one the tests run under 64-bit Wine.
;
; Command line: /S silent; /D=<folder> the program folder; /NOSTART (with /S)
; leaves the monitor stopped at the end. The uninstaller takes /S as well.

!ifndef BINDIR
  !error "define BINDIR, the folder of brackmoor.exe, BrackmoorEx.exe and tallowpro.dll"
!endif
!ifndef ICON
  !error "define ICON, the program's icon file"
!endif
!ifndef OUTFILE
  !error "define OUTFILE, the setup program to write"
!endif

!ifdef X64
  Target amd64-unicode
!else
  Target x86-unicode
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

; The version record of the monitor names the product's version everywhere.
!getdllversion "${BINDIR}\brackmoor.exe" BM_VERSION_
!define VERSION "${BM_VERSION_1}.${BM_VERSION_2}.${BM_VERSION_3}.${BM_VERSION_4}"
!define PRODUCT "Brackmoor"
!define PUBLISHER "Dunmere Works"
!define MONITOR_EXE "brackmoor.exe"
!define COMPANION_EXE "BrackmoorEx.exe"
!define UNINSTALLER "uninst.exe"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SETTINGS_KEY "Software\${PUBLISHER}\${PRODUCT}"
; The monitor's hidden window and its exit command, and the companion's window.
!define MONITOR_CLASS "Brackmoor"
!define MONITOR_EXIT_COMMAND 6030
!define COMPANION_CLASS "BrackmoorExplorer"
!define STOP_WAIT_MS 30000
!define FILE_TRIES 10

Name "${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
!ifdef X64
  InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
  InstallDir "$PROGRAMFILES32\${PRODUCT}"
!endif
; An update goes where the installed copy is.
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) ${PUBLISHER}. All rights reserved."

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartMonitor
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var HeldDisabled

; Asks the program of a window class to end and waits for its process.
; In: $0 window class, $1 1 for the monitor (its own "-Q", or the same exit
; command posted when no copy of the program is at hand), 0 for a window that
; ends on WM_CLOSE. Out: $2 1 when a window of the class is still there.
!macro DEFINE_STOP_PROGRAM UN
Function ${UN}StopProgram
  Push $3
  Push $4
  Push $5
  StrCpy $2 0
  System::Call 'user32::FindWindow(t r0, p 0) p .r3'
  ${If} $3 P<> 0
    System::Call 'user32::GetWindowThreadProcessId(p r3, *i 0 r4)'
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r4) p .r5'
    DetailPrint "Asking $0 to end"
    ${If} $1 = 1
    ${AndIf} ${FileExists} "$INSTDIR\${MONITOR_EXE}"
      ExecWait '"$INSTDIR\${MONITOR_EXE}" -Q'
    ${ElseIf} $1 = 1
      System::Call 'user32::PostMessage(p r3, i ${WM_COMMAND}, p ${MONITOR_EXIT_COMMAND}, p 0)'
    ${Else}
      System::Call 'user32::PostMessage(p r3, i ${WM_CLOSE}, p 0, p 0)'
    ${EndIf}
    ; The window goes before the process lets go of its files: wait for the process.
    ${If} $5 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r5, i ${STOP_WAIT_MS}) i'
      System::Call 'kernel32::CloseHandle(p r5)'
    ${Else}
      Sleep ${STOP_WAIT_MS}
    ${EndIf}
    System::Call 'user32::FindWindow(t r0, p 0) p .r3'
    ${If} $3 P<> 0
      StrCpy $2 1
    ${EndIf}
  ${EndIf}
  Pop $5
  Pop $4
  Pop $3
FunctionEnd

; The monitor and the companion hold their files while they run. A monitor that
; stays (its exit confirmation was answered No) is asked about; silent mode gives up.
Function ${UN}StopPrograms
  Push $0
  Push $1
  Push $2
  ${Do}
    StrCpy $0 "${MONITOR_CLASS}"
    StrCpy $1 1
    Call ${UN}StopProgram
    ${If} $2 = 0
      StrCpy $0 "${COMPANION_CLASS}"
      StrCpy $1 0
      Call ${UN}StopProgram
    ${EndIf}
    ${If} $2 = 0
      ${Break}
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "${PRODUCT} is still running. Exit it from its tray icon, then choose Retry." \
      /SD IDCANCEL IDRETRY retry
    SetErrorLevel 3
    Quit
    retry:
  ${Loop}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_STOP_PROGRAM ""
!insertmacro DEFINE_STOP_PROGRAM "un."

; A file is written only over a copy that no process holds: the programs were
; asked to end, but another user's monitor may still run from the folder. Each
; file is tried for a while; then the user may retry, and silent mode gives up
; with exit code 4 rather than leave an old file behind.
!macro INSTALL_FILE NAME
  StrCpy $R1 0
  ${Do}
    ClearErrors
    File "${BINDIR}\${NAME}"
    ${IfNot} ${Errors}
      ${Break}
    ${EndIf}
    IntOp $R1 $R1 + 1
    ${If} $R1 >= ${FILE_TRIES}
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
        "$INSTDIR\${NAME} is in use and cannot be replaced. Exit every ${PRODUCT} program, then choose Retry." \
        /SD IDCANCEL IDRETRY +3
      SetErrorLevel 4
      Quit
      StrCpy $R1 0
    ${EndIf}
    Sleep 500
  ${Loop}
!macroend

Function StartMonitor
  SetOutPath "$INSTDIR"
  Exec '"$INSTDIR\${MONITOR_EXE}"'
FunctionEnd

Section "${PRODUCT}"
  SetShellVarContext all
  Call StopPrograms
  SetOutPath "$INSTDIR"
  SetOverwrite try
  !insertmacro INSTALL_FILE "${MONITOR_EXE}"
  !insertmacro INSTALL_FILE "${COMPANION_EXE}"
  !insertmacro INSTALL_FILE "tallowpro.dll"
  ClearErrors
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "$INSTDIR\${UNINSTALLER} cannot be written." /SD IDOK
    SetErrorLevel 4
    Quit
  ${EndIf}

  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\${MONITOR_EXE}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} Explorer.lnk" "$INSTDIR\${COMPANION_EXE}" "-START"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\${UNINSTALLER}"

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\${MONITOR_EXE},0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

; The finish page offers the start; silent mode starts the monitor unless /NOSTART.
Function .onInstSuccess
  ${If} ${Silent}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/NOSTART" $1
    ${If} ${Errors}
      Call StartMonitor
    ${EndIf}
  ${EndIf}
FunctionEnd

; $0 1 when the data folder's Disabled folder holds a file.
Function un.DisabledFolderHasFiles
  Push $1
  Push $2
  StrCpy $0 0
  FindFirst $1 $2 "$APPDATA\${PRODUCT}\Disabled\*"
  ${DoWhile} $2 != ""
    ${If} $2 != "."
    ${AndIf} $2 != ".."
      StrCpy $0 1
      ${Break}
    ${EndIf}
    FindNext $1 $2
  ${Loop}
  FindClose $1
  Pop $2
  Pop $1
FunctionEnd

; The data folder's files, all but the Disabled folder, which holds the
; startup-folder files of programs still switched off.
Function un.RemoveDataKeepingDisabled
  FindFirst $0 $1 "$APPDATA\${PRODUCT}\*"
  ${DoWhile} $1 != ""
    ${If} $1 != "."
    ${AndIf} $1 != ".."
    ${AndIf} $1 != "Disabled"
      ${If} ${FileExists} "$APPDATA\${PRODUCT}\$1\*.*"
        RMDir /r "$APPDATA\${PRODUCT}\$1"
      ${Else}
        Delete "$APPDATA\${PRODUCT}\$1"
      ${EndIf}
    ${EndIf}
    FindNext $0 $1
  ${Loop}
  FindClose $0
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  Call un.StopPrograms

  ; Programs the monitor holds disabled go back through the monitor's own restore.
  StrCpy $HeldDisabled 0
  ${If} ${FileExists} "$INSTDIR\${MONITOR_EXE}"
    ExecWait '"$INSTDIR\${MONITOR_EXE}" -CountDisabled' $HeldDisabled
    ${If} $HeldDisabled > 0
      MessageBox MB_YESNO|MB_ICONQUESTION \
        "${PRODUCT} holds $HeldDisabled startup program(s) disabled.$\n$\nPut them back, so that they start with Windows again?$\n$\nIf you choose No they stay switched off; installing ${PRODUCT} again lets you restore them." \
        /SD IDYES IDNO held_kept
      ExecWait '"$INSTDIR\${MONITOR_EXE}" -RestoreDisabled' $HeldDisabled
      held_kept:
    ${EndIf}
  ${EndIf}

  Delete "$INSTDIR\${MONITOR_EXE}"
  Delete "$INSTDIR\${COMPANION_EXE}"
  Delete "$INSTDIR\tallowpro.dll"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT} Explorer.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"

  ; The monitor's own Run value and Explorer menu entry would name a missing program.
  DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  DeleteRegKey HKCR "exefile\shell\${PRODUCT} KEEL"
  DeleteRegKey HKLM "${UNINST_KEY}"

  SetShellVarContext current
  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
    "Remove ${PRODUCT}'s settings, baselines and history as well?" \
    /SD IDNO IDNO settings_kept
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey HKCU "Software\${PUBLISHER}\Detected"
  DeleteRegKey /ifempty HKCU "Software\${PUBLISHER}"
  DeleteRegKey HKCU "AppEvents\Schemes\Apps\${PRODUCT}"
  ; What is still held disabled keeps its store and its files for a later install.
  Call un.DisabledFolderHasFiles
  ${If} $HeldDisabled > 0
  ${OrIf} $0 = 1
    DeleteRegKey HKLM "${SETTINGS_KEY}\Sysfiles"
    Call un.RemoveDataKeepingDisabled
  ${Else}
    DeleteRegKey HKLM "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKLM "Software\${PUBLISHER}"
    RMDir /r "$APPDATA\${PRODUCT}"
  ${EndIf}
  settings_kept:
SectionEnd
