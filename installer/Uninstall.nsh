; The steps of the uninstaller.

!insertmacro DefineRunService "un."
!insertmacro DefineCloseProgram "un."

; Stops and removes the service ("not installed", 1060, counts as done), after closing
; the viewer and the agent. A failure ends the uninstaller with the service's exit code
; and leaves the programs in place.
Function un.RemoveService
    StrCpy $R0 "QUOViewerTool_AP_Class"
    Call un.CloseProgram
    StrCpy $R0 "QUOViewerTool_MW_Class"
    Call un.CloseProgram
    StrCpy $R0 "/UNINSTALL"
    Call un.RunService
    ${If} $R1 <> 0
    ${AndIf} $R1 <> 1060
        !insertmacro FailWith $R1 "$(MsgServiceFailed)"
    ${EndIf}
FunctionEnd

; Our files only: the maker's QuoLevel.dll, if it lies in the folder, stays, and so
; does the folder then.
Function un.RemoveProgramsAndEntries
    DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    Delete "$INSTDIR\quomonsv.exe"
    Delete "$INSTDIR\QUOLog.dll"
    Delete "$INSTDIR\quoviewerd.exe"
    Delete "$INSTDIR\quolog.exe"
    Delete "$INSTDIR\quoviewer.exe"
    Delete "$INSTDIR\QuoViewer.chm"
    Delete "$INSTDIR\${UNINSTALLER}"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
FunctionEnd

; The logs in the default log folder, and the library's read positions in them; the
; settings stay.
Function un.RemoveLogs
    RMDir /r "$APPDATA\ZAV\QUOViewer"
    RMDir "$APPDATA\ZAV"
    DeleteRegValue HKLM "${PRODUCT_KEY}\QUOLog" "LastWriteDay"
    DeleteRegValue HKLM "${PRODUCT_KEY}\QUOLog" "LastWriteLine"
    DeleteRegValue HKLM "${PRODUCT_KEY}\QUOLog" "LastWriteDay2"
FunctionEnd
