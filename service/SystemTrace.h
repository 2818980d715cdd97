// The one object through which the service reads the machine for a log record: the
// PC's power, the battery, the display power, the active power plan's name, the
// power-saving level and the external displays' power; it also registers the
// power-setting notifications and keeps the battery's peak-shift state.
#pragma once

#include <windows.h>

#include "AslBattery.h"
#include "Gwat.h"
#include "Monitor.h"
#include "PowMan.h"
#include "QuoLevelWrapper.h"

class CSystemTrace {
public:
    CSystemTrace();
    ~CSystemTrace();

    CSystemTrace(const CSystemTrace&) = delete;
    CSystemTrace& operator=(const CSystemTrace&) = delete;

    // pFunc and lpParam: the level library's callback and its context.
    DWORD Initialize(QUOLEVEL_CALLBACK pFunc, LPVOID lpParam);
    void Finalize();

    // The PC's power in mW. While peak shift holds it is 0; while the peak-shift state
    // is unknown *lpdwMilliwatts keeps the caller's value.
    DWORD GetWatt(LPDWORD lpdwMilliwatts);
    DWORD GetBatteryStatus(LPDWORD lpdwStatus, LPDWORD lpdwPercent, LPDWORD lpdwCapacity);
    DWORD GetMonitorPowerStatus(BOOL bNotified, LPDWORD lpdwStatus1, LPDWORD lpdwStatus2);
    DWORD GetActivePowerPlanName(LPWSTR lpName, DWORD cchName, const GUID* pSchemeGuid);
    DWORD GetQUOLevel(LPDWORD lpdwLevel);
    DWORD GetExtDspInfo(ExtDspInfo* pInfo, DWORD dwDisplayStatus);
    // Re-reads the peak-shift state from the battery driver and returns it.
    DWORD UpdatePksStatus();
    DWORD RegisterPowerEvent(HPOWERNOTIFY* phNotify, HANDLE hRecipient, LPCGUID pSetting, DWORD dwFlags);
    DWORD UnregisterPowerEvent(HPOWERNOTIFY hNotify);

    BOOL IsNotebookPC() const { return m_bIsNotebookPC; }
    BOOL IsWithBatteryPC() const { return m_bWithBatteryPC; }

private:
    bool m_bInitialized;
    CGwat m_Gwat;
    CPowMan m_PowMan;
    CAslBattery m_Batt;
    CMonitor m_Monitor;
    CQuoLevel m_QuoLevel;
    bool m_bIsVistaOrLater;
    BOOL m_bIsNotebookPC;
    BOOL m_bWithBatteryPC;
    DWORD m_dwPksStatus;
    BOOL m_bIsBatteryDrvInstalled;
};
