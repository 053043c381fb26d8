; The Windows installer of MAV Services, built by scripts/windows:
;   makensis -DVERSION=<x.y.z> -DSOURCE=<folder with the zip's files> -DICON=<mav-services.ico>
;            -DOUTFILE=<mav-services-setup-x.y.z.exe> windows/installer.nsi
; It installs the zip's files into a folder the user chooses: by default beside the
; accounting application when a folder of it is found (one holding the connector file
; MAVConnector.xml or the settings file mavdata.cdf), else Program Files\MAV Services. It
; adds a shortcut to the common start-up folder, so the agent starts with every session,
; and an uninstaller listed in Programs and Features. Silent: /S, with /D=<folder> last.
Unicode true
Target amd64-unicode
!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

!define PRODUCT "MAV Services"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\MAV Services"
!define SETTINGS_KEY "Software\MAV Services"
!define UNINSTALLER "uninstall-mav-services.exe"
!define SHORTCUT "$SMSTARTUP\MAV Services.lnk"
!define WINDOW_CLASS "MavServicesWindow"  ; the agent's window (service_window_windows.cpp)

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\MAV Services"
InstallDirRegKey HKLM "${SETTINGS_KEY}" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ManifestDPIAware true
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "see LICENSES.txt"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_DIRECTORYPAGE_TEXT_TOP "MAV Services works on the accounting catalog named by MAVConnector.xml or mavdata.cdf in its own folder: install it into the accounting application's program folder, where those files are."
!define MUI_FINISHPAGE_RUN "$INSTDIR\mav-services.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start MAV Services now"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; A running agent holds its executable open: its window is closed first (closing the
; window ends the agent), and the installer waits up to 5 s for it to end.
!macro CloseRunningAgent un
Function ${un}CloseRunningAgent
  StrCpy $1 0
  ${Do}
    FindWindow $0 "${WINDOW_CLASS}"
    ${If} $0 == 0
      Return
    ${EndIf}
    ${If} $1 == 0
      SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    ${EndIf}
    Sleep 250
    IntOp $1 $1 + 1
  ${LoopUntil} $1 >= 20
FunctionEnd
!macroend
!insertmacro CloseRunningAgent ""
!insertmacro CloseRunningAgent "un."

; $R0: a folder. Sets $R1 to the first folder among $R0's subfolders that holds
; MAVConnector.xml or mavdata.cdf ("" when none).
Function FindAccountingFolder
  StrCpy $R1 ""
  FindFirst $R2 $R3 "$R0\*"
  ${DoWhile} $R3 != ""
    ${If} $R3 != "."
    ${AndIf} $R3 != ".."
    ${AndIf} ${FileExists} "$R0\$R3\*.*"
      ${If} ${FileExists} "$R0\$R3\MAVConnector.xml"
      ${OrIf} ${FileExists} "$R0\$R3\mavdata.cdf"
        StrCpy $R1 "$R0\$R3"
        ${Break}
      ${EndIf}
    ${EndIf}
    FindNext $R2 $R3
  ${Loop}
  FindClose $R2
FunctionEnd

Function .onInit
  SetShellVarContext all
  SetRegView 64
  ; /D= or an earlier installation (InstallDirRegKey) chose the folder already.
  ${If} $INSTDIR != "$PROGRAMFILES64\MAV Services"
    Return
  ${EndIf}
  ; The accounting application's folder: one or two levels under the program folders or
  ; the system drive's root.
  StrCpy $R9 $WINDIR 3  ; "C:\"
  ${ForEach} $R8 1 5 + 1
    ${If} $R8 == 1
      StrCpy $R0 "$PROGRAMFILES64"
    ${ElseIf} $R8 == 2
      StrCpy $R0 "$PROGRAMFILES32"
    ${ElseIf} $R8 == 3
      StrCpy $R0 "$R9"
      StrCpy $R0 $R0 -1  ; no trailing backslash
    ${Else}
      ; the vendor folders under the program folders
      ${If} $R8 == 4
        StrCpy $R7 "$PROGRAMFILES64"
      ${Else}
        StrCpy $R7 "$PROGRAMFILES32"
      ${EndIf}
      FindFirst $R5 $R6 "$R7\*"
      ${DoWhile} $R6 != ""
        ${If} $R6 != "."
        ${AndIf} $R6 != ".."
          StrCpy $R0 "$R7\$R6"
          Call FindAccountingFolder
          ${If} $R1 != ""
            FindClose $R5
            StrCpy $INSTDIR $R1
            Return
          ${EndIf}
        ${EndIf}
        FindNext $R5 $R6
      ${Loop}
      FindClose $R5
      ${Continue}
    ${EndIf}
    Call FindAccountingFolder
    ${If} $R1 != ""
      StrCpy $INSTDIR $R1
      Return
    ${EndIf}
  ${Next}
FunctionEnd

Section "MAV Services"
  Call CloseRunningAgent
  SetOutPath "$INSTDIR"
  File "${SOURCE}\mav-services.exe"
  File "${SOURCE}\README.txt"
  File "${SOURCE}\LICENSES.txt"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  CreateShortCut "${SHORTCUT}" "$INSTDIR\mav-services.exe" "" "$INSTDIR\mav-services.exe" 0 \
    SW_SHOWNORMAL "" "${PRODUCT}"

  WriteRegStr HKLM "${SETTINGS_KEY}" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\mav-services.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/M=mav-services.exe /S=0K /G=0" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

; Removes what the installer put there and the agent's logs. The settings, the catalog
; files and everything else in the folder belong to the accounting installation: the
; folder itself goes only when it is empty.
Section "Uninstall"
  Call un.CloseRunningAgent
  Delete "${SHORTCUT}"
  Delete "$INSTDIR\mav-services.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSES.txt"
  Delete "$INSTDIR\mav-services.log"
  Delete "$INSTDIR\mav-services.?.log"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${SETTINGS_KEY}"
SectionEnd
