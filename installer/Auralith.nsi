; The Auralith installer. The build passes what it packs:
;   makensis -DPROGRAM_DIR=<program folder> -DVERSION=<x.y.z> -DICON=<.ico>
;            -DOUTFILE=<setup.exe> Auralith.nsi
;
; Command line of the result: /S installs without a window, /D=<folder> (last,
; unquoted) sets the folder. The uninstaller takes /S as well.

Unicode true
; Auralith.exe is a 64-bit program, so a 32-bit installer would gain nothing;
; and Wine without its 32-bit half runs this one too.
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Auralith"

Name "Auralith"
OutFile "${OUTFILE}"
BrandingText "Auralith ${VERSION}"
; Per user, and not under Program Files: Auralith writes its tag cache, the
; playlists and the desktop page's data and settings files into its own
; folder, so that folder must be writable by the user who runs it. Nothing
; here needs more than the user's rights, so no elevation is asked for.
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Auralith"
; A second install goes where the first one went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION}.0"
VIAddVersionKey ProductName "Auralith"
VIAddVersionKey CompanyName "Corvale"
VIAddVersionKey LegalCopyright "Copyright ${U+00A9} 2026 Corvale. All rights reserved."
VIAddVersionKey FileDescription "Auralith Setup"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey ProductVersion "${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "&Run Auralith"
!define MUI_FINISHPAGE_RUN_FUNCTION RunAuralith
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; A running program's file can be neither replaced nor removed: an install
; would stop half-way, and an uninstall would undo the settings and remove
; everything else but still leave the folder behind. So both wait for the user
; to close it; silent, they fail at once instead (exit code 2).
!macro WaitUntilClosed FILE
  ${Do}
    ClearErrors
    FileOpen $0 "$INSTDIR\${FILE}" a
    ${IfNot} ${Errors}
      FileClose $0
      ${Break}
    ${EndIf}
    ${IfNot} ${FileExists} "$INSTDIR\${FILE}"
      ${Break}
    ${EndIf}
    ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Auralith is running. Close it, then click Retry." /SD IDCANCEL IDRETRY`
      Abort
    ${EndIf}
  ${Loop}
!macroend

Section "Auralith" SecProgram
  !insertmacro WaitUntilClosed "Auralith.exe"
  !insertmacro WaitUntilClosed "auralith-build.exe"
  SetOutPath "$INSTDIR"
  File "${PROGRAM_DIR}\Auralith.exe"
  File "${PROGRAM_DIR}\auralith-build.exe"
  File "${PROGRAM_DIR}\Auralith.htm"
  File "${PROGRAM_DIR}\Auralith Help.htm"
  File "${PROGRAM_DIR}\AuralithURL.exe"
  ; The 32-bit player plug-in (the player is a 32-bit program); start-up
  ; copies it into the player's plug-in folder.
  File "${PROGRAM_DIR}\gen_auralith.dll"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateShortcut "$SMPROGRAMS\Auralith.lnk" "$INSTDIR\Auralith.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Auralith"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Corvale"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Auralith.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize ${SecProgram} $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; -install applies the configuration once and then opens the configuration
; window, which stays until the user closes it: the installer starts it and
; ends without waiting.
Function RunAuralith
  SetOutPath "$INSTDIR"
  Exec '"$INSTDIR\Auralith.exe" -install'
FunctionEnd

; A silent install takes every default, and "Run Auralith" is on by default,
; so it runs -install as well: an administrator's or a test's install leaves
; the same state as a user's click through the pages, the configuration
; applied (without it the desktop would stay as it was until someone pressed
; OK in the window). The window it opens is the user's to close, as after any
; install.
Function .onInstSuccess
  ${If} ${Silent}
    Call RunAuralith
  ${EndIf}
FunctionEnd

!macro RemoveUrlProtocol ROOT KEY
  ReadRegStr $0 ${ROOT} "${KEY}\shell\open\command" ""
  ${If} $0 == '"$INSTDIR\AuralithURL.exe" "%1"'
    DeleteRegKey ${ROOT} "${KEY}"
  ${EndIf}
!macroend

Section "Uninstall"
  !insertmacro WaitUntilClosed "Auralith.exe"
  !insertmacro WaitUntilClosed "auralith-build.exe"

  ; Auralith undoes its own changes (player plug-in, settings, desktop page)
  ; while its files are still here.
  ExecWait '"$INSTDIR\Auralith.exe" -uninstall'

  Delete "$INSTDIR\Auralith.exe"
  Delete "$INSTDIR\auralith-build.exe"
  Delete "$INSTDIR\Auralith.htm"
  Delete "$INSTDIR\Auralith Help.htm"
  Delete "$INSTDIR\AuralithURL.exe"
  Delete "$INSTDIR\gen_auralith.dll"

  ; Also what Auralith generated here: the tag cache, the playlists, the
  ; desktop page's data and settings files, and the temporary files of a write
  ; that was cut short. All of it is made again from the music folder and the
  ; settings, which -uninstall has just removed with the desktop page, so
  ; keeping it would only leave a folder for the user to clean up. Files are
  ; named one by one, never the whole folder: a user may have installed into a
  ; folder that holds files of their own, and those stay (and so the folder).
  Delete "$INSTDIR\Auralith.archive"
  Delete "$INSTDIR\Auralith.data"
  Delete "$INSTDIR\Auralith.playlists"
  Delete "$INSTDIR\Auralith.config"
  Delete "$INSTDIR\Auralith.behaviour"
  Delete "$INSTDIR\Auralith.*.tmp"
  Delete "$INSTDIR\playlists\*.m3u"
  Delete "$INSTDIR\playlists\*.m3u.tmp"
  RMDir "$INSTDIR\playlists"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\Auralith.lnk"
  ; The "Auralith:" links of the desktop page reach the URL handler through a
  ; protocol that Auralith registers, for the user or, where it may, for the
  ; machine; left behind, it would name a program that is gone. Only a
  ; registration of this folder's handler goes.
  !insertmacro RemoveUrlProtocol HKCU "Software\Classes\Auralith"
  !insertmacro RemoveUrlProtocol HKCR "Auralith"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
