#include "QuoLogEx.h"

#include <strsafe.h>

#include "StackLock.h"
#include "Trace.h"

namespace {

// Dump masks of the setters.
const DWORD kMaskPowStatus = 0x1;
const DWORD kMaskPCWatt = 0x2;
const DWORD kMaskBattInfo = 0x38;
const DWORD kMaskReductionWatt = 0x40;
const DWORD kMaskPowerPlan = 0x80;
const DWORD kMaskMonPow = 0x12000;
const DWORD kMaskExtDspInfo = 0x2D004;
const DWORD kMaskQUOLevel = 0x40000;
const DWORD kMaskUserName = 0x80000;

LPCWSTR CodeName(DWORD dwValue, const LPCWSTR* names, size_t nNames)
{
    return (dwValue < nNames) ? names[dwValue] : L"undefined!!";
}

const LPCWSTR kPowerStatusNames[] = {L"UNKNOWN", L"S0", L"FROM_S3S4", L"TO_S3S4", L"TO_S5", L"START", L"END"};
const LPCWSTR kBatteryStatusNames[] = {L"Unknown", L"AC", L"DC", L"Charging"};
const LPCWSTR kOnOffNames[] = {L"Unknown", L"OFF", L"ON"};
const LPCWSTR kLevelNames[] = {L"Unknown", L"Level1", L"Level2", L"Level3", L"Level4", L"Level5"};

}  // namespace

CQuoLogEx::CQuoLogEx()
    : m_bInitialized(false), m_csData(), m_csWrite(), m_LogData(), m_bAwake(true), m_bOutput(true),
      m_ullLastWriteTime(0), m_dwLastWriteResult(ERROR_SUCCESS)
{
    InitializeCriticalSection(&m_csData);
    InitializeCriticalSection(&m_csWrite);
}

CQuoLogEx::~CQuoLogEx()
{
    Finalize();
    DeleteCriticalSection(&m_csWrite);
    DeleteCriticalSection(&m_csData);
}

DWORD CQuoLogEx::Initialize(BOOL bOutput, DWORD dwInterval, BOOL bDelayWrite, DWORD dwDelayTime)
{
    TRACE_ENTER(1);
    if (m_bInitialized) {
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    {
        CStackLock lock(&m_csData);
        ZeroMemory(&m_LogData, sizeof(m_LogData));
    }
    m_bOutput = (bOutput != FALSE);
    m_bAwake = true;
    if (m_bOutput) {
        DWORD dwResult = QUOLogInitialize(QUOLOG_MODE_WRITER, dwInterval, bDelayWrite, dwDelayTime);
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, L"Error in QUOLogInitialize(). (code:%u)", dwResult);
            return TRACE_LEAVE(dwResult);
        }
    }
    TRACE(1, L"CQuoLogEx -- Initialized.");
    m_bInitialized = true;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CQuoLogEx::Finalize()
{
    TRACE_ENTER(1);
    if (m_bInitialized) {
        CStackLock lock(&m_csWrite);
        if (m_bOutput) {
            QUOLogFinalize();
        }
        m_bInitialized = false;
        TRACE(1, L"CQuoLogEx -- Finalized.");
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CQuoLogEx::Get(QuoLogData* pData)
{
    TRACE_ENTER(1);
    if (pData == nullptr) {
        return TRACE_NULL_ARGUMENT(pData);
    }
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    CStackLock lock(&m_csData);
    *pData = m_LogData;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CQuoLogEx::ClearData()
{
    TRACE_ENTER(1);
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    CStackLock lock(&m_csData);
    ZeroMemory(&m_LogData, sizeof(m_LogData));
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CQuoLogEx::Set_PowStatus(DWORD dwStatus)
{
    TRACE_ENTER(1);
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    CStackLock lock(&m_csData);
    m_LogData.dwPowerStatus = dwStatus;
    _Debug(m_LogData, kMaskPowStatus);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CQuoLogEx::Set_PCWatt(DWORD dwWatt)
{
    TRACE_ENTER(1);
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    CStackLock lock(&m_csData);
    m_LogData.dwPCWatt = dwWatt;
    _Debug(m_LogData, kMaskPCWatt);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CQuoLogEx::Set_BattInfo(DWORD dwStatus, DWORD dwPercent, DWORD dwCapacity)
{
    TRACE_ENTER(1);
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    CStackLock lock(&m_csData);
    m_LogData.dwBatteryStatus = dwStatus;
    m_LogData.dwBatteryLifePercent = dwPercent;
    m_LogData.dwBatteryCapacity = dwCapacity;
    _Debug(m_LogData, kMaskBattInfo);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CQuoLogEx::Set_ReductionWatt(DWORD dwWatt)
{
    TRACE_ENTER(1);
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    CStackLock lock(&m_csData);
    m_LogData.dwReductionWatt = dwWatt;
    _Debug(m_LogData, kMaskReductionWatt);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

// Copies lpSource into a record field, cut to fit; 266 when it was cut.
static DWORD CopyField(LPWSTR lpField, size_t cchField, LPCWSTR lpSource)
{
    TRACE_FUNCTION();
    HRESULT hr = StringCchCopyW(lpField, cchField, lpSource);
    if (FAILED(hr)) {
        TRACE(0, L"Error in StringCchCopy(). (code:%u)", static_cast<DWORD>(hr));
        return ERROR_CANNOT_COPY;
    }
    return ERROR_SUCCESS;
}

DWORD CQuoLogEx::Set_PowerPlan(LPCWSTR lpszVal)
{
    TRACE_ENTER(1);
    if (lpszVal == nullptr) {
        return TRACE_NULL_ARGUMENT(lpszVal);
    }
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    CStackLock lock(&m_csData);
    DWORD dwResult = CopyField(m_LogData.szPowerPlan, ARRAYSIZE(m_LogData.szPowerPlan), lpszVal);
    _Debug(m_LogData, kMaskPowerPlan);
    return TRACE_LEAVE(dwResult);
}

DWORD CQuoLogEx::Set_MonPow(DWORD dwStatus1, DWORD dwStatus2)
{
    TRACE_ENTER(1);
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    CStackLock lock(&m_csData);
    m_LogData.dwMonitorStatus1 = dwStatus1;
    m_LogData.dwMonitorStatus2 = dwStatus2;
    _Debug(m_LogData, kMaskMonPow);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CQuoLogEx::Set_ExtDspInfo(DWORD dwWatt, LPCWSTR lpszName1, DWORD dwLevel1, LPCWSTR lpszName2, DWORD dwLevel2)
{
    TRACE_ENTER(1);
    if (lpszName1 == nullptr) {
        return TRACE_NULL_ARGUMENT(lpszName1);
    }
    if (lpszName2 == nullptr) {
        return TRACE_NULL_ARGUMENT(lpszName2);
    }
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    CStackLock lock(&m_csData);
    m_LogData.dwMonWatt = dwWatt;
    DWORD dwResult = CopyField(m_LogData.szMonitorName1, ARRAYSIZE(m_LogData.szMonitorName1), lpszName1);
    m_LogData.dwLCDLevel1 = dwLevel1;
    DWORD dwResult2 = CopyField(m_LogData.szMonitorName2, ARRAYSIZE(m_LogData.szMonitorName2), lpszName2);
    m_LogData.dwLCDLevel2 = dwLevel2;
    _Debug(m_LogData, kMaskExtDspInfo);
    return TRACE_LEAVE((dwResult != ERROR_SUCCESS) ? dwResult : dwResult2);
}

DWORD CQuoLogEx::Set_QUOLevel(DWORD dwLevel)
{
    TRACE_ENTER(1);
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    CStackLock lock(&m_csData);
    m_LogData.dwQUOLevel = dwLevel;
    _Debug(m_LogData, kMaskQUOLevel);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CQuoLogEx::Set_UserName(LPCWSTR lpszVal)
{
    TRACE_ENTER(1);
    if (lpszVal == nullptr) {
        return TRACE_NULL_ARGUMENT(lpszVal);
    }
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    CStackLock lock(&m_csData);
    DWORD dwResult = CopyField(m_LogData.szUserName, ARRAYSIZE(m_LogData.szUserName), lpszVal);
    _Debug(m_LogData, kMaskUserName);
    return TRACE_LEAVE(dwResult);
}

DWORD CQuoLogEx::Write(BOOL bSample)
{
    TRACE_ENTER(1);
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    if (!m_bOutput) {
        TRACE(1, L"Do not output log.");
        return TRACE_LEAVE(ERROR_SUCCESS);
    }

    CStackLock writeLock(&m_csWrite);
    QuoLogData record;
    {
        CStackLock dataLock(&m_csData);
        if (bSample) {
            record = m_LogData;
        } else {
            ZeroMemory(&record, sizeof(record));
            record.dwPowerStatus = m_LogData.dwPowerStatus;
            record.dwBatteryStatus = m_LogData.dwBatteryStatus;
            record.dwBatteryLifePercent = m_LogData.dwBatteryLifePercent;
            record.dwBatteryCapacity = m_LogData.dwBatteryCapacity;
        }
    }

    if (record.dwPowerStatus == QUOLOG_POWER_FROM_S3S4 || record.dwPowerStatus == QUOLOG_POWER_START) {
        m_bAwake = true;
    }
    DWORD dwResult = ERROR_SUCCESS;
    if (record.dwPowerStatus == QUOLOG_POWER_S0 && !m_bAwake) {
        TRACE(1, L"Asleep: the running sample is not written.");
    } else {
        WaitForLaterTimeStamp();
        dwResult = QUOLogWrite(&record);
        if (dwResult != ERROR_SUCCESS && m_dwLastWriteResult == ERROR_SUCCESS) {
            TRACE(0, L"Error in QUOLogWrite(). code:%u", dwResult);
        } else if (dwResult == ERROR_SUCCESS && m_dwLastWriteResult != ERROR_SUCCESS) {
            TRACE(0, L"QUOLogWrite() succeeds again.");
        }
        m_dwLastWriteResult = dwResult;
        m_ullLastWriteTime = LocalTimeMs();
    }
    // After an END record no running sample belongs to a run either, until the next START.
    if (record.dwPowerStatus == QUOLOG_POWER_TO_S3S4 || record.dwPowerStatus == QUOLOG_POWER_TO_S5
        || record.dwPowerStatus == QUOLOG_POWER_END) {
        m_bAwake = false;
    }
    _Debug(record, kDumpAll);
    return TRACE_LEAVE(dwResult);
}

DWORD CQuoLogEx::WriteRecord(DWORD dwPowerStatus, BOOL bSample)
{
    TRACE_ENTER(1);
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    CStackLock writeLock(&m_csWrite);
    DWORD dwResult = Set_PowStatus(dwPowerStatus);
    if (dwResult == ERROR_SUCCESS) {
        dwResult = Write(bSample);
    }
    return TRACE_LEAVE(dwResult);
}

ULONGLONG CQuoLogEx::LocalTimeMs()
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    return ((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 10000;
}

void CQuoLogEx::WaitForLaterTimeStamp()
{
    // The library stamps a record with the local time in milliseconds and drops one that
    // is not later than the last: wait until the clock has passed the last write, which
    // was taken after the library's own stamp. A clock set back does not wait long.
    for (int i = 0; i < kMaxStampWaits && LocalTimeMs() <= m_ullLastWriteTime; ++i) {
        Sleep(kStampWaitMs);
    }
}

DWORD CQuoLogEx::CopyPksReg()
{
    TRACE_ENTER(1);
    if (!m_bInitialized) {
        return TRACE_NOT_READY();
    }
    return TRACE_LEAVE(QUOLogCopyPksReg());
}

void CQuoLogEx::_Debug(const QuoLogData& data, DWORD dwMask)
{
    TRACE_FUNCTION();
    if (!g_Log.IsEnabled(0)) {
        return;
    }
    TRACE(0, L"== QuoLogData =========================");
    if (dwMask & 0x1) {
        TRACE(0, L"dwPowerStatus        : %s (%u)", CodeName(data.dwPowerStatus, kPowerStatusNames, ARRAYSIZE(kPowerStatusNames)), data.dwPowerStatus);
    }
    if (dwMask & 0x2) {
        TRACE(0, L"dwPCWatt             : %u [mW]", data.dwPCWatt);
    }
    if (dwMask & 0x4) {
        TRACE(0, L"dwMonWatt            : %u [mW]", data.dwMonWatt);
    }
    if (dwMask & 0x8) {
        TRACE(0, L"dwBatteryStatus      : %s (%u)", CodeName(data.dwBatteryStatus, kBatteryStatusNames, ARRAYSIZE(kBatteryStatusNames)), data.dwBatteryStatus);
    }
    if (dwMask & 0x10) {
        TRACE(0, L"dwBatteryLifePercent : %u [%%]", data.dwBatteryLifePercent);
    }
    if (dwMask & 0x20) {
        TRACE(0, L"dwBatteryCapacity    : %u [mWh]", data.dwBatteryCapacity);
    }
    if (dwMask & 0x40) {
        TRACE(0, L"dwReductionWatt      : %u [mW]", data.dwReductionWatt);
    }
    if (dwMask & 0x80) {
        TRACE(0, L"szPowerPlan          : %s", data.szPowerPlan);
    }
    if (dwMask & 0x100) {
        TRACE(0, L"dwCPUUsage           : %u [%%]", data.dwCPUUsage);
    }
    if (dwMask & 0x200) {
        TRACE(0, L"dwInputStatus        : %s (%u)", CodeName(data.dwInputStatus, kOnOffNames, ARRAYSIZE(kOnOffNames)), data.dwInputStatus);
    }
    if (dwMask & 0x400) {
        TRACE(0, L"dwHDDUsage           : %u [%%]", data.dwHDDUsage);
    }
    if (dwMask & 0x800) {
        TRACE(0, L"dwSCRStatus          : %s (%u)", CodeName(data.dwSCRStatus, kOnOffNames, ARRAYSIZE(kOnOffNames)), data.dwSCRStatus);
    }
    if (dwMask & 0x1000) {
        TRACE(0, L"szMonitorName1       : %s", data.szMonitorName1);
    }
    if (dwMask & 0x2000) {
        TRACE(0, L"dwMonitorStatus1     : %s (%u)", CodeName(data.dwMonitorStatus1, kOnOffNames, ARRAYSIZE(kOnOffNames)), data.dwMonitorStatus1);
    }
    if (dwMask & 0x4000) {
        TRACE(0, L"dwLCDLevel1          : %u", data.dwLCDLevel1);
    }
    if (dwMask & 0x8000) {
        TRACE(0, L"szMonitorName2       : %s", data.szMonitorName2);
    }
    if (dwMask & 0x10000) {
        TRACE(0, L"dwMonitorStatus2     : %s (%u)", CodeName(data.dwMonitorStatus2, kOnOffNames, ARRAYSIZE(kOnOffNames)), data.dwMonitorStatus2);
    }
    if (dwMask & 0x20000) {
        TRACE(0, L"dwLCDLevel2          : %u", data.dwLCDLevel2);
    }
    if (dwMask & 0x40000) {
        TRACE(0, L"dwQUOLevel           : %s (%u)", CodeName(data.dwQUOLevel, kLevelNames, ARRAYSIZE(kLevelNames)), data.dwQUOLevel);
    }
    if (dwMask & 0x80000) {
        TRACE(0, L"szUserName           : %s", data.szUserName);
    }
    TRACE(0, L"=======================================");
}
