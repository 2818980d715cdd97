#include "QVPipeRecord.h"

#include "PipeCmd.h"

bool IsAcceptedRecordSize(DWORD dwDataSize)
{
    return dwDataSize >= sizeof(DWORD) && dwDataSize < 0x80000000UL;
}

QVRecordKind ClassifyRecord(const BYTE* lpRecord, DWORD cbRecord)
{
    if (lpRecord == nullptr || cbRecord < sizeof(DWORD)) {
        return QVRECORD_UNKNOWN;
    }
    DWORD dwCmd = 0;
    CopyMemory(&dwCmd, lpRecord, sizeof(dwCmd));
    switch (dwCmd) {
    case PIPECMD_NOTIFY_SYSINFO:
        return (cbRecord == sizeof(QVPipeCmdNotifySysInfo)) ? QVRECORD_NOTIFY_SYSINFO : QVRECORD_WRONG_SIZE;
    case PIPECMD_SWITCH_FUNCTION:
        return (cbRecord == sizeof(PipeCmdSwitchFunction)) ? QVRECORD_SWITCH_FUNCTION : QVRECORD_WRONG_SIZE;
    default:
        return QVRECORD_UNKNOWN;
    }
}
