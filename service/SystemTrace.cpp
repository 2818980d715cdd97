#include "SystemTrace.h"

#include "QuoLog.h"
#include "SampleRules.h"
#include "Trace.h"
#include "WinVer.h"

using namespace samplerules;

namespace {

const DWORD kPowerStatusRetry = 1;
const DWORD kUnknownCapacity = 0xFFFFFFFF;

}  // namespace

CSystemTrace::CSystemTrace()
    : m_bInitialized(false), m_bIsVistaOrLater(false), m_bIsNotebookPC(FALSE), m_bWithBatteryPC(FALSE),
      m_dwPksStatus(PKS_NOT_IN_FORCE), m_bIsBatteryDrvInstalled(FALSE)
{
}

CSystemTrace::~CSystemTrace()
{
    Finalize();
}

DWORD CSystemTrace::Initialize(QUOLEVEL_CALLBACK pFunc, LPVOID lpParam)
{
    TRACE_ENTER(1);
    if (pFunc == nullptr) {
        return TRACE_NULL_ARGUMENT(pFunc);
    }
    if (lpParam == nullptr) {
        return TRACE_NULL_ARGUMENT(lpParam);
    }
    m_bIsVistaOrLater = !CWinVer().IsXPFamily();

    DWORD dwResult = m_PowMan.Initialize();
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in m_PowMan.Initialize(). code:%u", dwResult);
        Finalize();
        return TRACE_LEAVE(dwResult);
    }
    dwResult = m_Batt.Initialize();
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in m_Batt.Initialize(). code:%u", dwResult);
        Finalize();
        return TRACE_LEAVE(dwResult);
    }
    dwResult = m_Batt.HaveBatteries(&m_bWithBatteryPC);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in m_Batt.IsNotebookPC(). code:%u", dwResult);
        Finalize();
        return TRACE_LEAVE(dwResult);
    }
    TRACE(1, L"m_bWithBatteryPC:%u", m_bWithBatteryPC);
    m_bIsBatteryDrvInstalled = m_Batt.IsValidDriver();
    TRACE(1, L"m_bIsBatteryDrvInstalled:%d", m_bIsBatteryDrvInstalled);
    DWORD dwNotebook = FALSE;
    dwResult = m_Gwat.Initialize(&dwNotebook);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in m_Gwat.Initialize(). code:%u", dwResult);
        Finalize();
        return TRACE_LEAVE(dwResult);
    }
    m_bIsNotebookPC = dwNotebook ? TRUE : FALSE;
    TRACE(1, L"m_bIsNotebookPC:%u", m_bIsNotebookPC);
    if (!m_bIsVistaOrLater) {
        dwResult = m_Monitor.Initialize();
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, L"Error in m_Monitor.Initialize(). code:%u", dwResult);
        }
    }
    dwResult = m_QuoLevel.Initialize(pFunc, lpParam);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in m_QuoLevel.Initialize(). code:%u", dwResult);
        Finalize();
        return TRACE_LEAVE(dwResult);
    }
    TRACE(1, L"CSystemTrace -- Initialized.");
    m_bInitialized = true;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CSystemTrace::Finalize()
{
    TRACE_ENTER(1);
    // The level library goes first: no callback may arrive while the rest is torn down.
    m_QuoLevel.Finalize();
    m_Gwat.Finalize();
    m_Monitor.Finalize();
    m_Batt.Finalize();
    m_PowMan.Finalize();
    if (m_bInitialized) {
        TRACE(1, L"CSystemTrace -- Finalized.");
    }
    m_bInitialized = false;
    TRACE_LEAVE_VOID();
}

DWORD CSystemTrace::GetWatt(LPDWORD lpdwMilliwatts)
{
    TRACE_ENTER(1);
    if (lpdwMilliwatts == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwMilliwatts);
    }
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    if (m_dwPksStatus == PKS_NOT_IN_FORCE) {
        double dWatts = 0.0;
        DWORD dwResult = m_Gwat.Get(&dWatts);
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, L"Error in m_Gwat.Get(). (code:%u)", dwResult);
            return TRACE_LEAVE(dwResult);
        }
        dwResult = WattsToMilliwatts(dWatts, lpdwMilliwatts);
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, (dWatts < 200.0) ? L"Wattage is negative value. (code:%u)" : L"Wattage is too large. (code:%u)",
                  dwResult);
            return TRACE_LEAVE(dwResult);
        }
    } else if (m_dwPksStatus == PKS_IN_FORCE) {
        *lpdwMilliwatts = 0;
    }
    TRACE(1, L"Wattage: %u [mW]", *lpdwMilliwatts);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CSystemTrace::GetBatteryStatus(LPDWORD lpdwStatus, LPDWORD lpdwPercent, LPDWORD lpdwCapacity)
{
    TRACE_ENTER(1);
    if (lpdwStatus == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwStatus);
    }
    if (lpdwPercent == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwPercent);
    }
    if (lpdwCapacity == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwCapacity);
    }
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    if (!m_bWithBatteryPC) {
        *lpdwStatus = QUOLOG_BATTERY_AC;
        *lpdwPercent = 0;
        *lpdwCapacity = 0;
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    SYSTEM_POWER_STATUS status = {};
    DWORD dwResult = m_Batt.GetSystemPowerStatus(&status, kPowerStatusRetry);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in m_Batt.GetSystemPowerStatus(). (code:%u)", dwResult);
        return TRACE_LEAVE(dwResult);
    }
    if (status.ACLineStatus == AC_LINE_ONLINE && status.BatteryFlag == BATTERY_FLAG_NO_BATTERY) {
        *lpdwStatus = QUOLOG_BATTERY_AC;
        *lpdwPercent = 0;
        *lpdwCapacity = 0;
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    DWORD dwCount = 0;
    dwResult = m_Batt.GetAttachableBatteryCount(&dwCount);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in m_Batt.GetAttachableBatteryCount(). (code:%u)", dwResult);
        return TRACE_LEAVE(dwResult);
    }
    DWORD dwCapacity = 0;
    for (DWORD dwIndex = 0; dwIndex < dwCount; ++dwIndex) {
        if (m_Batt.QueryAttachedBattery(dwIndex) != ERROR_SUCCESS) {
            continue;
        }
        DWORD dwBatteryCapacity = 0;
        dwResult = m_Batt.GetCurrentCapacity(dwIndex, &dwBatteryCapacity);
        if (dwResult != ERROR_SUCCESS || dwBatteryCapacity == kUnknownCapacity) {
            TRACE(0, L"Error in m_Batt.GetCurrentCapacity(). (code:%u)", dwResult);
            return TRACE_LEAVE(dwResult);
        }
        dwCapacity += dwBatteryCapacity;
    }
    *lpdwStatus = BatteryStatusFrom(status.ACLineStatus, status.BatteryFlag, m_dwPksStatus);
    *lpdwPercent = status.BatteryLifePercent;
    *lpdwCapacity = dwCapacity;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CSystemTrace::GetMonitorPowerStatus(BOOL bNotified, LPDWORD lpdwStatus1, LPDWORD lpdwStatus2)
{
    TRACE_ENTER(1);
    if (lpdwStatus1 == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwStatus1);
    }
    if (lpdwStatus2 == nullptr) {
        return TRACE_NULL_ARGUMENT(lpdwStatus2);
    }
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    if (bNotified) {
        if (m_bIsNotebookPC) {
            *lpdwStatus2 = QUOLOG_STATE_UNKNOWN;
        }
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    BOOL bOn = FALSE;
    DWORD dwResult = m_Monitor.GetPowerStatus(&bOn);
    if (dwResult != ERROR_SUCCESS) {
        *lpdwStatus1 = QUOLOG_STATE_UNKNOWN;
        *lpdwStatus2 = QUOLOG_STATE_UNKNOWN;
        TRACE(0, L"Error in m_Monitor.GetPowerStatus(). (code:%u)", dwResult);
        return TRACE_LEAVE(dwResult);
    }
    DWORD dwStatus = bOn ? QUOLOG_STATE_ON : QUOLOG_STATE_OFF;
    *lpdwStatus1 = dwStatus;
    *lpdwStatus2 = m_bIsNotebookPC ? QUOLOG_STATE_UNKNOWN : dwStatus;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CSystemTrace::GetActivePowerPlanName(LPWSTR lpName, DWORD cchName, const GUID* pSchemeGuid)
{
    TRACE_ENTER(1);
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    return TRACE_LEAVE(m_PowMan.GetActivePowerPlanName(lpName, cchName, pSchemeGuid));
}

DWORD CSystemTrace::GetQUOLevel(LPDWORD lpdwLevel)
{
    TRACE_ENTER(1);
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    return TRACE_LEAVE(m_QuoLevel.GetQUOLevel(lpdwLevel));
}

DWORD CSystemTrace::GetExtDspInfo(ExtDspInfo* pInfo, DWORD dwDisplayStatus)
{
    TRACE_ENTER(1);
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    if (m_bIsNotebookPC) {
        return TRACE_LEAVE(ERROR_NOT_SUPPORTED);
    }
    return TRACE_LEAVE(m_QuoLevel.GetExtDspInfo(pInfo, dwDisplayStatus));
}

DWORD CSystemTrace::UpdatePksStatus()
{
    TRACE_ENTER(1);
    if (!m_bWithBatteryPC) {
        m_dwPksStatus = PKS_NOT_IN_FORCE;
        TRACE(1, L"(m_bWithBatteryPC == FALSE):ret=%lu", m_dwPksStatus);
        return TRACE_LEAVE_VALUE(m_dwPksStatus);
    }
    if (!m_bIsBatteryDrvInstalled) {
        m_dwPksStatus = PKS_NOT_IN_FORCE;
        TRACE(1, L"(m_bIsBatteryDrvInstalled == FALSE):ret=%lu", m_dwPksStatus);
        return TRACE_LEAVE_VALUE(m_dwPksStatus);
    }
    DWORD dwAttached = 0;
    if (m_Batt.GetAttachedBatteryCount(&dwAttached) != ERROR_SUCCESS) {
        m_dwPksStatus = PKS_UNKNOWN;
        TRACE(0, L"Error:m_Batt.GetAttachedBatteryCount() failed. ret=%lu", m_dwPksStatus);
        return TRACE_LEAVE_VALUE(m_dwPksStatus);
    }
    if (dwAttached == 0) {
        m_dwPksStatus = PKS_NOT_IN_FORCE;
        TRACE(1, L"Battery num=0. ret=%lu", m_dwPksStatus);
        return TRACE_LEAVE_VALUE(m_dwPksStatus);
    }
    DWORD dwPowerState = 0;
    if (FAILED(m_Batt.AslMethodPSTS(0, &dwPowerState))) {
        m_dwPksStatus = PKS_UNKNOWN;
        TRACE(0, L"Error:m_Batt.AslMethodPSTS() failed. ret=%lu", m_dwPksStatus);
        return TRACE_LEAVE_VALUE(m_dwPksStatus);
    }
    m_dwPksStatus = PksStatusFromPowerState(dwPowerState);
    TRACE(1, L"PeakShiftStatus:%lu", m_dwPksStatus);
    return TRACE_LEAVE_VALUE(m_dwPksStatus);
}

DWORD CSystemTrace::RegisterPowerEvent(HPOWERNOTIFY* phNotify, HANDLE hRecipient, LPCGUID pSetting, DWORD dwFlags)
{
    TRACE_ENTER(1);
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    return TRACE_LEAVE(m_PowMan.RegisterPowerEvent(phNotify, hRecipient, pSetting, dwFlags));
}

DWORD CSystemTrace::UnregisterPowerEvent(HPOWERNOTIFY hNotify)
{
    TRACE_ENTER(1);
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    return TRACE_LEAVE(m_PowMan.UnregisterPowerEvent(hNotify));
}
