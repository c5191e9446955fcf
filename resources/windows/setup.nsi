; The Windows installer, built by scripts/windows-bundle.py with makensis:
;
;   makensis -DVERSION=4.03 -DBUNDLE=FOLDER -DFILES=bundle-files.nsh -DOUTFILE=SETUP.exe setup.nsi
;
; FOLDER is the bundle (the zip's folder); FILES, written beside it, lists
; its files as the two macros InstallBundle and RemoveBundle, so that the
; uninstaller removes exactly what was installed, whatever folder it went to.
;
; For the current user by default, which needs no administrator rights:
; %LOCALAPPDATA%\Programs\Marrowgate, its Start menu and HKCU. For all users
; (the first page, or /AllUsers on the command line) it asks Windows for
; administrator rights and installs into Program Files, the common Start
; menu and HKLM. /S installs silently, /D=FOLDER (last) chooses the folder.

Unicode true
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma
ManifestDPIAware true

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "nsDialogs.nsh"
!include "${FILES}"

!define PRODUCT "Marrowgate"
!define PUBLISHER "Marrowgate Project"
!define UNINSTALL_LIST "Software\Microsoft\Windows\CurrentVersion\Uninstall"
!define UNINSTALL_KEY "${UNINSTALL_LIST}\${PRODUCT}"
; Windows' ERROR_ELEVATION_REQUIRED, the exit code of a silent all-users
; install started without administrator rights.
!define ELEVATION_REQUIRED 740

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "MIT License"

Var AllUsers
Var AllUsersButton

!define MUI_ICON "${BUNDLE}\marrowgate.ico"
!define MUI_UNICON "${BUNDLE}\marrowgate.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram

!insertmacro MUI_PAGE_LICENSE "${BUNDLE}\LICENSE.txt"
Page custom ModePage ModePageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The shell folders and the default folder of the mode in $AllUsers. A
; folder given with /D stays.
!macro UseMode un
Function ${un}UseMode
  ${If} $AllUsers == 1
    SetShellVarContext all
    StrCpy $0 "$PROGRAMFILES64\${PRODUCT}"
  ${Else}
    SetShellVarContext current
    StrCpy $0 "$LOCALAPPDATA\Programs\${PRODUCT}"
  ${EndIf}
FunctionEnd
!macroend
!insertmacro UseMode ""
!insertmacro UseMode "un."

!macro IsAdmin result
  UserInfo::GetAccountType
  Pop ${result}
!macroend

Function .onInit
  SetRegView 64
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/AllUsers" $R1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
  ${EndIf}
  Call UseMode
  ${If} $INSTDIR == ""
    StrCpy $INSTDIR $0
  ${EndIf}
  ${If} $AllUsers == 1
    !insertmacro IsAdmin $R2
    ${If} $R2 != "Admin"
      ${If} ${Silent}
        SetErrorLevel ${ELEVATION_REQUIRED}
        Quit
      ${EndIf}
      ; Started with /AllUsers but not as administrator: ask again.
      ExecShell "runas" "$EXEPATH" "/AllUsers"
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Function ModePage
  ${If} $AllUsers == 1
    Abort  ; chosen already, and elevated for it
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "Choose Users" "Choose for whom ${PRODUCT} is installed."
  nsDialogs::Create 1018
  Pop $1
  ${NSD_CreateRadioButton} 0 10u 100% 12u "&Only for me (no administrator rights needed)"
  Pop $2
  ${NSD_Check} $2
  ${NSD_CreateRadioButton} 0 30u 100% 12u "For &all users of this computer (asks for administrator rights)"
  Pop $AllUsersButton
  nsDialogs::Show
FunctionEnd

Function ModePageLeave
  ${NSD_GetState} $AllUsersButton $1
  ${If} $1 != ${BST_CHECKED}
    Return
  ${EndIf}
  !insertmacro IsAdmin $1
  ${If} $1 == "Admin"
    StrCpy $AllUsers 1
    Call UseMode
    StrCpy $INSTDIR $0
    Return
  ${EndIf}
  ; This process has no administrator rights: start again with them, for all users.
  HideWindow
  ExecShell "runas" "$EXEPATH" "/AllUsers"
  Quit
FunctionEnd

; The uninstall entry under Apps & features, in the mode's hive.
!macro WriteUninstallEntry root
  WriteRegStr ${root} "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr ${root} "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr ${root} "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr ${root} "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\marrowgate.exe,0"
  WriteRegStr ${root} "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr ${root} "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr ${root} "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD ${root} "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD ${root} "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  WriteRegDWORD ${root} "${UNINSTALL_KEY}" "EstimatedSize" $1
!macroend

; Through Explorer, so that the program does not inherit the administrator
; rights of an all-users install.
Function StartProgram
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\marrowgate.exe"'
FunctionEnd

Section "Install"
  ; An earlier version here goes first, so that none of its files stays behind.
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
    ExecWait '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
    Delete "$INSTDIR\uninstall.exe"
  ${EndIf}
  !insertmacro InstallBundle
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\marrowgate.exe" "" \
    "$INSTDIR\marrowgate.exe" 0 SW_SHOWNORMAL "" "Move Windows Live Mail messages into mbox mailboxes"
  ${If} $AllUsers == 1
    !insertmacro WriteUninstallEntry HKLM
  ${Else}
    !insertmacro WriteUninstallEntry HKCU
  ${EndIf}
SectionEnd

Function un.onInit
  SetRegView 64
  ; The mode is the one whose entry names this folder.
  ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $1 != $INSTDIR
    StrCpy $AllUsers 1
    !insertmacro IsAdmin $2
    ${If} $2 != "Admin"
      ${If} ${Silent}
        SetErrorLevel ${ELEVATION_REQUIRED}
        Quit
      ${EndIf}
      ExecShell "runas" "$INSTDIR\uninstall.exe"
      Quit
    ${EndIf}
  ${EndIf}
  Call un.UseMode
FunctionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  !insertmacro RemoveBundle
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; The list of uninstall entries goes too if ours was its last.
  ${If} $AllUsers == 1
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey /ifempty HKLM "${UNINSTALL_LIST}"
  ${Else}
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegKey /ifempty HKCU "${UNINSTALL_LIST}"
  ${EndIf}
SectionEnd
