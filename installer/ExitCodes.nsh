; How the setup program and the uninstaller end.
;
; Exit codes: 0 success. The setup's own failures, a cancel included, have bit 29 set,
; the mark of application-defined codes, so that they never collide with the Win32
; error code a switch of the service (/INSTALL, /START, /STOP, /UNINSTALL) ended with:
; such a failure ends the setup or uninstaller with that code as it is.
!define EXIT_NOT_ADMIN    536870913 ; 0x20000001 not run by an administrator
!define EXIT_NO_DRIVER    536870914 ; 0x20000002 the maker's wattage driver is missing
!define EXIT_NO_QUOLEVEL  536870915 ; 0x20000003 the maker's QuoLevel.dll is missing
!define EXIT_FILES_IN_USE 536870916 ; 0x20000004 a program could not be replaced
!define EXIT_CANCELLED    536870917 ; 0x20000005 cancelled by the user

; Shows MESSAGE (not in silent mode), writes it to the details, ends with CODE.
!macro FailWith CODE MESSAGE
    DetailPrint "${MESSAGE}"
    MessageBox MB_OK|MB_ICONSTOP "${MESSAGE}" /SD IDOK
    SetErrorLevel ${CODE}
    Abort
!macroend

; Ends with EXIT_NOT_ADMIN unless run by an administrator.
!macro RequireAdmin
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
        !insertmacro FailWith ${EXIT_NOT_ADMIN} "$(MsgNotAdmin)"
    ${EndIf}
!macroend

; Defines PREFIX RunService: runs "$INSTDIR\quomonsv.exe" with the switch in $R0 (and
; its arguments) and leaves the program's exit code in $R1. Its output goes to the
; details. Both the setup and the uninstaller need it, hence the macro.
!macro DefineRunService PREFIX
Function ${PREFIX}RunService
    DetailPrint "quomonsv.exe $R0"
    nsExec::ExecToLog '"$INSTDIR\quomonsv.exe" $R0'
    Pop $R1
    DetailPrint "quomonsv.exe: $R1"
FunctionEnd
!macroend

; Defines PREFIX CloseProgram: asks every window of the class in $R0 (the agent's or
; the viewer's main window) to close and waits up to 10 s for them to go, so that
; their files can be replaced or removed.
!macro DefineCloseProgram PREFIX
Function ${PREFIX}CloseProgram
    StrCpy $R2 0
    ${Do}
        FindWindow $R3 "$R0"
        ${If} $R3 = 0
            ${Break}
        ${EndIf}
        ${If} $R2 >= 100
            DetailPrint "$R0: still open"
            ${Break}
        ${EndIf}
        SendMessage $R3 ${WM_CLOSE} 0 0 /TIMEOUT=1000
        Sleep 100
        IntOp $R2 $R2 + 1
    ${Loop}
FunctionEnd
!macroend
