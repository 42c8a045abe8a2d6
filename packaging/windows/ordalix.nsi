; The Windows installer: per user, without administrator rights, in French. Built by
; scripts/package-windows.sh: makensis -DVERSION=x.y.z -DEXE=... -DICON=... -DOUTFILE=...
; A 64-bit installer for a 64-bit program (and Wine's 64-bit loader runs it).
Target amd64-unicode
SetCompressor /SOLID lzma

!ifndef VERSION
  !error "VERSION is not defined"
!endif
!ifndef EXE
  !error "EXE is not defined"
!endif
!ifndef ICON
  !error "ICON is not defined"
!endif
!ifndef OUTFILE
  !define OUTFILE "ordalix-setup-${VERSION}.exe"
!endif

!define APP "Ordalix"
!define PUBLISHER "Ordalix"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Ordalix"
!define MENU_TEXT "Ranger avec Ordalix"

Name "${APP}"
OutFile "${OUTFILE}"
; Per user: the user's own programs folder, and keys under HKCU only.
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Ordalix"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${APP} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1036 "ProductName" "${APP}"
VIAddVersionKey /LANG=1036 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1036 "FileDescription" "Installation d'Ordalix"
VIAddVersionKey /LANG=1036 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1036 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1036 "LegalCopyright" "${PUBLISHER}"

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\ordalix.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Lancer Ordalix"
!define MUI_UNFINISHPAGE_NOAUTOCLOSE

; No folder to choose: the program tells an installed copy from a portable one by where it lies.
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH
!insertmacro MUI_LANGUAGE "French"

Section "Ordalix" SecMain
  SectionIn RO
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File "/oname=ordalix.exe" "${EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortCut "$SMPROGRAMS\Ordalix.lnk" "$INSTDIR\ordalix.exe" "" "$INSTDIR\ordalix.exe" 0

  ; "Ranger avec Ordalix" on a folder and on a folder's background, opening the window there.
  WriteRegStr HKCU "Software\Classes\Directory\shell\Ordalix" "" "${MENU_TEXT}"
  WriteRegStr HKCU "Software\Classes\Directory\shell\Ordalix" "Icon" "$INSTDIR\ordalix.exe,0"
  WriteRegStr HKCU "Software\Classes\Directory\shell\Ordalix\command" "" '"$INSTDIR\ordalix.exe" "%1"'
  WriteRegStr HKCU "Software\Classes\Directory\Background\shell\Ordalix" "" "${MENU_TEXT}"
  WriteRegStr HKCU "Software\Classes\Directory\Background\shell\Ordalix" "Icon" "$INSTDIR\ordalix.exe,0"
  WriteRegStr HKCU "Software\Classes\Directory\Background\shell\Ordalix\command" "" '"$INSTDIR\ordalix.exe" "%V"'

  ; The installed programs' list.
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ordalix.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  Delete "$INSTDIR\ordalix.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Ordalix.lnk"
  DeleteRegKey HKCU "Software\Classes\Directory\shell\Ordalix"
  DeleteRegKey HKCU "Software\Classes\Directory\Background\shell\Ordalix"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; What belongs to the user stays: settings, journals in the tidied folders, run records.
  MessageBox MB_OK|MB_ICONINFORMATION "Ordalix a été désinstallé.$\r$\n$\r$\nVos réglages ($APPDATA\Ordalix), les journaux rangés dans vos dossiers et les journaux d'annulation ($LOCALAPPDATA\Ordalix) sont conservés : supprimez-les vous-même si vous n'en avez plus besoin." /SD IDOK
SectionEnd
