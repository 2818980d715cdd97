#include "PipeCmd.h"

#include <strsafe.h>

#include "Trace.h"

void BuildNotifySysInfo(QVPipeCmdNotifySysInfo* pCmd, DWORD dwQuoLevel, LPCWSTR lpszPowerPlan, DWORD dwPCWatt,
                        DWORD dwMonWatt, DWORD dwBatteryStatus, DWORD dwBatteryLifePercent)
{
    if (pCmd == nullptr) {
        return;
    }
    ZeroMemory(pCmd, sizeof(*pCmd));
    pCmd->dwCmd = PIPECMD_NOTIFY_SYSINFO;
    pCmd->byQuoLevel = (dwQuoLevel >= 1 && dwQuoLevel <= 5) ? static_cast<BYTE>(dwQuoLevel) : 0;
    if (lpszPowerPlan != nullptr) {
        // Truncation is wanted: the field holds at most 128 characters.
        StringCchCopyW(pCmd->szPowerPlan, ARRAYSIZE(pCmd->szPowerPlan), lpszPowerPlan);
    }
    // In 64 bits: the sum of two DWORDs may exceed 32 bits.
    pCmd->dWatt = static_cast<double>(static_cast<ULONGLONG>(dwPCWatt) + dwMonWatt) / 1000.0;
    pCmd->byBatteryStatus = (dwBatteryStatus >= 1 && dwBatteryStatus <= 3) ? static_cast<BYTE>(dwBatteryStatus) : 0;
    pCmd->byBatteryLifePercent = static_cast<BYTE>(dwBatteryLifePercent & 0xFF);
}

DWORD ReceiveCommand(CPipeRecv* pRecv, const PipeEvent* pEvent, LPBYTE lpBuf, LPDWORD lpdwSize, LPDWORD lpdwCmd)
{
    TRACE_ENTER(2);
    if (pRecv == nullptr) {
        return TRACE_NULL_ARGUMENT(pRecv);
    }
    if (pEvent == nullptr) {
        return TRACE_NULL_ARGUMENT(pEvent);
    }
    if (lpBuf == nullptr) {
        return TRACE_NULL_ARGUMENT(lpBuf);
    }
    if (lpdwSize == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwSize);
    }
    if (lpdwCmd == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwCmd);
    }
    DWORD dwSize = pEvent->dwDataSize;
    if (dwSize < sizeof(DWORD) || dwSize > PIPECMD_MAX_SIZE) {
        TRACE(0, L" Invalid data size. pPipeEvent->dwDataSize=%lu", dwSize);
        return TRACE_LEAVE(ERROR_INVALID_DATA);
    }
    if (pRecv->GetReceivedData(lpBuf, dwSize) != dwSize) {
        TRACE(0, L" Error in GetReceivedData().");
        return TRACE_LEAVE(ERROR_READ_FAULT);
    }
    *lpdwSize = dwSize;
    CopyMemory(lpdwCmd, lpBuf, sizeof(DWORD));
    return TRACE_LEAVE(ERROR_SUCCESS);
}
