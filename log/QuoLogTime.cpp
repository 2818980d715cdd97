// The date operations of the log library (CQuoLogTime): pure functions on SYSTEMTIME
// values and their texts.
#include "QuoLogTime.h"

#include <algorithm>

#include <strsafe.h>

#include "CSVOperator.h"
#include "Trace.h"

namespace {

const WORD kMinYear = 1601;
const WORD kMaxYear = 9999;
const SYSTEMTIME kFallbackTime = {2000, 1, 0, 1, 0, 0, 0, 0};
const WORD kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
const LONGLONG kFileTimeUnitsPerSecond = 1000LL * 1000 * 10;
const LONGLONG kFileTimeUnitsPerMinute = 60 * kFileTimeUnitsPerSecond;

bool IsLeapYear(DWORD dwYear)
{
    return (dwYear % 4 == 0 && dwYear % 100 != 0) || dwYear % 400 == 0;
}

// The next token of lpCursor: a run of characters none of which is in lpDelimiters,
// after skipping delimiters; one delimiter after it is consumed.
bool NextToken(LPCWSTR& lpCursor, LPCWSTR lpDelimiters, LPCWSTR& lpToken, size_t& cchToken)
{
    while (*lpCursor != L'\0' && wcschr(lpDelimiters, *lpCursor) != nullptr) {
        ++lpCursor;
    }
    if (*lpCursor == L'\0') {
        return false;
    }
    lpToken = lpCursor;
    while (*lpCursor != L'\0' && wcschr(lpDelimiters, *lpCursor) == nullptr) {
        ++lpCursor;
    }
    cchToken = static_cast<size_t>(lpCursor - lpToken);
    if (*lpCursor != L'\0') {
        ++lpCursor;
    }
    return true;
}

// The number a token starts with, as a wide ato-integer conversion reads it (leading
// blanks, a sign, digits up to the first other character); -1 when it is negative or
// beyond what a SYSTEMTIME field holds.
LONG TokenNumber(LPCWSTR lpToken, size_t cchToken)
{
    size_t i = 0;
    while (i < cchToken && (lpToken[i] == L' ' || lpToken[i] == L'\t')) {
        ++i;
    }
    bool bNegative = false;
    if (i < cchToken && (lpToken[i] == L'+' || lpToken[i] == L'-')) {
        bNegative = (lpToken[i] == L'-');
        ++i;
    }
    LONG lValue = 0;
    for (; i < cchToken && lpToken[i] >= L'0' && lpToken[i] <= L'9'; ++i) {
        lValue = lValue * 10 + (lpToken[i] - L'0');
        if (lValue > 0xFFFF) {
            return -1;
        }
    }
    return (bNegative && lValue != 0) ? -1 : lValue;
}

// Reads up to nFields numbers split by lpDelimiters; missing fields stay 0. False when
// a number does not fit a field.
bool ReadFields(LPCWSTR& lpCursor, LPCWSTR lpDelimiters, WORD* pFields[], size_t nFields)
{
    for (size_t i = 0; i < nFields; ++i) {
        LPCWSTR lpToken = nullptr;
        size_t cchToken = 0;
        if (!NextToken(lpCursor, lpDelimiters, lpToken, cchToken)) {
            return true;
        }
        LONG lValue = TokenNumber(lpToken, cchToken);
        if (lValue < 0) {
            return false;
        }
        *pFields[i] = static_cast<WORD>(lValue);
    }
    return true;
}

// Days from 1970-01-01 to a proleptic Gregorian date, and back.
LONGLONG DaysFromCivil(LONGLONG y, unsigned m, unsigned d)
{
    y -= (m <= 2) ? 1 : 0;
    const LONGLONG era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<LONGLONG>(doe) - 719468;
}

void CivilFromDays(LONGLONG z, LONGLONG& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const LONGLONG era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<LONGLONG>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
}

bool IsValidDate(const SYSTEMTIME& st)
{
    return st.wYear >= kMinYear && st.wYear <= kMaxYear && st.wMonth >= 1 && st.wMonth <= 12 && st.wDay >= 1
        && st.wDay <= CQuoLogTime::MonthDaysFromYMD(&st);
}

// The fields of a time, most significant first, and the ranges the comparisons look at.
const size_t kFirstDateField = 0;
const size_t kFirstTimeOfDayField = 3;
const size_t kEndMinuteFields = 5;
const size_t kEndFields = 7;

// -1, 0 or 1 as a's fields [nFirst, nEnd) are earlier, the same or later than b's: the
// most significant field that differs decides.
int CompareFields(const SYSTEMTIME& a, const SYSTEMTIME& b, size_t nFirst, size_t nEnd)
{
    const WORD fieldsA[kEndFields] = {a.wYear, a.wMonth, a.wDay, a.wHour, a.wMinute, a.wSecond, a.wMilliseconds};
    const WORD fieldsB[kEndFields] = {b.wYear, b.wMonth, b.wDay, b.wHour, b.wMinute, b.wSecond, b.wMilliseconds};
    for (size_t i = nFirst; i < nEnd; ++i) {
        if (fieldsA[i] != fieldsB[i]) {
            return (fieldsA[i] > fieldsB[i]) ? 1 : -1;
        }
    }
    return 0;
}

// A local time in file-time units (100 ns since 1601); false when the system cannot
// convert it.
bool ToFileTimeUnits(const SYSTEMTIME& st, ULONGLONG* pullUnits)
{
    FILETIME ft;
    if (!SystemTimeToFileTime(&st, &ft)) {
        return false;
    }
    *pullUnits = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return true;
}

}  // namespace

BOOL CQuoLogTime::IsValidSystime(const SYSTEMTIME* lpTime)
{
    return lpTime != nullptr && IsValidDate(*lpTime) && lpTime->wHour < 24 && lpTime->wMinute < 60
        && lpTime->wSecond < 60 && lpTime->wMilliseconds < 1000;
}

BOOL CQuoLogTime::ConvertStrToSystime(LPCWSTR lpText, SYSTEMTIME* lpTime)
{
    if (lpTime == nullptr) {
        return FALSE;
    }
    SYSTEMTIME st = {};
    if (lpText != nullptr) {
        LPCWSTR lpCursor = lpText;
        WORD* date[] = {&st.wYear, &st.wMonth, &st.wDay};
        WORD* time[] = {&st.wHour, &st.wMinute, &st.wSecond, &st.wMilliseconds};
        if (ReadFields(lpCursor, L"/,", date, ARRAYSIZE(date))
            && ReadFields(lpCursor, L":.", time, ARRAYSIZE(time)) && IsValidSystime(&st)) {
            *lpTime = st;
            return TRUE;
        }
    }
    *lpTime = kFallbackTime;
    return FALSE;
}

BOOL CQuoLogTime::ConvertStampToSystime(const CellSpan& date, const CellSpan& time, SYSTEMTIME* lpTime)
{
    WCHAR szStamp[2 * CLineCursor::kMaxChars + 2];
    const size_t cchDate = std::min(date.cch, CLineCursor::kMaxChars);
    const size_t cchTime = std::min(time.cch, CLineCursor::kMaxChars);
    std::copy(date.lpText, date.lpText + cchDate, szStamp);
    szStamp[cchDate] = L',';
    std::copy(time.lpText, time.lpText + cchTime, szStamp + cchDate + 1);
    szStamp[cchDate + 1 + cchTime] = L'\0';
    return ConvertStrToSystime(szStamp, lpTime);
}

BOOL CQuoLogTime::ConvertStrToDate(LPCWSTR lpText, SYSTEMTIME* lpTime)
{
    if (lpTime == nullptr) {
        return FALSE;
    }
    SYSTEMTIME st = {};
    if (lpText != nullptr) {
        LPCWSTR lpCursor = lpText;
        WORD* date[] = {&st.wYear, &st.wMonth, &st.wDay};
        if (ReadFields(lpCursor, L"/,", date, ARRAYSIZE(date)) && IsValidDate(st)) {
            *lpTime = st;
            return TRUE;
        }
    }
    *lpTime = kFallbackTime;
    return FALSE;
}

int CQuoLogTime::CompareDate(const SYSTEMTIME& a, const SYSTEMTIME& b)
{
    return CompareFields(a, b, kFirstDateField, kFirstTimeOfDayField);
}

int CQuoLogTime::CompareMinute(const SYSTEMTIME& a, const SYSTEMTIME& b)
{
    return CompareFields(a, b, kFirstDateField, kEndMinuteFields);
}

int CQuoLogTime::CompareTime(const SYSTEMTIME& a, const SYSTEMTIME& b)
{
    return CompareFields(a, b, kFirstDateField, kEndFields);
}

int CQuoLogTime::CompareSystime(const SYSTEMTIME& a, const SYSTEMTIME& b, DWORD dwFlags)
{
    int n = 0;
    if ((dwFlags & kCompareDate) != 0) {
        n = CompareFields(a, b, kFirstDateField, kFirstTimeOfDayField);
    }
    if (n == 0 && (dwFlags & kCompareTimeOfDay) != 0) {
        n = CompareFields(a, b, kFirstTimeOfDayField, kEndFields);
    }
    return (n > 0) ? kLater : (n < 0) ? kEarlier : kSame;
}

SYSTEMTIME CQuoLogTime::MakeDate(WORD wYear, WORD wMonth, WORD wDay)
{
    SYSTEMTIME st = {};
    st.wYear = wYear;
    st.wMonth = wMonth;
    st.wDay = wDay;
    return st;
}

SYSTEMTIME CQuoLogTime::DateOf(const SYSTEMTIME& t)
{
    return MakeDate(t.wYear, t.wMonth, t.wDay);
}

SYSTEMTIME CQuoLogTime::CarryDate(const SYSTEMTIME& t)
{
    SYSTEMTIME st = DateOf(t);
    const WORD wDays = MonthDaysFromYMD(&st);
    if (st.wDay > wDays) {
        st.wDay = static_cast<WORD>(st.wDay - wDays);
        if (++st.wMonth > 12) {
            st.wMonth = 1;
            ++st.wYear;
        }
    }
    return st;
}

BOOL CQuoLogTime::IsOtherSlot(const SYSTEMTIME& a, const SYSTEMTIME& b)
{
    return a.wYear != b.wYear || a.wMonth != b.wMonth || a.wDay != b.wDay || a.wHour != b.wHour
        || ((a.wMinute >= 30) != (b.wMinute >= 30));
}

SYSTEMTIME CQuoLogTime::SlotOf(const SYSTEMTIME& t)
{
    SYSTEMTIME s = t;
    s.wMinute = (t.wMinute < 30) ? 0 : 30;
    s.wSecond = 0;
    s.wMilliseconds = 0;
    s.wDayOfWeek = 0;
    return s;
}

BOOL CQuoLogTime::OffsetDay(const SYSTEMTIME* lpSource, SYSTEMTIME* lpDest, LONG nDays)
{
    if (lpSource == nullptr || lpDest == nullptr || !IsValidDate(*lpSource)) {
        return FALSE;
    }
    LONGLONG llDays = DaysFromCivil(lpSource->wYear, lpSource->wMonth, lpSource->wDay) + nDays;
    LONGLONG llYear = 0;
    unsigned uMonth = 0;
    unsigned uDay = 0;
    CivilFromDays(llDays, llYear, uMonth, uDay);
    if (llYear < kMinYear || llYear > kMaxYear) {
        return FALSE;
    }
    *lpDest = MakeDate(static_cast<WORD>(llYear), static_cast<WORD>(uMonth), static_cast<WORD>(uDay));
    return TRUE;
}

BOOL CQuoLogTime::OffsetMinute(SYSTEMTIME* lpTime, LONG nMinutes)
{
    ULONGLONG ullUnits = 0;
    if (!IsValidSystime(lpTime) || !ToFileTimeUnits(*lpTime, &ullUnits)) {
        return FALSE;
    }
    LONGLONG llDelta = static_cast<LONGLONG>(nMinutes) * kFileTimeUnitsPerMinute;
    if (llDelta < 0 && ullUnits < static_cast<ULONGLONG>(-llDelta)) {
        return FALSE;
    }
    ullUnits += static_cast<ULONGLONG>(llDelta);
    FILETIME ft = {static_cast<DWORD>(ullUnits), static_cast<DWORD>(ullUnits >> 32)};
    SYSTEMTIME st;
    if (!FileTimeToSystemTime(&ft, &st) || st.wYear > kMaxYear) {
        return FALSE;
    }
    *lpTime = st;
    return TRUE;
}

ULONGLONG CQuoLogTime::DaysBetween(const SYSTEMTIME& a, const SYSTEMTIME& b)
{
    if (!IsValidDate(a) || !IsValidDate(b)) {
        return ~0ULL;
    }
    return static_cast<ULONGLONG>(DaysFromCivil(b.wYear, b.wMonth, b.wDay) - DaysFromCivil(a.wYear, a.wMonth, a.wDay));
}

DWORD CQuoLogTime::CalculateTime(const SYSTEMTIME& stStart, const SYSTEMTIME& stEnd)
{
    TRACE_FUNCTION();
    TRACE(2, L"QUOLOG:CALC_TIME: lpStartTime(%04lu/%02lu/%02lu,%02lu:%02lu:%02lu)", stStart.wYear, stStart.wMonth,
          stStart.wDay, stStart.wHour, stStart.wMinute, stStart.wSecond);
    TRACE(2, L"QUOLOG:CALC_TIME: lpEndTime  (%04lu/%02lu/%02lu,%02lu:%02lu:%02lu)", stEnd.wYear, stEnd.wMonth,
          stEnd.wDay, stEnd.wHour, stEnd.wMinute, stEnd.wSecond);
    ULONGLONG ullStart = 0;
    ULONGLONG ullEnd = 0;
    DWORD dwSeconds = 0;
    if (ToFileTimeUnits(stStart, &ullStart) && ToFileTimeUnits(stEnd, &ullEnd)) {
        const ULONGLONG ullDiff = (ullEnd > ullStart) ? ullEnd - ullStart : ullStart - ullEnd;
        dwSeconds = static_cast<DWORD>(std::min<ULONGLONG>(ullDiff / kFileTimeUnitsPerSecond, 0xFFFFFFFFULL));
    }
    TRACE(2, L"QUOLOG:CALC_TIME: TargetTime:%lu[sec].", dwSeconds);
    return dwSeconds;
}

WORD CQuoLogTime::MonthDaysFromYMD(const SYSTEMTIME* lpTime)
{
    TRACE_FUNCTION();
    if (lpTime == nullptr) {
        return 31;
    }
    if (lpTime->wMonth < 1 || lpTime->wMonth > 12) {
        TRACE(0, L"CQuoLogTime::MonthDaysFromYMD: Invalid wMonth: %u. default return 31.", lpTime->wMonth);
        return 31;
    }
    if (lpTime->wMonth == 2 && IsLeapYear(lpTime->wYear)) {
        return 29;
    }
    return kMonthDays[lpTime->wMonth - 1];
}

WORD CQuoLogTime::GetDayOfWeek(const SYSTEMTIME* lpTime)
{
    if (lpTime == nullptr) {
        return 0;
    }
    DWORD dwDayOfYear = lpTime->wDay;
    SYSTEMTIME stMonth = *lpTime;
    WORD wMonths = (lpTime->wMonth > 13) ? 13 : lpTime->wMonth;
    for (WORD wMonth = 1; wMonth < wMonths; ++wMonth) {
        stMonth.wMonth = wMonth;
        dwDayOfYear += MonthDaysFromYMD(&stMonth);
    }
    DWORD y = (lpTime->wYear > 0) ? lpTime->wYear - 1u : 0u;
    return static_cast<WORD>((y + y / 4 - y / 100 + y / 400 + dwDayOfYear) % 7);
}

BOOL CQuoLogTime::IsTimeSet(const SYSTEMTIME* lpTime)
{
    return lpTime != nullptr
        && (lpTime->wYear != 0 || lpTime->wMonth != 0 || lpTime->wDay != 0 || lpTime->wHour != 0
            || lpTime->wMinute != 0);
}

void CQuoLogTime::FormatLongTime(const SYSTEMTIME& st, LPWSTR lpText, size_t cchText)
{
    StringCchPrintfW(lpText, cchText, L"%04u/%02u/%02u,%02u:%02u:%02u.%03u", st.wYear, st.wMonth, st.wDay, st.wHour,
                     st.wMinute, st.wSecond, st.wMilliseconds);
}

void CQuoLogTime::FormatDate(const SYSTEMTIME& st, LPWSTR lpText, size_t cchText)
{
    StringCchPrintfW(lpText, cchText, L"%04u/%02u/%02u", st.wYear, st.wMonth, st.wDay);
}
