; The Windows installer of vrxpv, made with Debian's makensis:
;   makensis -DVERSION=1.3.0 -DBINDIR=<folder of vrxpv.exe and vrxlog.exe> -DICON=<vrxpv.ico>
;            -DOUTFILE=<setup.exe> vrxpv.nsi
; It installs for all users into Program Files, adds a Start-menu entry and offers the program
; under "Open With" for .log files without taking the file type over; vrxlog.exe is installed
; only when asked for (the "Command-line tool" component, or /VRXLOG on a silent install).
; The uninstaller removes all of it and leaves the user's one setting.

; A 64-bit installer for 64-bit programs: it also runs where no 32-bit Windows layer is
; installed (Wine's 64-bit prefix, Windows without WoW64).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define PRODUCT "View & Print VRX Log Files"
!define EXE "vrxpv.exe"
!define PROGID "VRXPV.LogFile"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\vrxpv"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\VRX PV"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "vrxpv ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "Zero & Vevod"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Uri Raviz, 2003 - 2025"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "${PRODUCT}" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${BINDIR}\${EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}"

  ; "Open With" for .log files: the program and a file type of its own are offered, and the
  ; default program of .log stays whatever it was.
  WriteRegStr HKLM "Software\Classes\Applications\${EXE}" "FriendlyAppName" "${PRODUCT}"
  WriteRegStr HKLM "Software\Classes\Applications\${EXE}\SupportedTypes" ".log" ""
  WriteRegStr HKLM "Software\Classes\Applications\${EXE}\shell\open\command" "" '"$INSTDIR\${EXE}" "%1"'
  WriteRegStr HKLM "Software\Classes\${PROGID}" "" "VRX log file"
  WriteRegStr HKLM "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\${EXE},0"
  WriteRegStr HKLM "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\${EXE}" "%1"'
  WriteRegStr HKLM "Software\Classes\.log\OpenWithProgids" "${PROGID}" ""

  ; Programs and Features.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Zero & Vevod"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section /o "Command-line tool (vrxlog.exe)" SecVrxlog
  SetOutPath "$INSTDIR"
  File "${BINDIR}\vrxlog.exe"
SectionEnd

Section "-Size"
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
  ; Explorer learns of the new file type now rather than at the next log-on.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Function .onInit
  SetRegView 64
  SetShellVarContext all
  ; A silent install takes the command-line tool with /VRXLOG.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/VRXLOG" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecVrxlog} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\vrxlog.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"

  DeleteRegValue HKLM "Software\Classes\.log\OpenWithProgids" "${PROGID}"
  DeleteRegKey /ifempty HKLM "Software\Classes\.log\OpenWithProgids"
  DeleteRegKey /ifempty HKLM "Software\Classes\.log"
  DeleteRegKey HKLM "Software\Classes\${PROGID}"
  DeleteRegKey HKLM "Software\Classes\Applications\${EXE}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; The version list the update check downloaded, for the user who uninstalls; the folder only
  ; when nothing else is in it. The setting (the folder of the last log) stays.
  SetShellVarContext current
  Delete "$APPDATA\vbTemp\versions.txt"
  RMDir "$APPDATA\vbTemp"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
