// Calendar helpers of the viewer.
#include "QuoViewer_Common.h"

#include <new>

#include "Trace.h"

namespace {

const WORD kFirstCalendarYear = 1601;   // the first year FILETIME can hold
const WORD kLastCalendarYear = 30827;   // the last year SYSTEMTIME can hold
const ULONGLONG kTicksPerDay = 864000000000ULL;  // 100 ns ticks

// A running day number of the proleptic Gregorian calendar (years counted from March).
LONGLONG DayNumber(WORD wYear, WORD wMonth, WORD wDay)
{
    LONGLONG y = wYear;
    LONGLONG m = wMonth;
    if (m <= 2) {
        y -= 1;
        m += 12;
    }
    return 365 * y + y / 4 - y / 100 + y / 400 + (153 * (m - 3) + 2) / 5 + wDay;
}

}  // namespace

SYSTEMTIME DefaultPastLimitDate()
{
    return MakeDate(2009, 1, 1);
}

bool IsLeapYear(WORD wYear)
{
    return (wYear % 400 == 0) || (wYear % 4 == 0 && wYear % 100 != 0);
}

WORD LastDayOfMonth(WORD wYear, WORD wMonth)
{
    static const WORD kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (wMonth < 1 || wMonth > 12) {
        return 0;
    }
    return (wMonth == 2 && IsLeapYear(wYear)) ? 29 : kDays[wMonth - 1];
}

bool IsCalendarDate(const SYSTEMTIME& st)
{
    return st.wYear >= kFirstCalendarYear && st.wYear <= kLastCalendarYear && st.wDay >= 1 &&
           st.wDay <= LastDayOfMonth(st.wYear, st.wMonth);
}

WORD DayOfWeekOf(const SYSTEMTIME& st)
{
    // Day numbers of Sundays leave 5 when divided by 7 (1 January 2012: 734809).
    return static_cast<WORD>((DayNumber(st.wYear, st.wMonth, st.wDay) + 2) % 7);
}

int CompareDate(const SYSTEMTIME& a, const SYSTEMTIME& b)
{
    if (a.wYear != b.wYear) {
        return (a.wYear < b.wYear) ? -1 : 1;
    }
    if (a.wMonth != b.wMonth) {
        return (a.wMonth < b.wMonth) ? -1 : 1;
    }
    if (a.wDay != b.wDay) {
        return (a.wDay < b.wDay) ? -1 : 1;
    }
    return 0;
}

SYSTEMTIME MakeDate(WORD wYear, WORD wMonth, WORD wDay)
{
    SYSTEMTIME st = {};
    st.wYear = wYear;
    st.wMonth = wMonth;
    st.wDay = wDay;
    if (IsCalendarDate(st)) {
        st.wDayOfWeek = DayOfWeekOf(st);
    }
    return st;
}

DWORD GetSpanTimeDate(int nDays, const SYSTEMTIME* pSysTimeSrc, SYSTEMTIME* pSysTimeOut)
{
    TRACE_ENTER(1);
    if (pSysTimeSrc == nullptr) {
        return TRACE_NULL_ARGUMENT(pSysTimeSrc);
    }
    if (pSysTimeOut == nullptr) {
        return TRACE_NULL_ARGUMENT(pSysTimeOut);
    }

    FILETIME ft = {};
    if (!SystemTimeToFileTime(pSysTimeSrc, &ft)) {
        TRACE(0, L"Fail to GetAsSystemTime(). DateTimeStatus: %d.", 1);
        return TRACE_LEAVE(ERROR_INTERNAL_ERROR);
    }
    ULARGE_INTEGER ticks;
    ticks.LowPart = ft.dwLowDateTime;
    ticks.HighPart = ft.dwHighDateTime;
    const ULONGLONG ullSpan = static_cast<ULONGLONG>(nDays < 0 ? -static_cast<LONGLONG>(nDays) : nDays) * kTicksPerDay;
    if (nDays < 0 && ticks.QuadPart < ullSpan) {
        TRACE(0, L"Fail to GetAsSystemTime(). DateTimeStatus: %d.", 1);
        return TRACE_LEAVE(ERROR_INTERNAL_ERROR);
    }
    ticks.QuadPart = (nDays < 0) ? ticks.QuadPart - ullSpan : ticks.QuadPart + ullSpan;
    ft.dwLowDateTime = ticks.LowPart;
    ft.dwHighDateTime = ticks.HighPart;

    SYSTEMTIME st = {};
    if (!FileTimeToSystemTime(&ft, &st)) {
        TRACE(0, L"Fail to GetAsSystemTime(). DateTimeStatus: %d.", 1);
        return TRACE_LEAVE(ERROR_INTERNAL_ERROR);
    }
    *pSysTimeOut = st;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

DWORD GetSpanTimeMonth(int nMonths, const SYSTEMTIME* pSysTimeSrc, SYSTEMTIME* pSysTimeOut)
{
    TRACE_ENTER(1);
    if (pSysTimeSrc == nullptr) {
        return TRACE_NULL_ARGUMENT(pSysTimeSrc);
    }
    if (pSysTimeOut == nullptr) {
        return TRACE_NULL_ARGUMENT(pSysTimeOut);
    }

    if (pSysTimeSrc->wMonth < 1 || pSysTimeSrc->wMonth > 12) {
        TRACE(0, L"Failt to GetLastDayOfMonth(). Invalid LastDay: %d.", 0);
        return TRACE_LEAVE(ERROR_INTERNAL_ERROR);
    }
    // Months counted from January of year 0, so that any count steps correctly.
    const LONGLONG llIndex = static_cast<LONGLONG>(pSysTimeSrc->wYear) * 12 + (pSysTimeSrc->wMonth - 1) + nMonths;
    const LONGLONG llYear = (llIndex >= 0) ? llIndex / 12 : -1;
    if (llYear < kFirstCalendarYear || llYear > kLastCalendarYear) {
        TRACE(0, L"Fail to GetAsSystemTime(). DateTimeStatus: %d.", 1);
        return TRACE_LEAVE(ERROR_INTERNAL_ERROR);
    }
    const WORD wYear = static_cast<WORD>(llYear);
    const WORD wMonth = static_cast<WORD>(llIndex % 12 + 1);
    const WORD wLastDay = LastDayOfMonth(wYear, wMonth);
    if (wLastDay < 28 || wLastDay > 31) {
        TRACE(0, L"Failt to GetLastDayOfMonth(). Invalid LastDay: %d.", wLastDay);
        return TRACE_LEAVE(ERROR_INTERNAL_ERROR);
    }
    pSysTimeOut->wYear = wYear;
    pSysTimeOut->wMonth = wMonth;
    pSysTimeOut->wDay = (pSysTimeSrc->wDay < wLastDay) ? pSysTimeSrc->wDay : wLastDay;
    return TRACE_LEAVE(ERROR_SUCCESS);
}

BOOL IsValidDateOn(const SYSTEMTIME* pSysTime, const SYSTEMTIME* pPastLimit, const SYSTEMTIME& stToday)
{
    TRACE_ENTER(2);
    if (pSysTime == nullptr) {
        TRACE(0, L"%s is NULL.", L"pSysTime");
        return TRACE_LEAVE_VALUE(FALSE);
    }
    SYSTEMTIME stLimit = (pPastLimit != nullptr) ? *pPastLimit : DefaultPastLimitDate();
    if (!IsCalendarDate(stLimit)) {
        TRACE(0, L"stPastLimitDate is invalid. nStatus: %d.", 1);
        stLimit = MakeDate(stToday.wYear, 1, 1);
        TRACE(0, L"stPastLimitDate is renewed by %d/%d/%d.", stLimit.wYear, stLimit.wMonth, stLimit.wDay);
        if (!IsCalendarDate(stLimit) || !IsCalendarDate(stToday)) {
            TRACE(0, L"stPastLimitDate is invalid (Maybe fail to GetLocalTime()). nState: %d.", 1);
            return TRACE_LEAVE_VALUE(FALSE);
        }
    }
    if (!IsCalendarDate(*pSysTime)) {
        TRACE(0, L"pSysTime is invalid. nState: %d.", 1);
        return TRACE_LEAVE_VALUE(FALSE);
    }
    const BOOL bValid = IsCalendarDate(stToday) && CompareDate(*pSysTime, stToday) <= 0 &&
                        CompareDate(*pSysTime, stLimit) >= 0;
    return TRACE_LEAVE_VALUE(bValid);
}

BOOL IsValidDate(const SYSTEMTIME* pSysTime, const SYSTEMTIME* pPastLimit)
{
    SYSTEMTIME stToday = {};
    GetLocalTime(&stToday);
    return IsValidDateOn(pSysTime, pPastLimit, stToday);
}

DWORD AddPairToMap(std::map<std::wstring, DWORD>* pMap, LPCWSTR lpName, DWORD dwValue)
{
    TRACE_ENTER(2);
    if (pMap == nullptr) {
        return TRACE_NULL_ARGUMENT(pMap);
    }
    if (lpName == nullptr) {
        return TRACE_NULL_ARGUMENT(lpName);
    }
    try {
        auto result = pMap->emplace(lpName, dwValue);
        if (!result.second) {
            DWORD& dwSum = result.first->second;
            dwSum = (dwSum > MAXDWORD - dwValue) ? MAXDWORD : dwSum + dwValue;
        }
    } catch (const std::bad_alloc&) {
        return TRACE_LEAVE(ERROR_NOT_ENOUGH_MEMORY);
    }
    return TRACE_LEAVE(ERROR_SUCCESS);
}
