; QEV's installer for 64-bit Windows, built with makensis on Debian (packaging/windows/make-packages.sh).
; Per user and without administrator rights: the program goes to %LOCALAPPDATA%\Programs\QEV,
; with a Start-menu shortcut and an entry in Apps & features. An option, off unless chosen (or
; /SYNC=1 given), registers a scheduled task of the user's own that runs "qev.exe send-zones
; --if-changed" and "qev.exe sync --require-synced" at every :00 and :30 UTC and at logon. The uninstaller removes all of it but the user's
; settings under HKCU\Software\QEV.
;   qev-<version>-setup.exe [/S] [/SYNC=1|/SYNC=0] [/PORTS=COM1,COM3] [/D=folder]
; /PORTS= lists the ports the task serves (each clock gets its message at once); without it the
; task uses the port chosen in the window.
; Defines from the build: VERSION, VERSION_QUAD, PUBLISHER, COPYRIGHT, ICON, STAGE (the files
; to install; FILES_NSH and UNFILES_NSH list them), OUTFILE, and SIGN (a command that signs the
; file it is given) when a certificate is configured.

Unicode true
Target amd64-unicode
ManifestSupportedOS all
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include FileFunc.nsh
!include LogicLib.nsh
!include MUI2.nsh
!include Sections.nsh
!include WordFunc.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QEV"
!define TASK_LABEL "QEV Keep the clock on time"

Name "QEV"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\QEV"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "QEV ${VERSION}"
; A file that cannot be replaced (the program still running) stops the install, silent or not:
; never an old program left behind an install that says it succeeded.
AllowSkipFiles off
!ifdef SIGN
!uninstfinalize '"${SIGN}" "%1"'
!endif

VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=1033 "ProductName" "QEV"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${COPYRIGHT}"
VIAddVersionKey /LANG=1033 "FileDescription" "QEV ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "OriginalFilename" "qev-${VERSION}-setup.exe"

Var TaskName ; the scheduled task this user's install registered, or ""
Var PortArgs ; " --port COM1,COM3" when /PORTS= was given, else ""

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; The GPL asks for no agreement: the page informs and goes on with Next.
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "QEV is free software: you may use it for any purpose, and share and change it under these terms."
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\qev.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "QEV" SecProgram
    SectionIn RO
    SetOutPath "$INSTDIR"
    !include "${FILES_NSH}"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\QEV.lnk" "$INSTDIR\qev.exe" "" "$INSTDIR\qev.exe" 0 \
        SW_SHOWNORMAL "" "Sets the date, time and zones of the clock device"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "QEV"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\qev.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "Keep the clock on time" SecSync
    Call WriteTaskDefinition
    nsExec::ExecToStack '"$SYSDIR\schtasks.exe" /Create /TN "$TaskName" /XML "$INSTDIR\qev-sync.xml" /F'
    Pop $0
    Pop $1
    ${If} $0 == 0
        WriteRegStr HKCU "${UNINSTALL_KEY}" "SyncTask" $TaskName
        DetailPrint "Scheduled task registered: $TaskName"
    ${Else}
        ; QEV is installed all the same; the user learns that the clock is not kept on time.
        DetailPrint "The scheduled task could not be registered ($0): $1"
        MessageBox MB_OK|MB_ICONEXCLAMATION "QEV is installed, but the clock will not be kept on time: the scheduled task could not be registered.$\r$\n$\r$\n$1" /SD IDOK
        Delete "$INSTDIR\qev-sync.xml"
        SetErrorLevel 2
    ${EndIf}
SectionEnd

; Chosen before, or now unchosen: an earlier install's task goes when the option is left out.
Section "-RemoveUnchosenTask"
    ${IfNot} ${SectionIsSelected} ${SecSync}
        Call RemoveTask
    ${EndIf}
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "qev.exe, a Start-menu shortcut and the licences."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecSync} "At every full and half hour of UTC and when you log on, sends the zone configuration when a zone that follows a time zone has changed its offset (qev.exe send-zones --if-changed), and sets the clock device to this computer's time (qev.exe sync --require-synced, only while this computer's clock is synchronised), on the port chosen in the window."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
    ; An earlier install with the task keeps it unless told otherwise.
    ReadRegStr $TaskName HKCU "${UNINSTALL_KEY}" "SyncTask"
    ${If} $TaskName != ""
        SectionSetFlags ${SecSync} ${SF_SELECTED}
    ${EndIf}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/SYNC=" $1
    ${IfNot} ${Errors}
        ${If} $1 == "1"
            SectionSetFlags ${SecSync} ${SF_SELECTED}
        ${ElseIf} $1 == "0"
            SectionSetFlags ${SecSync} 0
        ${Else}
            MessageBox MB_OK|MB_ICONSTOP "/SYNC= takes 1 (keep the clock on time) or 0, not $\"$1$\"." /SD IDOK
            SetErrorLevel 2
            Quit
        ${EndIf}
    ${EndIf}
    ClearErrors
    ${GetOptions} $0 "/PORTS=" $1
    ${IfNot} ${Errors}
        ; The command itself refuses a name that is no port.
        ${If} $1 == ""
            MessageBox MB_OK|MB_ICONSTOP "/PORTS= takes a list of ports, as in /PORTS=COM1,COM3." /SD IDOK
            SetErrorLevel 2
            Quit
        ${EndIf}
        StrCpy $0 $1
        Call XmlEscape
        StrCpy $PortArgs " --port $0"
    ${EndIf}
FunctionEnd

; Escapes the XML special characters of $0 in place.
Function XmlEscape
    ${WordReplace} $0 "&" "&amp;" "+" $0
    ${WordReplace} $0 "<" "&lt;" "+" $0
    ${WordReplace} $0 ">" "&gt;" "+" $0
FunctionEnd

; The task definition, kept beside the program as what was registered. A user who is no
; administrator may only register a logon trigger for their own account, so it names them;
; so does the task's name, which is one namespace for all users of the computer.
Function WriteTaskDefinition
    ReadEnvStr $2 USERNAME
    ReadEnvStr $3 USERDOMAIN
    ${If} $3 != ""
        StrCpy $3 "$3\$2"
    ${Else}
        StrCpy $3 $2
    ${EndIf}
    StrCpy $TaskName "${TASK_LABEL} ($2)"
    StrCpy $0 $3
    Call XmlEscape
    StrCpy $3 $0
    StrCpy $0 "$INSTDIR\qev.exe"
    Call XmlEscape
    StrCpy $4 $0

    FileOpen $1 "$INSTDIR\qev-sync.xml" w
    FileWriteUTF16LE /BOM $1 '<?xml version="1.0" encoding="UTF-16"?>$\r$\n'
    FileWriteUTF16LE $1 '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">$\r$\n'
    FileWriteUTF16LE $1 '  <RegistrationInfo>$\r$\n'
    FileWriteUTF16LE $1 '    <Author>${PUBLISHER}</Author>$\r$\n'
    FileWriteUTF16LE $1 '    <Description>Keeps the zones that follow a time zone at their offsets in force, at every full and half hour of UTC and at logon, and sets the clock device to this computer$\'s time while this computer$\'s clock is synchronised. Made by the QEV installer; uninstalling QEV removes it.</Description>$\r$\n'
    FileWriteUTF16LE $1 '  </RegistrationInfo>$\r$\n'
    FileWriteUTF16LE $1 '  <Triggers>$\r$\n'
    FileWriteUTF16LE $1 '    <TimeTrigger>$\r$\n'
    FileWriteUTF16LE $1 '      <Repetition>$\r$\n'
    FileWriteUTF16LE $1 '        <Interval>PT30M</Interval>$\r$\n'
    FileWriteUTF16LE $1 '        <StopAtDurationEnd>false</StopAtDurationEnd>$\r$\n'
    FileWriteUTF16LE $1 '      </Repetition>$\r$\n'
    ; In UTC: every zone change falls on a full or half hour of UTC, not always of local time.
    FileWriteUTF16LE $1 '      <StartBoundary>2026-01-01T00:00:00Z</StartBoundary>$\r$\n'
    FileWriteUTF16LE $1 '      <Enabled>true</Enabled>$\r$\n'
    FileWriteUTF16LE $1 '    </TimeTrigger>$\r$\n'
    FileWriteUTF16LE $1 '    <LogonTrigger>$\r$\n'
    FileWriteUTF16LE $1 '      <Enabled>true</Enabled>$\r$\n'
    FileWriteUTF16LE $1 '      <UserId>$3</UserId>$\r$\n'
    FileWriteUTF16LE $1 '    </LogonTrigger>$\r$\n'
    FileWriteUTF16LE $1 '  </Triggers>$\r$\n'
    FileWriteUTF16LE $1 '  <Principals>$\r$\n'
    FileWriteUTF16LE $1 '    <Principal id="Author">$\r$\n'
    FileWriteUTF16LE $1 '      <UserId>$3</UserId>$\r$\n'
    FileWriteUTF16LE $1 '      <LogonType>InteractiveToken</LogonType>$\r$\n'
    FileWriteUTF16LE $1 '      <RunLevel>LeastPrivilege</RunLevel>$\r$\n'
    FileWriteUTF16LE $1 '    </Principal>$\r$\n'
    FileWriteUTF16LE $1 '  </Principals>$\r$\n'
    FileWriteUTF16LE $1 '  <Settings>$\r$\n'
    FileWriteUTF16LE $1 '    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>$\r$\n'
    FileWriteUTF16LE $1 '    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>$\r$\n'
    FileWriteUTF16LE $1 '    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>$\r$\n'
    FileWriteUTF16LE $1 '    <StartWhenAvailable>true</StartWhenAvailable>$\r$\n'
    FileWriteUTF16LE $1 '    <ExecutionTimeLimit>PT10M</ExecutionTimeLimit>$\r$\n'
    FileWriteUTF16LE $1 '    <Enabled>true</Enabled>$\r$\n'
    FileWriteUTF16LE $1 '  </Settings>$\r$\n'
    FileWriteUTF16LE $1 '  <Actions Context="Author">$\r$\n'
    ; The zones first: a change is sent within moments of falling due, the sync after it.
    FileWriteUTF16LE $1 '    <Exec>$\r$\n'
    FileWriteUTF16LE $1 '      <Command>"$4"</Command>$\r$\n'
    FileWriteUTF16LE $1 '      <Arguments>send-zones --if-changed$PortArgs</Arguments>$\r$\n'
    FileWriteUTF16LE $1 '    </Exec>$\r$\n'
    FileWriteUTF16LE $1 '    <Exec>$\r$\n'
    FileWriteUTF16LE $1 '      <Command>"$4"</Command>$\r$\n'
    FileWriteUTF16LE $1 '      <Arguments>sync --require-synced$PortArgs</Arguments>$\r$\n'
    FileWriteUTF16LE $1 '    </Exec>$\r$\n'
    FileWriteUTF16LE $1 '  </Actions>$\r$\n'
    FileWriteUTF16LE $1 '</Task>$\r$\n'
    FileClose $1
FunctionEnd

; Deletes the task an install of this user registered, if any.
!macro RemoveTaskBody
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "SyncTask"
    ${If} $0 != ""
        nsExec::ExecToStack '"$SYSDIR\schtasks.exe" /Delete /TN "$0" /F'
        Pop $1
        Pop $2
        ${If} $1 == 0
            DeleteRegValue HKCU "${UNINSTALL_KEY}" "SyncTask"
            DetailPrint "Scheduled task removed: $0"
        ${Else}
            DetailPrint "The scheduled task $0 could not be removed ($1): $2"
            MessageBox MB_OK|MB_ICONEXCLAMATION "The scheduled task $\"$0$\" could not be removed; Task Scheduler can delete it.$\r$\n$\r$\n$2" /SD IDOK
            SetErrorLevel 2
        ${EndIf}
    ${EndIf}
    Delete "$INSTDIR\qev-sync.xml"
!macroend
Function RemoveTask
    !insertmacro RemoveTaskBody
FunctionEnd
Function un.RemoveTask
    !insertmacro RemoveTaskBody
FunctionEnd

Section "Uninstall"
    Call un.RemoveTask
    !include "${UNFILES_NSH}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR" ; only when empty: nothing of the user's goes with it
    Delete "$SMPROGRAMS\QEV.lnk"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    ; The user's settings, HKCU\Software\QEV, stay for a later install.
SectionEnd
