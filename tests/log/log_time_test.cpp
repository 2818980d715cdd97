// The date operations of CQuoLog, checked against the system's own calendar over every
// day from 1601 to 9999, and on the texts the log files hold.
#include <windows.h>

#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "QuoLogCore.h"

using logtest::MakeTime;
using testsupport::Narrow;

namespace {

ULONGLONG ToTicks(const SYSTEMTIME& st)
{
    FILETIME ft;
    EXPECT_TRUE(SystemTimeToFileTime(&st, &ft));
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

SYSTEMTIME FromTicks(ULONGLONG ticks)
{
    FILETIME ft = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME st = {};
    EXPECT_TRUE(FileTimeToSystemTime(&ft, &st));
    return st;
}

bool SameTime(const SYSTEMTIME& a, const SYSTEMTIME& b)
{
    return CQuoLog::CompareTime(a, b) == 0;
}

// Every date, day of week, month length and validity agrees with the system calendar.
TEST(QuoLogTime, EveryDayFrom1601To9999AgreesWithTheSystemCalendar)
{
    SYSTEMTIME day = MakeTime(1601, 1, 1);
    ULONGLONG ticks = ToTicks(day);
    size_t nDays = 0;
    for (;;) {
        SYSTEMTIME sys = FromTicks(ticks);
        ASSERT_EQ(0, CQuoLog::CompareDate(day, sys)) << nDays;
        ASSERT_TRUE(CQuoLog::IsValidSystime(&day));
        ASSERT_EQ(sys.wDayOfWeek, CQuoLog::GetDayOfWeek(&day)) << day.wYear << "/" << day.wMonth << "/" << day.wDay;
        SYSTEMTIME next;
        if (!CQuoLog::OffsetDay(&day, &next, 1)) {
            break;
        }
        ASSERT_EQ(next.wDay == 1, day.wDay == CQuoLog::MonthDaysFromYMD(&day));
        ASSERT_EQ(0, next.wHour + next.wMinute + next.wSecond + next.wMilliseconds + next.wDayOfWeek);
        day = next;
        ticks += 24ULL * 60 * 60 * 10000000;
        ++nDays;
    }
    EXPECT_EQ(0, CQuoLog::CompareDate(day, MakeTime(9999, 12, 31)));
    EXPECT_EQ(3067670u, nDays);
    SYSTEMTIME last = MakeTime(9999, 12, 31, 23, 59, 59, 999);
    last.wDayOfWeek = 77;  // never looked at
    EXPECT_TRUE(CQuoLog::IsValidSystime(&last));
    EXPECT_FALSE(CQuoLog::IsValidSystime(nullptr));
}

TEST(QuoLogTime, TextRoundTripsForEveryMinuteOfALeapYear)
{
    SYSTEMTIME st = MakeTime(2012, 1, 1, 0, 0, 59, 999);
    for (int i = 0; i < 366 * 24 * 60; ++i) {
        wchar_t szText[CQuoLog::kTimeTextChars];
        CQuoLog::FormatLongTime(st, szText, ARRAYSIZE(szText));
        ASSERT_EQ(23u, wcslen(szText));
        SYSTEMTIME parsed;
        ASSERT_TRUE(CQuoLog::ConvertStrToSystime(szText, &parsed)) << Narrow(szText);
        ASSERT_TRUE(SameTime(st, parsed));
        SYSTEMTIME date;
        ASSERT_TRUE(CQuoLog::ConvertStrToDate(szText, &date));
        ASSERT_TRUE(SameTime(MakeTime(st.wYear, st.wMonth, st.wDay), date));
        ASSERT_TRUE(CQuoLog::OffsetMinute(&st, 1));
    }
    EXPECT_EQ(0, CQuoLog::CompareMinute(st, MakeTime(2013, 1, 1)));
}

// Out-of-range fields, overflowing and negative numbers, impossible days (Feb 30, and
// Feb 29 of a year that is no leap year) all fall back to 2000/01/01 with FALSE.
TEST(QuoLogTime, TextThatIsNoValidTimeFallsBackTo2000)
{
    const wchar_t* bad[] = {L"",
                            L"abc",
                            L"2012/13/01,00:00:00.000",
                            L"2012/00/10,00:00:00.000",
                            L"2012/02/30,00:00:00.000",
                            L"2011/02/29,00:00:00.000",
                            L"1900/02/29,00:00:00.000",
                            L"1600/12/31,23:59:59.999",
                            L"10000/01/01,00:00:00.000",
                            L"2012/07/10,24:00:00.000",
                            L"2012/07/10,10:60:00.000",
                            L"2012/07/10,10:40:60.000",
                            L"2012/07/10,10:40:05.1000",
                            L"-2012/07/10,10:40:05.100",
                            L"99999999999999999999/07/10,10:40:05.100",
                            L"2012/07/-1,10:40:05.100"};
    const SYSTEMTIME fallback = MakeTime(2000, 1, 1);
    for (const wchar_t* text : bad) {
        SYSTEMTIME st = MakeTime(1999, 9, 9, 9, 9, 9, 9);
        EXPECT_FALSE(CQuoLog::ConvertStrToSystime(text, &st)) << Narrow(text);
        EXPECT_TRUE(SameTime(fallback, st)) << Narrow(text);
    }
    SYSTEMTIME st;
    EXPECT_FALSE(CQuoLog::ConvertStrToSystime(nullptr, &st));
    EXPECT_TRUE(SameTime(fallback, st));
    EXPECT_FALSE(CQuoLog::ConvertStrToSystime(L"2012/07/10,00:00:00.000", nullptr));
    EXPECT_FALSE(CQuoLog::ConvertStrToDate(L"2012/02/30", &st));
    EXPECT_TRUE(SameTime(fallback, st));

    // Numbers are read as a wide atoi reads them: leading blanks, trailing garbage, a
    // time left out, the date part of a whole raw line.
    ASSERT_TRUE(CQuoLog::ConvertStrToSystime(L" 2012/ 7/10x,10:4:05.123\"tail", &st));
    EXPECT_TRUE(SameTime(MakeTime(2012, 7, 10, 10, 4, 5, 123), st));
    ASSERT_TRUE(CQuoLog::ConvertStrToSystime(L"2012/07/10", &st));
    EXPECT_TRUE(SameTime(MakeTime(2012, 7, 10), st));
    ASSERT_TRUE(CQuoLog::ConvertStrToDate(L"2012/07/10,10:40:05.123,5000,1,12000", &st));
    EXPECT_TRUE(SameTime(MakeTime(2012, 7, 10), st));
}

TEST(QuoLogTime, ComparisonsLookOnlyAtTheirUnits)
{
    SYSTEMTIME a = MakeTime(2012, 7, 10, 10, 40, 5, 123);
    SYSTEMTIME b = MakeTime(2012, 7, 10, 10, 40, 5, 124);
    b.wDayOfWeek = 3;
    EXPECT_EQ(-1, CQuoLog::CompareTime(a, b));
    EXPECT_EQ(1, CQuoLog::CompareTime(b, a));
    EXPECT_EQ(0, CQuoLog::CompareMinute(a, b));
    EXPECT_EQ(0, CQuoLog::CompareDate(a, b));
    SYSTEMTIME c = MakeTime(2011, 12, 31, 23, 59, 59, 999);
    EXPECT_EQ(1, CQuoLog::CompareDate(a, c));
    EXPECT_EQ(-1, CQuoLog::CompareMinute(c, a));
    EXPECT_EQ(-1, CQuoLog::CompareMinute(a, MakeTime(2012, 7, 10, 11, 0)));
}

TEST(QuoLogTime, OffsetsRefuseToLeaveTheRangeAndAgreeWithFileTimeArithmetic)
{
    SYSTEMTIME first = MakeTime(1601, 1, 1, 13, 14, 15, 16);
    SYSTEMTIME out = MakeTime(1, 1, 1);
    ASSERT_TRUE(CQuoLog::OffsetDay(&first, &out, 3067670));
    EXPECT_TRUE(SameTime(MakeTime(9999, 12, 31), out));
    SYSTEMTIME back;
    ASSERT_TRUE(CQuoLog::OffsetDay(&out, &back, -3067670));
    EXPECT_TRUE(SameTime(MakeTime(1601, 1, 1), back));
    SYSTEMTIME untouched = MakeTime(2001, 2, 3);
    SYSTEMTIME invalid = MakeTime(2012, 2, 30);
    EXPECT_FALSE(CQuoLog::OffsetDay(&first, &untouched, -1));
    EXPECT_FALSE(CQuoLog::OffsetDay(&out, &untouched, 1));
    EXPECT_FALSE(CQuoLog::OffsetDay(&invalid, &untouched, 1));
    EXPECT_TRUE(SameTime(MakeTime(2001, 2, 3), untouched));
    SYSTEMTIME st = MakeTime(2012, 3, 1);  // across a leap day, in place
    ASSERT_TRUE(CQuoLog::OffsetDay(&st, &st, -1));
    EXPECT_TRUE(SameTime(MakeTime(2012, 2, 29), st));

    st = MakeTime(1999, 12, 31, 23, 59, 58, 500);
    ULONGLONG ticks = ToTicks(st);
    for (LONG minutes : {1, -1, 30, -30, 1440, -1440, 525600, -525601, 60 * 24 * 366 * 4, 7}) {
        ASSERT_TRUE(CQuoLog::OffsetMinute(&st, minutes));
        ticks += static_cast<ULONGLONG>(static_cast<LONGLONG>(minutes) * 600000000LL);
        SYSTEMTIME expected = FromTicks(ticks);
        ASSERT_TRUE(SameTime(expected, st)) << minutes;
        EXPECT_EQ(expected.wDayOfWeek, st.wDayOfWeek);
    }
    SYSTEMTIME edge = MakeTime(9999, 12, 31, 23, 59);
    EXPECT_FALSE(CQuoLog::OffsetMinute(&edge, 1));
    EXPECT_TRUE(SameTime(MakeTime(9999, 12, 31, 23, 59), edge));
    SYSTEMTIME start = MakeTime(1601, 1, 1);
    SYSTEMTIME badHour = MakeTime(2012, 7, 10, 25, 0);
    EXPECT_FALSE(CQuoLog::OffsetMinute(&start, -1));
    EXPECT_FALSE(CQuoLog::OffsetMinute(&badHour, 1));
}

// Month 0 is treated like 13 and over instead of indexing before the table; a time is
// set when its date, hour or minute is.
TEST(QuoLogTime, InvalidMonthsAndIsTimeSet)
{
    SYSTEMTIME zero = MakeTime(2012, 0, 1);
    SYSTEMTIME thirteen = MakeTime(2012, 13, 1);
    EXPECT_EQ(31, CQuoLog::MonthDaysFromYMD(&zero));
    EXPECT_EQ(31, CQuoLog::MonthDaysFromYMD(&thirteen));

    SYSTEMTIME st = {};
    st.wSecond = 5;
    st.wMilliseconds = 5;
    EXPECT_FALSE(CQuoLog::IsTimeSet(&st));
    st.wMinute = 1;
    EXPECT_TRUE(CQuoLog::IsTimeSet(&st));
    SYSTEMTIME day = MakeTime(0, 0, 3);
    EXPECT_TRUE(CQuoLog::IsTimeSet(&day));
    EXPECT_FALSE(CQuoLog::IsTimeSet(nullptr));
}

}  // namespace
