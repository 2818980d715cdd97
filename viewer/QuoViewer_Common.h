// Calendar helpers of the viewer: stepping a date by days or months, and checking that
// a date may be shown (valid, not after today, not before the oldest allowed date).
// Only the year, month and day of a SYSTEMTIME count as "the date"; the day of week is
// never trusted and always computed from the date.
#pragma once

#include <windows.h>

#include <map>
#include <string>

// The oldest date the viewer shows unless the registry says otherwise: 1 January 2009.
SYSTEMTIME DefaultPastLimitDate();

bool IsLeapYear(WORD wYear);
// 28 to 31; 0 for a month outside 1..12.
WORD LastDayOfMonth(WORD wYear, WORD wMonth);
// Whether year, month and day form a date of the Gregorian calendar (years 1601..30827).
bool IsCalendarDate(const SYSTEMTIME& st);
// 0 Sunday .. 6 Saturday, from the date alone.
WORD DayOfWeekOf(const SYSTEMTIME& st);
// <0, 0, >0 as the date of a is before, equal to or after the date of b.
int CompareDate(const SYSTEMTIME& a, const SYSTEMTIME& b);
// A date at 00:00:00.000 with its day of week filled.
SYSTEMTIME MakeDate(WORD wYear, WORD wMonth, WORD wDay);

// *pSysTimeOut = *pSysTimeSrc moved by nDays calendar days (the time of day is kept,
// the day of week filled). 87 for a null pointer; 1359 for a source that is no valid
// time or a result outside the calendar; *pSysTimeOut is untouched on failure.
DWORD GetSpanTimeDate(int nDays, const SYSTEMTIME* pSysTimeSrc, SYSTEMTIME* pSysTimeOut);

// Writes the year, month and day of *pSysTimeOut: the source moved by nMonths months,
// its day cut to the last day of the new month (31 January + 1 month = 28 or 29
// February). 87 for a null pointer; 1359 for a source month outside 1..12 or a result
// outside the calendar; nothing is written on failure.
DWORD GetSpanTimeMonth(int nMonths, const SYSTEMTIME* pSysTimeSrc, SYSTEMTIME* pSysTimeOut);

// TRUE when *pSysTime is a valid date, not after stToday and not before the past limit.
// A null limit means 1 January 2009; an invalid limit is replaced by 1 January of
// stToday's year. A null or invalid date, or an invalid today, gives FALSE.
BOOL IsValidDateOn(const SYSTEMTIME* pSysTime, const SYSTEMTIME* pPastLimit, const SYSTEMTIME& stToday);
// The same against the local date of this moment.
BOOL IsValidDate(const SYSTEMTIME* pSysTime, const SYSTEMTIME* pPastLimit);

// Adds dwValue to the entry lpName of *pMap, creating it with dwValue when absent; the
// sum saturates at 0xFFFFFFFF. 87 for a null map or name; 8 when the entry cannot be
// allocated.
DWORD AddPairToMap(std::map<std::wstring, DWORD>* pMap, LPCWSTR lpName, DWORD dwValue);
