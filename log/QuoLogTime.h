// CQuoLogTime: the date operations of the log library, pure functions on SYSTEMTIME
// values and their texts. CQuoLog and CTotalizeLog inherit them, so that every part of
// the library calls them by its own class's name (CQuoLog::OffsetDay,
// CTotalizeLog::CalculateTime). All of them live in QuoLogTime.cpp.
#pragma once

#include <windows.h>

struct CellSpan;

class CQuoLogTime {
public:
    // CompareSystime flags and results.
    static constexpr DWORD kCompareTimeOfDay = 1;
    static constexpr DWORD kCompareDate = 2;
    static constexpr int kSame = 0;
    static constexpr int kLater = 1;
    static constexpr int kEarlier = 2;

    // Text forms: long "%04u/%02u/%02u,%02u:%02u:%02u.%03u" (23 characters) and short
    // "%04u/%02u/%02u" (10). Parsing falls back to 2000/01/01 00:00:00.000 for text that
    // is no valid time, and then answers FALSE.
    static BOOL ConvertStrToSystime(LPCWSTR lpText, SYSTEMTIME* lpTime);
    // The same for the text "<date>,<time>" of a line's first two cells.
    static BOOL ConvertStampToSystime(const CellSpan& date, const CellSpan& time, SYSTEMTIME* lpTime);
    static BOOL ConvertStrToDate(LPCWSTR lpText, SYSTEMTIME* lpTime);
    static void FormatLongTime(const SYSTEMTIME& st, LPWSTR lpText, size_t cchText);
    static void FormatDate(const SYSTEMTIME& st, LPWSTR lpText, size_t cchText);

    // Year 1601..9999, month 1..12, a day the month has, hour, minute, second and
    // millisecond in range. The day of the week is not looked at.
    static BOOL IsValidSystime(const SYSTEMTIME* lpTime);
    static BOOL IsTimeSet(const SYSTEMTIME* lpTime);

    // 1 when a is later, 0 when equal, -1 when earlier, by date / minute / millisecond.
    static int CompareDate(const SYSTEMTIME& a, const SYSTEMTIME& b);
    static int CompareMinute(const SYSTEMTIME& a, const SYSTEMTIME& b);
    static int CompareTime(const SYSTEMTIME& a, const SYSTEMTIME& b);
    // Compares the time of day (flag 1), the date (flag 2) or both: kSame, kLater when a
    // is later, kEarlier when a is earlier.
    static int CompareSystime(const SYSTEMTIME& a, const SYSTEMTIME& b, DWORD dwFlags);

    // The date alone (time 00:00:00.000, day of week 0).
    static SYSTEMTIME MakeDate(WORD wYear, WORD wMonth, WORD wDay);
    static SYSTEMTIME DateOf(const SYSTEMTIME& t);
    // *lpDest = the date nDays after (before, when negative) *lpSource's date, at
    // 00:00:00.000 with day of week 0. FALSE, *lpDest untouched, for an invalid source
    // date or a result outside 1601..9999.
    static BOOL OffsetDay(const SYSTEMTIME* lpSource, SYSTEMTIME* lpDest, LONG nDays);
    // The date of t with a day past the month's end (up to 31) carried into the next
    // month: 2012/02/30 is 2012/03/01.
    static SYSTEMTIME CarryDate(const SYSTEMTIME& t);
    // Adds nMinutes to *lpTime. FALSE, *lpTime untouched, for an invalid time or a
    // result outside 1601..9999.
    static BOOL OffsetMinute(SYSTEMTIME* lpTime, LONG nMinutes);
    // Whole days from the date of a to the valid date of b, not earlier.
    static ULONGLONG DaysBetween(const SYSTEMTIME& a, const SYSTEMTIME& b);
    // Whole seconds between two local times, whichever is first.
    static DWORD CalculateTime(const SYSTEMTIME& stStart, const SYSTEMTIME& stEnd);

    // Whether two times lie in different half-hour slots.
    static BOOL IsOtherSlot(const SYSTEMTIME& a, const SYSTEMTIME& b);
    // The start of the slot of a time: minute 0 or 30, seconds and ms 0.
    static SYSTEMTIME SlotOf(const SYSTEMTIME& t);

    // Days of the month of *lpTime; 31 for a month outside 1..12.
    static WORD MonthDaysFromYMD(const SYSTEMTIME* lpTime);
    // 0 Sunday .. 6 Saturday.
    static WORD GetDayOfWeek(const SYSTEMTIME* lpTime);
};
