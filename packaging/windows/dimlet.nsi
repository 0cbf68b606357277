; Dimlet's installer for Windows, built by scripts/windows-package with
; makensis (Debian's nsis). Per user, without administrator rights: the
; programs go to %LOCALAPPDATA%\Programs\Dimlet, a Start-menu entry with the
; icon starts the window, "Apps" lists the uninstaller, which removes
; every file installed here (the list below, written by the script) and
; leaves the operator's profile in %APPDATA%\Dimlet. The folder may be put
; on the user's PATH for dimlet-cli (chosen on the components page, or /PATH
; with /S); the uninstaller takes out that entry and no other.
; Neither replaces nor removes a file of a program that runs: a Dimlet
; window (its named mutex) or any installed file that cannot be opened for
; writing (dimlet-cli in a console). The operator is asked to close it; a
; silent run stops before it changes anything, says why on standard error
; and ends with status 2.
;   makensis -DVERSION=… -DCOPYRIGHT=… -DICON=… -DSTAGE=… -DFILES=… -DUNFILES=…
;            -DBUSY=… -DRUNNING_MUTEX=… -DUSER_PATH=… -DOUTFILE=… dimlet.nsi
; A 64-bit installer for 64-bit programs (and wine without its 32-bit half runs it).
Target amd64-unicode
ManifestDPIAware false
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh

!define APP "Dimlet"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Dimlet"
; The uninstall entry's value that holds the PATH entry this installer added.
!define PATH_ENTRY_VALUE "PathEntry"
!define STATUS_REFUSED 2

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${APP}"
VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Dimlet Application"
VIAddVersionKey /LANG=1033 "FileDescription" "Dimlet installer"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${COPYRIGHT}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\dimlet.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Run Dimlet"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Writes "dimlet setup: TEXT" to standard error: the one a caller redirected,
; else the console the installer was started from.
!macro SAY_ON_STDERR UN
Function ${UN}SayOnStderr
  Exch $R9
  Push $R8
  System::Call 'kernel32::GetStdHandle(i -12) p.R8'
  ${If} $R8 == 0
  ${OrIf} $R8 == -1
    System::Call 'kernel32::AttachConsole(i -1)'
    System::Call 'kernel32::GetStdHandle(i -12) p.R8'
  ${EndIf}
  ${If} $R8 != 0
  ${AndIf} $R8 != -1
    FileWrite $R8 "dimlet setup: $R9$\r$\n"
  ${EndIf}
  Pop $R8
  Pop $R9
FunctionEnd
!macroend
!insertmacro SAY_ON_STDERR ""
!insertmacro SAY_ON_STDERR "un."

; Sets $R1 to the first installed file in $INSTDIR that exists and cannot be
; opened for writing (a program that runs from it holds it), else to "".
!macro FILE_FREE PATH
  ${If} $R1 == ""
  ${AndIf} ${FileExists} "${PATH}"
    ClearErrors
    FileOpen $R0 "${PATH}" a
    ${If} ${Errors}
      StrCpy $R1 "${PATH}"
    ${Else}
      FileClose $R0
    ${EndIf}
  ${EndIf}
!macroend

; Returns only once no Dimlet runs from $INSTDIR's files; otherwise asks the
; operator to close it and look again, or (cancelled, or silent) quits with
; STATUS_REFUSED before anything is changed.
!macro REFUSE_WHILE_RUNNING UN WHAT
Function ${UN}RefuseWhileRunning
  Push $R0
  Push $R1
  Push $R2
  ${Do}
    StrCpy $R2 ""
    ; SYNCHRONIZE: enough to open it, so enough to know it is there.
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${RUNNING_MUTEX}") p.R0'
    ${If} $R0 != 0
      System::Call 'kernel32::CloseHandle(p R0)'
      StrCpy $R2 "Dimlet is running"
    ${Else}
      StrCpy $R1 ""
      !include "${BUSY}"
      ${If} $R1 != ""
        StrCpy $R2 "$R1 is in use by a program that runs (Dimlet, dimlet-cli or dimlet-sim)"
      ${EndIf}
    ${EndIf}
    ${If} $R2 == ""
      Pop $R2
      Pop $R1
      Pop $R0
      Return
    ${EndIf}
    ${If} ${Silent}
      Push "$R2: close it, then ${WHAT}."
      Call ${UN}SayOnStderr
      SetErrorLevel ${STATUS_REFUSED}
      Quit
    ${EndIf}
    ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$R2.$\n$\nClose it (in Dimlet: Exit), then choose Retry. Cancel leaves the installed Dimlet as it is." IDRETRY`
      SetErrorLevel ${STATUS_REFUSED}
      Quit
    ${EndIf}
  ${Loop}
FunctionEnd
!macroend
!insertmacro REFUSE_WHILE_RUNNING "" "run the installer again"
!insertmacro REFUSE_WHILE_RUNNING "un." "run the uninstaller again"

Section "Dimlet" SecDimlet
  SectionIn RO
  SetShellVarContext current
  ; Before the first file: never a mix of two versions.
  Call RefuseWhileRunning
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

; The PATH is read and written by the helper, never through this script's
; strings (1024 characters): a longer PATH would be cut.
Section /o "dimlet-cli on the PATH" SecPath
  InitPluginsDir
  File "/oname=$PLUGINSDIR\dimlet-user-path.exe" "${USER_PATH}"
  ExecWait '"$PLUGINSDIR\dimlet-user-path.exe" add "$INSTDIR"' $R0
  ${If} $R0 == 0
    ; Only an entry this installer added is the uninstaller's to take out.
    WriteRegStr HKCU "${UNINSTALL_KEY}" "${PATH_ENTRY_VALUE}" "$INSTDIR"
  ${ElseIf} $R0 != 1
    DetailPrint "The PATH could not be changed; it is as it was."
    ${If} ${Silent}
      Push "the PATH could not be changed; it is as it was"
      Call SayOnStderr
    ${EndIf}
    SetErrorLevel ${STATUS_REFUSED}
  ${EndIf}
SectionEnd

Function .onInit
  ; /PATH: the PATH entry in a silent install too.
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/PATH" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecPath}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetShellVarContext current
  ; Before the first file is removed: the uninstaller must stay until it can
  ; remove them all.
  Call un.RefuseWhileRunning
  ReadRegStr $R0 HKCU "${UNINSTALL_KEY}" "${PATH_ENTRY_VALUE}"
  ${If} $R0 != ""
    InitPluginsDir
    File "/oname=$PLUGINSDIR\dimlet-user-path.exe" "${USER_PATH}"
    ExecWait '"$PLUGINSDIR\dimlet-user-path.exe" remove "$R0"' $R1
    ${If} $R1 != 0
    ${AndIf} $R1 != 1
      DetailPrint "The PATH entry $R0 could not be taken out."
    ${EndIf}
  ${EndIf}
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
