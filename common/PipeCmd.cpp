#include "PipeCmd.h"

#include <strsafe.h>

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
