#include "TotalizeRun.h"

#include "QuoLogCore.h"
#include "Trace.h"

CTotalizeRun::CTotalizeRun(CTotalizeLog& log, DWORD dwInterval, const SYSTEMTIME& stStartDay, DWORD dwStartLine,
                           HANDLE hAbort)
    : m_Log(log),
      m_hAbort(hAbort),
      m_Slot(),
      m_bSlotOpen(false),
      m_Temp(),
      m_stCommitDay(CQuoLog::DateOf(stStartDay)),
      m_dwCommitLine(dwStartLine),
      m_stLineDay(CQuoLog::DateOf(stStartDay)),
      m_dwLineInDay(dwStartLine),
      m_bPeriodOpen(false),
      m_PeriodKind(PERIOD_SLEEP),
      m_stPeriodStart(),
      m_dwCapturedCapacity(0),
      m_stSavedDay(),
      m_dwSavedLine(0),
      m_stQueueDay(),
      m_dwQueueLine(0)
{
    m_Temp.dwInterval = dwInterval;
}

bool CTotalizeRun::IsRecovering() const
{
    return m_Log.IsRecoveryFlagSet();
}

DWORD CTotalizeRun::Run(const CLineStore& lines, const SYSTEMTIME& stNow)
{
    TRACE_ENTER(2);
    DWORD dwResult = RunLines(lines, stNow);
    if (dwResult == ERROR_OPERATION_ABORTED) {
        if (m_Log.HasQueuedLines()) {
            m_stCommitDay = m_stQueueDay;
            m_dwCommitLine = m_dwQueueLine;
        }
        m_Log.DropTotalLines();
        return TRACE_LEAVE(dwResult);
    }
    const DWORD dwFlush = FlushSlots();
    return TRACE_LEAVE(dwResult != ERROR_SUCCESS ? dwResult : dwFlush);
}

DWORD CTotalizeRun::RunLines(const CLineStore& lines, const SYSTEMTIME& stNow)
{
    TRACE_ENTER(2);
    for (size_t i = 0; i < lines.Count(); ++i) {
        if (IsRecovering()) {
            return TRACE_LEAVE(ERROR_OPERATION_ABORTED);
        }
        const DWORD dwLine = static_cast<DWORD>(i) + 1;
        QuoLogData r;
        SYSTEMTIME t;
        DWORD dwElapsed = 0;
        if (CTotalizeLog::MapRawLine(lines.Line(i), lines.Length(i), dwLine, &r, &t, &dwElapsed) != ERROR_SUCCESS) {
            TRACE(1, L"Raw line %u is skipped.", dwLine);
            continue;
        }
        const SYSTEMTIME s = CTotalizeLog::SlotOf(t);
        bool bNewSlot = false;
        if (!m_bSlotOpen) {
            m_Slot.stTime = s;
            m_bSlotOpen = true;
        } else {
            bNewSlot = CQuoLog::CompareMinute(m_Slot.stTime, s) != 0;
        }
        if (CQuoLog::CompareDate(t, m_stLineDay) > 0) {
            m_stLineDay = CQuoLog::DateOf(t);
            m_dwLineInDay = 0;
        }
        ++m_dwLineInDay;
        DWORD dwResult = bNewSlot ? OnNewSlot(r, t, s) : OnSameSlot(r, t);
        if (dwResult != ERROR_SUCCESS) {
            return TRACE_LEAVE(dwResult);
        }
    }
    if (IsRecovering()) {
        return TRACE_LEAVE(ERROR_OPERATION_ABORTED);
    }
    if (m_bPeriodOpen) {
        TRACE(1, L"A sleep or power-off is still open: its slot is read again next time.");
        return TRACE_LEAVE(ERROR_SUCCESS);
    }
    // The open slot is written only once the clock has left it.
    if (m_bSlotOpen && CTotalizeLog::IsOtherSlot(stNow, m_Slot.stTime)) {
        DWORD dwResult = WriteSlot();
        if (dwResult != ERROR_SUCCESS) {
            TRACE(0, L"The slot could not be written (code:%u): it is totalized again next time.", dwResult);
            return TRACE_LEAVE(dwResult);
        }
        m_bSlotOpen = false;
        m_stCommitDay = m_stLineDay;
        m_dwCommitLine = m_dwLineInDay;
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CTotalizeRun::OnNewSlot(const QuoLogData& r, const SYSTEMTIME& t, const SYSTEMTIME& s)
{
    DWORD dwResult = ERROR_SUCCESS;
    switch (r.dwPowerStatus) {
    case QUOLOG_POWER_S0:
        if (m_bPeriodOpen && m_PeriodKind == PERIOD_OFF) {
            dwResult = FillPeriod(t, r.dwBatteryCapacity);
        } else {
            dwResult = CloseSlot(s);
            if (dwResult == ERROR_SUCCESS) {
                Commit(m_stLineDay, m_dwLineInDay - 1);
            }
        }
        if (dwResult == ERROR_SUCCESS) {
            m_Log.UpdateS0Info(&m_Slot, r, &m_Temp);
        }
        return dwResult;
    case QUOLOG_POWER_FROM_S3S4:
        if (m_bPeriodOpen) {
            return FillPeriod(t, r.dwBatteryCapacity);
        }
        dwResult = CloseSlot(s);
        if (dwResult == ERROR_SUCCESS) {
            Commit(m_stLineDay, m_dwLineInDay - 1);
        }
        return dwResult;
    case QUOLOG_POWER_TO_S3S4:
    case QUOLOG_POWER_TO_S5:
        dwResult = CloseSlot(s);
        if (dwResult == ERROR_SUCCESS) {
            m_bPeriodOpen = false;
            Commit(m_stLineDay, m_dwLineInDay - 1);
            OpenPeriod(r.dwPowerStatus == QUOLOG_POWER_TO_S3S4 ? PERIOD_SLEEP : PERIOD_OFF, r, t);
        }
        return dwResult;
    default:
        return OnSameSlot(r, t);
    }
}

DWORD CTotalizeRun::OnSameSlot(const QuoLogData& r, const SYSTEMTIME& t)
{
    switch (r.dwPowerStatus) {
    case QUOLOG_POWER_S0:
        if (m_bPeriodOpen && m_PeriodKind == PERIOD_OFF) {
            CreditPeriodInSlot(t, r.dwBatteryCapacity);
        }
        m_Log.UpdateS0Info(&m_Slot, r, &m_Temp);
        break;
    case QUOLOG_POWER_FROM_S3S4:
        if (m_bPeriodOpen) {
            CreditPeriodInSlot(t, r.dwBatteryCapacity);
        }
        break;
    case QUOLOG_POWER_TO_S3S4:
    case QUOLOG_POWER_TO_S5:
        OpenPeriod(r.dwPowerStatus == QUOLOG_POWER_TO_S3S4 ? PERIOD_SLEEP : PERIOD_OFF, r, t);
        break;
    case QUOLOG_POWER_START:
        if (m_bPeriodOpen && m_PeriodKind == PERIOD_SLEEP) {
            TRACE_FUNCTION();
            TRACE(1, L"Started anew during a sleep: the rest of it counts as power-off.");
            m_PeriodKind = PERIOD_OFF;
        }
        break;
    default:
        break;
    }
    return ERROR_SUCCESS;
}

void CTotalizeRun::OpenPeriod(PeriodKind kind, const QuoLogData& r, const SYSTEMTIME& t)
{
    if (m_bPeriodOpen) {
        TRACE_FUNCTION();
        TRACE(1, L"A new sleep or power-off begins before the last one ended; the last one is dropped.");
    }
    m_bPeriodOpen = true;
    m_PeriodKind = kind;
    m_stPeriodStart = t;
    m_dwCapturedCapacity = r.dwBatteryCapacity;
    m_stSavedDay = m_stLineDay;
    m_dwSavedLine = m_dwLineInDay - 1;
}

DWORD CTotalizeRun::Gain(DWORD dwCapacity) const
{
    return (dwCapacity > m_dwCapturedCapacity) ? dwCapacity - m_dwCapturedCapacity : 0;
}

void CTotalizeRun::AddPeriodTime(DWORD d)
{
    if (m_PeriodKind == PERIOD_SLEEP) {
        m_Slot.dwS3S4Time += d;
    } else {
        m_Slot.dwS5Time += d;
    }
    CTotalizeLog::UpdatePlanInfo(m_Temp.plans, L"", d * 1000);
}

void CTotalizeRun::CreditPeriodInSlot(const SYSTEMTIME& t, DWORD dwCapacity)
{
    DWORD d = (CQuoLog::CompareTime(m_stPeriodStart, t) < 0) ? CTotalizeLog::CalculateTime(m_stPeriodStart, t) : 0;
    AddPeriodTime(d);
    m_Slot.ullPCEnergy += static_cast<ULONGLONG>(Gain(dwCapacity) * m_Log.GetPCWatDiscount());
    m_bPeriodOpen = false;
    m_dwCapturedCapacity = 0;
}

void CTotalizeRun::AccountPiece(const SYSTEMTIME& stFrom, const SYSTEMTIME& stTo, DWORD d, DWORD D, DWORD dwGain)
{
    AddPeriodTime(d);
    DWORD dwShareTime = d;
    if (m_Log.IsPksEnabled()) {
        // Charging is prevented only in the window of the period's first day.
        if (CTotalizeLog::CompareSystime(m_stPeriodStart, stFrom, CTotalizeLog::kCompareDate) != CTotalizeLog::kEarlier) {
            dwShareTime = m_Log.CalculateBattChrgPrvntTime(stFrom, stTo, d);
        } else {
            m_Log.DisablePks();
        }
    }
    if (D != 0) {
        // The share of the piece by integer division, as the pieces' shares add up to
        // at most the gain.
        DWORD dwShare = static_cast<DWORD>(static_cast<ULONGLONG>(dwShareTime) * dwGain / D);
        m_Slot.ullPCEnergy += static_cast<ULONGLONG>(dwShare * m_Log.GetPCWatDiscount());
    }
}

DWORD CTotalizeRun::FillPeriod(const SYSTEMTIME& t, DWORD dwCapacity)
{
    TRACE_ENTER(2);
    SYSTEMTIME T = m_stPeriodStart;
    const DWORD dwGain = Gain(dwCapacity);
    DWORD D = CTotalizeLog::CalculateTime(T, t);
    if (m_Log.IsPksEnabled()) {
        D = m_Log.CalculateBattChrgPrvntTime(T, t, D);
    }
    bool bFirstSlot = true;
    while (CTotalizeLog::IsOtherSlot(T, t) && CQuoLog::CompareTime(T, t) < 0) {
        if (IsRecovering()) {
            return TRACE_LEAVE(ERROR_OPERATION_ABORTED);
        }
        SYSTEMTIME e = m_Slot.stTime;
        if (!CQuoLog::OffsetMinute(&e, 30)) {
            break;
        }
        AccountPiece(T, e, CTotalizeLog::CalculateTime(T, e), D, dwGain);
        T = e;
        DWORD dwResult = CloseSlot(T);
        if (dwResult != ERROR_SUCCESS) {
            return TRACE_LEAVE(dwResult);
        }
        if (bFirstSlot) {
            // The lines of the period's first slot before it began are in its line now.
            m_stCommitDay = m_stSavedDay;
            m_dwCommitLine = m_dwSavedLine;
            bFirstSlot = false;
        }
    }
    if (IsRecovering()) {
        return TRACE_LEAVE(ERROR_OPERATION_ABORTED);
    }
    DWORD d = (CQuoLog::CompareTime(T, t) < 0) ? CTotalizeLog::CalculateTime(T, t) : 0;
    AccountPiece(T, t, d, D, dwGain);
    m_bPeriodOpen = false;
    m_dwCapturedCapacity = 0;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CTotalizeRun::CloseSlot(const SYSTEMTIME& stNext)
{
    TRACE_ENTER(2);
    // A slot that could not be written is never dropped: the read position stays before
    // it and the next run totals it again.
    DWORD dwResult = WriteSlot();
    if (dwResult != ERROR_SUCCESS) {
        TRACE(0, L"The slot could not be written (code:%u): it is totalized again next time.", dwResult);
        return TRACE_LEAVE(dwResult);
    }
    m_Slot.stTime = stNext;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD CTotalizeRun::WriteSlot()
{
    if (!m_Log.IsQueuedFile(m_Slot.stTime, CCSVOperator::LOG_KIND_DAILY)) {
        DWORD dwResult = FlushSlots();
        if (dwResult != ERROR_SUCCESS) {
            return dwResult;
        }
    }
    if (!m_Log.HasQueuedLines()) {
        m_stQueueDay = m_stCommitDay;
        m_dwQueueLine = m_dwCommitLine;
    }
    return m_Log.WriteDailyLog(&m_Slot, &m_Temp);
}

DWORD CTotalizeRun::FlushSlots()
{
    if (!m_Log.HasQueuedLines()) {
        return ERROR_SUCCESS;
    }
    DWORD dwResult = m_Log.FlushTotalLines(m_hAbort);
    if (dwResult != ERROR_SUCCESS) {
        TRACE_FUNCTION();
        TRACE(0, L"The slots could not be written (code:%u): they are totalized again next time.", dwResult);
        m_stCommitDay = m_stQueueDay;
        m_dwCommitLine = m_dwQueueLine;
    }
    return dwResult;
}

void CTotalizeRun::Commit(const SYSTEMTIME& stDay, DWORD dwLine)
{
    if (!m_bPeriodOpen) {
        m_stCommitDay = stDay;
        m_dwCommitLine = dwLine;
    }
}
