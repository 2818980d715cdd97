// The periods of the log analysis pane.
#include "LogPeriod.h"

#include "LogGraphMath.h"
#include "QuoViewer_Common.h"
#include "Trace.h"

namespace {

// A calendar step that cannot leave the calendar for a shown date; a failed step keeps
// the date (the buttons then lead nowhere new).
SYSTEMTIME StepDays(const SYSTEMTIME& st, int nDays)
{
    SYSTEMTIME out = st;
    GetSpanTimeDate(nDays, &st, &out);
    return out;
}

}  // namespace

int YearStepDays(const SYSTEMTIME& stDate, int nDirection)
{
    const WORD y = stDate.wYear;
    const WORD m = stDate.wMonth;
    bool bCrosses = false;
    if (nDirection >= 0) {
        const bool bBefore29Feb = m < 2 || (m == 2 && stDate.wDay < 29);
        bCrosses = (IsLeapYear(y) && bBefore29Feb) || (IsLeapYear(static_cast<WORD>(y + 1)) && m > 2);
    } else {
        const bool bFrom29Feb = m >= 3 || (m == 2 && stDate.wDay == 29);
        bCrosses = (IsLeapYear(y) && bFrom29Feb) || (IsLeapYear(static_cast<WORD>(y - 1)) && m < 3);
    }
    return bCrosses ? 366 : 365;
}

DWORD GetLogPeriod(DWORD dwMode, const SYSTEMTIME& stCurrent, QVPeriod* pPeriod)
{
    TRACE_ENTER(1);
    if (pPeriod == nullptr) {
        return TRACE_NULL_ARGUMENT(pPeriod);
    }
    if (!IsCalendarDate(stCurrent)) {
        TRACE(0, L"pSysTime is invalid. nState: %d.", 1);
        return TRACE_LEAVE(ERROR_INTERNAL_ERROR);
    }
    const WORD y = stCurrent.wYear;
    const WORD m = stCurrent.wMonth;
    QVPeriod period;
    switch (dwMode) {
    case QV_LOGMODE_WEEK: {
        const int nDow = DayOfWeekOf(stCurrent);
        period.stFirst = StepDays(stCurrent, -nDow);
        period.stLast = StepDays(stCurrent, 6 - nDow);
        period.stPrevious = StepDays(period.stLast, -7);
        period.stFollowing = StepDays(period.stFirst, 7);
        break;
    }
    case QV_LOGMODE_MONTH:
        period.stFirst = MakeDate(y, m, 1);
        period.stLast = MakeDate(y, m, LastDayOfMonth(y, m));
        period.stPrevious = StepDays(period.stFirst, -1);
        period.stFollowing = StepDays(period.stLast, 1);
        break;
    case QV_LOGMODE_YEAR:
        period.stFirst = MakeDate(y, 1, 1);
        period.stLast = MakeDate(y, 12, 31);
        period.stPrevious = StepDays(period.stFirst, -1);
        period.stFollowing = StepDays(period.stLast, 1);
        break;
    default:
        period.stFirst = MakeDate(y, m, stCurrent.wDay);
        period.stLast = period.stFirst;
        period.stPrevious = StepDays(period.stFirst, -1);
        period.stFollowing = StepDays(period.stFirst, 1);
        break;
    }
    *pPeriod = period;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD ChangeLogDate(DWORD dwMode, int nDirection, const SYSTEMTIME& stSrc, const SYSTEMTIME& stPastLimit,
                    const SYSTEMTIME& stToday, SYSTEMTIME* pOut)
{
    TRACE_ENTER(1);
    if (pOut == nullptr) {
        return TRACE_NULL_ARGUMENT(pOut);
    }
    const int nSign = (nDirection >= 0) ? 1 : -1;
    SYSTEMTIME stFrom = stSrc;
    if (!IsValidDateOn(&stFrom, &stPastLimit, stToday)) {
        stFrom = stToday;
    }
    SYSTEMTIME stTo = stFrom;
    DWORD dwRet = ERROR_SUCCESS;
    switch (dwMode) {
    case QV_LOGMODE_DAY:
        dwRet = GetSpanTimeDate(nSign, &stFrom, &stTo);
        if (dwRet != ERROR_SUCCESS) {
            TRACE(0, L"Fail to GetSpanTimeDate(DAILY). dwRet: %08x.", dwRet);
        }
        break;
    case QV_LOGMODE_WEEK:
        dwRet = GetSpanTimeDate(7 * nSign, &stFrom, &stTo);
        if (dwRet != ERROR_SUCCESS) {
            TRACE(0, L"Fail to GetSpanTimeDate(WEEKLY). dwRet: %08x.", dwRet);
        }
        break;
    case QV_LOGMODE_MONTH:
        dwRet = GetSpanTimeMonth(nSign, &stFrom, &stTo);
        if (dwRet != ERROR_SUCCESS) {
            TRACE(0, L"Fail to GetSpanTimeMonth(MONTHLY). dwRet: %08x.", dwRet);
        }
        break;
    case QV_LOGMODE_YEAR:
        dwRet = GetSpanTimeDate(YearStepDays(stFrom, nSign) * nSign, &stFrom, &stTo);
        if (dwRet != ERROR_SUCCESS) {
            TRACE(0, L"Fail to GetSpanTimeDate(YEARLY). dwRet: %08x.", dwRet);
        }
        break;
    default:
        dwRet = GetSpanTimeDate(nSign, &stFrom, &stTo);
        if (dwRet != ERROR_SUCCESS) {
            TRACE(0, L"Fail to GetSpanTimeDate(DAILY (default)). dwRet: %08x.", dwRet);
        }
        break;
    }
    if (dwRet != ERROR_SUCCESS) {
        return TRACE_LEAVE(dwRet);
    }
    if (!IsValidDateOn(&stTo, &stPastLimit, stToday)) {
        stTo = (nSign < 0) ? stPastLimit : stToday;
    }
    *pOut = MakeDate(stTo.wYear, stTo.wMonth, stTo.wDay);
    return TRACE_LEAVE(ERROR_SUCCESS);
}

QVNavButtons GetNavButtons(DWORD dwMode, const SYSTEMTIME& stCurrent, const SYSTEMTIME& stPastLimit,
                           const SYSTEMTIME& stToday)
{
    QVNavButtons buttons;
    QVPeriod period;
    if (GetLogPeriod(dwMode, stCurrent, &period) != ERROR_SUCCESS) {
        return buttons;
    }
    buttons.bPrevious = IsValidDateOn(&period.stPrevious, &stPastLimit, stToday) != FALSE;
    buttons.bFollowing = IsValidDateOn(&period.stFollowing, &stPastLimit, stToday) != FALSE;
    return buttons;
}

SYSTEMTIME PastLimitForYear(DWORD dwConfiguredYear, const SYSTEMTIME& stToday)
{
    const WORD wYear = (dwConfiguredYear < stToday.wYear) ? static_cast<WORD>(dwConfiguredYear) : stToday.wYear;
    const SYSTEMTIME stLimit = MakeDate(wYear, 1, 1);
    // A year the calendar cannot hold means this year, as a date check would renew it.
    return IsCalendarDate(stLimit) ? stLimit : MakeDate(stToday.wYear, 1, 1);
}

bool IsLogRefreshMinute(WORD wMinute, DWORD dwDelay)
{
    return wMinute == dwDelay || wMinute == dwDelay + 30;
}
