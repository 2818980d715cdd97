// The date operations of CQuoLog, checked against the system's own calendar over every
// day from 1601 to 9999, and on the texts the log files hold.
#include <windows.h>

#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "QuoLogCore.h"

using logtest::MakeTime;

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

const ULONGLONG kTicksPerDay = 24ULL * 60 * 60 * 10000000;

bool SameTime(const SYSTEMTIME& a, const SYSTEMTIME& b)
{
    return CQuoLog::CompareTime(a, b) == 0;
}

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
        // The last day of a month is the one MonthDaysFromYMD names.
        ASSERT_EQ(next.wDay == 1, day.wDay == CQuoLog::MonthDaysFromYMD(&day));
        ASSERT_EQ(0, next.wHour + next.wMinute + next.wSecond + next.wMilliseconds + next.wDayOfWeek);
        day = next;
        ticks += kTicksPerDay;
        ++nDays;
    }
    EXPECT_EQ(0, CQuoLog::CompareDate(day, MakeTime(9999, 12, 31)));
    EXPECT_EQ(3067670u, nDays);  // days from 1601-01-01 to 9999-12-31
}

TEST(QuoLogTime, TextRoundTripsForEveryMinuteOfALeapYear)
{
    SYSTEMTIME st = MakeTime(2012, 1, 1, 0, 0, 59, 999);
    for (int i = 0; i < 366 * 24 * 60; ++i) {
        wchar_t szText[CQuoLog::kTimeTextChars];
        CQuoLog::FormatLongTime(st, szText, ARRAYSIZE(szText));
        ASSERT_EQ(23u, wcslen(szText));
        SYSTEMTIME parsed;
        ASSERT_TRUE(CQuoLog::ConvertStrToSystime(szText, &parsed)) << testsupport::Narrow(szText);
        ASSERT_TRUE(SameTime(st, parsed));
        SYSTEMTIME date;
        ASSERT_TRUE(CQuoLog::ConvertStrToDate(szText, &date));
        ASSERT_EQ(0, CQuoLog::CompareDate(st, date));
        ASSERT_EQ(0, date.wHour + date.wMinute + date.wSecond + date.wMilliseconds);
        ASSERT_TRUE(CQuoLog::OffsetMinute(&st, 1));
    }
    EXPECT_EQ(0, CQuoLog::CompareMinute(st, MakeTime(2013, 1, 1)));
}

TEST(QuoLogTime, TextThatIsNoValidTimeFallsBackTo2000)
{
    const wchar_t* bad[] = {L"",
                            L"abc",
                            L"2012/13/01,00:00:00.000",
                            L"2012/00/10,00:00:00.000",
                            L"2012/02/30,00:00:00.000",
                            L"2011/02/29,00:00:00.000",
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
        EXPECT_FALSE(CQuoLog::ConvertStrToSystime(text, &st)) << testsupport::Narrow(text);
        EXPECT_TRUE(SameTime(fallback, st)) << testsupport::Narrow(text);
    }
    SYSTEMTIME st;
    EXPECT_FALSE(CQuoLog::ConvertStrToSystime(nullptr, &st));
    EXPECT_TRUE(SameTime(fallback, st));
    EXPECT_FALSE(CQuoLog::ConvertStrToSystime(L"2012/07/10,00:00:00.000", nullptr));
    EXPECT_FALSE(CQuoLog::ConvertStrToDate(L"2012/02/30", &st));
    EXPECT_TRUE(SameTime(fallback, st));
}

TEST(QuoLogTime, ParsingReadsNumbersAsAWideAtoIntegerConversion)
{
    SYSTEMTIME st;
    // Leading blanks and trailing garbage inside a field, a time left out.
    ASSERT_TRUE(CQuoLog::ConvertStrToSystime(L" 2012/ 7/10x,10:4:05.123\"tail", &st));
    EXPECT_TRUE(SameTime(MakeTime(2012, 7, 10, 10, 4, 5, 123), st));
    ASSERT_TRUE(CQuoLog::ConvertStrToSystime(L"2012/07/10", &st));
    EXPECT_TRUE(SameTime(MakeTime(2012, 7, 10), st));
    // The date part of a whole raw line.
    ASSERT_TRUE(CQuoLog::ConvertStrToDate(L"2012/07/10,10:40:05.123,5000,1,12000", &st));
    EXPECT_TRUE(SameTime(MakeTime(2012, 7, 10), st));
}

TEST(QuoLogTime, ValidityBounds)
{
    SYSTEMTIME first = MakeTime(1601, 1, 1);
    EXPECT_TRUE(CQuoLog::IsValidSystime(&first));
    SYSTEMTIME st = MakeTime(9999, 12, 31, 23, 59, 59, 999);
    EXPECT_TRUE(CQuoLog::IsValidSystime(&st));
    st.wDayOfWeek = 77;  // never looked at
    EXPECT_TRUE(CQuoLog::IsValidSystime(&st));
    SYSTEMTIME leap = MakeTime(2000, 2, 29);
    SYSTEMTIME notLeap = MakeTime(1900, 2, 29);
    EXPECT_TRUE(CQuoLog::IsValidSystime(&leap));
    EXPECT_FALSE(CQuoLog::IsValidSystime(&notLeap));
    EXPECT_FALSE(CQuoLog::IsValidSystime(nullptr));
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
    SYSTEMTIME d = MakeTime(2012, 7, 10, 11, 0);
    EXPECT_EQ(-1, CQuoLog::CompareMinute(a, d));
    EXPECT_EQ(0, CQuoLog::CompareTime(a, a));
}

TEST(QuoLogTime, OffsetDayJumpsAndRefusesToLeaveTheRange)
{
    SYSTEMTIME first = MakeTime(1601, 1, 1, 13, 14, 15, 16);
    SYSTEMTIME out = MakeTime(1, 1, 1);
    ASSERT_TRUE(CQuoLog::OffsetDay(&first, &out, 3067670));
    EXPECT_TRUE(SameTime(MakeTime(9999, 12, 31), out));
    SYSTEMTIME back;
    ASSERT_TRUE(CQuoLog::OffsetDay(&out, &back, -3067670));
    EXPECT_TRUE(SameTime(MakeTime(1601, 1, 1), back));
    SYSTEMTIME untouched = MakeTime(2001, 2, 3);
    EXPECT_FALSE(CQuoLog::OffsetDay(&first, &untouched, -1));
    EXPECT_FALSE(CQuoLog::OffsetDay(&out, &untouched, 1));
    SYSTEMTIME invalid = MakeTime(2012, 2, 30);
    EXPECT_FALSE(CQuoLog::OffsetDay(&invalid, &untouched, 1));
    EXPECT_TRUE(SameTime(MakeTime(2001, 2, 3), untouched));
    // Across a leap day, backwards and forwards, in place.
    SYSTEMTIME st = MakeTime(2012, 3, 1);
    ASSERT_TRUE(CQuoLog::OffsetDay(&st, &st, -1));
    EXPECT_TRUE(SameTime(MakeTime(2012, 2, 29), st));
    ASSERT_TRUE(CQuoLog::OffsetDay(&st, &st, 366));
    EXPECT_TRUE(SameTime(MakeTime(2013, 3, 1), st));
}

TEST(QuoLogTime, OffsetMinuteAgreesWithFileTimeArithmetic)
{
    SYSTEMTIME st = MakeTime(1999, 12, 31, 23, 59, 58, 500);
    ULONGLONG ticks = ToTicks(st);
    const LONG steps[] = {1, -1, 30, -30, 1440, -1440, 525600, -525601, 60 * 24 * 366 * 4, 7};
    for (LONG minutes : steps) {
        ASSERT_TRUE(CQuoLog::OffsetMinute(&st, minutes));
        ticks += static_cast<ULONGLONG>(static_cast<LONGLONG>(minutes) * 600000000LL);
        SYSTEMTIME expected = FromTicks(ticks);
        ASSERT_TRUE(SameTime(expected, st));
        EXPECT_EQ(expected.wDayOfWeek, st.wDayOfWeek);
    }
    SYSTEMTIME edge = MakeTime(9999, 12, 31, 23, 59);
    EXPECT_FALSE(CQuoLog::OffsetMinute(&edge, 1));
    EXPECT_TRUE(SameTime(MakeTime(9999, 12, 31, 23, 59), edge));
    SYSTEMTIME start = MakeTime(1601, 1, 1, 0, 0);
    EXPECT_FALSE(CQuoLog::OffsetMinute(&start, -1));
    SYSTEMTIME invalid = MakeTime(2012, 7, 10, 25, 0);
    EXPECT_FALSE(CQuoLog::OffsetMinute(&invalid, 1));
}

TEST(QuoLogTime, MonthDaysAndInvalidMonths)
{
    const WORD days2012[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (WORD month = 1; month <= 12; ++month) {
        SYSTEMTIME st = MakeTime(2012, month, 1);
        EXPECT_EQ(days2012[month - 1], CQuoLog::MonthDaysFromYMD(&st));
    }
    const std::pair<WORD, WORD> februaries[] = {{1900, 28}, {2000, 29}, {2011, 28}, {2100, 28}, {2400, 29}};
    for (const auto& february : februaries) {
        SYSTEMTIME st = MakeTime(february.first, 2, 1);
        EXPECT_EQ(february.second, CQuoLog::MonthDaysFromYMD(&st)) << february.first;
    }
    SYSTEMTIME zero = MakeTime(2012, 0, 1);
    SYSTEMTIME thirteen = MakeTime(2012, 13, 1);
    EXPECT_EQ(31, CQuoLog::MonthDaysFromYMD(&zero));
    EXPECT_EQ(31, CQuoLog::MonthDaysFromYMD(&thirteen));
}

TEST(QuoLogTime, IsTimeSetLooksAtDateHourAndMinute)
{
    SYSTEMTIME st = {};
    EXPECT_FALSE(CQuoLog::IsTimeSet(&st));
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
