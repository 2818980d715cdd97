#include "ServiceCtrl.h"

#include <strsafe.h>
#include <wtsapi32.h>

#include "PipeCmd.h"
#include "Reg.h"
#include "SampleRules.h"
#include "Trace.h"
#include "WinVer.h"
#include "resource.h"

const WCHAR REGKEY_PATH_QUOVIEWER[] = L"Software\\ZAV\\QUOViewer";

namespace {

const WCHAR REGENTRY_INTERVAL[] = L"Interval";
const WCHAR REGENTRY_DELAYWRITE[] = L"DelayWrite";
const WCHAR REGENTRY_DELAYTIME[] = L"DelayTime";
const WCHAR REGENTRY_FUNCTION[] = L"Function";
const WCHAR REGENTRY_CNRFLAG[] = L"CnrFlag";
const WCHAR REGENTRY_REDUCTWATT[] = L"ReductionWatt";
const WCHAR REGENTRY_REDUCTWATT_TWO[] = L"ReductionWatt2";
const WCHAR REGENTRY_REDUCTPLANNAME[] = L"ReductionWattPlanName";
const WCHAR REGENTRY_REDUCTPLANNAME_TWO[] = L"ReductionWattPlanName2";
const WCHAR kPipeSuffix[] = L"QUOViewer";

const DWORD kDefaultReductWatt = 3000;
const size_t kDomainChars = 16;
const size_t kUserChars = 257;

// The power settings the service follows, in the order it registers them.
struct CPowerSetting {
    const GUID* pGuid;
    LPCWSTR lpszName;
};
const CPowerSetting kPowerSettings[CServiceCtrl::kPowerSettingCount] = {
    {&GUID_POWERSCHEME_PERSONALITY, L"GUID_POWERSCHEME_PERSONALITY"},
    {&GUID_ACTIVE_POWERSCHEME, L"GUID_ACTIVE_POWERSCHEME"},
    {&GUID_ACDC_POWER_SOURCE, L"GUID_ACDC_POWER_SOURCE"},
    {&GUID_BATTERY_PERCENTAGE_REMAINING, L"GUID_BATTERY_PERCENTAGE_REMAINING"},
    {&GUID_IDLE_BACKGROUND_TASK, L"GUID_IDLE_BACKGROUND_TASK"},
    {&GUID_SYSTEM_AWAYMODE, L"GUID_SYSTEM_AWAYMODE"},
    {&GUID_MONITOR_POWER_ON, L"GUID_MONITOR_POWER_ON"},
};

const LPCWSTR kSessionEventNames[] = {
    nullptr, L"WTS_CONSOLE_CONNECT", L"WTS_CONSOLE_DISCONNECT", L"WTS_REMOTE_CONNECT", L"WTS_REMOTE_DISCONNECT",
    L"WTS_SESSION_LOGON", L"WTS_SESSION_LOGOFF", L"WTS_SESSION_LOCK", L"WTS_SESSION_UNLOCK",
    L"WTS_SESSION_REMOTE_CONTROL",
};

// The DWORD a power-setting record carries, or false when it carries fewer bytes.
bool SettingDword(const POWERBROADCAST_SETTING* pSetting, LPDWORD lpdwValue)
{
    if (pSetting->DataLength < sizeof(DWORD)) {
        return false;
    }
    CopyMemory(lpdwValue, pSetting->Data, sizeof(DWORD));
    return true;
}

// Reads one WTS string of the console session into szOut (cut to cchOut).
DWORD QuerySessionString(DWORD dwSessionId, WTS_INFO_CLASS infoClass, LPWSTR szOut, size_t cchOut)
{
    LPWSTR lpBuffer = nullptr;
    DWORD cbBuffer = 0;
    if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, dwSessionId, infoClass, &lpBuffer, &cbBuffer)) {
        return GetLastError();
    }
    StringCchCopyNW(szOut, cchOut, lpBuffer, cbBuffer / sizeof(WCHAR));
    WTSFreeMemory(lpBuffer);
    return ERROR_SUCCESS;
}

// Reads a DWORD setting into *lpdwValue, which keeps its value when the setting cannot
// be read. Whether it was read.
bool ReadDwordSetting(CReg& reg, LPCWSTR lpName, LPCWSTR lpTraceName, LPDWORD lpdwValue)
{
    TRACE_FUNCTION();
    DWORD dwResult = reg.QueryDWORDValue(lpName, lpdwValue);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"QueryDWORDValue(%s) is failed. code:%u", lpTraceName, dwResult);
        return false;
    }
    return true;
}

// Whether the records are written with a delay, and the delay. Delayed writing needs a
// span: without one the records are written at once.
void ReadDelayedWriting(CReg& reg, LPBOOL lpbDelayWrite, LPDWORD lpdwDelayTime)
{
    TRACE_FUNCTION();
    DWORD dwValue = 0;
    *lpbDelayWrite = (ReadDwordSetting(reg, REGENTRY_DELAYWRITE, L"REGENTRY_DELAYWRITE", &dwValue) && dwValue != 0)
        ? TRUE
        : FALSE;
    TRACE(0, L"bDelay:%u", *lpbDelayWrite);
    ReadDwordSetting(reg, REGENTRY_DELAYTIME, L"REGENTRY_DELAYTIME", lpdwDelayTime);
    TRACE(0, L"dwTime:%u", *lpdwDelayTime);
    if (*lpbDelayWrite && *lpdwDelayTime == 0) {
        TRACE(0, L"DelayWrite without DelayTime: records are written at once.");
        *lpbDelayWrite = FALSE;
    }
}

}  // namespace

CServiceCtrl::CServiceCtrl()
    : m_bIsVistaOrLater(false), m_uTimerId(0), m_dwTimerIval(kDefaultInterval), m_dwFunction(1),
      m_bConsumerPC(false), m_dwReductWatt(kDefaultReductWatt), m_dwReductWattTwo(0), m_szPowPlanQuo(),
      m_szPowPlanSuperQuo(), m_bSuspended(false), m_hPowerNotify(), m_bStarted(false), m_bWatchingScheme(false),
      m_lWattRead(0), m_lNotifyPending(0)
{
}

CServiceCtrl::~CServiceCtrl()
{
    TRACE_ENTER(1);
    TRACE_LEAVE_VOID();
}

void CServiceCtrl::ReadSettings(LPBOOL lpbDelayWrite, LPDWORD lpdwDelayTime)
{
    TRACE_ENTER(1);
    ReadTimerInterval();
    CReg reg;
    DWORD dwResult = reg.OpenKey(REGKEY_PATH_QUOVIEWER, KEY_READ);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in OpenKey(REGKEY_PATH_QUOVIEWER). code:%u", dwResult);
        return;
    }
    ReadDelayedWriting(reg, lpbDelayWrite, lpdwDelayTime);
    ReadReduction(reg);
    ReadReductionPlans(reg);
    TRACE_LEAVE_VOID();
}

void CServiceCtrl::ReadTimerInterval()
{
    TRACE_FUNCTION();
    CReg reg;
    DWORD dwResult = reg.OpenKey(REGKEY_PATH_DEVINFO, KEY_READ);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in OpenKey(REGKEY_PATH_DEVINFO). code:%u", dwResult);
    } else {
        ReadDwordSetting(reg, REGENTRY_INTERVAL, L"REGENTRY_INTERVAL", &m_dwTimerIval);
    }
    if (m_dwTimerIval == 0) {
        // A timer of 0 ms would stop the log library from starting at all.
        TRACE(0, L"Interval 0 is invalid; %u is used.", kDefaultInterval);
        m_dwTimerIval = kDefaultInterval;
    }
    TRACE(0, L"m_dwTimerIval:%u", m_dwTimerIval);
}

void CServiceCtrl::ReadReduction(CReg& reg)
{
    TRACE_FUNCTION();
    DWORD dwValue = 0;
    if (ReadDwordSetting(reg, REGENTRY_FUNCTION, L"REGENTRY_FUNCTION", &dwValue)) {
        m_dwFunction = (dwValue != 0) ? 1 : 0;
    }
    TRACE(0, L"m_dwFunction:%u", m_dwFunction);
    if (ReadDwordSetting(reg, REGENTRY_CNRFLAG, L"REGENTRY_CNRFLAG", &dwValue)) {
        m_bConsumerPC = (dwValue != 0);
    }
    TRACE(0, L"This is %s PC.", m_bConsumerPC ? L"Consumer" : L"Commercial");
    ReadDwordSetting(reg, REGENTRY_REDUCTWATT, L"REGENTRY_REDUCTWATT", &m_dwReductWatt);
    TRACE(0, L"m_dwReductWatt:%u", m_dwReductWatt);
    ReadDwordSetting(reg, REGENTRY_REDUCTWATT_TWO, L"REGENTRY_REDUCTWATT_TWO", &m_dwReductWattTwo);
    TRACE(0, L"m_dwReductWattTwo:%u", m_dwReductWattTwo);
}

// The names of the two reduction plans; the first defaults to the string table's name.
void CServiceCtrl::ReadReductionPlans(CReg& reg)
{
    TRACE_FUNCTION();
    DWORD cch = ARRAYSIZE(m_szPowPlanQuo);
    DWORD dwResult = reg.QueryStringValue(REGENTRY_REDUCTPLANNAME, m_szPowPlanQuo, &cch);
    if (dwResult != ERROR_SUCCESS || m_szPowPlanQuo[0] == L'\0') {
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, L"QueryStringValue(REGENTRY_REDUCTPLANNAME) is failed. code:%u", dwResult);
        }
        if (LoadStringW(GetModuleHandleW(nullptr), IDS_DEFAULT_REDUCTION_PLAN, m_szPowPlanQuo,
                        ARRAYSIZE(m_szPowPlanQuo)) == 0) {
            m_szPowPlanQuo[0] = L'\0';
        }
    }
    TRACE(0, L"m_szPowPlanQuo:%s", m_szPowPlanQuo);
    cch = ARRAYSIZE(m_szPowPlanSuperQuo);
    dwResult = reg.QueryStringValue(REGENTRY_REDUCTPLANNAME_TWO, m_szPowPlanSuperQuo, &cch);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"QueryStringValue(REGENTRY_REDUCTPLANNAME_TWO) is failed. code:%u", dwResult);
        m_szPowPlanSuperQuo[0] = L'\0';
    }
    TRACE(0, L"m_szPowPlanSuperQuo:%s", m_szPowPlanSuperQuo);
}

DWORD CServiceCtrl::InitializeEx()
{
    TRACE_ENTER(1);
    BOOL bDelayWrite = FALSE;
    DWORD dwDelayTime = 0;
    ReadSettings(&bDelayWrite, &dwDelayTime);
    DWORD dwResult = m_QuoLogEx.Initialize(TRUE, m_dwTimerIval, bDelayWrite, dwDelayTime);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in m_QuoLogEx.Initialize(). code:%u", dwResult);
        return TRACE_LEAVE(dwResult);
    }
    // The log library's writer instance also answers reads: today's totals come from it.
    // A metrics folder that cannot be used only leaves the file off.
    m_Metrics.Initialize(REGKEY_PATH_QUOVIEWER, m_dwTimerIval, QUOLogRead);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CServiceCtrl::FinalizeEx()
{
    TRACE_ENTER(1);
    m_QuoLogEx.Finalize();
    TRACE_LEAVE_VOID();
}

DWORD CServiceCtrl::BeforeMainLoop(SERVICE_STATUS_HANDLE hServiceStatus)
{
    TRACE_ENTER(1);
    m_bIsVistaOrLater = !CWinVer().IsXPFamily();
    DWORD dwResult = m_SysTrace.Initialize(QuoLevelNotifyProc, this);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in m_SysTrace.Initialize(). code:%u", dwResult);
        return TRACE_LEAVE(dwResult);
    }
    m_bStarted = true;
    if (m_dwFunction == 1) {
        UpdateAllInfo(nullptr, FALSE /* no wattage yet */);
        WriteEvent(QUOLOG_POWER_START);
    }
    if (m_bIsVistaOrLater) {
        for (DWORD i = 0; i < kPowerSettingCount; ++i) {
            TRACE(1, L"%s", kPowerSettings[i].lpszName);
            m_SysTrace.RegisterPowerEvent(&m_hPowerNotify[i], hServiceStatus, kPowerSettings[i].pGuid,
                                          DEVICE_NOTIFY_SERVICE_HANDLE);
        }
    }
    dwResult = m_PipeThread.Initialize(PipeProc, this);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in m_PipeThread.Initialize(). code:%u", dwResult);
        return TRACE_LEAVE(dwResult);
    }
    dwResult = m_PipeSv.Initialize(kPipeSuffix, OnRcv, this);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in m_PipeSv.Initialize(). code:%u", dwResult);
        return TRACE_LEAVE(dwResult);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CServiceCtrl::MainLoop(DWORD, LPWSTR*)
{
    TRACE_ENTER(1);
    TRACE(0, L"MainLoop Start.");
    if (m_bIsVistaOrLater) {
        m_bWatchingScheme = (QuoApiInitializeWatchActiveScheme() != FALSE);
        if (!m_bWatchingScheme) {
            TRACE(0, L"Error in QuoApiInitializeWatchActiveScheme().");
        }
    }
    m_uTimerId = SetTimer(nullptr, 0, m_dwTimerIval, nullptr);
    if (m_uTimerId == 0) {
        TRACE(0, L"Error in SetTimer(). code:%u", GetLastError());
        TRACE_LEAVE_ERROR();
        return;
    }
    HANDLE hTerminate = GetTerminateEvent();
    for (;;) {
        DWORD dwWait = MsgWaitForMultipleObjects(1, &hTerminate, FALSE, INFINITE, QS_TIMER);
        if (dwWait == WAIT_OBJECT_0) {
            TRACE(0, L"Exit Service loop.");
            break;
        }
        if (dwWait == WAIT_FAILED) {
            TRACE(0, L"Error in WaitForMultipleObjects(). code:%u", GetLastError());
            break;
        }
        // One timer message per wake: the wait returns again for a timer that fires
        // while OnTimer runs, so no second look into the queue is needed (it would cost
        // a trip to the window system at every tick).
        MSG msg;
        if (PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) {
            OnTimer(msg.wParam);
        }
    }
    TRACE_LEAVE_VOID();
}

void CServiceCtrl::OnTimer(UINT_PTR idEvent)
{
    TRACE_ENTER(1);
    if (idEvent != m_uTimerId) {
        TRACE_LEAVE_VOID();
        return;
    }
    if (m_dwFunction == 0) {
        TRACE(1, L"Do nothing. Trace Function is OFF.");
        PublishMetrics(false);
        TRACE_LEAVE_VOID();
        return;
    }
    TRACE(0, L"TIMER PROC START  -----");
    m_SysTrace.UpdatePksStatus();
    GetWatt();
    GetBatt();
    if (!m_bIsVistaOrLater) {
        GetMonPow(0);
    }
    UpdateReductionWatt();
    DWORD dwResult = m_QuoLogEx.WriteRecord(QUOLOG_POWER_S0, TRUE);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in m_QuoLogEx.Write(). code:%u", dwResult);
    }
    // The pipe thread sends: a client that is slow to answer must not hold up sampling.
    // With no client connected it is not woken (a client that connects gets the state
    // when it connects).
    if (m_PipeSv.GetClientCount() != 0 && InterlockedExchange(&m_lNotifyPending, 1) == 0
        && m_PipeThread.PostMsg(WM_PIPE_NOTIFY_SYSINFO, 0, 0) != ERROR_SUCCESS) {
        InterlockedExchange(&m_lNotifyPending, 0);
    }
    PublishMetrics(true);
    TRACE(0, L"TIMER PROC FINISH -----");
    TRACE_LEAVE_VOID();
}

void CServiceCtrl::AfterMainLoop(SERVICE_STATUS_HANDLE)
{
    TRACE_ENTER(1);
    if (m_uTimerId != 0) {
        KillTimer(nullptr, m_uTimerId);
        m_uTimerId = 0;
    }
    m_Metrics.Finalize();
    if (m_bWatchingScheme) {
        m_bWatchingScheme = false;
        if (!QuoApiFinalizeWatchActiveScheme()) {
            TRACE(0, L"Error in QuoApiFinalizeWatchActiveScheme().");
        }
    }
    // The pipe thread first: its terminate event ends a send in progress, and the
    // server must not be finalised while one of its sends runs.
    m_PipeThread.Finalize();
    m_PipeSv.Finalize(nullptr);
    if (m_bIsVistaOrLater) {
        for (auto& hNotify : m_hPowerNotify) {
            if (hNotify != nullptr) {
                m_SysTrace.UnregisterPowerEvent(hNotify);
                hNotify = nullptr;
            }
        }
    }
    m_SysTrace.Finalize();
    // A start that failed before the START record ends without an END record.
    if (m_bStarted && m_dwFunction == 1) {
        WriteEvent(QUOLOG_POWER_END);
    }
    m_bStarted = false;
    TRACE_LEAVE_VOID();
}

void CServiceCtrl::PublishMetrics(bool bSampled)
{
    if (!m_Metrics.IsEnabled()) {
        return;
    }
    metrics::Sample sample = {};
    if (bSampled) {
        QuoLogData record;
        m_QuoLogEx.Get(&record);
        sample.bWattRead = (m_lWattRead != 0);
        sample.dwPCWatt = record.dwPCWatt;
        sample.dwMonWatt = record.dwMonWatt;
        sample.dwBatteryStatus = record.dwBatteryStatus;
        sample.bBattery = (m_SysTrace.IsWithBatteryPC() != FALSE);
        sample.dwBatteryPercent = record.dwBatteryLifePercent;
        StringCchCopyW(sample.szPowerPlan, ARRAYSIZE(sample.szPowerPlan), record.szPowerPlan);
    }
    m_Metrics.OnTick(bSampled ? &sample : nullptr, GetTickCount());
}

void CServiceCtrl::WriteEvent(DWORD dwPowerStatus)
{
    TRACE_ENTER(1);
    DWORD dwResult = m_QuoLogEx.WriteRecord(dwPowerStatus, FALSE);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in m_QuoLogEx.Write(). code:%u", dwResult);
    }
    TRACE_LEAVE_VOID();
}

DWORD CServiceCtrl::OnStop()
{
    TRACE_ENTER(1);
    TRACE(0, L"Stop Event.");
    TerminateMainLoop();
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CServiceCtrl::OnShutdown()
{
    TRACE_ENTER(1);
    TRACE(0, L"Shutdown Event.");
    if (m_dwFunction == 1) {
        WriteEvent(QUOLOG_POWER_TO_S5);
        DWORD dwResult = m_QuoLogEx.CopyPksReg();
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, L"Error in m_QuoLogEx.CopyPksReg(). code:%lu", dwResult);
        }
    }
    TerminateMainLoop();
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CServiceCtrl::OnPowerEvent(DWORD dwEventType, LPVOID lpEventData)
{
    TRACE_ENTER(1);
    if (m_dwFunction == 0) {
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    switch (dwEventType) {
    case PBT_APMSUSPEND:
        TRACE(0, L"[PBT_APMSUSPEND]");
        if (!m_bSuspended) {
            m_bSuspended = true;
            WriteEvent(QUOLOG_POWER_TO_S3S4);
            DWORD dwResult = m_QuoLogEx.CopyPksReg();
            if (dwResult != ERROR_SUCCESS) {
                TRACE(0, L"Error in m_QuoLogEx.CopyPksReg(). code:%lu", dwResult);
            }
        }
        break;
    case PBT_APMRESUMESUSPEND:
        TRACE(0, L"[PBT_APMRESUMESUSPEND]");
        OnResume();
        break;
    case PBT_APMRESUMEAUTOMATIC:
        TRACE(0, L"[PBT_APMRESUMEAUTOMATIC]");
        OnResume();
        break;
    case PBT_APMPOWERSTATUSCHANGE:
        TRACE(0, L"[PBT_APMPOWERSTATUSCHANGE]");
        m_SysTrace.UpdatePksStatus();
        GetBatt();
        break;
    case PBT_POWERSETTINGCHANGE:
        TRACE(0, L"[PBT_POWERSETTINGCHANGE]");
        if (lpEventData == nullptr) {
            TRACE(0, L"Invalid Parameter!");
            break;
        }
        OnPowerSettingChange(static_cast<const POWERBROADCAST_SETTING*>(lpEventData));
        break;
    default:
        break;
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CServiceCtrl::OnPowerSettingChange(const POWERBROADCAST_SETTING* pSetting)
{
    TRACE_ENTER(1);
    DWORD dwIndex = 0;
    while (dwIndex < kPowerSettingCount && !IsEqualGUID(pSetting->PowerSetting, *kPowerSettings[dwIndex].pGuid)) {
        ++dwIndex;
    }
    if (dwIndex == kPowerSettingCount) {
        TRACE(0, L" -- Unknown");
        TRACE_LEAVE_VOID();
        return;
    }
    TRACE(0, L" -- %s", kPowerSettings[dwIndex].lpszName);
    const GUID& setting = *kPowerSettings[dwIndex].pGuid;
    DWORD dwValue = 0;
    if (IsEqualGUID(setting, GUID_POWERSCHEME_PERSONALITY)) {
        GUID personality = {};
        if (pSetting->DataLength >= sizeof(GUID)) {
            CopyMemory(&personality, pSetting->Data, sizeof(GUID));
        }
        if (IsEqualGUID(personality, GUID_MIN_POWER_SAVINGS)) {
            TRACE(0, L"  GUID_MIN_POWER_SAVINGS");
        } else if (IsEqualGUID(personality, GUID_MAX_POWER_SAVINGS)) {
            TRACE(0, L"  GUID_MAX_POWER_SAVINGS");
        } else if (IsEqualGUID(personality, GUID_TYPICAL_POWER_SAVINGS)) {
            TRACE(0, L"  GUID_TYPICAL_POWER_SAVINGS");
        } else {
            TRACE(0, L"  Unknown");
        }
    } else if (IsEqualGUID(setting, GUID_ACTIVE_POWERSCHEME)) {
        if (m_bIsVistaOrLater && pSetting->DataLength >= sizeof(GUID)) {
            GUID scheme;
            CopyMemory(&scheme, pSetting->Data, sizeof(GUID));
            GetPowPlanName(nullptr, &scheme);
        }
    } else if (IsEqualGUID(setting, GUID_ACDC_POWER_SOURCE) || IsEqualGUID(setting, GUID_BATTERY_PERCENTAGE_REMAINING)) {
        if (m_bIsVistaOrLater) {
            m_SysTrace.UpdatePksStatus();
            GetBatt();
        }
    } else if (IsEqualGUID(setting, GUID_SYSTEM_AWAYMODE)) {
        if (!SettingDword(pSetting, &dwValue)) {
            dwValue = 0xFFFFFFFF;
        }
        if (dwValue == 0) {
            TRACE(0, L"  The computer is exiting away mode.");
        } else if (dwValue == 1) {
            TRACE(0, L"  The computer is entering away mode.");
        } else {
            TRACE(0, L"  Unknown %d", dwValue);
        }
    } else if (IsEqualGUID(setting, GUID_MONITOR_POWER_ON)) {
        if (!SettingDword(pSetting, &dwValue)) {
            dwValue = 0xFFFFFFFF;
        }
        if (dwValue == 0) {
            TRACE(0, L"  The monitor is off");
            GetMonPow(QUOLOG_STATE_OFF);
        } else if (dwValue == 1) {
            TRACE(0, L"  The monitor is on");
            GetMonPow(QUOLOG_STATE_ON);
        } else {
            TRACE(0, L"  Unknown %d", dwValue);
            GetMonPow(QUOLOG_STATE_UNKNOWN);
        }
    }
    TRACE_LEAVE_VOID();
}

void CServiceCtrl::OnResume()
{
    TRACE_ENTER(1);
    if (m_bSuspended) {
        m_bSuspended = false;
        m_SysTrace.UpdatePksStatus();
        GetBatt();
        WriteEvent(QUOLOG_POWER_FROM_S3S4);
    }
    TRACE_LEAVE_VOID();
}

DWORD CServiceCtrl::OnSessionChange(DWORD dwEventType, LPVOID lpEventData)
{
    TRACE_ENTER(1);
    if (m_dwFunction == 0) {
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    if (lpEventData == nullptr) {
        return TRACE_NULL_ARGUMENT(lpEventData);
    }
    if (dwEventType >= 1 && dwEventType < ARRAYSIZE(kSessionEventNames)) {
        TRACE(0, L"%s", kSessionEventNames[dwEventType]);
    } else {
        TRACE(0, L"Unknown Event.)");
    }
    GetActiveUserName();
    if (!m_bIsVistaOrLater) {
        SendPipe_UpdateQuolevel();
        GetPowPlanName(nullptr, nullptr);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

BOOL WINAPI CServiceCtrl::QuoLevelNotifyProc(DWORD dwEvent, LPVOID lParam)
{
    TRACE_ENTER(1);
    CServiceCtrl* pThis = static_cast<CServiceCtrl*>(lParam);
    if (pThis == nullptr) {
        TRACE(0, L"%s is NULL.", L"lParam");
        return TRACE_LEAVE_VALUE(FALSE);
    }
    switch (dwEvent) {
    case QUOLEVEL_MONITOR_CHANGE:
        pThis->GetExtDspInfo();
        break;
    case QUOLEVEL_REQUEST_MONITORUPDATE:
        pThis->SendPipe_UpdateExtDspInfo();
        break;
    case QUOLEVEL_LEVEL_CHANGE:
        pThis->GetQUOLevel();
        break;
    default:
        TRACE(0, L"Unknown Event.");
        break;
    }
    return TRACE_LEAVE_VALUE(TRUE);
}

void CServiceCtrl::OnRcv(LPVOID lpMyObj, PipeEvent* pPipeEvent)
{
    TRACE_ENTER(1);
    if (lpMyObj == nullptr) {
        TRACE_NULL_ARGUMENT_VOID(lpMyObj);
        return;
    }
    CServiceCtrl* pThis = static_cast<CServiceCtrl*>(lpMyObj);
    if (pPipeEvent == nullptr) {
        TRACE_NULL_ARGUMENT_VOID(pPipeEvent);
        return;
    }
    switch (pPipeEvent->dwEvent) {
    case PIPEEVENT_CONNECTED:
        TRACE(0, L"PIPEEVENT_CONNECTED");
        TRACE(0, L" count: %u", pThis->m_PipeSv.GetClientCount());
        pThis->m_PipeThread.PostMsg(WM_PIPE_CONNECTED, pPipeEvent->dwClientHandle, 0);
        break;
    case PIPEEVENT_DISCONNECTED:
        TRACE(0, L"PIPEEVENT_DISCONNECTED");
        TRACE(0, L" count: %u", pThis->m_PipeSv.GetClientCount());
        break;
    case PIPEEVENT_RECEIVED: {
        TRACE(0, L"PIPEEVENT_RECEIVED");
        BYTE buffer[PIPECMD_MAX_SIZE];
        DWORD dwSize = 0;
        DWORD dwCmd = 0;
        if (ReceiveCommand(&pThis->m_PipeSv, pPipeEvent, buffer, &dwSize, &dwCmd) != ERROR_SUCCESS) {
            break;
        }
        switch (dwCmd) {
        case PIPECMD_SWITCH_FUNCTION: {
            TRACE(0, L"PIPECMD_SWITCH_FUNCTION");
            if (dwSize != sizeof(PipeCmdSwitchFunction)) {
                TRACE(0, L" Invalid data size. pPipeEvent->dwDataSize=%lu", dwSize);
                break;
            }
            PipeCmdSwitchFunction cmd;
            CopyMemory(&cmd, buffer, sizeof(cmd));
            pThis->m_PipeThread.PostMsg(WM_PIPE_RECVCMD_SWFUNC, cmd.dwFunction, 0);
            break;
        }
        case PIPECMD_ACTIVE_POWERPLAN: {
            TRACE(0, L"PIPECMD_ACTIVE_POWERPLAN");
            if (dwSize != sizeof(PipeCmdActivePowPlan)) {
                TRACE(0, L" Invalid data size. pPipeEvent->dwDataSize=%lu", dwSize);
                break;
            }
            PipeCmdActivePowPlan cmd;
            CopyMemory(&cmd, buffer, sizeof(cmd));
            cmd.szPowPlan[ARRAYSIZE(cmd.szPowPlan) - 1] = L'\0';
            pThis->OnPipeCmdActivePowPlan(cmd.szPowPlan);
            break;
        }
        case PIPECMD_UPDATE_QUOLEVEL:
            TRACE(0, L"PIPECMD_UPDATE_QUOLEVEL");
            if (!pThis->m_bIsVistaOrLater) {
                pThis->GetQUOLevel();
            }
            break;
        default:
            TRACE(0, L"Unknown Command.");
            break;
        }
        break;
    }
    default:
        TRACE(0, L"Unknown Event.");
        break;
    }
    TRACE_LEAVE_VOID();
}

DWORD CServiceCtrl::PipeProc(LPVOID lpMyObj)
{
    TRACE_ENTER(1);
    if (lpMyObj == nullptr) {
        return TRACE_NULL_ARGUMENT(lpMyObj);
    }
    CServiceCtrl* pThis = static_cast<CServiceCtrl*>(lpMyObj);
    HANDLE hTerminate = pThis->m_PipeThread.GetTerminateEvent();
    for (;;) {
        DWORD dwWait = MsgWaitForMultipleObjects(1, &hTerminate, FALSE, INFINITE, QS_ALLPOSTMESSAGE);
        if (dwWait == WAIT_OBJECT_0) {
            TRACE(1, L"thread terminating event.");
            return TRACE_LEAVE(ERROR_SUCCESS);
        }
        if (dwWait == WAIT_FAILED) {
            DWORD dwError = GetLastError();
            TRACE(0, L"Error in WaitForMultipleObjects(). code:%u", dwError);
            return TRACE_LEAVE(dwError);
        }
        if (dwWait != WAIT_OBJECT_0 + 1) {
            TRACE(0, L"Unknown Code:%d", dwWait);
            continue;
        }
        // Once the thread is asked to end, the messages still queued are left.
        MSG msg;
        while (WaitForSingleObject(hTerminate, 0) == WAIT_TIMEOUT && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_PIPE_CONNECTED) {
                TRACE(1, L"WM_PIPE_CONNECTED");
                pThis->SendPipe_NotifySysinfo(hTerminate, static_cast<DWORD>(msg.wParam));
            } else if (msg.message == WM_PIPE_NOTIFY_SYSINFO) {
                InterlockedExchange(&pThis->m_lNotifyPending, 0);
                // A tick that sampled before a switch-off queued behind it: the clients
                // were told that measuring is off, and get no sample after that.
                if (pThis->m_dwFunction == 1) {
                    pThis->SendPipe_NotifySysinfo(hTerminate, PIPE_ALL_CLIENTS);
                }
            } else if (msg.message == WM_PIPE_RECVCMD_SWFUNC) {
                TRACE(1, L"WM_PIPE_RECVCMD_SWFUNC");
                pThis->OnPipeCmdSwitchFunction(static_cast<DWORD>(msg.wParam));
            }
        }
    }
}

DWORD CServiceCtrl::OnPipeCmdSwitchFunction(DWORD dwFunction)
{
    TRACE_ENTER(1);
    if (dwFunction != 0 && dwFunction != 1) {
        TRACE(0, L"Invalid parameter!");
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    if (dwFunction == m_dwFunction) {
        TRACE(0, L"No change.");
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    {
        CReg reg;
        DWORD dwResult = reg.OpenKey(REGKEY_PATH_QUOVIEWER, KEY_READ | KEY_SET_VALUE);
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, L"Error in OpenKey(REGKEY_PATH_QUOVIEWER). code:%u", dwResult);
        } else if ((dwResult = reg.SetDWORDValue(REGENTRY_FUNCTION, dwFunction)) != ERROR_SUCCESS) {
            TRACE(0, L"Error in SetDWORDValue(REGENTRY_FUNCTION). code:%u", dwResult);
        }
    }
    HANDLE hAbort = m_PipeThread.GetTerminateEvent();
    if (dwFunction == 1) {
        m_QuoLogEx.ClearData();
        UpdateAllInfo(hAbort, TRUE);
        if (m_bIsVistaOrLater) {
            GetMonPow(QUOLOG_STATE_ON);
        }
        WriteEvent(QUOLOG_POWER_START);
        SendPipe_SwitchFunction(hAbort, dwFunction, PIPE_ALL_CLIENTS);
        SendPipe_NotifySysinfo(hAbort, PIPE_ALL_CLIENTS);
        m_dwFunction = dwFunction;
    } else {
        // Silenced before the END record, so that no tick writes a sample after it.
        m_dwFunction = dwFunction;
        WriteEvent(QUOLOG_POWER_END);
        SendPipe_SwitchFunction(hAbort, dwFunction, PIPE_ALL_CLIENTS);
    }
    TRACE(0, L"m_dwFunction:%u", m_dwFunction);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CServiceCtrl::OnPipeCmdActivePowPlan(LPCWSTR lpszPowPlan)
{
    TRACE_ENTER(1);
    if (lpszPowPlan == nullptr) {
        return TRACE_NULL_ARGUMENT(lpszPowPlan);
    }
    if (!m_bIsVistaOrLater) {
        m_QuoLogEx.Set_PowerPlan(lpszPowPlan);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

void CServiceCtrl::GetWatt()
{
    TRACE_ENTER(1);
    QuoLogData record;
    m_QuoLogEx.Get(&record);
    DWORD dwWatt = record.dwPCWatt;
    DWORD dwResult = m_SysTrace.GetWatt(&dwWatt);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in m_SysTrace.GetWatt(). (code:%u)", dwResult);
        dwWatt = kFailedWatt;
    }
    InterlockedExchange(&m_lWattRead, (dwResult == ERROR_SUCCESS) ? 1 : 0);
    m_QuoLogEx.Set_PCWatt(dwWatt);
    TRACE_LEAVE_VOID();
}

void CServiceCtrl::GetBatt()
{
    TRACE_ENTER(1);
    DWORD dwStatus = 0;
    DWORD dwPercent = 0;
    DWORD dwCapacity = 0;
    DWORD dwResult = m_SysTrace.GetBatteryStatus(&dwStatus, &dwPercent, &dwCapacity);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in m_SysTrace.GetBatteryStatus(). (code:%u)", dwResult);
        dwStatus = dwPercent = dwCapacity = 0;
    }
    m_QuoLogEx.Set_BattInfo(dwStatus, dwPercent, dwCapacity);
    TRACE_LEAVE_VOID();
}

void CServiceCtrl::GetMonPow(DWORD dwNotified)
{
    TRACE_ENTER(1);
    QuoLogData record;
    m_QuoLogEx.Get(&record);
    DWORD dwStatus1 = dwNotified;
    DWORD dwStatus2 = dwNotified;
    DWORD dwResult = m_SysTrace.GetMonitorPowerStatus(m_bIsVistaOrLater ? TRUE : FALSE, &dwStatus1, &dwStatus2);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in m_SysTrace.GetMonitorPowerStatus(). (code:%u)", dwResult);
        dwStatus1 = dwStatus2 = 0;
    }
    m_QuoLogEx.Set_MonPow(dwStatus1, dwStatus2);
    if (dwStatus1 != record.dwMonitorStatus1) {
        GetExtDspInfo();
    }
    TRACE_LEAVE_VOID();
}

void CServiceCtrl::GetExtDspInfo()
{
    TRACE_ENTER(1);
    QuoLogData record;
    m_QuoLogEx.Get(&record);
    ExtDspInfo info = {};
    DWORD dwResult = m_SysTrace.GetExtDspInfo(&info, record.dwMonitorStatus1);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in m_SysTrace.GetExtDspInfo(). (code:%u)", dwResult);
        ZeroMemory(&info, sizeof(info));
    }
    m_QuoLogEx.Set_ExtDspInfo(info.dwMonWatt, info.szMonitorName1, info.dwLCDLevel1, info.szMonitorName2,
                              info.dwLCDLevel2);
    TRACE_LEAVE_VOID();
}

void CServiceCtrl::GetQUOLevel()
{
    TRACE_ENTER(1);
    DWORD dwLevel = 0;
    DWORD dwResult = m_SysTrace.GetQUOLevel(&dwLevel);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in m_SysTrace.GetQUOLevel(). (code:%u)", dwResult);
        dwLevel = 0;
    }
    m_QuoLogEx.Set_QUOLevel(dwLevel);
    TRACE_LEAVE_VOID();
}

void CServiceCtrl::GetActiveUserName()
{
    TRACE_ENTER(1);
    WCHAR szName[kUserChars] = L"";
    DWORD dwSessionId = WTSGetActiveConsoleSessionId();
    if (dwSessionId == 0xFFFFFFFF) {
        TRACE(0, L"No user active.");
    } else {
        WCHAR szDomain[kDomainChars] = L"";
        WCHAR szUser[kUserChars] = L"";
        DWORD dwResult = QuerySessionString(dwSessionId, WTSDomainName, szDomain, ARRAYSIZE(szDomain));
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, L"Error in WTSQuerySessionInformation(WTSDomainName). code:%u", dwResult);
        } else if ((dwResult = QuerySessionString(dwSessionId, WTSUserName, szUser, ARRAYSIZE(szUser)))
                   != ERROR_SUCCESS) {
            TRACE(0, L"Error in WTSQuerySessionInformation(WTSUserName). code:%u", dwResult);
        } else if (szUser[0] == L'\0') {
            TRACE(0, L"User name is empty.");
        } else {
            StringCchPrintfW(szName, ARRAYSIZE(szName), L"%s\\%s", szDomain, szUser);
        }
    }
    TRACE(0, L"Active User Name : %s", szName);
    m_QuoLogEx.Set_UserName(szName);
    TRACE_LEAVE_VOID();
}

void CServiceCtrl::GetPowPlanName(HANDLE hAbort, const GUID* pSchemeGuid)
{
    TRACE_ENTER(1);
    if (m_bIsVistaOrLater) {
        WCHAR szPlan[kPlanNameChars] = L"";
        DWORD dwResult = m_SysTrace.GetActivePowerPlanName(szPlan, ARRAYSIZE(szPlan), pSchemeGuid);
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, L"Error in GetActivePowerPlanName(). code:%u", dwResult);
        } else {
            m_QuoLogEx.Set_PowerPlan(szPlan);
        }
    } else {
        SendPipe_ActivePowPlan(hAbort, PIPE_ALL_CLIENTS);
    }
    TRACE_LEAVE_VOID();
}

void CServiceCtrl::UpdateReductionWatt()
{
    TRACE_ENTER(1);
    QuoLogData record;
    m_QuoLogEx.Get(&record);
    DWORD dwWatt = samplerules::ReductionWatt(m_bConsumerPC, record.szPowerPlan, m_szPowPlanQuo, m_szPowPlanSuperQuo,
                                              m_dwReductWatt, m_dwReductWattTwo, record.dwBatteryStatus);
    m_QuoLogEx.Set_ReductionWatt(dwWatt);
    TRACE_LEAVE_VOID();
}

void CServiceCtrl::UpdateAllInfo(HANDLE hAbort, BOOL bWithWatt)
{
    TRACE_ENTER(1);
    m_SysTrace.UpdatePksStatus();
    if (bWithWatt) {
        GetWatt();
    }
    GetBatt();
    GetPowPlanName(hAbort, nullptr);
    if (!m_bIsVistaOrLater) {
        GetMonPow(0);
    }
    GetExtDspInfo();
    GetQUOLevel();
    GetActiveUserName();
    TRACE_LEAVE_VOID();
}

DWORD CServiceCtrl::SendCommand(HANDLE hAbort, DWORD dwClientHandle, const void* lpCmd, DWORD cbCmd, LPCWSTR lpszName)
{
    TRACE_ENTER(1);
    DWORD dwRetCode = 0;
    DWORD dwResult = m_PipeSv.Send(dwClientHandle, lpCmd, cbCmd, &dwRetCode, hAbort);
    if (dwResult == ERROR_SUCCESS) {
        TRACE(0, L"Succeeded in sending pipe data (%s).", lpszName);
    } else {
        TRACE(0, L"Failed in sending pipe data (%s). (code:%u)", lpszName, dwResult);
    }
    return TRACE_LEAVE(dwResult);
}

DWORD CServiceCtrl::SendPipe_NotifySysinfo(HANDLE hAbort, DWORD dwClientHandle)
{
    TRACE_ENTER(1);
    QuoLogData record;
    DWORD dwResult = m_QuoLogEx.Get(&record);
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    QVPipeCmdNotifySysInfo cmd;
    BuildNotifySysInfo(&cmd, record.dwQUOLevel, record.szPowerPlan, record.dwPCWatt, record.dwMonWatt,
                       record.dwBatteryStatus, record.dwBatteryLifePercent);
    return TRACE_LEAVE(SendCommand(hAbort, dwClientHandle, &cmd, sizeof(cmd), L"PIPECMD_NOTIFY_SYSINFO"));
}

DWORD CServiceCtrl::SendPipe_SwitchFunction(HANDLE hAbort, DWORD dwFunction, DWORD dwClientHandle)
{
    TRACE_ENTER(1);
    PipeCmdSwitchFunction cmd = {};
    cmd.dwCmd = PIPECMD_SWITCH_FUNCTION;
    cmd.dwFunction = dwFunction;
    return TRACE_LEAVE(SendCommand(hAbort, dwClientHandle, &cmd, sizeof(cmd), L"PIPECMD_SWITCH_FUNCTION"));
}

DWORD CServiceCtrl::SendPipe_ActivePowPlan(HANDLE hAbort, DWORD dwClientHandle)
{
    TRACE_ENTER(1);
    PipeCmdActivePowPlan cmd = {};
    cmd.dwCmd = PIPECMD_ACTIVE_POWERPLAN;
    return TRACE_LEAVE(SendCommand(hAbort, dwClientHandle, &cmd, sizeof(cmd), L"PIPECMD_ACTIVE_POWERPLAN"));
}

DWORD CServiceCtrl::SendPipe_UpdateExtDspInfo()
{
    TRACE_ENTER(1);
    DWORD dwCmd = PIPECMD_UPDATE_EXTDSPINFO;
    return TRACE_LEAVE(SendCommand(nullptr, PIPE_ALL_CLIENTS, &dwCmd, sizeof(dwCmd), L"PIPECMD_UPDATE_EXTDSPINFO"));
}

DWORD CServiceCtrl::SendPipe_UpdateQuolevel()
{
    TRACE_ENTER(1);
    if (m_bIsVistaOrLater) {
        return TRACE_LEAVE(ERROR_NOT_SUPPORTED);
    }
    DWORD dwCmd = PIPECMD_UPDATE_QUOLEVEL;
    return TRACE_LEAVE(SendCommand(nullptr, PIPE_ALL_CLIENTS, &dwCmd, sizeof(dwCmd), L"PIPECMD_UPDATE_QUOLEVEL"));
}
