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

// Field by field, the day of the week left out.
::testing::AssertionResult SameTime(const SYSTEMTIME& a, const SYSTEMTIME& b)
{
    if (a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour && a.wMinute == b.wMinute
        && a.wSecond == b.wSecond && a.wMilliseconds == b.wMilliseconds) {
        return ::testing::AssertionSuccess();
    }
    wchar_t szA[CQuoLog::kTimeTextChars];
    wchar_t szB[CQuoLog::kTimeTextChars];
    CQuoLog::FormatLongTime(a, szA, ARRAYSIZE(szA));
    CQuoLog::FormatLongTime(b, szB, ARRAYSIZE(szB));
    return ::testing::AssertionFailure() << Narrow(szA) << " is not " << Narrow(szB);
}

// Every date, day of week, month length and validity agrees with the system calendar.
TEST(QuoLogTime, EveryDayFrom1601To9999AgreesWithTheSystemCalendar)
{
    SYSTEMTIME day = MakeTime(1601, 1, 1);
    ULONGLONG ticks = ToTicks(day);
    size_t nDays = 0;
    for (;;) {
        SYSTEMTIME sys = FromTicks(ticks);
        ASSERT_TRUE(SameTime(sys, day)) << nDays;
        ASSERT_TRUE(CQuoLog::IsValidSystime(&day));
        ASSERT_EQ(sys.wDayOfWeek, CQuoLog::GetDayOfWeek(&day)) << day.wYear << "/" << day.wMonth << "/" << day.wDay;
        SYSTEMTIME next;
        if (!CQuoLog::OffsetDay(&day, &next, 1)) {
            break;
        }
        ASSERT_EQ(next.wDay == 1, day.wDay == CQuoLog::MonthDaysFromYMD(&day));
        ASSERT_EQ(0, next.wDayOfWeek);
        day = next;
        ticks += 24ULL * 60 * 60 * 10000000;
        ++nDays;
    }
    EXPECT_TRUE(SameTime(MakeTime(9999, 12, 31), day));
    EXPECT_EQ(3067670u, nDays);
    SYSTEMTIME last = MakeTime(9999, 12, 31, 23, 59, 59, 999);
    last.wDayOfWeek = 77;  // never looked at
    EXPECT_TRUE(CQuoLog::IsValidSystime(&last));
    EXPECT_FALSE(CQuoLog::IsValidSystime(nullptr));
    // Month 0 is treated like 13 and over instead of indexing before the table.
    SYSTEMTIME zero = MakeTime(2012, 0, 1);
    EXPECT_EQ(31, CQuoLog::MonthDaysFromYMD(&zero));
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
        ASSERT_TRUE(CQuoLog::ConvertStrToDate(szText, &parsed));
        ASSERT_TRUE(SameTime(MakeTime(st.wYear, st.wMonth, st.wDay), parsed));
        ASSERT_TRUE(CQuoLog::OffsetMinute(&st, 1));
    }
    EXPECT_TRUE(SameTime(MakeTime(2013, 1, 1, 0, 0, 59, 999), st));
}

// Out-of-range fields, overflowing and negative numbers, impossible days (Feb 30, and
// Feb 29 of a year that is no leap year) all fall back to 2000/01/01 with FALSE.
// Numbers are read as a wide atoi reads them: leading blanks, trailing garbage, a time
// left out, the date part of a whole raw line.
TEST(QuoLogTime, TextThatIsNoValidTimeFallsBackTo2000)
{
    const wchar_t* bad[] = {L"", L"abc", L"2012/13/01,00:00:00.000", L"2012/00/10,00:00:00.000",
                            L"2012/02/30,00:00:00.000", L"2011/02/29,00:00:00.000", L"1900/02/29,00:00:00.000",
                            L"1600/12/31,23:59:59.999", L"10000/01/01,00:00:00.000", L"2012/07/10,24:00:00.000",
                            L"2012/07/10,10:60:00.000", L"2012/07/10,10:40:60.000", L"2012/07/10,10:40:05.1000",
                            L"-2012/07/10,10:40:05.100", L"99999999999999999999/07/10,10:40:05.100",
                            L"2012/07/-1,10:40:05.100", nullptr};
    for (const wchar_t* text : bad) {
        SYSTEMTIME st = MakeTime(1999, 9, 9, 9, 9, 9, 9);
        EXPECT_FALSE(CQuoLog::ConvertStrToSystime(text, &st)) << Narrow(text ? text : L"(null)");
        EXPECT_TRUE(SameTime(MakeTime(2000, 1, 1), st)) << Narrow(text ? text : L"(null)");
    }
    SYSTEMTIME st = MakeTime(1999, 9, 9);
    EXPECT_FALSE(CQuoLog::ConvertStrToSystime(L"2012/07/10,00:00:00.000", nullptr));
    EXPECT_FALSE(CQuoLog::ConvertStrToDate(L"2012/02/30", &st));
    EXPECT_TRUE(SameTime(MakeTime(2000, 1, 1), st));

    const std::pair<const wchar_t*, SYSTEMTIME> good[] = {
        {L" 2012/ 7/10x,10:4:05.123\"tail", MakeTime(2012, 7, 10, 10, 4, 5, 123)},
        {L"2012/07/10", MakeTime(2012, 7, 10)},
    };
    for (const auto& entry : good) {
        ASSERT_TRUE(CQuoLog::ConvertStrToSystime(entry.first, &st)) << Narrow(entry.first);
        EXPECT_TRUE(SameTime(entry.second, st)) << Narrow(entry.first);
    }
    ASSERT_TRUE(CQuoLog::ConvertStrToDate(L"2012/07/10,10:40:05.123,5000,1,12000", &st));
    EXPECT_TRUE(SameTime(MakeTime(2012, 7, 10), st));
}

TEST(QuoLogTime, ComparisonsLookOnlyAtTheirUnits)
{
    SYSTEMTIME a = MakeTime(2012, 7, 10, 10, 40, 5, 123);
    SYSTEMTIME b = MakeTime(2012, 7, 10, 10, 40, 5, 124);
    b.wDayOfWeek = 3;
    const SYSTEMTIME c = MakeTime(2011, 12, 31, 23, 59, 59, 999);
    EXPECT_EQ(-1, CQuoLog::CompareTime(a, b));
    EXPECT_EQ(1, CQuoLog::CompareTime(b, a));
    EXPECT_EQ(0, CQuoLog::CompareTime(b, b));
    EXPECT_EQ(0, CQuoLog::CompareMinute(a, b));
    EXPECT_EQ(0, CQuoLog::CompareDate(a, b));
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
    SYSTEMTIME start = MakeTime(1601, 1, 1);
    SYSTEMTIME badHour = MakeTime(2012, 7, 10, 25, 0);
    EXPECT_FALSE(CQuoLog::OffsetMinute(&edge, 1));
    EXPECT_FALSE(CQuoLog::OffsetMinute(&start, -1));
    EXPECT_FALSE(CQuoLog::OffsetMinute(&badHour, 1));
    EXPECT_TRUE(SameTime(MakeTime(9999, 12, 31, 23, 59), edge));
}

}  // namespace
