// The periods of the log analysis pane: the days a view covers, the neighbouring
// periods, the navigation steps clamped to [past limit, today], the enabling of the
// previous and following buttons, and the minutes at which the pane refreshes itself.
// "Today" is always an argument, so that the calendar can be driven in tests.
#pragma once

#include <windows.h>

// Days the year view steps from date in direction nDirection (+1 or -1): 366 when the
// step crosses a 29 February, else 365.
int YearStepDays(const SYSTEMTIME& stDate, int nDirection);

// The period shown for stCurrent: its first and last day (the week's Sunday and
// Saturday, the month's and year's first and last days, the day itself), and the dates
// the previous and following buttons lead to. 1359 when a date falls outside the
// calendar.
struct QVPeriod {
    SYSTEMTIME stFirst = {};
    SYSTEMTIME stLast = {};
    SYSTEMTIME stPrevious = {};
    SYSTEMTIME stFollowing = {};
};
DWORD GetLogPeriod(DWORD dwMode, const SYSTEMTIME& stCurrent, QVPeriod* pPeriod);

// One navigation step of the view from stSrc (today when stSrc is not a valid date to
// show), clamped: a step back before the limit gives the limit, a step forward after
// today gives today. 87 for a null out; 1359 when the step leaves the calendar.
DWORD ChangeLogDate(DWORD dwMode, int nDirection, const SYSTEMTIME& stSrc, const SYSTEMTIME& stPastLimit,
                    const SYSTEMTIME& stToday, SYSTEMTIME* pOut);

// Which navigation buttons are enabled for the period of stCurrent.
struct QVNavButtons {
    bool bPrevious = false;
    bool bFollowing = false;
};
QVNavButtons GetNavButtons(DWORD dwMode, const SYSTEMTIME& stCurrent, const SYSTEMTIME& stPastLimit,
                           const SYSTEMTIME& stToday);

// The oldest date to show: 1 January of the configured year, never after this year.
SYSTEMTIME PastLimitForYear(DWORD dwConfiguredYear, const SYSTEMTIME& stToday);

// Whether the pane redraws at this minute: dwDelay and dwDelay + 30 minutes past the
// hour, one slot after the log library totals its half hours.
bool IsLogRefreshMinute(WORD wMinute, DWORD dwDelay);
