; Dimlet's installer for Windows, built by scripts/windows-package with
; makensis (Debian's nsis). Per user, without administrator rights: the
; programs go to %LOCALAPPDATA%\Programs\Dimlet, a Start-menu entry with the
; icon starts the window, and "Apps" lists the uninstaller, which removes
; every file installed here (the list below, written by the script) and
; leaves the operator's profile in %APPDATA%\Dimlet.
;   makensis -DVERSION=… -DCOPYRIGHT=… -DICON=… -DSTAGE=… -DFILES=… -DUNFILES=… -DOUTFILE=… dimlet.nsi
; A 64-bit installer for 64-bit programs (and wine without its 32-bit half runs it).
Target amd64-unicode
ManifestDPIAware false
RequestExecutionLevel user
SetCompressor /SOLID lzma

!define APP "Dimlet"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Dimlet"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${APP}"
Icon "${ICON}"
UninstallIcon "${ICON}"
VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Dimlet Application"
VIAddVersionKey /LANG=1033 "FileDescription" "Dimlet installer"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${COPYRIGHT}"

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles
LicenseData "${STAGE}\LICENSE"

Section "Dimlet"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  !include "${FILES}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Dimlet.lnk" "$INSTDIR\dimlet.exe" "" "$INSTDIR\dimlet.exe" 0
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Dimlet"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\dimlet.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Dimlet developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  ; Only what was installed: the profile in %APPDATA%\Dimlet is the
  ; operator's, and anything else put into this folder stays too.
  !include "${UNFILES}"
  Delete "$INSTDIR\Uninstall.exe"
  Delete "$SMPROGRAMS\Dimlet.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  RMDir "$INSTDIR\platforms"
  RMDir "$INSTDIR\styles"
  RMDir "$INSTDIR"
  ; Made by this installer where no other per-user program had made it;
  ; removed only while empty.
  RMDir "$LOCALAPPDATA\Programs"
SectionEnd
