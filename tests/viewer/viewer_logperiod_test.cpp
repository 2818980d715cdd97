// The calendar of the log analysis pane: date steps by days, months and years, the
// periods of each view, navigation clamped to [past limit, today], the enabling of the
// navigation buttons and the refresh minutes. "Today" is chosen by each case.
#include <windows.h>

#include <gtest/gtest.h>

#include "LogGraphMath.h"
#include "LogPeriod.h"
#include "QuoViewer_Common.h"

namespace {

::testing::AssertionResult IsDate(const SYSTEMTIME& st, WORD y, WORD m, WORD d)
{
    if (st.wYear == y && st.wMonth == m && st.wDay == d) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << st.wYear << "-" << st.wMonth << "-" << st.wDay << " instead of " << y
                                         << "-" << m << "-" << d;
}

const SYSTEMTIME kToday = MakeDate(2026, 12, 7);

TEST(ViewerCalendar, DaysAndMonthsStepOverMonthEndsAndLeapDays)
{
    EXPECT_EQ(1, DayOfWeekOf(kToday));                   // a Monday
    EXPECT_EQ(3, DayOfWeekOf(MakeDate(2012, 2, 29)));    // a Wednesday
    EXPECT_EQ(4, DayOfWeekOf(MakeDate(2009, 1, 1)));     // a Thursday

    SYSTEMTIME out = {};
    SYSTEMTIME src = MakeDate(2011, 12, 31);
    src.wHour = 13;
    ASSERT_EQ(0u, GetSpanTimeDate(1, &src, &out));
    EXPECT_TRUE(IsDate(out, 2012, 1, 1));
    EXPECT_EQ(13, out.wHour);
    EXPECT_EQ(0, out.wDayOfWeek);

    struct MonthCase {
        WORD y, m, d;
        int n;
        WORD ey, em, ed;
    } months[] = {
        {2011, 1, 31, 1, 2011, 2, 28}, {2012, 1, 31, 1, 2012, 2, 29}, {2000, 1, 31, 1, 2000, 2, 29},
        {2100, 1, 31, 1, 2100, 2, 28}, {2011, 12, 15, 1, 2012, 1, 15}, {2012, 1, 15, -1, 2011, 12, 15},
        {2012, 3, 31, -1, 2012, 2, 29}, {2012, 5, 31, -13, 2011, 4, 30},
    };
    for (const MonthCase& c : months) {
        SYSTEMTIME from = MakeDate(c.y, c.m, c.d);
        ASSERT_EQ(0u, GetSpanTimeMonth(c.n, &from, &out));
        EXPECT_TRUE(IsDate(out, c.ey, c.em, c.ed));
    }
    src.wMonth = 13;
    EXPECT_EQ(1359u, GetSpanTimeMonth(1, &src, &out));
    EXPECT_EQ(1359u, GetSpanTimeDate(1, &src, &out));
    EXPECT_EQ(87u, GetSpanTimeMonth(1, nullptr, &out));
    EXPECT_EQ(87u, GetSpanTimeDate(1, &kToday, nullptr));
}

// Whether the date is shown on kToday with that limit.
bool Shown(SYSTEMTIME stDate, const SYSTEMTIME* pLimit)
{
    return IsValidDateOn(&stDate, pLimit, kToday) != FALSE;
}

TEST(ViewerCalendar, ADateIsShownFromThePastLimitToToday)
{
    const SYSTEMTIME limit = MakeDate(2020, 1, 1);
    const SYSTEMTIME invalid = MakeDate(2020, 2, 30);
    EXPECT_TRUE(Shown(kToday, &limit));
    EXPECT_FALSE(Shown(MakeDate(2026, 12, 8), &limit));
    EXPECT_FALSE(Shown(MakeDate(2019, 12, 31), &limit));
    EXPECT_TRUE(Shown(MakeDate(2009, 1, 1), nullptr));
    EXPECT_FALSE(Shown(MakeDate(2008, 12, 31), nullptr));
    EXPECT_FALSE(Shown(invalid, nullptr));
    // An invalid limit becomes 1 January of this year.
    EXPECT_TRUE(Shown(MakeDate(2026, 1, 1), &invalid));
    EXPECT_FALSE(Shown(MakeDate(2025, 12, 31), &invalid));
    EXPECT_FALSE(IsValidDateOn(nullptr, &limit, kToday));
}

TEST(LogPeriod, YearStepsCrossTwentyNinthFebruaryBothWays)
{
    struct Case {
        WORD y, m, d;
        int nDirection;
        WORD ey, em, ed;
    } cases[] = {
        {2011, 3, 1, 1, 2012, 3, 1},  {2012, 2, 29, 1, 2013, 2, 28}, {2012, 1, 10, 1, 2013, 1, 10},
        {2012, 3, 1, 1, 2013, 3, 1},  {2012, 3, 1, -1, 2011, 3, 1},  {2012, 2, 29, -1, 2011, 2, 28},
        {2013, 2, 15, -1, 2012, 2, 15}, {2013, 3, 1, -1, 2012, 3, 1},
    };
    const SYSTEMTIME limit = DefaultPastLimitDate();
    for (const Case& c : cases) {
        SYSTEMTIME out = {};
        ASSERT_EQ(0u, ChangeLogDate(QV_LOGMODE_YEAR, c.nDirection, MakeDate(c.y, c.m, c.d), limit, kToday, &out));
        EXPECT_TRUE(IsDate(out, c.ey, c.em, c.ed)) << c.y << "-" << c.m << "-" << c.d << " " << c.nDirection;
    }
}

TEST(LogPeriod, NavigationStaysWithinThePastLimitAndToday)
{
    const SYSTEMTIME limit = MakeDate(2020, 1, 1);
    struct Case {
        DWORD dwMode;
        int nDirection;
        SYSTEMTIME from;
        WORD ey, em, ed;
    } cases[] = {
        {QV_LOGMODE_DAY, -1, MakeDate(2020, 1, 1), 2020, 1, 1},
        {QV_LOGMODE_DAY, 1, kToday, 2026, 12, 7},
        {QV_LOGMODE_WEEK, -1, MakeDate(2020, 1, 5), 2020, 1, 1},
        {QV_LOGMODE_WEEK, 1, MakeDate(2026, 12, 2), 2026, 12, 7},
        {QV_LOGMODE_MONTH, 1, MakeDate(2026, 1, 31), 2026, 2, 28},
        {QV_LOGMODE_MONTH, 1, MakeDate(2026, 11, 30), 2026, 12, 7},
        {QV_LOGMODE_YEAR, -1, MakeDate(2020, 6, 1), 2020, 1, 1},
        {QV_LOGMODE_DAY, -1, MakeDate(2030, 1, 1), 2026, 12, 6},   // an unshowable start is today
        {9, -1, MakeDate(2024, 3, 1), 2024, 2, 29},
    };
    for (const Case& c : cases) {
        SYSTEMTIME out = {};
        ASSERT_EQ(0u, ChangeLogDate(c.dwMode, c.nDirection, c.from, limit, kToday, &out));
        EXPECT_TRUE(IsDate(out, c.ey, c.em, c.ed)) << "mode " << c.dwMode;
    }
    EXPECT_EQ(87u, ChangeLogDate(QV_LOGMODE_DAY, 1, kToday, limit, kToday, nullptr));
}

TEST(LogPeriod, ButtonsAreEnabledOnlyTowardsShowableDates)
{
    const SYSTEMTIME limit = DefaultPastLimitDate();
    struct Case {
        DWORD dwMode;
        SYSTEMTIME current;
        bool bPrevious, bFollowing;
    } cases[] = {
        {QV_LOGMODE_DAY, MakeDate(2009, 1, 1), false, true},
        {QV_LOGMODE_DAY, MakeDate(2009, 1, 2), true, true},
        {QV_LOGMODE_DAY, kToday, true, false},
        {QV_LOGMODE_WEEK, MakeDate(2009, 1, 3), false, true},   // the week of the limit
        {QV_LOGMODE_WEEK, MakeDate(2026, 12, 5), true, true},   // last week, today follows
        {QV_LOGMODE_WEEK, MakeDate(2026, 12, 6), true, false},
        {QV_LOGMODE_MONTH, MakeDate(2009, 1, 31), false, true},
        {QV_LOGMODE_MONTH, MakeDate(2026, 12, 1), true, false},
        {QV_LOGMODE_YEAR, MakeDate(2009, 12, 31), false, true},
        {QV_LOGMODE_YEAR, MakeDate(2026, 1, 1), true, false},
    };
    for (const Case& c : cases) {
        const QVNavButtons buttons = GetNavButtons(c.dwMode, c.current, limit, kToday);
        EXPECT_EQ(c.bPrevious, buttons.bPrevious) << "mode " << c.dwMode << " day " << c.current.wDay;
        EXPECT_EQ(c.bFollowing, buttons.bFollowing) << "mode " << c.dwMode << " day " << c.current.wDay;
    }
    EXPECT_FALSE(GetNavButtons(QV_LOGMODE_YEAR, MakeDate(2020, 5, 5), PastLimitForYear(2020, kToday), kToday).bPrevious);
    EXPECT_TRUE(IsDate(PastLimitForYear(2040, kToday), 2026, 1, 1));
    EXPECT_TRUE(IsDate(PastLimitForYear(0, kToday), 2026, 1, 1));
}

TEST(LogPeriod, AWeekRunsFromSundayToSaturday)
{
    QVPeriod period;
    ASSERT_EQ(0u, GetLogPeriod(QV_LOGMODE_WEEK, MakeDate(2012, 2, 29), &period));
    EXPECT_TRUE(IsDate(period.stFirst, 2012, 2, 26));
    EXPECT_TRUE(IsDate(period.stLast, 2012, 3, 3));
    EXPECT_TRUE(IsDate(period.stPrevious, 2012, 2, 25));
    EXPECT_TRUE(IsDate(period.stFollowing, 2012, 3, 4));
    ASSERT_EQ(0u, GetLogPeriod(QV_LOGMODE_MONTH, MakeDate(2012, 3, 15), &period));
    EXPECT_TRUE(IsDate(period.stPrevious, 2012, 2, 29));
    EXPECT_EQ(1359u, GetLogPeriod(QV_LOGMODE_DAY, MakeDate(2012, 2, 30), &period));
}

TEST(LogPeriod, TheGraphRefreshesOneMinuteAfterEachHalfHour)
{
    const WORD refresh[] = {1, 31};
    const WORD quiet[] = {0, 2, 30, 32, 59};
    for (WORD m : refresh) {
        EXPECT_TRUE(IsLogRefreshMinute(m, 1)) << m;
    }
    for (WORD m : quiet) {
        EXPECT_FALSE(IsLogRefreshMinute(m, 1)) << m;
    }
    EXPECT_TRUE(IsLogRefreshMinute(35, 5));
}

}  // namespace
