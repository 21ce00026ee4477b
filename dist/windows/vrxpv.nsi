; The Windows installer of vrxpv, made with Debian's makensis:
;   makensis -DVERSION=1.3.0 -DBINDIR=<the programs' folder> -DICON=<vrxpv.ico>
;            -DQT_VERSION=6.4.2 -DQT_DEBIAN_VERSION=6.4.2+dfsg-10
;            -DFILES=<files.nsh> -DUNFILES=<unfiles.nsh> -DOUTFILE=<setup.exe> vrxpv.nsi
; BINDIR is the folder scripts/windows-deploy lays out: the programs, the Qt and run-time DLLs,
; the Qt plugins and licences\. FILES installs all of it but the two programs, UNFILES removes
; the same (scripts/windows-programs writes both from that folder).
; It installs for all users into Program Files, adds a Start-menu folder with the program and
; its licences, and offers the program under "Open With" for .log files without taking the
; file type over; vrxlog.exe is installed only when asked for (the "Command-line tool"
; component, or /VRXLOG on a silent install). The uninstaller removes all of it and leaves the
; user's one setting.

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
!define STARTMENU "$SMPROGRAMS\${PRODUCT}"

; The second name is for the pages' labels, where a single & would underline the next letter.
Name "${PRODUCT}" "View && Print VRX Log Files"
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
!define MUI_ABORTWARNING

!define MUI_WELCOMEPAGE_TITLE "Welcome to the setup of $(^NameDA) ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "Setup will install $(^NameDA) ${VERSION} on your computer.$\r$\n$\r$\n\
The program uses Qt ${QT_VERSION} under the GNU Lesser General Public License version 3. \
Qt's libraries are installed as separate files beside the program, and you may replace them \
with your own build of Qt. They are built from Debian's source package qt6-base, \
version ${QT_DEBIAN_VERSION}:$\r$\n\
sources.debian.org/src/qt6-base/${QT_DEBIAN_VERSION}$\r$\n$\r$\n\
The licences of Qt and of the other libraries are in the program's folder under \
$\"licences$\", and in the Start menu.$\r$\n$\r$\n$_CLICK"
!insertmacro MUI_PAGE_WELCOME
!define MUI_LICENSEPAGE_TEXT_TOP "The program's terms, and the libraries it comes with."
!insertmacro MUI_PAGE_LICENSE "${BINDIR}\licences\README.txt"
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start $(^NameDA)"
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\licences\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show the licences"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "${PRODUCT}" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${BINDIR}\${EXE}"
  !include "${FILES}"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; Earlier releases put the program's entry straight into the Start menu.
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  CreateDirectory "${STARTMENU}"
  CreateShortCut "${STARTMENU}\${PRODUCT}.lnk" "$INSTDIR\${EXE}"
  CreateShortCut "${STARTMENU}\Licences.lnk" "$INSTDIR\licences"

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

; The installer runs with the administrator's rights; Explorer starts the program with the
; user's own, so that its setting goes where the user's other programs keep theirs.
Function StartProgram
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\${EXE}"'
FunctionEnd

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
  !include "${UNFILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "${STARTMENU}\${PRODUCT}.lnk"
  Delete "${STARTMENU}\Licences.lnk"
  RMDir "${STARTMENU}"
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
