; The Quillet installer: puts quillet.exe and license.txt under Program Files\KALMIRO\Quillet,
; adds a Start-menu shortcut and an entry in the system's list of installed programs, makes
; .qlst list files open in the program from Explorer, and writes an uninstaller that takes all
; of it away again. Built on Linux by makensis (Debian's nsis package) from the cross build; /S
; installs and uninstalls silently.
;
;   makensis -DSOURCE_DIR=<folder with quillet.exe and license.txt> -DICON=<quillet.ico>
;            -DOUT_FILE=<setup.exe> -DVERSION=3.1 installer/quillet.nsi
;
; It also reads the list icon's resource number from src/ui/resource_ids.h beside it.

Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "LogicLib.nsh"

!define COMPANY "KALMIRO"
!define PRODUCT "Quillet"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KALMIRO Quillet"
; The program's own names: its log-on value under the Run key and its named mutex.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define LOG_ON_VALUE "KALMIRO - Quillet"
!define PROGRAM_MUTEX "KALMIRO_Quillet"
; List files open in the program on a double-click and show its list icon: .qlst names the
; program's own type, which carries the icon and the open command. For every user of the
; machine, as the rest of the installation; the portable copy writes none of it.
!define CLASSES "Software\Classes"
!define LIST_EXTENSION ".qlst"
!define LIST_TYPE "Quillet.List"
; The icon by its resource number (a negative index), taken from the program's own header, so
; the icons added to the program later never move it.
!searchparse /file "${__FILEDIR__}\..\src\ui\resource_ids.h" "#define IDI_LIST_DOCUMENT " LIST_ICON_ID

Name "${PRODUCT} ${VERSION}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\${COMPANY}\${PRODUCT}"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show
BrandingText "${COMPANY} ${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0.0"
VIFileVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=2052 "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT} ${VERSION} 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "Copyright (C) ${COMPANY}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\quillet.exe"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${SOURCE_DIR}\license.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; Replacing or removing the program while it runs would fail halfway (its file is in use) or
; leave it running without its files: the user closes it first. Silent runs give up at once.
!macro REFUSE_WHILE_RUNNING PREFIX
Function ${PREFIX}RefuseWhileRunning
  retry:
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${PROGRAM_MUTEX}") p .r0'
    ${If} $0 P<> 0
      System::Call 'kernel32::CloseHandle(p r0)'
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Quillet 正在运行.$\r$\n$\r$\n请先关闭 Quillet, 然后点击 $\"重试$\"." /SD IDCANCEL IDRETRY retry
      SetErrorLevel 5
      Quit
    ${EndIf}
FunctionEnd
!macroend
!insertmacro REFUSE_WHILE_RUNNING ""
!insertmacro REFUSE_WHILE_RUNNING "un."

; Explorer caches file types and their icons: it redraws list files once told that they changed.
!macro REFRESH_ASSOCIATIONS PREFIX
Function ${PREFIX}RefreshAssociations
  ; SHCNE_ASSOCCHANGED, SHCNF_IDLIST
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
FunctionEnd
!macroend
!insertmacro REFRESH_ASSOCIATIONS ""
!insertmacro REFRESH_ASSOCIATIONS "un."

Function .onInit
  SetRegView 64
  Call RefuseWhileRunning
FunctionEnd

Function un.onInit
  SetRegView 64
  Call un.RefuseWhileRunning
FunctionEnd

Section "Quillet"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${SOURCE_DIR}\quillet.exe"
  File "${SOURCE_DIR}\license.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\quillet.exe" "" "$INSTDIR\quillet.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quillet.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize 0 $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  WriteRegStr HKLM "${CLASSES}\${LIST_TYPE}" "" "Quillet 列表"
  WriteRegStr HKLM "${CLASSES}\${LIST_TYPE}\DefaultIcon" "" '"$INSTDIR\quillet.exe",-${LIST_ICON_ID}'
  WriteRegStr HKLM "${CLASSES}\${LIST_TYPE}\shell\open\command" "" '"$INSTDIR\quillet.exe" "%1"'
  WriteRegStr HKLM "${CLASSES}\${LIST_EXTENSION}" "" "${LIST_TYPE}"
  ; Kept in "Open with" even after another program takes the files over.
  WriteRegStr HKLM "${CLASSES}\${LIST_EXTENSION}\OpenWithProgids" "${LIST_TYPE}" ""
  Call RefreshAssociations
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$INSTDIR\quillet.exe"
  Delete "$INSTDIR\license.txt"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; The log-on value would start a program that is gone.
  DeleteRegValue HKCU "${RUN_KEY}" "${LOG_ON_VALUE}"

  ; List files go back to no program, unless another program has taken them over since; the
  ; program's own type goes in any case, as it names a program that is gone. Keys another
  ; program still uses (/ifempty: no values and no subkeys left) stay.
  DeleteRegKey HKLM "${CLASSES}\${LIST_TYPE}"
  DeleteRegValue HKLM "${CLASSES}\${LIST_EXTENSION}\OpenWithProgids" "${LIST_TYPE}"
  DeleteRegKey /ifempty HKLM "${CLASSES}\${LIST_EXTENSION}\OpenWithProgids"
  ReadRegStr $0 HKLM "${CLASSES}\${LIST_EXTENSION}" ""
  ${If} $0 == "${LIST_TYPE}"
    DeleteRegValue HKLM "${CLASSES}\${LIST_EXTENSION}" ""
  ${EndIf}
  DeleteRegKey /ifempty HKLM "${CLASSES}\${LIST_EXTENSION}"
  Call un.RefreshAssociations

  ; The settings and the remembered list are the user's: asked for, kept in a silent run. They
  ; lie beside the program when its folder was writable, else in the user's application data.
  MessageBox MB_YESNO|MB_ICONQUESTION "是否同时删除您的设置和记住的列表?" /SD IDNO IDNO keep_user_files
    Delete "$INSTDIR\settings.ini"
    Delete "$INSTDIR\files.txt"
    SetShellVarContext current
    Delete "$APPDATA\${COMPANY}\${PRODUCT}\settings.ini"
    Delete "$APPDATA\${COMPANY}\${PRODUCT}\files.txt"
    RMDir "$APPDATA\${COMPANY}\${PRODUCT}"
    RMDir "$APPDATA\${COMPANY}"
    SetShellVarContext all
  keep_user_files:

  Delete "$INSTDIR\uninstall.exe"
  ; Only empty folders go, so kept settings stay where the program will find them again.
  RMDir "$INSTDIR"
  RMDir "$INSTDIR\.."
SectionEnd
