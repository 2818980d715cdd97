; The setup program of QUOViewer: one 64-bit program that installs, upgrades and
; uninstalls the monitoring service, the log library, the session agent, the viewer and
; its help file.
;
;   makensis -INPUTCHARSET UTF8 -DVERSION=A.B.C.D -DBINDIR=<folder of the programs>
;            -DOUTFILE=<setup.exe> quoviewer.nsi
;
; Setup switches: /S silent, /METRICSDIR[=<folder>] the service's metrics file goes into
; that folder (without a folder: windows_exporter's textfile folder), /D=<folder> the
; program folder (last on the line).
; Uninstaller switches: /S silent, /REMOVELOGS also removes the logs.
; Exit codes: see ExitCodes.nsh.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!ifndef VERSION | BINDIR | OUTFILE
    !error "Define VERSION, BINDIR and OUTFILE"
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include Sections.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include "ExitCodes.nsh"

!define PRODUCT "QUOViewer"
!define PUBLISHER "ZAV"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "quoviewerd"
!define PRODUCT_KEY "Software\ZAV\QUOViewer"
!define SERVICES_KEY "SYSTEM\CurrentControlSet\Services"
!define UNINSTALLER "uninst.exe"
; The viewer and its help file go in when the build has made them.
!if /FileExists "${BINDIR}/quoviewer.exe"
    !define WITH_VIEWER
!endif
!if /FileExists "${BINDIR}/QuoViewer.chm"
    !define WITH_HELP
!endif

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show
AllowSkipFiles off

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "ZAV"

!define MUI_ABORTWARNING
!define MUI_CUSTOMFUNCTION_ABORT OnCancel
!define MUI_CUSTOMFUNCTION_UNABORT un.OnCancel
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

!include "Messages.nsh"
!include "Install.nsh"
!include "Uninstall.nsh"

Function .onInit
    SetShellVarContext all
    !insertmacro RequireAdmin
    Call ReadMetricsDirSwitch
FunctionEnd

Function OnCancel
    SetErrorLevel ${EXIT_CANCELLED}
FunctionEnd

Function un.OnCancel
    SetErrorLevel ${EXIT_CANCELLED}
FunctionEnd

Section "-Install"
    Call CheckPrerequisites
    Call StopRunningSystem
    Call InstallFiles
    Call WriteDefaultSettings
    Call WriteMetricsDir
    Call RegisterProduct
    Call StartService
    Call StartAgent
SectionEnd

Section "un.$(SectionPrograms)" SecPrograms
    SectionIn RO
    Call un.RemoveService
    Call un.RemoveProgramsAndEntries
SectionEnd

Section /o "un.$(SectionLogs)" SecRemoveLogs
    Call un.RemoveLogs
SectionEnd

Function un.onInit
    SetShellVarContext all
    !insertmacro RequireAdmin
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/REMOVELOGS" $1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SecRemoveLogs}
    ${EndIf}
FunctionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecPrograms} $(SectionProgramsText)
    !insertmacro MUI_DESCRIPTION_TEXT ${SecRemoveLogs} $(SectionLogsText)
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END
