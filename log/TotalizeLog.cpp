#include "TotalizeLog.h"

#include <algorithm>
#include <string>
#include <vector>

#include <strsafe.h>

#include "FolderTree.h"
#include "QuoLogCore.h"
#include "Reg.h"
#include "ScopedHandle.h"
#include "TempLog.h"
#include "TotalizeRun.h"
#include "Trace.h"

namespace {

const ULONGLONG kMsPerHour = 3600000;
const size_t kRawColumns = 23;
const size_t kTotalsColumns = 17;

bool IsYearFolderName(LPCWSTR lpName)
{
    if (wcslen(lpName) != 4) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        if (lpName[i] < L'0' || lpName[i] > L'9') {
            return false;
        }
    }
    return true;
}

}  // namespace

CTotalizeLog::CTotalizeLog(CQuoLog& owner)
    : m_Owner(owner),
      m_szLastItemTime(),
      m_dwCPUUsageThreshold(kDefaultCPUUsageThreshold),
      m_dwHDDUsageThreshold(kDefaultHDDUsageThreshold),
      m_dwIdleTimeThreshold(kDefaultIdleTimeThreshold),
      m_dblPCWatDiscount(kDefaultPCWatDiscount),
      m_stPksStartDate(),
      m_stPksEndDate(),
      m_stPksStartTime(),
      m_stPksEndTime(),
      m_bPksEnable(FALSE),
      m_szPowPlanQuo(),
      m_szPowPlanSuperQuo(),
      m_szLastPlan(),
      m_bLastPlanIsReduction(false),
      m_dwQueueKind(0),
      m_stQueueFile(),
      m_dwRefusals(0)
{
}

CTotalizeLog::~CTotalizeLog()
{
    Finalize();
}

DWORD CTotalizeLog::Initialize(DWORD dwMode)
{
    TRACE_ENTER(2);
    const QuoLogEnvironment& env = m_Owner.GetEnvironment();
    if (dwMode == QUOLOG_MODE_WRITER) {
        WCHAR szDay[ARRAYSIZE(m_szLastItemTime)] = L"";
        SYSTEMTIME stDay;
        if (m_Owner.PositionStore().QueryString(REGENTRY_LASTWRITEDAY2, szDay, ARRAYSIZE(szDay)) == ERROR_SUCCESS
            && CQuoLog::ConvertStrToDate(szDay, &stDay)) {
            CQuoLog::FormatDate(stDay, m_szLastItemTime, ARRAYSIZE(m_szLastItemTime));
        } else {
            GetLocalTime(&stDay);
            SetLastItemTime(stDay);
        }
        TRACE(2, L"LastWriteDay2:%s", m_szLastItemTime);
        ReadSettings();
    }
    return TRACE_LEAVE(InitializeCSV(env.lpLockName, env.lpRecovery));
}

void CTotalizeLog::ReadSettings()
{
    TRACE_ENTER(2);
    const QuoLogEnvironment& env = m_Owner.GetEnvironment();
    CReg reg;
    if (reg.OpenKey(env.lpRegKeyPath, KEY_READ) == ERROR_SUCCESS) {
        DWORD dwValue = 0;
        if (reg.QueryDWORDValue(REGENTRY_PCWATDISCOUNT, &dwValue) == ERROR_SUCCESS) {
            m_dblPCWatDiscount = dwValue / 1000.0;
        }
        reg.QueryDWORDValue(REGENTRY_CPUUSAGETHRESHOLD, &m_dwCPUUsageThreshold);
        reg.QueryDWORDValue(REGENTRY_HDDUSAGETHRESHOLD, &m_dwHDDUsageThreshold);
        reg.QueryDWORDValue(REGENTRY_IDLETIMETHRESHOLD, &m_dwIdleTimeThreshold);
    }
    TRACE(2, L"m_dblPCWatDiscount:%.3lf", m_dblPCWatDiscount);
    TRACE(2, L"m_dwCPUUsageThreshold:%u", m_dwCPUUsageThreshold);
    TRACE(2, L"m_dwHDDUsageThreshold:%u", m_dwHDDUsageThreshold);
    TRACE(2, L"m_dwIdleTimeThreshold:%u", m_dwIdleTimeThreshold);

    CReg viewer;
    DWORD dwOpen = (env.lpViewerKeyPath != nullptr) ? viewer.OpenKey(env.lpViewerKeyPath, KEY_READ)
                                                    : ERROR_FILE_NOT_FOUND;
    WCHAR szName[QUOLOG_POWERPLAN_CHARS];
    DWORD cchName = ARRAYSIZE(szName);
    DWORD dwResult = (dwOpen == ERROR_SUCCESS) ? viewer.QueryStringValue(REGENTRY_REDUCTPLANNAME, szName, &cchName)
                                               : dwOpen;
    if (dwResult == ERROR_SUCCESS && szName[0] != L'\0') {
        StringCchCopyW(m_szPowPlanQuo, ARRAYSIZE(m_szPowPlanQuo), szName);
    } else {
        TRACE(0, L"QueryDWORDValue(REGENTRY_REDUCTPLANNAME) is failed. code:%u", dwResult);
        HMODULE hModule = (env.hStringModule != nullptr) ? env.hStringModule : GetModuleHandleW(nullptr);
        if (LoadStringW(hModule, IDS_POWERPLAN_QUO, m_szPowPlanQuo, ARRAYSIZE(m_szPowPlanQuo)) == 0) {
            TRACE(0, L"Error in LoadString(IDS_POWERPLAN_QUO). code:%u", GetLastError());
            m_szPowPlanQuo[0] = L'\0';
        }
    }
    cchName = ARRAYSIZE(szName);
    if (dwOpen == ERROR_SUCCESS && viewer.QueryStringValue(REGENTRY_REDUCTPLANNAME_TWO, szName, &cchName) == ERROR_SUCCESS) {
        StringCchCopyW(m_szPowPlanSuperQuo, ARRAYSIZE(m_szPowPlanSuperQuo), szName);
    }
    TRACE(2, L"m_szPowPlanQuo:%s", m_szPowPlanQuo);
    TRACE(2, L"m_szPowPlanSuperQuo:%s", m_szPowPlanSuperQuo);
    m_szLastPlan[0] = L'\0';  // compared with these names again
    TRACE_LEAVE_VOID();
    return;
}

void CTotalizeLog::Finalize()
{
    FinalizeCSV();
}

DWORD CTotalizeLog::SetLastItemTime(const SYSTEMTIME& stDay)
{
    TRACE_ENTER(2);
    CQuoLog::FormatDate(stDay, m_szLastItemTime, ARRAYSIZE(m_szLastItemTime));
    DWORD dwResult = m_Owner.PositionStore().SetString(REGENTRY_LASTWRITEDAY2, m_szLastItemTime);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"Error in writing %s. code:%u", REGENTRY_LASTWRITEDAY2, dwResult);
    }
    return TRACE_LEAVE(dwResult);
}

BOOL CTotalizeLog::IsIdleSample(const QuoLogData& record) const
{
    return record.dwCPUUsage < m_dwCPUUsageThreshold && record.dwInputStatus != QUOLOG_STATE_ON
        && record.dwHDDUsage < m_dwHDDUsageThreshold;
}

void CTotalizeLog::UpdatePlanInfo(PowerPlanTable& table, LPCWSTR lpszPowerPlan, DWORD dwTime)
{
    if (lpszPowerPlan == nullptr) {
        TRACE_FUNCTION();
        TRACE(0, L"%s is NULL.", L"lpszPowerPlan");
        return;
    }
    for (auto& entry : table) {
        if (wcscmp(entry.second.szName, lpszPowerPlan) == 0) {
            entry.second.dwTime += dwTime;
            return;
        }
    }
    PowerPlanInfo info = {};
    StringCchCopyW(info.szName, ARRAYSIZE(info.szName), lpszPowerPlan);
    info.dwTime = dwTime;
    table[static_cast<DWORD>(table.size()) + 1] = info;
}

void CTotalizeLog::FindMaxPowerPlan(const PowerPlanTable& table, PowerPlanInfo pMaxPPI[2])
{
    pMaxPPI[0] = PowerPlanInfo();
    pMaxPPI[1] = PowerPlanInfo();
    for (const auto& entry : table) {
        if (entry.second.dwTime > pMaxPPI[0].dwTime) {
            pMaxPPI[1] = pMaxPPI[0];
            pMaxPPI[0] = entry.second;
        } else if (entry.second.dwTime > pMaxPPI[1].dwTime) {
            pMaxPPI[1] = entry.second;
        }
    }
}

void CTotalizeLog::UpdateS0Info(QuoLogRead* pQuoLogRead, const QuoLogData& record, TotalizeTemp* pTotalizeTemp)
{
    QuoLogRead& slot = *pQuoLogRead;
    TotalizeTemp& temp = *pTotalizeTemp;
    const DWORD dwInterval = temp.dwInterval;
    slot.dwS0Time += dwInterval;
    temp.ullPCWattSum += record.dwPCWatt;
    temp.ullMonWattSum += record.dwMonWatt;
    temp.ullReductWattSum += record.dwReductionWatt;
    // A sample without a plan name is never in a reduction plan, also when the second
    // plan's name is not set (empty). The plan changes seldom: the answer of the
    // comparison, which goes by the user's locale, is kept for the last name.
    if (record.szPowerPlan[0] != L'\0' && wcscmp(record.szPowerPlan, m_szLastPlan) != 0) {
        StringCchCopyW(m_szLastPlan, ARRAYSIZE(m_szLastPlan), record.szPowerPlan);
        m_bLastPlanIsReduction = lstrcmpW(record.szPowerPlan, m_szPowPlanQuo) == 0
            || lstrcmpW(record.szPowerPlan, m_szPowPlanSuperQuo) == 0;
    }
    if (record.szPowerPlan[0] != L'\0' && m_bLastPlanIsReduction) {
        slot.ullReductPlanTime += dwInterval;
    }
    switch (record.dwBatteryStatus) {
    case QUOLOG_BATTERY_AC:
        slot.dwACTime += dwInterval;
        break;
    case QUOLOG_BATTERY_DC:
        slot.dwDCTime += dwInterval;
        break;
    case QUOLOG_BATTERY_CHARGING:
        slot.dwChargeTime += dwInterval;
        break;
    default:
        break;
    }
    UpdatePlanInfo(temp.plans, record.szPowerPlan, dwInterval);
    // An idle run goes on across slots; its energy counts when it ends, in the slot of
    // the sample that ends it, if it lasted at least the idle threshold.
    if (IsIdleSample(record)) {
        temp.ullIdleTime += dwInterval;
        temp.ullIdleWattMs += (static_cast<ULONGLONG>(record.dwPCWatt) + record.dwMonWatt) * dwInterval;
        return;
    }
    if (temp.ullIdleTime >= static_cast<ULONGLONG>(m_dwIdleTimeThreshold) * 60000ULL) {
        slot.ullIdleEnergy += temp.ullIdleWattMs / kMsPerHour;
    }
    temp.ullIdleTime = 0;
    temp.ullIdleWattMs = 0;
}

DWORD CTotalizeLog::WriteDailyLog(QuoLogRead* pQuoLogRead, TotalizeTemp* pTotalizeTemp)
{
    TRACE_ENTER(2);
    if (pQuoLogRead == nullptr) {
        return TRACE_NULL_ARGUMENT(pQuoLogRead);
    }
    if (pTotalizeTemp == nullptr) {
        return TRACE_NULL_ARGUMENT(pTotalizeTemp);
    }
    QuoLogRead& slot = *pQuoLogRead;
    TotalizeTemp& temp = *pTotalizeTemp;
    slot.dwS0Time /= 1000;
    slot.dwACTime /= 1000;
    slot.dwDCTime /= 1000;
    slot.dwChargeTime /= 1000;
    slot.ullPCEnergy += temp.ullPCWattSum * temp.dwInterval / kMsPerHour;
    slot.ullMonEnergy += temp.ullMonWattSum * temp.dwInterval / kMsPerHour;
    slot.ullReductPlanTime /= 1000;
    slot.ullReductEnergy += temp.ullReductWattSum * temp.dwInterval / kMsPerHour;
    PowerPlanInfo plans[2];
    FindMaxPowerPlan(temp.plans, plans);
    StringCchCopyW(slot.szPowerPlan1, ARRAYSIZE(slot.szPowerPlan1), plans[0].szName);
    slot.dwPowerPlan1Time = plans[0].dwTime / 1000;
    StringCchCopyW(slot.szPowerPlan2, ARRAYSIZE(slot.szPowerPlan2), plans[1].szName);
    slot.dwPowerPlan2Time = plans[1].dwTime / 1000;
    DWORD dwResult = QueueTotalLine(slot, LOG_KIND_DAILY);
    temp.ullPCWattSum = 0;
    temp.ullMonWattSum = 0;
    temp.ullReductWattSum = 0;
    temp.plans.clear();
    slot = QuoLogRead();
    return TRACE_LEAVE(dwResult);
}

BOOL CTotalizeLog::FormatTotalLine(const QuoLogRead& r, LPWSTR lpLine, size_t cchLine)
{
    const SYSTEMTIME& t = r.stTime;
    return SUCCEEDED(StringCchPrintfW(
        lpLine, cchLine,
        L"%04u/%02u/%02u,%02u:%02u:%02u.%03u,%0u,%0u,%0u,%I64u,%I64u,%0u,%0u,%0u,\"%s\",%0u,\"%s\",%0u,%I64u,%I64u,"
        L"%I64u\r\n",
        t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, r.dwS0Time, r.dwS3S4Time,
        r.dwS5Time, r.ullPCEnergy, r.ullMonEnergy, r.dwACTime, r.dwDCTime, r.dwChargeTime, r.szPowerPlan1,
        r.dwPowerPlan1Time, r.szPowerPlan2, r.dwPowerPlan2Time, r.ullIdleEnergy, r.ullReductPlanTime,
        r.ullReductEnergy));
}

DWORD CTotalizeLog::AppendIfLater(LPCWSTR lpPath, HANDLE hAbort)
{
    TRACE_ENTER(2);
    // One hold of the lock for the look at the last line and the append, so that no
    // other process appends between the two.
    CNamedMutexLock lock(m_FileLock, hAbort);
    if (lock.Result() != ERROR_SUCCESS) {
        TRACE(0, L"Error in locking the log files. code:%u", lock.Result());
        return TRACE_LEAVE(lock.Result());
    }
    WCHAR szLast[CQuoLog::kTimeTextChars];
    DWORD dwResult = ReadLastLine(lpPath, szLast, ARRAYSIZE(szLast), hAbort);
    if (dwResult == ERROR_FILE_NOT_FOUND || dwResult == ERROR_PATH_NOT_FOUND) {
        szLast[0] = L'\0';
    } else if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    SYSTEMTIME stLast;
    CQuoLog::ConvertStrToSystime(szLast, &stLast);
    std::wstring text;
    for (const std::wstring& line : m_Queue) {
        SYSTEMTIME stNew;
        CQuoLog::ConvertStrToSystime(line.substr(0, kTimeTextChars).c_str(), &stNew);
        if (CQuoLog::CompareTime(stNew, stLast) <= 0) {
            TRACE(1, L"Already in %s: %.23s", lpPath, line.c_str());
            continue;
        }
        text += line;
        stLast = stNew;
    }
    return TRACE_LEAVE(text.empty() ? ERROR_SUCCESS : AppendLines(lpPath, text, hAbort));
}

bool CTotalizeLog::IsQueuedFile(const SYSTEMTIME& t, DWORD dwKind) const
{
    const SYSTEMTIME& q = m_stQueueFile;
    return m_Queue.empty()
        || (dwKind == m_dwQueueKind && t.wYear == q.wYear
            && (dwKind != LOG_KIND_DAILY || (t.wMonth == q.wMonth && t.wDay == q.wDay)));
}

DWORD CTotalizeLog::QueueTotalLine(const QuoLogRead& record, DWORD dwKind)
{
    TRACE_ENTER(2);
    WCHAR szLine[kLineChars - 1];  // at most 1023 characters with the terminator
    if (!FormatTotalLine(record, szLine, ARRAYSIZE(szLine))) {
        TRACE(0, L"The totals line does not fit.");
        return TRACE_LEAVE(ERROR_INSUFFICIENT_BUFFER);
    }
    if ((dwKind != LOG_KIND_DAILY && dwKind != LOG_KIND_YEARLY) || !IsQueuedFile(record.stTime, dwKind)) {
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    if (m_Queue.empty()) {
        m_dwQueueKind = dwKind;
        m_stQueueFile = record.stTime;
    }
    m_Queue.emplace_back(szLine);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CTotalizeLog::FlushTotalLines(HANDLE hAbort)
{
    TRACE_ENTER(2);
    if (m_Queue.empty()) {
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    const DWORD dwKind = m_dwQueueKind;
    const SYSTEMTIME t = m_stQueueFile;
    DWORD dwResult = ERROR_SUCCESS;
    WCHAR szPath[MAX_PATH];
    if (m_Owner.GetLogFullPath(dwKind, &t, szPath, ARRAYSIZE(szPath), TRUE /* year folder */)) {
        dwResult = AppendIfLater(szPath, hAbort);
    } else {
        dwResult = GetLastError();
        if (dwResult == ERROR_SUCCESS) {
            dwResult = ERROR_INVALID_PARAMETER;
        }
    }
    std::vector<std::wstring> lines;
    lines.swap(m_Queue);
    // The file the lines belong to: the kind and the day (daily) or the year (yearly).
    WCHAR szFile[24];
    StringCchPrintfW(szFile, ARRAYSIZE(szFile), L"%u:%04u%02u%02u", dwKind, t.wYear,
                     (dwKind == LOG_KIND_DAILY) ? t.wMonth : 0u, (dwKind == LOG_KIND_DAILY) ? t.wDay : 0u);
    if (dwResult == ERROR_SUCCESS || dwResult == ERROR_OPERATION_ABORTED) {
        if (dwResult == ERROR_SUCCESS && m_RefusingFile == szFile) {
            m_RefusingFile.clear();
            m_dwRefusals = 0;
        }
        return TRACE_LEAVE(dwResult);
    }
    // A run stops at lines that could not be written and the next run tries them again;
    // a file that has refused them in kMaxRefusedRuns runs in a row is given up: its
    // lines are skipped until it takes lines again.
    if (m_RefusingFile != szFile) {
        m_RefusingFile = szFile;
        m_dwRefusals = 0;
    }
    if (++m_dwRefusals < kMaxRefusedRuns) {
        return TRACE_LEAVE(dwResult);
    }
    for (const std::wstring& line : lines) {
        TRACE(0, L"The log file of %.10s has refused its lines in %u runs (code:%u): the line of %.23s is skipped.",
              line.c_str(), m_dwRefusals, dwResult, line.c_str());
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CTotalizeLog::MapRawLine(LPCWSTR lpLine, size_t cchLine, DWORD dwLine, QuoLogData* pElement,
                              SYSTEMTIME* lpSystemtime, LPDWORD lpdwInterval)
{
    TRACE_FUNCTION();
    CellSpan cells[kRawColumns];
    if (SplitSpans(lpLine, cchLine, cells, kRawColumns) < kRawColumns) {
        return ERROR_INVALID_DATA;
    }
    SYSTEMTIME st;
    if (!CQuoLog::ConvertStampToSystime(cells[0], cells[1], &st)) {
        TRACE(1, L"No valid time in line %u: %.23s", dwLine, lpLine);
        return ERROR_INVALID_DATA;
    }
    QuoLogData r = {};
    *lpdwInterval = SpanDword(cells[2]);
    r.dwPowerStatus = SpanDword(cells[3]);
    r.dwPCWatt = SpanDword(cells[4]);
    r.dwMonWatt = SpanDword(cells[5]);
    r.dwBatteryStatus = SpanDword(cells[6]);
    r.dwBatteryLifePercent = SpanDword(cells[7]);
    r.dwBatteryCapacity = SpanDword(cells[8]);
    r.dwReductionWatt = SpanDword(cells[9]);
    SpanText(cells[10], r.szPowerPlan, ARRAYSIZE(r.szPowerPlan));
    r.dwCPUUsage = SpanDword(cells[11]);
    r.dwInputStatus = SpanDword(cells[12]);
    r.dwHDDUsage = SpanDword(cells[13]);
    r.dwSCRStatus = SpanDword(cells[14]);
    SpanText(cells[15], r.szMonitorName1, ARRAYSIZE(r.szMonitorName1));
    r.dwMonitorStatus1 = SpanDword(cells[16]);
    r.dwLCDLevel1 = SpanDword(cells[17]);
    SpanText(cells[18], r.szMonitorName2, ARRAYSIZE(r.szMonitorName2));
    r.dwMonitorStatus2 = SpanDword(cells[19]);
    r.dwLCDLevel2 = SpanDword(cells[20]);
    r.dwQUOLevel = SpanDword(cells[21]);
    SpanText(cells[22], r.szUserName, ARRAYSIZE(r.szUserName));
    *pElement = r;
    *lpSystemtime = st;
    return ERROR_SUCCESS;
}

DWORD CTotalizeLog::TotalizeQuoLogOne(const SYSTEMTIME& stNow, HANDLE hAbort)
{
    TRACE_ENTER(1);
    CTempLog* pTempLogObj = m_Owner.GetTempLog();
    if (pTempLogObj == nullptr) {
        TRACE(0, L"%s is NULL.", L"pTempLogObj");
        return TRACE_LEAVE(ERROR_NOT_READY);
    }
    if (IsRecovering()) {
        return TRACE_LEAVE(ERROR_OPERATION_ABORTED);
    }
    // A raw file that could not be read for a passing reason leaves the lines of the
    // days before it to totalize; its error is still the result, so that nothing is
    // folded past it.
    CLineStore lines;
    const DWORD dwLoad = pTempLogObj->LoadTotalizeLines(stNow, lines, hAbort);
    if (lines.Empty()) {
        TRACE(1, L"Nothing to totalize. code:%u", dwLoad);
        return TRACE_LEAVE(dwLoad != ERROR_SUCCESS ? dwLoad : ERROR_FILE_NOT_FOUND);
    }
    DWORD dwResult = ERROR_SUCCESS;
    QuoLogData newest;
    SYSTEMTIME stNewest;
    DWORD dwElapsed = 0;
    const size_t nNewest = lines.Count() - 1;
    dwResult = MapRawLine(lines.Line(nNewest), lines.Length(nNewest), static_cast<DWORD>(nNewest) + 1, &newest,
                          &stNewest, &dwElapsed);
    if (dwResult != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwResult);
    }
    if (newest.dwPowerStatus == QUOLOG_POWER_TO_S3S4 || newest.dwPowerStatus == QUOLOG_POWER_TO_S5) {
        // The period has only begun: wait for the record that ends it.
        TRACE(1, L"The newest record (status %u) begins a sleep or power-off: nothing is totalized.",
              newest.dwPowerStatus);
        return TRACE_LEAVE(ERROR_OPERATION_ABORTED);
    }
    SYSTEMTIME stStartDay;
    CQuoLog::ConvertStrToDate(pTempLogObj->GetLastItemTime(), &stStartDay);
    CTotalizeRun run(*this, pTempLogObj->GetInterval(), stStartDay, pTempLogObj->GetLastWriteLine(), hAbort);
    dwResult = run.Run(lines, stNow);
    pTempLogObj->SetLastItemTime(run.CommitDay());
    pTempLogObj->SetLastWriteLine(run.CommitLine());
    TRACE(1, L"Read position: %s, line %u", pTempLogObj->GetLastItemTime(), pTempLogObj->GetLastWriteLine());
    return TRACE_LEAVE(dwResult != ERROR_SUCCESS ? dwResult : dwLoad);
}

DWORD CTotalizeLog::TotalizeQuoLogTwo(const SYSTEMTIME& stNow, HANDLE hAbort)
{
    TRACE_ENTER(1);
    SYSTEMTIME stDay;
    CQuoLog::ConvertStrToDate(m_szLastItemTime, &stDay);
    SYSTEMTIME stQueued = stDay;  // the day of the first queued line
    // A day that could not be written is folded again next time, never dropped.
    auto flush = [&]() {
        DWORD dwFlush = FlushTotalLines(hAbort);
        if (dwFlush != ERROR_SUCCESS) {
            TRACE(0, L"Error in writing the yearly log (code:%u): the days from %04u/%02u/%02u are folded next time.",
                  dwFlush, stQueued.wYear, stQueued.wMonth, stQueued.wDay);
            stDay = stQueued;
        }
        return dwFlush;
    };
    DWORD dwResult = ERROR_SUCCESS;
    while (CQuoLog::CompareDate(stDay, stNow) < 0) {
        if (IsRecovering()) {
            dwResult = ERROR_OPERATION_ABORTED;
            break;
        }
        QuoLogRead day = {};
        dwResult = FoldDay(stDay, &day, hAbort);
        if (dwResult == ERROR_SUCCESS && day.stTime.wYear != 0) {
            if (!IsQueuedFile(day.stTime, LOG_KIND_YEARLY)) {
                dwResult = flush();
            }
            if (dwResult == ERROR_SUCCESS) {
                if (!HasQueuedLines()) {
                    stQueued = stDay;
                }
                dwResult = QueueTotalLine(day, LOG_KIND_YEARLY);
            }
        }
        if (dwResult != ERROR_SUCCESS || !CQuoLog::OffsetDay(&stDay, &stDay, 1)) {
            break;
        }
    }
    if (dwResult == ERROR_OPERATION_ABORTED) {
        if (HasQueuedLines()) {
            stDay = stQueued;
        }
        DropTotalLines();
    } else if (HasQueuedLines()) {
        const DWORD dwFlush = flush();
        if (dwResult == ERROR_SUCCESS) {
            dwResult = dwFlush;
        }
    }
    SetLastItemTime(stDay);
    return TRACE_LEAVE(dwResult);
}

DWORD CTotalizeLog::FoldDay(const SYSTEMTIME& stDay, QuoLogRead* pDay, HANDLE hAbort)
{
    TRACE_ENTER(2);
    WCHAR szPath[MAX_PATH];
    if (!m_Owner.GetLogFullPath(LOG_KIND_DAILY, &stDay, szPath, ARRAYSIZE(szPath), FALSE)
        || GetFileAttributesW(szPath) == INVALID_FILE_ATTRIBUTES) {
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    CLineStore lines;
    DWORD dwResult = ReadLines(szPath, 1, lines, hAbort);
    if (dwResult != ERROR_SUCCESS) {
        if (IsLastingReadFault(dwResult)) {
            TRACE(0, L"%s holds no line that can be read (code:%u): the day is passed over.", szPath, dwResult);
            return TRACE_LEAVE(ERROR_SUCCESS);
        }
        TRACE(0, L"Error in reading %s. code:%u", szPath, dwResult);
        return TRACE_LEAVE(dwResult);
    }
    // Long enough for any cell: a line has at most CLineCursor::kMaxChars characters.
    WCHAR szText[CLineCursor::kMaxChars + 1];
    CellSpan cells[kTotalsColumns];
    QuoLogRead& day = *pDay;
    SplitSpans(lines.Line(0), lines.Length(0), cells, 1);
    SpanText(cells[0], szText, ARRAYSIZE(szText));
    if (!CQuoLog::ConvertStrToDate(szText, &day.stTime)) {
        TRACE(0, L"The first line of %s has no date: the day is passed over.", szPath);
        day.stTime = SYSTEMTIME();
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    PowerPlanTable plans;
    for (size_t i = 0; i < lines.Count(); ++i) {
        const size_t nCells = SplitSpans(lines.Line(i), lines.Length(i), cells, kTotalsColumns);
        if (nCells < kTotalsColumns) {
            TRACE(1, L"Line %u of %s has only %u columns.", static_cast<DWORD>(i + 1), szPath, static_cast<DWORD>(nCells));
        }
        // A column the line lacks counts 0; a plan column it lacks adds no plan.
        auto number = [&](size_t nColumn) { return (nColumn <= nCells) ? SpanNumber(cells[nColumn - 1]) : 0ULL; };
        auto dword = [&](size_t nColumn) { return (nColumn <= nCells) ? SpanDword(cells[nColumn - 1]) : 0UL; };
        day.dwS0Time += dword(3);
        day.dwS3S4Time += dword(4);
        day.dwS5Time += dword(5);
        day.ullPCEnergy += number(6);
        day.ullMonEnergy += number(7);
        day.dwACTime += dword(8);
        day.dwDCTime += dword(9);
        day.dwChargeTime += dword(10);
        day.ullIdleEnergy += number(15);
        day.ullReductPlanTime += number(16);
        day.ullReductEnergy += number(17);
        for (size_t nPlan = 11; nPlan <= 13; nPlan += 2) {
            if (nPlan <= nCells) {
                SpanText(cells[nPlan - 1], szText, QUOLOG_POWERPLAN_CHARS);
                UpdatePlanInfo(plans, szText, dword(nPlan + 1));
            }
        }
    }
    PowerPlanInfo top[2];
    FindMaxPowerPlan(plans, top);
    StringCchCopyW(day.szPowerPlan1, ARRAYSIZE(day.szPowerPlan1), top[0].szName);
    day.dwPowerPlan1Time = top[0].dwTime;
    StringCchCopyW(day.szPowerPlan2, ARRAYSIZE(day.szPowerPlan2), top[1].szName);
    day.dwPowerPlan2Time = top[1].dwTime;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

BOOL CTotalizeLog::CopyLogDir(LPCWSTR lpSource, LPCWSTR lpDestParent)
{
    return foldertree::CopyTree(lpSource, lpDestParent) == ERROR_SUCCESS;
}

DWORD CTotalizeLog::DeleteIllegalYearlyData(LPCWSTR lpLogDir, LPCWSTR lpBackupDir, const SYSTEMTIME& stStart)
{
    TRACE_ENTER(2);
    return TRACE_LEAVE(RepeatDeleteFile(lpLogDir, lpBackupDir, stStart, LOG_KIND_YEARLY));
}

DWORD CTotalizeLog::DeleteIllegalDailyData(LPCWSTR lpLogDir, LPCWSTR lpBackupDir, const SYSTEMTIME& stStart)
{
    TRACE_ENTER(2);
    if (lpLogDir == nullptr) {
        return TRACE_NULL_ARGUMENT(lpLogDir);
    }
    if (lpBackupDir == nullptr) {
        return TRACE_NULL_ARGUMENT(lpBackupDir);
    }
    WCHAR szStartYear[8];
    StringCchPrintfW(szStartYear, ARRAYSIZE(szStartYear), L"%04u", stStart.wYear);
    WCHAR szPattern[MAX_PATH];
    if (FAILED(StringCchPrintfW(szPattern, ARRAYSIZE(szPattern), L"%s\\????", lpLogDir))) {
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    std::vector<std::wstring> later;
    {
        WIN32_FIND_DATAW fd;
        CScopedFindHandle find(FindFirstFileW(szPattern, &fd));
        if (find.IsValid()) {
            do {
                if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                    && (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && IsYearFolderName(fd.cFileName)
                    && wcscmp(fd.cFileName, szStartYear) > 0) {
                    later.emplace_back(fd.cFileName);
                }
            } while (FindNextFileW(find.Get(), &fd));
        }
    }
    std::sort(later.begin(), later.end());
    for (const std::wstring& year : later) {
        WCHAR szYearDir[MAX_PATH];
        StringCchPrintfW(szYearDir, ARRAYSIZE(szYearDir), L"%s\\%s", lpLogDir, year.c_str());
        CNamedMutexLock lock(m_FileLock, nullptr);
        if (lock.Result() != ERROR_SUCCESS) {
            return TRACE_LEAVE(lock.Result());
        }
        if (!CopyLogDir(szYearDir, lpBackupDir)) {
            TRACE(0, L"CopyDailyFile Failed name is %s.Error: 0x%x.", szYearDir, GetLastError());
            return TRACE_LEAVE(ERROR_WRITE_FAULT);
        }
        if (!CQuoLog::DeleteDir(szYearDir)) {
            TRACE(0, L"DeleteIllegalDailyData Failed name is %s.Error: 0x%x.", szYearDir, GetLastError());
            return TRACE_LEAVE(ERROR_WRITE_FAULT);
        }
    }
    WCHAR szYearDir[MAX_PATH];
    WCHAR szBackupYearDir[MAX_PATH];
    if (FAILED(StringCchPrintfW(szYearDir, ARRAYSIZE(szYearDir), L"%s\\%s", lpLogDir, szStartYear))
        || FAILED(StringCchPrintfW(szBackupYearDir, ARRAYSIZE(szBackupYearDir), L"%s\\%s", lpBackupDir, szStartYear))) {
        return TRACE_LEAVE(ERROR_INVALID_PARAMETER);
    }
    DWORD dwAttributes = GetFileAttributesW(szYearDir);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES || (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    if ((dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        TRACE(0, L"Refused: %s is a link.", szYearDir);
        return TRACE_LEAVE(foldertree::kErrorLinkRefused);
    }
    return TRACE_LEAVE(RepeatDeleteFile(szYearDir, szBackupYearDir, stStart, LOG_KIND_DAILY));
}
