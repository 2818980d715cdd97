; The steps of an install or an upgrade in place, in the order the section runs them.

!insertmacro DefineRunService ""
!insertmacro DefineCloseProgram ""

; The maker's parts the programs need: a wattage driver (desktop or notebook) and
; QuoLevel.dll, which the service and the agent load from their folder or the system
; folder. They are never installed here.
Function CheckPrerequisites
    ClearErrors
    ReadRegDWORD $0 HKLM "${SERVICES_KEY}\zavpsrd" "Type"
    ${If} ${Errors}
        ClearErrors
        ReadRegDWORD $0 HKLM "${SERVICES_KEY}\zavecfilter" "Type"
        ${If} ${Errors}
            !insertmacro FailWith ${EXIT_NO_DRIVER} "$(MsgNoDriver)"
        ${EndIf}
    ${EndIf}
    ${IfNot} ${FileExists} "$INSTDIR\QuoLevel.dll"
    ${AndIfNot} ${FileExists} "$SYSDIR\QuoLevel.dll"
        !insertmacro FailWith ${EXIT_NO_QUOLEVEL} "$(MsgNoQuoLevel)"
    ${EndIf}
FunctionEnd

; An installed version: closes the viewer and the agent and stops the service, so that
; their files can be replaced. Its logs and settings stay as they are.
Function StopRunningSystem
    StrCpy $R0 "QUOViewerTool_AP_Class"
    Call CloseProgram
    StrCpy $R0 "QUOViewerTool_MW_Class"
    Call CloseProgram
    ${If} ${FileExists} "$INSTDIR\quomonsv.exe"
        StrCpy $R0 "/STOP"
        Call RunService
        ; 1060: the service is not installed.
        ${If} $R1 <> 0
        ${AndIf} $R1 <> 1060
            !insertmacro FailWith $R1 "$(MsgServiceFailed)"
        ${EndIf}
    ${EndIf}
FunctionEnd

Function InstallFiles
    SetOutPath "$INSTDIR"
    SetOverwrite on
    ; A file that cannot be replaced aborts the copy: the exit code is then this one.
    SetErrorLevel ${EXIT_FILES_IN_USE}
    File "${BINDIR}/quomonsv.exe"
    File "${BINDIR}/QUOLog.dll"
    File "${BINDIR}/quoviewerd.exe"
    File "${BINDIR}/quolog.exe"
!ifdef WITH_VIEWER
    File "${BINDIR}/quoviewer.exe"
!endif
!ifdef WITH_HELP
    File "${BINDIR}/QuoViewer.chm"
!endif
    SetErrorLevel 0
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
FunctionEnd

; Writes VALUE into NAME under KEY of HKLM unless a DWORD is stored there already.
!macro DefaultDword KEY NAME VALUE
    ClearErrors
    ReadRegDWORD $0 HKLM "${KEY}" "${NAME}"
    ${If} ${Errors}
        WriteRegDWORD HKLM "${KEY}" "${NAME}" ${VALUE}
    ${EndIf}
!macroend

; The settings the service reads at start, with their defaults, where none exist: an
; upgrade keeps what the user set.
Function WriteDefaultSettings
    !insertmacro DefaultDword "${PRODUCT_KEY}" "Function" 1
    !insertmacro DefaultDword "${PRODUCT_KEY}" "ServiceWaitTime" 60000
    !insertmacro DefaultDword "${PRODUCT_KEY}\DevInfo" "Interval" 5000
FunctionEnd

; The folder that /METRICSDIR names, empty when the switch is not given.
Var MetricsDir

; /METRICSDIR=<folder> names the folder of the service's metrics file; /METRICSDIR alone
; names the textfile folder that windows_exporter reads by default.
Function ReadMetricsDirSwitch
    StrCpy $MetricsDir ""
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/METRICSDIR" $1
    ${If} ${Errors}
        Return
    ${EndIf}
    StrCpy $2 $1 1
    ${If} $2 == "="
        StrCpy $MetricsDir $1 "" 1
    ${Else}
        StrCpy $MetricsDir "$PROGRAMFILES64\windows_exporter\textfile_inputs"
    ${EndIf}
FunctionEnd

; "MetricsDir" is written only when the switch asks for it; without it an upgrade keeps
; what is set.
Function WriteMetricsDir
    ${If} $MetricsDir != ""
        WriteRegStr HKLM "${PRODUCT_KEY}" "MetricsDir" $MetricsDir
    ${EndIf}
FunctionEnd

; The agent at every logon, the viewer in the Start menu, and the entry of Programs
; and Features.
Function RegisterProduct
    WriteRegStr HKLM "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\quoviewerd.exe"'
!ifdef WITH_VIEWER
    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\quoviewer.exe"
!endif
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\quomonsv.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
FunctionEnd

; Registers the service (an existing registration is kept) and starts it; the service
; creates its log folder with the log library's permissions. A failure ends the setup
; with the service's exit code.
Function StartService
    StrCpy $R0 '/INSTALL "\"$INSTDIR\quomonsv.exe\""'
    Call RunService
    ${If} $R1 <> 0
        !insertmacro FailWith $R1 "$(MsgServiceFailed)"
    ${EndIf}
    StrCpy $R0 "/START"
    Call RunService
    ${If} $R1 <> 0
        !insertmacro FailWith $R1 "$(MsgServiceFailed)"
    ${EndIf}
FunctionEnd

; The agent of this session, now (it waits for the service by itself).
Function StartAgent
    Exec '"$INSTDIR\quoviewerd.exe"'
FunctionEnd
