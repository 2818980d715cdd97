// The date operations of the log library, checked against the system's own calendar
// over every day from 1601 to 9999, and on the texts the log files hold.
#include <gtest/gtest.h>

#include <cstring>

#include "LogTestSupport.h"
#include "QuoLogTime.h"

using namespace logtest;

namespace {

// Field by field, the day of the week left out.
bool SameTime(SYSTEMTIME a, SYSTEMTIME b)
{
    a.wDayOfWeek = b.wDayOfWeek = 0;
    return memcmp(&a, &b, sizeof(a)) == 0;
}

// Every date, day of week, month length and validity agrees with the system calendar;
// the days between the first and every day agree with the count.
TEST(QuoLogTime, EveryDayFrom1601To9999AgreesWithTheSystemCalendar)
{
    const SYSTEMTIME first = MakeTime(1601, 1, 1);
    SYSTEMTIME day = first;
    FILETIME ft = {};
    ASSERT_TRUE(SystemTimeToFileTime(&day, &ft));
    ULONGLONG ticks = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    ULONGLONG nDays = 0;
    for (;; ++nDays, ticks += 24ULL * 60 * 60 * 10000000) {
        ft = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
        SYSTEMTIME sys = {};
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &sys));
        ASSERT_TRUE(SameTime(sys, day)) << nDays;
        ASSERT_TRUE(CQuoLogTime::IsValidSystime(&day));
        ASSERT_EQ(sys.wDayOfWeek, CQuoLogTime::GetDayOfWeek(&day)) << day.wYear << "/" << day.wMonth << "/" << day.wDay;
        ASSERT_EQ(nDays, CQuoLogTime::DaysBetween(first, day));
        SYSTEMTIME next;
        if (!CQuoLogTime::OffsetDay(&day, &next, 1)) {
            break;
        }
        ASSERT_EQ(next.wDay == 1, day.wDay == CQuoLogTime::MonthDaysFromYMD(&day));
        ASSERT_EQ(0, next.wDayOfWeek);
        day = next;
    }
    EXPECT_TRUE(SameTime(MakeTime(9999, 12, 31), day));
    EXPECT_EQ(3067670u, nDays);
    SYSTEMTIME last = MakeTime(9999, 12, 31, 23, 59, 59, 999);
    last.wDayOfWeek = 77;  // never looked at
    EXPECT_TRUE(CQuoLogTime::IsValidSystime(&last));
    EXPECT_FALSE(CQuoLogTime::IsValidSystime(nullptr));
    // Month 0 is treated like 13 and over instead of indexing before the table.
    SYSTEMTIME zero = MakeTime(2012, 0, 1);
    EXPECT_EQ(31, CQuoLogTime::MonthDaysFromYMD(&zero));
}

// Out-of-range fields, overflowing and negative numbers, impossible days (Feb 30, and
// Feb 29 of a year that is no leap year) all fall back to 2000/01/01 with FALSE.
// Numbers are read as a wide atoi reads them: leading blanks, trailing garbage, a time
// left out, the date part of a whole raw line. What is read is written back unchanged.
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
        EXPECT_FALSE(CQuoLogTime::ConvertStrToSystime(text, &st)) << Narrow(text ? text : L"(null)");
        EXPECT_TRUE(SameTime(MakeTime(2000, 1, 1), st)) << Narrow(text ? text : L"(null)");
    }
    SYSTEMTIME st = MakeTime(1999, 9, 9);
    EXPECT_FALSE(CQuoLogTime::ConvertStrToSystime(L"2012/07/10,00:00:00.000", nullptr));
    EXPECT_FALSE(CQuoLogTime::ConvertStrToDate(L"2012/02/30", &st));
    EXPECT_TRUE(SameTime(MakeTime(2000, 1, 1), st));

    const std::pair<const wchar_t*, SYSTEMTIME> good[] = {
        {L" 2012/ 7/10x,10:4:05.123\"tail", MakeTime(2012, 7, 10, 10, 4, 5, 123)},
        {L"2012/07/10", MakeTime(2012, 7, 10)},
        {L"2012/02/29,23:59:59.999", MakeTime(2012, 2, 29, 23, 59, 59, 999)},
    };
    for (const auto& entry : good) {
        ASSERT_TRUE(CQuoLogTime::ConvertStrToSystime(entry.first, &st)) << Narrow(entry.first);
        EXPECT_TRUE(SameTime(entry.second, st)) << Narrow(entry.first);
    }
    wchar_t szText[24];
    CQuoLogTime::FormatLongTime(st, szText, ARRAYSIZE(szText));
    EXPECT_STREQ(L"2012/02/29,23:59:59.999", szText);
    ASSERT_TRUE(CQuoLogTime::ConvertStrToDate(L"2012/07/10,10:40:05.123,5000,1,12000", &st));
    EXPECT_TRUE(SameTime(MakeTime(2012, 7, 10), st));
}

// Each comparison looks at its own units, most significant first, never at the day of
// the week; the flags of CompareSystime choose the date, the time of day or both.
TEST(QuoLogTime, ComparisonsLookOnlyAtTheirUnits)
{
    const SYSTEMTIME a = MakeTime(2012, 7, 10, 10, 40, 5, 123);
    SYSTEMTIME b = MakeTime(2012, 7, 10, 10, 40, 5, 124);
    b.wDayOfWeek = 3;
    const SYSTEMTIME c = MakeTime(2011, 12, 31, 23, 59, 59, 999);
    EXPECT_EQ(-1, CQuoLogTime::CompareTime(a, b));
    EXPECT_EQ(0, CQuoLogTime::CompareTime(b, b));
    EXPECT_EQ(0, CQuoLogTime::CompareMinute(a, b));
    EXPECT_EQ(-1, CQuoLogTime::CompareMinute(a, MakeTime(2012, 7, 10, 11, 0)));
    EXPECT_EQ(1, CQuoLogTime::CompareDate(a, c));
    const DWORD both = CQuoLogTime::kCompareDate | CQuoLogTime::kCompareTimeOfDay;
    EXPECT_EQ(CQuoLogTime::kEarlier, CQuoLogTime::CompareSystime(a, b, both));
    EXPECT_EQ(CQuoLogTime::kLater, CQuoLogTime::CompareSystime(a, c, both));
    EXPECT_EQ(CQuoLogTime::kLater, CQuoLogTime::CompareSystime(a, c, CQuoLogTime::kCompareDate));
    EXPECT_EQ(CQuoLogTime::kEarlier, CQuoLogTime::CompareSystime(a, c, CQuoLogTime::kCompareTimeOfDay));
    EXPECT_EQ(CQuoLogTime::kSame, CQuoLogTime::CompareSystime(a, b, CQuoLogTime::kCompareDate));
    // The same time of different days lies in different half-hour slots.
    EXPECT_TRUE(CQuoLogTime::IsOtherSlot(MakeTime(2012, 7, 10, 10, 30), MakeTime(2012, 7, 11, 10, 30)));
}

TEST(QuoLogTime, OffsetsCarryAcrossMonthsAndYearsAndRefuseToLeaveTheRange)
{
    SYSTEMTIME first = MakeTime(1601, 1, 1, 13, 14, 15, 16);
    SYSTEMTIME out = MakeTime(1, 1, 1);
    ASSERT_TRUE(CQuoLogTime::OffsetDay(&first, &out, 3067670));
    EXPECT_TRUE(SameTime(MakeTime(9999, 12, 31), out));
    SYSTEMTIME untouched = MakeTime(2001, 2, 3);
    SYSTEMTIME invalid = MakeTime(2012, 2, 30);
    EXPECT_FALSE(CQuoLogTime::OffsetDay(&first, &untouched, -1));
    EXPECT_FALSE(CQuoLogTime::OffsetDay(&out, &untouched, 1));
    EXPECT_FALSE(CQuoLogTime::OffsetDay(&invalid, &untouched, 1));
    EXPECT_TRUE(SameTime(MakeTime(2001, 2, 3), untouched));
    SYSTEMTIME st = MakeTime(2012, 3, 1);  // across a leap day, in place
    ASSERT_TRUE(CQuoLogTime::OffsetDay(&st, &st, -1));
    EXPECT_TRUE(SameTime(MakeTime(2012, 2, 29), st));

    const struct { LONG nMinutes; SYSTEMTIME expected; } steps[] = {
        {1, MakeTime(2000, 1, 1, 0, 0, 58, 500)},        {-1441, MakeTime(1999, 12, 30, 23, 59, 58, 500)},
        {1440 * 61, MakeTime(2000, 2, 29, 23, 59, 58, 500)}, {1, MakeTime(2000, 3, 1, 0, 0, 58, 500)},
        {-525600 * 2, MakeTime(1998, 3, 2, 0, 0, 58, 500)}};
    st = MakeTime(1999, 12, 31, 23, 59, 58, 500);
    for (const auto& step : steps) {
        ASSERT_TRUE(CQuoLogTime::OffsetMinute(&st, step.nMinutes)) << step.nMinutes;
        EXPECT_TRUE(SameTime(step.expected, st)) << step.nMinutes;
    }
    SYSTEMTIME edge = MakeTime(9999, 12, 31, 23, 59);
    SYSTEMTIME start = MakeTime(1601, 1, 1);
    SYSTEMTIME badHour = MakeTime(2012, 7, 10, 25, 0);
    EXPECT_FALSE(CQuoLogTime::OffsetMinute(&edge, 1));
    EXPECT_FALSE(CQuoLogTime::OffsetMinute(&start, -1));
    EXPECT_FALSE(CQuoLogTime::OffsetMinute(&badHour, 1));
    EXPECT_TRUE(SameTime(MakeTime(9999, 12, 31, 23, 59), edge));
    EXPECT_EQ(90061u, CQuoLogTime::CalculateTime(MakeTime(2012, 3, 1, 1, 1, 1), MakeTime(2012, 2, 29)));
}

}  // namespace
